#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include "VeltranePlatform/Plugins/FloatingPointGuard.hpp"
#include "VeltranePlatform/Plugins/PluginInstanceAccess.hpp"
#include "VeltranePlatform/Plugins/PluginAudioPorts.hpp"
#include "VeltranePlatform/Plugins/PluginError.hpp"
#include "VeltranePlatform/Plugins/PluginLibrary.hpp"
#include "VeltranePlatform/Plugins/PluginWorker.hpp"
#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include <serd/serd.h>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

namespace veltrane {

namespace {

// Room for well over a thousand short MIDI events per block; a port may ask for more.
constexpr std::uint32_t defaultAtomBufferBytes = 32768;

// The text a saved state is named by. Fixed, so that equal settings always serialise to equal bytes.
constexpr const char* stateUri = "urn:veltrane:plugin-state";

// Features a plug-in may require that we honour: some without handing it any data (we never process
// in place, we run live, we load a default state, and lilv passes the path features to save and
// restore), the others with the features we pass.
constexpr const char* honouredFeatures[] = {
    LV2_CORE__isLive,     LV2_CORE__inPlaceBroken, LV2_CORE__hardRTCapable,
    LV2_STATE__mapPath,   LV2_STATE__freePath,     LV2_STATE__loadDefaultState,
    LV2_URID__map,        LV2_URID__unmap,         LV2_OPTIONS__options,
    LV2_BUF_SIZE__boundedBlockLength, LV2_WORKER__schedule,     LV2_LOG__log,
};

// The options we pass; a plug-in that requires another is refused like one that needs a feature.
constexpr const char* givenOptions[] = {
    LV2_BUF_SIZE__minBlockLength, LV2_BUF_SIZE__maxBlockLength, LV2_BUF_SIZE__nominalBlockLength,
    LV2_BUF_SIZE__sequenceSize,   LV2_PARAMETERS__sampleRate,
};

bool listed(const char* uri, std::span<const char* const> list)
{
    return uri && std::any_of(list.begin(), list.end(), [&](const char* entry) { return std::strcmp(entry, uri) == 0; });
}

// A plug-in's messages go nowhere: it may write them from the audio thread, where nothing may wait
// on a terminal or a file.
int discardMessage(LV2_Log_Handle, LV2_URID, const char*, ...) { return 0; }
int discardMessageList(LV2_Log_Handle, LV2_URID, const char*, va_list) { return 0; }
LV2_Log_Log quietLog{nullptr, &discardMessage, &discardMessageList};

// Length of a MIDI message from its status byte; 0 for what we do not pass on (system exclusive,
// undefined status bytes, a data byte without status).
std::uint32_t midiMessageLength(std::uint8_t status) noexcept
{
    if (status < 0x80)
        return 0;
    if (status < 0xC0)
        return 3;
    if (status < 0xE0)
        return 2;
    if (status < 0xF0)
        return 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF:
        return 1;
    default:
        return 0;
    }
}

// lilv reads whatever part of a damaged text it can and applies that; a state is all or nothing, so
// the text must be well-formed Turtle as a whole first. lilv also takes the state from the subject typed
// as a preset without asking whether there is one, and crashes when there is none, so the text must
// declare one. (Prefixes are not checked here: lilv knows the ones its own state text uses, and they are
// known here too for the preset type.)
struct TurtleCheck {
    SerdEnv* env = nullptr;
    int errors = 0;
    bool declaresPreset = false;
};

bool isUri(const SerdEnv* env, const SerdNode* node, std::string_view uri)
{
    if (!node || (node->type != SERD_URI && node->type != SERD_CURIE))
        return false;
    SerdNode expanded = serd_env_expand_node(env, node);
    const bool same = expanded.buf && std::string_view(reinterpret_cast<const char*>(expanded.buf), expanded.n_bytes) == uri;
    serd_node_free(&expanded);
    return same;
}

bool isWellFormedTurtle(const std::string& text)
{
    TurtleCheck check;
    check.env = serd_env_new(nullptr);
    if (!check.env)
        return false;
    serd_env_set_prefix_from_strings(check.env, reinterpret_cast<const std::uint8_t*>("pset"),
                                     reinterpret_cast<const std::uint8_t*>(LV2_PRESETS_PREFIX));
    serd_env_set_prefix_from_strings(check.env, reinterpret_cast<const std::uint8_t*>("rdf"),
                                     reinterpret_cast<const std::uint8_t*>("http://www.w3.org/1999/02/22-rdf-syntax-ns#"));
    SerdReader* reader = serd_reader_new(
        SERD_TURTLE, &check, nullptr,
        [](void* handle, const SerdNode* uri) {
            return serd_env_set_base_uri(static_cast<TurtleCheck*>(handle)->env, uri);
        },
        [](void* handle, const SerdNode* name, const SerdNode* uri) {
            return serd_env_set_prefix(static_cast<TurtleCheck*>(handle)->env, name, uri);
        },
        [](void* handle, SerdStatementFlags, const SerdNode*, const SerdNode*, const SerdNode* predicate,
           const SerdNode* object, const SerdNode*, const SerdNode*) {
            auto& check = *static_cast<TurtleCheck*>(handle);
            if (isUri(check.env, predicate, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type") &&
                isUri(check.env, object, LV2_PRESETS__Preset))
                check.declaresPreset = true;
            return SERD_SUCCESS;
        },
        nullptr);
    if (!reader) {
        serd_env_free(check.env);
        return false;
    }
    serd_reader_set_strict(reader, true);
    serd_reader_set_error_sink(
        reader, [](void* handle, const SerdError*) { ++static_cast<TurtleCheck*>(handle)->errors; return SERD_SUCCESS; },
        &check);
    const SerdStatus status = serd_reader_read_string(reader, reinterpret_cast<const std::uint8_t*>(text.c_str()));
    serd_reader_free(reader);
    serd_env_free(check.env);
    return status == SERD_SUCCESS && check.errors == 0 && check.declaresPreset;
}

bool hasDesignation(const detail::PluginWorld& world, const LilvPlugin* plugin, const LilvPort* port,
                    const LilvNode* designation)
{
    LilvNodes* values = lilv_port_get_value(plugin, port, world.designation.get());
    const bool found = values && lilv_nodes_contains(values, designation);
    lilv_nodes_free(values);
    return found;
}

std::string nodeText(LilvNode* node)
{
    std::string text = node && lilv_node_as_string(node) ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return text;
}

} // namespace

struct PluginInstance::Impl {
    // An atom port's buffer; 64-bit words keep the sequence and its events aligned.
    struct AtomBuffer {
        std::vector<std::uint64_t> words;
        std::uint32_t capacityBytes = 0;
        LV2_Atom_Sequence* sequence() noexcept { return reinterpret_cast<LV2_Atom_Sequence*>(words.data()); }
    };

