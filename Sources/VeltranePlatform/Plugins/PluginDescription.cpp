#include "VeltranePlatform/Plugins/PluginDescription.hpp"

namespace veltrane {

std::string pluginUriAuthority(std::string_view uri)
{
    // scheme ":" "//" authority, where the scheme is a letter followed by letters, digits, "+", "-", ".".
    const auto colon = uri.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return {};
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = uri[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!(letter || (i > 0 && other)))
            return {};
    }
    std::string_view rest = uri.substr(colon + 1);
    if (rest.substr(0, 2) != "//")
        return {};
    rest.remove_prefix(2);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        return std::string(close == std::string_view::npos ? authority : authority.substr(0, close + 1));
    }
    return std::string(authority.substr(0, authority.find(':')));
}

} // namespace veltrane
