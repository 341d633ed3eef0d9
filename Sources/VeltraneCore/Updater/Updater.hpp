#pragma once

// The update check's rules: which announced version is newer than the running one, and what an update
// manifest announces. Fetching the manifest is the application's part; these only read text.
//
// The manifest is a JSON object with "version" (string), "url" (string, the archive's address) and
// optionally "notes" (string); other members are ignored.

#include "VeltraneCore/Updater/UpdateInfo.hpp"
#include "VeltraneCore/Updater/WebAddress.hpp"

#include <string_view>

namespace veltrane::Updater {

/// Whether `candidate` is strictly newer than `current`. Both are dot-separated numbers; a version with an
/// empty part or a character that is not a number (a suffix such as "-beta", a letter, a space) is never
/// newer, nor is anything newer than it. Numbers compare by value part by part, a missing part counting
/// as 0, so "1.10" is newer than "1.9" and "1.2.0" equals "1.2". A part written with number characters
/// other than ASCII digits (or too large for 64 bits) is left out of the comparison.
bool isNewer(std::string_view candidate, std::string_view current);

/// What the manifest `body` (the answer of a successful request) announces to an application running
/// `currentVersion`: an update when its version is newer and its address acceptable, up to date when the
/// version is not newer, and a failed check when the body is not a manifest, its "version" or "url" is
/// missing or not a string, or the address is not acceptable under `policy`.
UpdateCheckResult evaluateManifest(std::string_view body, std::string_view currentVersion,
                                   const UpdateAddressPolicy& policy = {});

} // namespace veltrane::Updater