    ~Impl()
    {
        // The worker's thread may be inside the plug-in: it ends before the plug-in does.
        worker.reset();
        if (!instance)
            return;
        std::lock_guard lock(world->mutex);
        if (activated)
            lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }

    std::optional<std::size_t> indexOf(const char* symbol) const noexcept
    {
        if (!symbol)
            return std::nullopt;
        for (std::size_t i = 0; i < parameters.size(); ++i)
            if (parameters[i].symbol == symbol)
                return i;
        return std::nullopt;
    }

    // Stores a value clamped to the parameter's range; false when it was NaN or unchanged.
    bool storeParameter(std::size_t index, double value) noexcept
    {
        if (index >= parameters.size() || std::isnan(value))
            return false;
        const PluginParameter& parameter = parameters[index];
        const float clamped =
            static_cast<float>(std::clamp(value, double(parameter.minimum), double(parameter.maximum)));
        return parameterValues[index].exchange(clamped, std::memory_order_relaxed) != clamped;
    }

    // Sets a parameter from a value in a state; values of other types or of unknown ports are skipped.
    static void restorePortValue(const char* symbol, void* user, const void* value, std::uint32_t size,
                                 std::uint32_t type)
    {
        auto& self = *static_cast<Impl*>(user);
        const auto index = self.indexOf(symbol);
        if (!index || !value)
            return;
        double number = NAN;
        if (type == self.urids.atomFloat && size == sizeof(float))
            number = *static_cast<const float*>(value);
        else if (type == self.urids.atomDouble && size == sizeof(double))
            number = *static_cast<const double*>(value);
        else if ((type == self.urids.atomInt || type == self.urids.atomBool) && size == sizeof(std::int32_t))
            number = *static_cast<const std::int32_t*>(value);
        else if (type == self.urids.atomLong && size == sizeof(std::int64_t))
            number = double(*static_cast<const std::int64_t*>(value));
        self.storeParameter(*index, number);
    }

    void resetSequence(AtomBuffer& buffer) noexcept
    {
        LV2_Atom_Sequence* sequence = buffer.sequence();
        sequence->atom.type = urids.sequence;
        sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
        sequence->body.unit = 0;
        sequence->body.pad = 0;
    }

