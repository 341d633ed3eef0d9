#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

/// The parts of an absolute web address that decide where an update may come from.
struct WebAddress {
    std::string scheme; // as written: the comparison with "https" is case-sensitive
    std::string host;   // without brackets for an IPv6 literal; empty when the address names none
    friend bool operator==(const WebAddress&, const WebAddress&) = default;
};

/// Reads "scheme:" and, after "//", the authority's host of an absolute address. Nothing when the text is
/// not a well-formed address: no scheme, a character that may not stand in an address (space, control,
/// non-ASCII, quote, angle bracket, ...), a bad port or an unclosed IPv6 bracket.
std::optional<WebAddress> parseWebAddress(std::string_view text);

/// Where updates may be fetched from. Only the tests widen it, to plain http on the loopback address
/// 127.0.0.1 where their own server answers; the application always uses the default.
struct UpdateAddressPolicy {
    bool allowPlainHttpOnLoopback = false;
};

/// Whether an update may be fetched from `text`: "https" with a host, or, when the policy allows it,
/// "http" on 127.0.0.1.
bool isAcceptedUpdateAddress(std::string_view text, const UpdateAddressPolicy& policy);

} // namespace veltrane
