#include "VeltranePlatform/Plugins/PluginUserInterface.hpp"

#include "VeltranePlatform/Plugins/FloatingPointGuard.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"
#include "VeltranePlatform/Plugins/PluginInstanceAccess.hpp"
#include "VeltranePlatform/Plugins/PluginLibrary.hpp"
#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace veltrane {

namespace {

// What an X11 interface may require that we give: its parent window, the running instance and its
// extension data, the URI map, a way to ask for a size, idle calls, an (empty) options list, and
// promises about resizing and loading that need nothing of us.
constexpr const char* givenFeatures[] = {
    LV2_UI__parent,         LV2_INSTANCE_ACCESS_URI, LV2_DATA_ACCESS_URI,       LV2_URID__map,
    LV2_URID__unmap,        LV2_UI__resize,          LV2_UI__idleInterface,     LV2_OPTIONS__options,
    LV2_UI__noUserResize,   LV2_UI__fixedSize,       LV2_UI_PREFIX "makeResident", LV2_UI_PREFIX "makeSONameResident",
};

bool given(const char* feature)
{
    return std::any_of(std::begin(givenFeatures), std::end(givenFeatures),
                       [&](const char* known) { return std::strcmp(known, feature) == 0; });
}

struct InterfaceFiles {
    std::string uri;
    std::string binary;
    std::string bundle;
};

/// The plug-in's first X11 interface that requires only what we give.
std::optional<InterfaceFiles> x11Interface(detail::PluginWorld& w, const LilvPlugin* plugin)
{
    std::lock_guard lock(w.mutex);
    const detail::LilvNodePtr x11 = w.uri(LV2_UI__X11UI);
    const detail::LilvNodePtr required = w.uri(LV2_CORE__requiredFeature);
    std::optional<InterfaceFiles> found;
    LilvUIs* interfaces = lilv_plugin_get_uis(plugin);
    LILV_FOREACH (uis, i, interfaces) {
        const LilvUI* candidate = lilv_uis_get(interfaces, i);
        if (!lilv_ui_is_a(candidate, x11.get()))
            continue;
        bool usable = true;
        LilvNodes* features = lilv_world_find_nodes(w.world, lilv_ui_get_uri(candidate), required.get(), nullptr);
        LILV_FOREACH (nodes, f, features)
            usable = usable && given(lilv_node_as_uri(lilv_nodes_get(features, f)));
        lilv_nodes_free(features);
        if (!usable)
            continue;
        InterfaceFiles files{lilv_node_as_uri(lilv_ui_get_uri(candidate)), detail::localFilePath(lilv_ui_get_binary_uri(candidate)),
                             detail::localFilePath(lilv_ui_get_bundle_uri(candidate))};
        if (files.binary.empty())
            continue;
        found = std::move(files);
        break;
    }
    lilv_uis_free(interfaces);
    return found;
}

} // namespace

struct PluginUserInterface::Impl {
    PluginInstance* unit = nullptr;
    std::shared_ptr<detail::PluginWorld> world;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle handle = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    const LV2UI_Resize* resizeInterface = nullptr;
    std::optional<PluginInterfaceSize> requested;
    // The value each parameter had when the interface last heard of it.
    std::vector<float> sentValues;
    std::vector<std::uint32_t> ports;

    LV2_Extension_Data_Feature dataAccess{};
    LV2UI_Resize resizeFeatureData{};
    LV2_Options_Option noOptions{};
    LV2_Feature parentFeature{}, instanceFeature{}, dataFeature{}, mapFeature{}, unmapFeature{}, resizeFeature{},
        idleFeature{}, optionsFeature{};
    std::array<const LV2_Feature*, 9> features{};

    ~Impl()
    {
        if (descriptor && handle && descriptor->cleanup)
            descriptor->cleanup(handle);
    }

    // The interface sets a control input: plain values only (format 0); the host's own inputs and the
    // outputs are not the interface's to set.
    static void write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                      const void* buffer)
    {
        auto& self = *static_cast<Impl*>(controller);
        if (format != 0 || size != sizeof(float) || !buffer)
            return;
        const auto found = std::find(self.ports.begin(), self.ports.end(), port);
        if (found == self.ports.end())
            return;
        const auto index = std::size_t(found - self.ports.begin());
        float value = 0.0f;
        std::memcpy(&value, buffer, sizeof value);
        self.unit->setParameterValue(index, value);
        // The interface knows this value already: it is not sent back to it.
        self.sentValues[index] = self.unit->parameterValue(index);
    }

    static int requestSize(LV2UI_Feature_Handle handle, int width, int height)
    {
        auto& self = *static_cast<Impl*>(handle);
        if (width <= 0 || height <= 0)
            return 1;
        self.requested = PluginInterfaceSize{width, height};
        return 0;
    }

    void sendChangedParameters()
    {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const float value = unit->parameterValue(i);
            if (value == sentValues[i])
                continue;
            sentValues[i] = value;
            if (descriptor->port_event)
                descriptor->port_event(handle, ports[i], sizeof(float), 0, &value);
        }
    }
};