    void appendMidi(AtomBuffer& buffer, const PluginMidiEvent& event, int frame) noexcept
    {
        const std::uint32_t length = midiMessageLength(event.bytes[0]);
        if (length == 0)
            return;
        for (std::uint32_t i = 1; i < length; ++i)
            if (event.bytes[i] >= 0x80)
                return;
        LV2_Atom_Sequence* sequence = buffer.sequence();
        const std::uint32_t needed = sizeof(LV2_Atom_Event) + lv2_atom_pad_size(length);
        if (sizeof(LV2_Atom) + sequence->atom.size + needed > buffer.capacityBytes)
            return;
        auto* out = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<std::uint8_t*>(&sequence->body)
                                                      + sequence->atom.size);
        out->time.frames = frame;
        out->body.size = length;
        out->body.type = urids.midiEvent;
        std::memcpy(out + 1, event.bytes.data(), length);
        sequence->atom.size += needed;
    }

    // Copies what the host plays out of the given input, silence for a missing channel.
    void passThrough(const float* const* input, float* const* output, int frames) noexcept
    {
        const bool silent = description.kind == PluginKind::instrument;
        for (int channel = 0; channel < 2; ++channel) {
            float* out = output[channel];
            if (!out)
                continue;
            const float* in = !silent && input ? input[channel] : nullptr;
            if (!in)
                std::fill(out, out + frames, 0.0f);
            else if (in != out)
                std::memmove(out, in, sizeof(float) * std::size_t(frames));
        }
    }

    void runSlice(const float* const* input, float* const* output, int start, int frames,
                  std::size_t& nextEvent) noexcept
    {
        for (std::size_t i = 0; i < parameters.size(); ++i)
            portValues[parameterPorts[i]] = parameterValues[i].load(std::memory_order_relaxed);
        if (enablePort)
            portValues[*enablePort] = bypassed.load(std::memory_order_relaxed) ? 0.0f : 1.0f;
        if (tempoPort)
            portValues[*tempoPort] = float(tempo.load(std::memory_order_relaxed));

        // Inputs outside the main pair (side chains, further buses) keep the silence they were made with.
        const float* left = input && input[0] ? input[0] + start : nullptr;
        const float* right = input && input[1] ? input[1] + start : nullptr;
        if (mainInputs.size() == 1) {
            // A mono plug-in hears both channels at once.
            float* mono = audioInputs[mainInputs[0]].data();
            for (int f = 0; f < frames; ++f)
                mono[f] = 0.5f * ((left ? left[f] : 0.0f) + (right ? right[f] : 0.0f));
        } else if (mainInputs.size() == 2) {
            const float* sides[2] = {left, right};
            for (int channel = 0; channel < 2; ++channel) {
                float* in = audioInputs[mainInputs[std::size_t(channel)]].data();
                if (sides[channel])
                    std::copy(sides[channel], sides[channel] + frames, in);
                else
                    std::fill(in, in + frames, 0.0f);
            }
        }

        for (std::size_t i = 0; i < atomInputs.size(); ++i)
            resetSequence(atomInputs[i]);
        if (midiInput >= 0) {
            AtomBuffer& buffer = atomInputs[std::size_t(midiInput)];
            while (nextEvent < events.size() && events[nextEvent].frameOffset < start + frames) {
                appendMidi(buffer, events[nextEvent], events[nextEvent].frameOffset - start);
                ++nextEvent;
            }
        }
        for (AtomBuffer& buffer : atomOutputs) {
            // An output sequence starts as an empty chunk that tells the plug-in how much room it has.
            LV2_Atom* atom = &buffer.sequence()->atom;
            atom->type = urids.chunk;
            atom->size = buffer.capacityBytes - sizeof(LV2_Atom);
        }

        lilv_instance_run(instance, std::uint32_t(frames));
        worker->endRun();

        for (int channel = 0; channel < 2; ++channel) {
            float* out = output[channel];
            if (!out)
                continue;
            out += start;
            if (mainOutputs.empty()) {
                std::fill(out, out + frames, 0.0f);
            } else {
                // A mono plug-in's output goes to both channels.
                const float* produced =
                    audioOutputs[mainOutputs[std::min<std::size_t>(std::size_t(channel), mainOutputs.size() - 1)]].data();
                std::copy(produced, produced + frames, out);
            }
        }
    }

