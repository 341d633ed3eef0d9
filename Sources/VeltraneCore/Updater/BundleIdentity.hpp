#pragma once

// An installed application folder says what it is in a small JSON file beside the executable:
// {"identifier": "com.tavix.veltrane", "version": "1.3"}. A folder without it (a build folder) runs as
// the version "Development", which is never offered an update.

#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

inline constexpr std::string_view kBundleInfoFileName = "bundle-info.json";
inline constexpr std::string_view kApplicationIdentifier = "com.tavix.veltrane";
inline constexpr std::string_view kDevelopmentVersion = "Development";

struct BundleIdentity {
    std::optional<std::string> identifier; // present only when given as a string
    std::optional<std::string> version;    // present only when given as a string
    friend bool operator==(const BundleIdentity&, const BundleIdentity&) = default;
};

/// Reads the bundle information text; nothing when it is not a JSON object.
std::optional<BundleIdentity> parseBundleIdentity(std::string_view text);

/// The text of the bundle information file for an application of this identity.
std::string bundleIdentityText(const BundleIdentity& identity);

} // namespace veltrane
