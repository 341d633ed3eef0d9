#include "VeltraneCore/Updater/BundleIdentity.hpp"

#include <nlohmann/json.hpp>

namespace veltrane {

std::optional<BundleIdentity> parseBundleIdentity(std::string_view text)
{
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object())
        return std::nullopt;
    const auto stringMember = [&](const char* key) -> std::optional<std::string> {
        const auto member = json.find(key);
        if (member == json.end() || !member->is_string())
            return std::nullopt;
        return member->get<std::string>();
    };
    return BundleIdentity{.identifier = stringMember("identifier"), .version = stringMember("version")};
}

std::string bundleIdentityText(const BundleIdentity& identity)
{
    nlohmann::json json = nlohmann::json::object();
    if (identity.identifier)
        json["identifier"] = *identity.identifier;
    if (identity.version)
        json["version"] = *identity.version;
    return json.dump(2) + "\n";
}

} // namespace veltrane
