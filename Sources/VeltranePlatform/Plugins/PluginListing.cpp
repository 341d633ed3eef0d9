#include "VeltranePlatform/Plugins/PluginListing.hpp"

#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include <serd/serd.h>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace veltrane::detail {

namespace {

constexpr const char* rdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* doapName = "http://usefulinc.com/ns/doap#name";
constexpr const char* doapMaintainer = "http://usefulinc.com/ns/doap#maintainer";
constexpr const char* foafName = "http://xmlns.com/foaf/0.1/name";

// The statements a listing reads, by their predicate.
enum Predicate { type, name, maintainer, personName, port, project, supports, predicateCount };
constexpr std::array<const char*, predicateCount> predicateUris = {
    rdfType, doapName, doapMaintainer, foafName, LV2_CORE__port, LV2_CORE__project, LV2_ATOM__supports,
};

struct Value {
    std::string text;
    std::string language;
    bool literal = false;
};

/// The statements of interest of every description file read so far, by subject. Blank nodes are
/// named by their file and their label, as a label means nothing outside its file.
class Statements {
public:
    /// Reads one file; false when it is not well-formed Turtle (lilv would not list its plug-ins).
    bool read(const std::string& fileUri)
    {
        if (const auto known = files_.find(fileUri); known != files_.end())
            return known->second;
        fileNumber_ = files_.size();
        SerdNode base = serd_node_from_string(SERD_URI, reinterpret_cast<const std::uint8_t*>(fileUri.c_str()));
        env_ = serd_env_new(&base);
        SerdReader* reader = serd_reader_new(SERD_TURTLE, this, nullptr, &Statements::onBase, &Statements::onPrefix,
                                             &Statements::onStatement, nullptr);
        serd_reader_set_error_sink(reader, [](void*, const SerdError*) { return SERD_SUCCESS; }, nullptr);
        const SerdStatus status = serd_reader_read_file(reader, reinterpret_cast<const std::uint8_t*>(fileUri.c_str()));
        serd_reader_free(reader);
        serd_env_free(env_);
        env_ = nullptr;
        const bool good = status == SERD_SUCCESS;
        files_.emplace(fileUri, good);
        return good;
    }

    const std::vector<Value>& values(const std::string& subject, Predicate predicate) const
    {
        static const std::vector<Value> none;
        const auto found = bySubject_.find(subject);
        return found == bySubject_.end() ? none : found->second[predicate];
    }

    bool has(const std::string& subject, Predicate predicate, std::string_view uri) const
    {
        const auto& list = values(subject, predicate);
        return std::any_of(list.begin(), list.end(), [&](const Value& v) { return !v.literal && v.text == uri; });
    }

private:
    static SerdStatus onBase(void* handle, const SerdNode* uri)
    {
        return serd_env_set_base_uri(static_cast<Statements*>(handle)->env_, uri);
    }
    static SerdStatus onPrefix(void* handle, const SerdNode* name, const SerdNode* uri)
    {
        return serd_env_set_prefix(static_cast<Statements*>(handle)->env_, name, uri);
    }
    static SerdStatus onStatement(void* handle, SerdStatementFlags, const SerdNode*, const SerdNode* subject,
                                  const SerdNode* predicate, const SerdNode* object, const SerdNode*,
                                  const SerdNode* language)
    {
        auto& self = *static_cast<Statements*>(handle);
        const std::string predicateText = self.nodeName(predicate);
        const auto which = std::find_if(predicateUris.begin(), predicateUris.end(),
                                        [&](const char* uri) { return predicateText == uri; });
        if (which == predicateUris.end())
            return SERD_SUCCESS;
        Value value;
        value.literal = object->type == SERD_LITERAL;
        value.text = value.literal ? std::string(reinterpret_cast<const char*>(object->buf), object->n_bytes)
                                   : self.nodeName(object);
        if (language && language->buf)
            value.language.assign(reinterpret_cast<const char*>(language->buf), language->n_bytes);
        auto& lists = self.bySubject_[self.nodeName(subject)];
        lists[std::size_t(which - predicateUris.begin())].push_back(std::move(value));
        return SERD_SUCCESS;
    }

    std::string nodeName(const SerdNode* node) const
    {
        if (node->type == SERD_BLANK)
            return "_:" + std::to_string(fileNumber_) + ":"
                   + std::string(reinterpret_cast<const char*>(node->buf), node->n_bytes);
        if (node->type != SERD_URI && node->type != SERD_CURIE)
            return std::string(reinterpret_cast<const char*>(node->buf), node->n_bytes);
        SerdNode expanded = serd_env_expand_node(env_, node);
        std::string text = expanded.buf ? std::string(reinterpret_cast<const char*>(expanded.buf), expanded.n_bytes)
                                        : std::string(reinterpret_cast<const char*>(node->buf), node->n_bytes);
        serd_node_free(&expanded);
        return text;
    }