    std::shared_ptr<detail::PluginWorld> world;
    const LilvPlugin* plugin = nullptr;
    PluginDescription description;
    double sampleRate = 0.0;
    int maximumBlockFrames = 0;
    LilvInstance* instance = nullptr;
    bool activated = false;

    struct {
        LV2_URID sequence = 0, chunk = 0, midiEvent = 0;
        LV2_URID atomFloat = 0, atomDouble = 0, atomInt = 0, atomLong = 0, atomBool = 0;
    } urids;

    // What the options feature points at; these must live as long as the plug-in.
    std::int32_t minimumBlockOption = 1;
    std::int32_t maximumBlockOption = 0;
    std::int32_t nominalBlockOption = 0;
    std::int32_t sequenceSizeOption = 0;
    float sampleRateOption = 0.0f;
    std::array<LV2_Options_Option, 6> options{};
    LV2_Feature mapFeature{}, unmapFeature{}, optionsFeature{}, boundedFeature{}, defaultStateFeature{};
    LV2_Feature logFeature{};
    std::array<const LV2_Feature*, 8> features{};
    std::unique_ptr<detail::PluginWorker> worker;

    std::vector<PluginParameter> parameters;
    std::vector<std::uint32_t> parameterPorts;
    // Main thread to audio thread: the value each parameter should have from the next block on.
    std::unique_ptr<std::atomic<float>[]> parameterValues;
    // What the plug-in reads (control inputs) and writes (control outputs, ignored); written by the audio
    // thread only, from `parameterValues`.
    std::vector<float> portValues;
    // One value handed to lilv while saving; saving holds the world's mutex, so one slot per parameter is enough.
    std::vector<float> savedValues;
    std::atomic<std::uint64_t> changeCount{0};
    std::atomic<bool> bypassed{false};
    // A restore and the audio thread meet through these two flags (sequentially consistent): the audio
    // thread announces a block, then looks for a restore; the restore announces itself, then waits for
    // the block in flight to end. Either the block sees the restore and passes its input through, or
    // the restore waits for it. The audio thread never waits.
    std::atomic<bool> restoring{false};
    std::atomic<bool> processing{false};

    std::vector<std::vector<float>> audioInputs, audioOutputs, cvBuffers;
    // Which of the audio buffers carry our left and right (one for a mono plug-in, none for no audio).
    std::vector<std::size_t> mainInputs, mainOutputs;
    // Control inputs the host sets itself, never shown or saved as parameters: the plug-in's own
    // bypass, and the song's tempo. (Free-wheeling is fixed by the run mode.)
    std::optional<std::uint32_t> enablePort, tempoPort;
    std::atomic<double> tempo{120.0};
    std::vector<AtomBuffer> atomInputs, atomOutputs;
    int midiInput = -1;
    std::vector<PluginMidiEvent> events;
};

