#include "VeltraneCore/Updater/Updater.hpp"

#include "VeltraneCore/Text/Utf8.hpp"
#include "VeltraneCore/Updater/UnicodeNumeric.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

namespace veltrane::Updater {

namespace {

std::vector<std::string_view> splitAtPoints(std::string_view version)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t point = version.find('.', start);
        parts.push_back(version.substr(start, point - start));
        if (point == std::string_view::npos)
            return parts;
        start = point + 1;
    }
}

bool isNumberPart(std::string_view part)
{
    if (part.empty())
        return false;
    for (std::size_t position = 0; position < part.size();)
        if (!isUnicodeNumeric(decodeUtf8(part, position)))
            return false;
    return true;
}

// The parts that read as decimal numbers in ASCII digits; any other part is left out, so the parts after
// it move up one place.
std::vector<std::int64_t> numbersOf(const std::vector<std::string_view>& parts)
{
    std::vector<std::int64_t> numbers;
    for (const std::string_view part : parts) {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error == std::errc() && end == part.data() + part.size() && part[0] != '-')
            numbers.push_back(value);
    }
    return numbers;
}

} // namespace

bool isNewer(std::string_view candidate, std::string_view current)
{
    const auto candidateParts = splitAtPoints(candidate);
    const auto currentParts = splitAtPoints(current);
    if (!std::all_of(candidateParts.begin(), candidateParts.end(), isNumberPart)
        || !std::all_of(currentParts.begin(), currentParts.end(), isNumberPart))
        return false;
    const auto candidateNumbers = numbersOf(candidateParts);
    const auto currentNumbers = numbersOf(currentParts);
    const std::size_t count = std::max(candidateNumbers.size(), currentNumbers.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t a = i < candidateNumbers.size() ? candidateNumbers[i] : 0;
        const std::int64_t b = i < currentNumbers.size() ? currentNumbers[i] : 0;
        if (a != b)
            return a > b;
    }
    return false;
}

UpdateCheckResult evaluateManifest(std::string_view body, std::string_view currentVersion,
                                   const UpdateAddressPolicy& policy)
{
    const UpdateCheckResult failed{.outcome = UpdateCheckOutcome::failed};
    const auto manifest = nlohmann::json::parse(body, nullptr, false);
    if (!manifest.is_object())
        return failed;
    const auto version = manifest.find("version");
    const auto url = manifest.find("url");
    if (version == manifest.end() || !version->is_string() || url == manifest.end() || !url->is_string())
        return failed;
    if (!isAcceptedUpdateAddress(url->get_ref<const std::string&>(), policy))
        return failed;
    if (!isNewer(version->get_ref<const std::string&>(), currentVersion))
        return {.outcome = UpdateCheckOutcome::upToDate};
    const auto notes = manifest.find("notes");
    return {.outcome = UpdateCheckOutcome::updateAvailable,
            .update = UpdateInfo{.version = version->get<std::string>(),
                                 .downloadURL = url->get<std::string>(),
                                 .notes = notes != manifest.end() && notes->is_string() ? notes->get<std::string>()
                                                                                        : std::string()}};
}

} // namespace veltrane::Updater
