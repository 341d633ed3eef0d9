#include "VeltraneCore/Updater/WebAddress.hpp"

#include <algorithm>
#include <cctype>

namespace veltrane {

namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The characters an address may hold as they are: unreserved, delimiters and the percent sign.
bool mayStandInAddress(char c)
{
    if (isAsciiLetter(c) || isAsciiDigit(c))
        return true;
    constexpr std::string_view kOthers = "-._~:/?#[]@!$&'()*+,;=%";
    return kOthers.find(c) != std::string_view::npos;
}

bool hasWellFormedCharacters(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!mayStandInAddress(text[i]))
            return false;
        if (text[i] == '%' && (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])))
            return false;
    }
    return true;
}

} // namespace

std::optional<WebAddress> parseWebAddress(std::string_view text)
{
    if (!hasWellFormedCharacters(text))
        return std::nullopt;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAsciiLetter(text[0]))
        return std::nullopt;
    const std::string_view scheme = text.substr(0, colon);
    const bool schemeIsWellFormed = std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return isAsciiLetter(c) || isAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
    if (!schemeIsWellFormed)
        return std::nullopt;

    WebAddress address{.scheme = std::string(scheme)};
    std::string_view rest = text.substr(colon + 1);
    if (!rest.starts_with("//"))
        return rest.find_first_of("[]") == std::string_view::npos ? std::optional(address) : std::nullopt;

    rest.remove_prefix(2);
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    if (authorityEnd != std::string_view::npos && rest.substr(authorityEnd).find_first_of("[]") != std::string_view::npos)
        return std::nullopt;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        if (authority.substr(0, at).find_first_of("[]") != std::string_view::npos)
            return std::nullopt;
        authority.remove_prefix(at + 1);
    }

    std::string_view host;
    std::string_view afterHost;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = authority.substr(1, close - 1);
        afterHost = authority.substr(close + 1);
        if (host.empty() || host.find('[') != std::string_view::npos)
            return std::nullopt;
    } else {
        const std::size_t portColon = authority.find(':');
        host = authority.substr(0, portColon);
        afterHost = portColon == std::string_view::npos ? std::string_view() : authority.substr(portColon);
        if (host.find_first_of("[]") != std::string_view::npos)
            return std::nullopt;
    }
    if (!afterHost.empty()) {
        if (afterHost[0] != ':')
            return std::nullopt;
        const std::string_view port = afterHost.substr(1);
        if (!std::all_of(port.begin(), port.end(), isAsciiDigit))
            return std::nullopt;
    }
    address.host = std::string(host);
    return address;
}

bool isAcceptedUpdateAddress(std::string_view text, const UpdateAddressPolicy& policy)
{
    const auto address = parseWebAddress(text);
    if (!address || address->host.empty())
        return false;
    if (address->scheme == "https")
        return true;
    return policy.allowPlainHttpOnLoopback && address->scheme == "http" && address->host == "127.0.0.1";
}

} // namespace veltrane