PluginUserInterface::PluginUserInterface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PluginUserInterface::~PluginUserInterface() = default;

bool PluginUserInterface::available(const PluginInstance& unit)
{
    const auto world = detail::PluginInstanceAccess::world(unit);
    return x11Interface(*world, detail::PluginInstanceAccess::plugin(unit)).has_value();
}

std::unique_ptr<PluginUserInterface> PluginUserInterface::create(PluginInstance& unit, std::uintptr_t parentWindow)
{
    using Access = detail::PluginInstanceAccess;
    const std::string& name = unit.description().name;
    const auto fail = [&](std::string detail) {
        return PluginError(PluginError::Case::instantiationFailed, "The editor of " + name + " could not be opened.",
                           std::move(detail));
    };
    // Toolkit code loading and starting up may change the floating-point mode; the rest of the program
    // keeps its own.
    const detail::FloatingPointGuard floatingPoint;
    auto s = std::make_unique<Impl>();
    s->unit = &unit;
    s->world = Access::world(unit);
    const auto files = x11Interface(*s->world, Access::plugin(unit));
    if (!files)
        throw fail(name + " has no X11 interface.");

    std::string error;
    void* library = detail::loadSharedLibrary(files->binary, error);
    if (!library)
        throw fail(error);
    dlerror();
    const auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    if (!entry)
        throw fail(files->binary + " has no lv2ui_descriptor.");
    for (std::uint32_t index = 0; const LV2UI_Descriptor* descriptor = entry(index); ++index) {
        if (descriptor->URI && files->uri == descriptor->URI) {
            s->descriptor = descriptor;
            break;
        }
    }
    if (!s->descriptor || !s->descriptor->instantiate)
        throw fail(files->binary + " does not contain the interface " + files->uri + ".");

    const auto& parameters = unit.parameters();
    for (std::size_t i = 0; i < parameters.size(); ++i)
        s->ports.push_back(Access::parameterPort(unit, i));
    s->sentValues.assign(parameters.size(), NAN);

    s->dataAccess.data_access = Access::extensionData(unit);
    s->resizeFeatureData = {s.get(), &Impl::requestSize};
    s->parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parentWindow)};
    s->instanceFeature = {LV2_INSTANCE_ACCESS_URI, Access::handle(unit)};
    s->dataFeature = {LV2_DATA_ACCESS_URI, &s->dataAccess};
    s->mapFeature = {LV2_URID__map, s->world->urids.mapFeatureData()};
    s->unmapFeature = {LV2_URID__unmap, s->world->urids.unmapFeatureData()};
    s->resizeFeature = {LV2_UI__resize, &s->resizeFeatureData};
    s->idleFeature = {LV2_UI__idleInterface, nullptr};
    s->optionsFeature = {LV2_OPTIONS__options, &s->noOptions};
    s->features = {&s->parentFeature, &s->instanceFeature, &s->dataFeature, &s->mapFeature, &s->unmapFeature,
                   &s->resizeFeature, &s->idleFeature, &s->optionsFeature, nullptr};

    s->handle = s->descriptor->instantiate(s->descriptor, unit.description().uri.c_str(), files->bundle.c_str(),
                                           &Impl::write, s.get(), &s->widget, s->features.data());
    if (!s->handle)
        throw fail("The interface's own code refused to start.");
    if (!s->widget) {
        // Nothing to embed: it is let go again.
        throw fail("The interface made no window.");
    }
    if (s->descriptor->extension_data) {
        s->idleInterface =
            static_cast<const LV2UI_Idle_Interface*>(s->descriptor->extension_data(LV2_UI__idleInterface));
        s->resizeInterface = static_cast<const LV2UI_Resize*>(s->descriptor->extension_data(LV2_UI__resize));
    }
    // An interface starts knowing nothing of the instance's values: it hears of all of them at once.
    s->sendChangedParameters();
    return std::unique_ptr<PluginUserInterface>(new PluginUserInterface(std::move(s)));
}

std::uintptr_t PluginUserInterface::window() const noexcept { return reinterpret_cast<std::uintptr_t>(impl_->widget); }

std::optional<PluginInterfaceSize> PluginUserInterface::requestedSize() const noexcept { return impl_->requested; }

void PluginUserInterface::resize(PluginInterfaceSize size)
{
    if (impl_->resizeInterface && impl_->resizeInterface->ui_resize && size.width > 0 && size.height > 0)
        impl_->resizeInterface->ui_resize(impl_->handle, size.width, size.height);
}

bool PluginUserInterface::idle()
{
    impl_->sendChangedParameters();
    if (impl_->idleInterface && impl_->idleInterface->idle)
        return impl_->idleInterface->idle(impl_->handle) == 0;
    return true;
}

} // namespace veltrane
