#pragma once

#include <optional>
#include <string>

namespace veltrane {

/// One update the maker announces: the version exactly as announced, the absolute address of its archive
/// and the release notes (empty when the announcement has none).
struct UpdateInfo {
    std::string version;
    std::string downloadURL;
    std::string notes;
    friend bool operator==(const UpdateInfo&, const UpdateInfo&) = default;
};

/// What one look at the update manifest found. A check that could not be made (no answer, a bad answer,
/// an announcement that cannot be used) is told apart from one that found nothing newer, so a check the
/// user asked for never claims the application is up to date when it could not tell.
enum class UpdateCheckOutcome { upToDate, updateAvailable, failed };

struct UpdateCheckResult {
    UpdateCheckOutcome outcome = UpdateCheckOutcome::failed;
    std::optional<UpdateInfo> update; // set exactly when `outcome` is `updateAvailable`
    friend bool operator==(const UpdateCheckResult&, const UpdateCheckResult&) = default;
};

} // namespace veltrane