PluginInstance::PluginInstance(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PluginInstance::~PluginInstance() = default;

std::unique_ptr<PluginInstance> PluginInstance::create(std::shared_ptr<detail::PluginWorld> world,
                                                       const LilvPluginImpl* plugin,
                                                       const PluginDescription& description,
                                                       double sampleRate, int maximumBlockFrames,
                                                       PluginRunMode mode)
{
    auto impl = std::make_unique<Impl>();
    Impl& s = *impl;
    s.world = std::move(world);
    s.plugin = plugin;
    s.description = description;
    s.sampleRate = sampleRate;
    s.maximumBlockFrames = maximumBlockFrames;
    detail::PluginWorld& w = *s.world;
    // Declared after `impl`, so a throw releases the lock before the half-made instance is freed.
    std::lock_guard lock(w.mutex);

    // Plug-in code runs from here on (its library's constructors, instantiate, the default state);
    // whatever it does to the floating-point mode stays with it.
    const detail::FloatingPointGuard floatingPoint;

    std::vector<std::string> missing;
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH (nodes, it, required) {
        const char* feature = lilv_node_as_uri(lilv_nodes_get(required, it));
        if (!listed(feature, honouredFeatures))
            missing.push_back(feature ? feature : "(unnamed)");
    }
    lilv_nodes_free(required);
    const detail::LilvNodePtr requiredOption = w.uri(LV2_OPTIONS__requiredOption);
    LilvNodes* options = lilv_plugin_get_value(plugin, requiredOption.get());
    LILV_FOREACH (nodes, it, options) {
        const LilvNode* option = lilv_nodes_get(options, it);
        if (lilv_node_is_uri(option) && !listed(lilv_node_as_uri(option), givenOptions))
            missing.push_back(lilv_node_as_uri(option));
    }
    lilv_nodes_free(options);
    if (!missing.empty()) {
        // All of them, so the user learns at once everything the plug-in lacks here.
        std::sort(missing.begin(), missing.end());
        missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
        std::string names = missing.front();
        for (std::size_t i = 1; i < missing.size(); ++i)
            names += (i + 1 == missing.size() ? " and " : ", ") + missing[i];
        throw PluginError(PluginError::Case::missingFeature,
                          description.name + (missing.size() == 1 ? " needs the LV2 feature " : " needs the LV2 features ")
                              + names + ", which Veltrane does not provide.");
    }

    UridMap& urids = w.urids;
    s.urids.sequence = urids.map(LV2_ATOM__Sequence);
    s.urids.chunk = urids.map(LV2_ATOM__Chunk);
    s.urids.midiEvent = urids.map(LV2_MIDI__MidiEvent);
    s.urids.atomFloat = urids.map(LV2_ATOM__Float);
    s.urids.atomDouble = urids.map(LV2_ATOM__Double);
    s.urids.atomInt = urids.map(LV2_ATOM__Int);
    s.urids.atomLong = urids.map(LV2_ATOM__Long);
    s.urids.atomBool = urids.map(LV2_ATOM__Bool);

    const std::uint32_t portCount = lilv_plugin_get_num_ports(plugin);
    std::uint32_t atomBytes = defaultAtomBufferBytes;
    for (std::uint32_t index = 0; index < portCount; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        if (!lilv_port_is_a(plugin, port, w.atomPort.get()))
            continue;
        LilvNodes* sizes = lilv_port_get_value(plugin, port, w.minimumSize.get());
        if (sizes && lilv_node_is_int(lilv_nodes_get_first(sizes))) {
            const int minimum = lilv_node_as_int(lilv_nodes_get_first(sizes));
            if (minimum > 0)
                atomBytes = std::max(atomBytes, std::uint32_t(minimum));
        }
        lilv_nodes_free(sizes);
    }
    atomBytes = (atomBytes + 7u) & ~7u;

    // Port layout. Buffers are made here, once, for the largest block; processing only reuses them.
    std::vector<float> minimums(portCount), maximums(portCount), defaults(portCount);
    lilv_plugin_get_port_ranges_float(plugin, minimums.data(), maximums.data(), defaults.data());
    s.portValues.assign(portCount, 0.0f);
    struct Connection {
        enum { control, audioIn, audioOut, cv, atomIn, atomOut, none } kind;
        std::size_t slot;
    };
    std::vector<Connection> connections(portCount);
    std::vector<float> initialValues;
    std::vector<detail::AudioPortRole> inputRoles, outputRoles;
    for (std::uint32_t index = 0; index < portCount; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        const bool input = lilv_port_is_a(plugin, port, w.inputPort.get());
        const bool output = lilv_port_is_a(plugin, port, w.outputPort.get());
        const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        if (lilv_port_is_a(plugin, port, w.controlPort.get()) && (input || output)) {
            connections[index] = {Connection::control, 0};
            if (!input)
                continue;
            if (lilv_port_has_property(plugin, port, w.freeWheeling.get())
                || hasDesignation(w, plugin, port, w.freeWheeling.get())) {
                s.portValues[index] = mode == PluginRunMode::offline ? 1.0f : 0.0f;
                continue;
            }
            if (hasDesignation(w, plugin, port, w.enabled.get())) {
                s.enablePort = index;
                s.portValues[index] = 1.0f;
                continue;
            }
            if (hasDesignation(w, plugin, port, w.beatsPerMinute.get())) {
                s.tempoPort = index;
                s.portValues[index] = float(s.tempo.load());
                continue;
            }
            float minimum = minimums[index], maximum = maximums[index], value = defaults[index];
            if (std::isnan(minimum))
                minimum = std::isnan(maximum) ? 0.0f : std::min(0.0f, maximum);
            if (std::isnan(maximum))
                maximum = std::max(1.0f, minimum);
            if (maximum < minimum)
                std::swap(minimum, maximum);
            if (lilv_port_has_property(plugin, port, w.sampleRateProperty.get())) {
                // The range is given as a fraction of the sample rate.
                minimum *= float(sampleRate);
                maximum *= float(sampleRate);
                value *= float(sampleRate);
            }
            value = std::isnan(value) ? minimum : std::clamp(value, minimum, maximum);
            PluginParameter parameter;
            parameter.symbol = symbol ? symbol : "";
            parameter.name = nodeText(lilv_port_get_name(plugin, port));
            if (parameter.name.empty())
                parameter.name = parameter.symbol;
            parameter.minimum = minimum;
            parameter.maximum = maximum;
            parameter.defaultValue = value;
            s.parameters.push_back(std::move(parameter));
            s.parameterPorts.push_back(index);
            initialValues.push_back(value);
            s.portValues[index] = value;
        } else if (lilv_port_is_a(plugin, port, w.audioPort.get()) && (input || output)) {
            auto& list = input ? s.audioInputs : s.audioOutputs;
            connections[index] = {input ? Connection::audioIn : Connection::audioOut, list.size()};
            list.emplace_back(std::size_t(maximumBlockFrames), 0.0f);
            (input ? inputRoles : outputRoles).push_back(detail::audioPortRole(w, plugin, port));
        } else if (lilv_port_is_a(plugin, port, w.cvPort.get())) {
            // Nothing modulates a CV input here: it reads a constant zero.
            connections[index] = {Connection::cv, s.cvBuffers.size()};
            s.cvBuffers.emplace_back(std::size_t(maximumBlockFrames), 0.0f);
        } else if (lilv_port_is_a(plugin, port, w.atomPort.get()) && (input || output)) {
            auto& list = input ? s.atomInputs : s.atomOutputs;
            connections[index] = {input ? Connection::atomIn : Connection::atomOut, list.size()};
            if (input && s.midiInput < 0 && lilv_port_supports_event(plugin, port, w.midiEvent.get()))
                s.midiInput = int(list.size());
            Impl::AtomBuffer buffer;
            buffer.words.assign(atomBytes / 8, 0);
            buffer.capacityBytes = atomBytes;
            list.push_back(std::move(buffer));
        } else if (lilv_port_has_property(plugin, port, w.connectionOptional.get())) {
            connections[index] = {Connection::none, 0};
        } else {
            throw PluginError(PluginError::Case::unsupportedPort,
                              description.name + " has a port Veltrane cannot connect (" + (symbol ? symbol : "?")
                                  + ").");
        }
    }
    s.mainInputs = detail::mainAudioPorts(inputRoles, detail::mainAudioGroup(w, plugin, true));
    s.mainOutputs = detail::mainAudioPorts(outputRoles, detail::mainAudioGroup(w, plugin, false));
    s.parameterValues = std::make_unique<std::atomic<float>[]>(s.parameters.size());
    for (std::size_t i = 0; i < s.parameters.size(); ++i)
        s.parameterValues[i].store(initialValues[i]);
    s.savedValues.assign(s.parameters.size(), 0.0f);
    s.events.reserve(maximumMidiEventsPerCall);
    for (auto& buffer : s.atomInputs)
        s.resetSequence(buffer);

    s.maximumBlockOption = maximumBlockFrames;
    s.nominalBlockOption = maximumBlockFrames;
    s.sequenceSizeOption = std::int32_t(atomBytes);
    s.sampleRateOption = float(sampleRate);
    const LV2_URID intType = s.urids.atomInt;
    s.options = {{
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t), intType,
         &s.minimumBlockOption},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t), intType,
         &s.maximumBlockOption},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(std::int32_t), intType,
         &s.nominalBlockOption},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__sequenceSize), sizeof(std::int32_t), intType,
         &s.sequenceSizeOption},
        {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_PARAMETERS__sampleRate), sizeof(float), s.urids.atomFloat,
         &s.sampleRateOption},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    }};
    s.mapFeature = {LV2_URID__map, urids.mapFeatureData()};
    s.unmapFeature = {LV2_URID__unmap, urids.unmapFeatureData()};
    s.optionsFeature = {LV2_OPTIONS__options, s.options.data()};
    s.boundedFeature = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
    s.defaultStateFeature = {LV2_STATE__loadDefaultState, nullptr};
    s.worker = std::make_unique<detail::PluginWorker>(
        mode == PluginRunMode::offline ? detail::PluginWorker::Mode::immediate : detail::PluginWorker::Mode::thread);
    s.logFeature = {LV2_LOG__log, &quietLog};
    s.features = {&s.mapFeature, &s.unmapFeature, &s.optionsFeature, &s.boundedFeature, &s.defaultStateFeature,
                  s.worker->feature(), &s.logFeature, nullptr};

    // Loaded by us first, and for good: the loader's own words say why a library cannot be loaded, and
    // a library is never unloaded and loaded again (some cannot survive that).
    std::string whyNot = detail::loadPluginLibrary(plugin);
    if (whyNot.empty()) {
        s.instance = lilv_plugin_instantiate(plugin, sampleRate, s.features.data());
        if (!s.instance)
            whyNot = detail::whyPluginDidNotStart(plugin);
    }
    if (!s.instance)
        throw PluginError(PluginError::Case::instantiationFailed, description.name + " could not be started.",
                          std::move(whyNot));
    s.worker->start(lilv_instance_get_handle(s.instance),
                    static_cast<const LV2_Worker_Interface*>(
                        lilv_instance_get_extension_data(s.instance, LV2_WORKER__interface)));

    for (std::uint32_t index = 0; index < portCount; ++index) {
        const Connection& c = connections[index];
        void* data = nullptr;
        switch (c.kind) {
        case Connection::control: data = &s.portValues[index]; break;
        case Connection::audioIn: data = s.audioInputs[c.slot].data(); break;
        case Connection::audioOut: data = s.audioOutputs[c.slot].data(); break;
        case Connection::cv: data = s.cvBuffers[c.slot].data(); break;
        case Connection::atomIn: data = s.atomInputs[c.slot].words.data(); break;
        case Connection::atomOut: data = s.atomOutputs[c.slot].words.data(); break;
        case Connection::none: break;
        }
        lilv_instance_connect_port(s.instance, index, data);
    }

    if (lilv_plugin_has_feature(plugin, w.loadDefaultState.get())) {
        // The plug-in keeps its real defaults in a state of its own, to be loaded before it first runs.
        if (LilvState* state = lilv_state_new_from_world(w.world, urids.mapFeatureData(), lilv_plugin_get_uri(plugin))) {
            lilv_state_restore(state, s.instance, &Impl::restorePortValue, &s, 0, s.features.data());
            lilv_state_free(state);
        }
    }

    lilv_instance_activate(s.instance);
    s.activated = true;
    return std::unique_ptr<PluginInstance>(new PluginInstance(std::move(impl)));
}