    SerdEnv* env_ = nullptr;
    std::size_t fileNumber_ = 0;
    std::unordered_map<std::string, bool> files_;
    std::unordered_map<std::string, std::array<std::vector<Value>, predicateCount>> bySubject_;
};

/// The text of a name: one without a language tag, else an English one, else the first.
std::string chooseName(const std::vector<Value>& values)
{
    const Value* chosen = nullptr;
    for (const Value& value : values) {
        if (!value.literal)
            continue;
        if (value.language.empty())
            return value.text;
        if (!chosen || (value.language.starts_with("en") && !chosen->language.starts_with("en")))
            chosen = &value;
    }
    return chosen ? chosen->text : std::string();
}

/// A value lilv has from the manifests (no plug-in description is loaded by asking).
std::string manifestValue(const PluginWorld& world, const std::string& subject, const char* predicate)
{
    const LilvNodePtr subjectNode = world.uri(subject.c_str());
    const LilvNodePtr predicateNode = world.uri(predicate);
    LilvNode* value = lilv_world_get(world.world, subjectNode.get(), predicateNode.get(), nullptr);
    std::string text = value && lilv_node_as_string(value) ? lilv_node_as_string(value) : "";
    lilv_node_free(value);
    return text;
}

std::string firstResource(const Statements& statements, const std::string& subject, Predicate predicate)
{
    for (const Value& value : statements.values(subject, predicate))
        if (!value.literal)
            return value.text;
    return {};
}

/// The author as lilv gives it: the name of the plug-in's maintainer, else of its project's maintainer.
std::string authorName(const PluginWorld& world, const Statements& statements, const std::string& plugin)
{
    std::string maintainer = firstResource(statements, plugin, Predicate::maintainer);
    if (maintainer.empty()) {
        std::string project = firstResource(statements, plugin, Predicate::project);
        if (project.empty())
            project = manifestValue(world, plugin, LV2_CORE__project);
        if (!project.empty()) {
            maintainer = firstResource(statements, project, Predicate::maintainer);
            if (maintainer.empty() && !project.starts_with("_:"))
                maintainer = manifestValue(world, project, doapMaintainer);
        }
    }
    if (maintainer.empty())
        return {};
    std::string author = chooseName(statements.values(maintainer, Predicate::personName));
    if (author.empty() && !maintainer.starts_with("_:"))
        author = manifestValue(world, maintainer, foafName);
    return author;
}

} // namespace

std::vector<PluginDescription> listHostablePlugins(PluginWorld& world)
{
    Statements statements;
    std::vector<PluginDescription> plugins;
    const LilvPlugins* all = lilv_world_get_all_plugins(world.world);
    LILV_FOREACH (plugins, it, all) {
        const LilvPlugin* plugin = lilv_plugins_get(all, it);
        const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));

        // Every file that describes the plug-in must read, as lilv refuses a plug-in with a parse error.
        bool readable = true;
        const LilvNodes* files = lilv_plugin_get_data_uris(plugin);
        LILV_FOREACH (nodes, f, files) {
            const LilvNode* file = lilv_nodes_get(files, f);
            if (lilv_node_is_uri(file))
                readable = statements.read(lilv_node_as_uri(file)) && readable;
        }
        // A plug-in whose description lacks its type, name or ports cannot be hosted.
        const std::string name = chooseName(statements.values(uri, Predicate::name));
        const auto& ports = statements.values(uri, Predicate::port);
        if (!readable || statements.values(uri, Predicate::type).empty() || name.empty() || ports.empty())
            continue;

        std::uint32_t audioInputs = 0, audioOutputs = 0;
        bool midiInput = false;
        for (const Value& port : ports) {
            const bool input = statements.has(port.text, Predicate::type, LV2_CORE__InputPort);
            const bool output = statements.has(port.text, Predicate::type, LV2_CORE__OutputPort);
            if (statements.has(port.text, Predicate::type, LV2_CORE__AudioPort)) {
                audioInputs += input ? 1 : 0;
                audioOutputs += output ? 1 : 0;
            } else if (input && statements.has(port.text, Predicate::type, LV2_ATOM__AtomPort)
                       && statements.has(port.text, Predicate::supports, LV2_MIDI__MidiEvent)) {
                midiInput = true;
            }
        }
        const bool instrument = statements.has(uri, Predicate::type, LV2_CORE__InstrumentPlugin)
                                || lilv_world_ask(world.world, lilv_plugin_get_uri(plugin), world.rdfType.get(),
                                                  world.instrumentPlugin.get());
        PluginKind kind;
        if (audioOutputs == 0)
            continue;
        if (instrument)
            kind = PluginKind::instrument;
        else if (midiInput)
            kind = PluginKind::midiEffect;
        else if (audioInputs > 0)
            kind = PluginKind::effect;
        else
            continue;

        PluginDescription description;
        description.uri = uri;
        description.name = name;
        description.author = authorName(world, statements, uri);
        description.authority = pluginUriAuthority(uri);
        description.kind = kind;
        plugins.push_back(std::move(description));
    }
    std::sort(plugins.begin(), plugins.end(),
              [](const PluginDescription& a, const PluginDescription& b) { return a.uri < b.uri; });
    return plugins;
}

} // namespace veltrane::detail
