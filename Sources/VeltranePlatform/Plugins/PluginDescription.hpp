#pragma once

#include <string>
#include <string_view>

namespace veltrane {

/// What an installed plug-in can stand in for: an instrument (played by MIDI), an effect that also
/// takes MIDI, or an audio effect.
enum class PluginKind { instrument, midiEffect, effect };

/// One installed plug-in as the catalogue sees it.
struct PluginDescription {
    std::string uri;
    std::string name;
    /// The author's name; empty when the plug-in names none.
    std::string author;
    /// Host part of the URI (no user information, no port); empty for a URI without one, such as a URN.
    std::string authority;
    PluginKind kind = PluginKind::effect;
    friend bool operator==(const PluginDescription&, const PluginDescription&) = default;
};

/// Host part of a URI's authority: "http://user@example.org:8080/x" gives "example.org", "urn:x:y" gives "".
/// The text is returned as written; an IPv6 literal keeps its brackets.
std::string pluginUriAuthority(std::string_view uri);

} // namespace veltrane