const PluginDescription& PluginInstance::description() const noexcept { return impl_->description; }
double PluginInstance::sampleRate() const noexcept { return impl_->sampleRate; }
int PluginInstance::maximumBlockFrames() const noexcept { return impl_->maximumBlockFrames; }
bool PluginInstance::acceptsMidi() const noexcept { return impl_->midiInput >= 0; }
const std::vector<PluginParameter>& PluginInstance::parameters() const noexcept { return impl_->parameters; }

std::optional<std::size_t> PluginInstance::parameterIndex(std::string_view symbol) const noexcept
{
    for (std::size_t i = 0; i < impl_->parameters.size(); ++i)
        if (impl_->parameters[i].symbol == symbol)
            return i;
    return std::nullopt;
}

float PluginInstance::parameterValue(std::size_t index) const noexcept
{
    return index < impl_->parameters.size() ? impl_->parameterValues[index].load(std::memory_order_relaxed) : 0.0f;
}

void PluginInstance::setParameterValue(std::size_t index, float value) noexcept
{
    if (impl_->storeParameter(index, value))
        impl_->changeCount.fetch_add(1, std::memory_order_relaxed);
}

std::uint64_t PluginInstance::parameterChangeCount() const noexcept
{
    return impl_->changeCount.load(std::memory_order_relaxed);
}

void PluginInstance::setBypassed(bool bypassed) noexcept { impl_->bypassed.store(bypassed, std::memory_order_relaxed); }
bool PluginInstance::isBypassed() const noexcept { return impl_->bypassed.load(std::memory_order_relaxed); }

void PluginInstance::setTempo(double beatsPerMinute) noexcept
{
    if (std::isfinite(beatsPerMinute) && beatsPerMinute > 0.0)
        impl_->tempo.store(beatsPerMinute, std::memory_order_relaxed);
}

double PluginInstance::tempo() const noexcept { return impl_->tempo.load(std::memory_order_relaxed); }

std::optional<std::vector<std::uint8_t>> PluginInstance::saveState() const
{
    Impl& s = *impl_;
    detail::PluginWorld& w = *s.world;
    std::lock_guard lock(w.mutex);
    std::lock_guard working(s.worker->workMutex());
    LilvState* state = lilv_state_new_from_instance(
        s.plugin, s.instance, w.urids.mapFeatureData(), nullptr, nullptr, nullptr, nullptr,
        [](const char* symbol, void* user, std::uint32_t* size, std::uint32_t* type) -> const void* {
            auto& self = *static_cast<Impl*>(user);
            const auto index = self.indexOf(symbol);
            if (!index) {
                *size = 0;
                *type = 0;
                return nullptr;
            }
            self.savedValues[*index] = self.parameterValues[*index].load(std::memory_order_relaxed);
            *size = sizeof(float);
            *type = self.urids.atomFloat;
            return &self.savedValues[*index];
        },
        &s, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, s.features.data());
    if (!state)
        return std::nullopt;
    char* text = lilv_state_to_string(w.world, w.urids.mapFeatureData(), w.urids.unmapFeatureData(), state,
                                      stateUri, nullptr);
    lilv_state_free(state);
    if (!text)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(text, text + std::strlen(text));
    lilv_free(text);
    return bytes;
}

bool PluginInstance::restoreState(std::span<const std::uint8_t> bytes)
{
    Impl& s = *impl_;
    detail::PluginWorld& w = *s.world;
    // lilv reads a C string: the text ends at the first zero byte, if any.
    const std::string text(bytes.begin(), bytes.end());
    if (!isWellFormedTurtle(text))
        return false;
    std::lock_guard lock(w.mutex);
    LilvState* state = lilv_state_new_from_string(w.world, w.urids.mapFeatureData(), text.c_str());
    if (!state)
        return false;
    // A state of another plug-in would set ports and properties this one does not have.
    const LilvNode* appliesTo = lilv_state_get_plugin_uri(state);
    if (!appliesTo || !lilv_node_is_uri(appliesTo) || s.description.uri != lilv_node_as_uri(appliesTo)) {
        lilv_state_free(state);
        return false;
    }

    s.restoring.store(true);
    while (s.processing.load())
        std::this_thread::yield();
    {
        std::lock_guard working(s.worker->workMutex());
        lilv_state_restore(state, s.instance, &Impl::restorePortValue, &s, 0, s.features.data());
    }
    s.restoring.store(false);
    lilv_state_free(state);
    s.changeCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void PluginInstance::process(const float* const* input, float* const* output, int frames,
                             std::span<const PluginMidiEvent> midiEvents) noexcept
{
    Impl& s = *impl_;
    if (frames <= 0 || !output)
        return;
    s.processing.store(true);
    // A plug-in with an enable port bypasses itself (smoothly, the way it knows best) and keeps running.
    if ((s.bypassed.load(std::memory_order_relaxed) && !s.enablePort) || s.restoring.load()) {
        s.passThrough(input, output, frames);
        s.processing.store(false);
        return;
    }

    // Sort into the preallocated list by insertion: blocks hold few events, and this keeps events at one
    // frame in the order given.
    s.events.clear();
    if (s.midiInput >= 0) {
        for (const PluginMidiEvent& given : midiEvents) {
            if (s.events.size() == s.events.capacity())
                break;
            PluginMidiEvent event = given;
            event.frameOffset = std::clamp(event.frameOffset, 0, frames - 1);
            std::size_t position = s.events.size();
            s.events.push_back(event);
            while (position > 0 && s.events[position - 1].frameOffset > event.frameOffset) {
                s.events[position] = s.events[position - 1];
                --position;
            }
            s.events[position] = event;
        }
    }

    std::size_t nextEvent = 0;
    for (int start = 0; start < frames; start += s.maximumBlockFrames)
        s.runSlice(input, output, start, std::min(s.maximumBlockFrames, frames - start), nextEvent);
    s.processing.store(false);
}

namespace detail {

const LilvPlugin* PluginInstanceAccess::plugin(const PluginInstance& unit) noexcept { return unit.impl_->plugin; }

std::shared_ptr<PluginWorld> PluginInstanceAccess::world(const PluginInstance& unit) noexcept
{
    return unit.impl_->world;
}

LV2_Handle PluginInstanceAccess::handle(const PluginInstance& unit) noexcept
{
    return lilv_instance_get_handle(unit.impl_->instance);
}

PluginInstanceAccess::ExtensionData PluginInstanceAccess::extensionData(const PluginInstance& unit) noexcept
{
    return lilv_instance_get_descriptor(unit.impl_->instance)->extension_data;
}

std::uint32_t PluginInstanceAccess::parameterPort(const PluginInstance& unit, std::size_t index) noexcept
{
    return unit.impl_->parameterPorts[index];
}

} // namespace detail

} // namespace veltrane
