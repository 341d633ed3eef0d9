#include "VeltraneCore/Updater/Updater.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using veltrane::UpdateAddressPolicy;
using veltrane::UpdateCheckOutcome;
using veltrane::UpdateCheckResult;
using veltrane::UpdateInfo;
using veltrane::Updater::evaluateManifest;

TEST(UpdaterManifest, AnnouncesANewerVersionWithItsAddressAndNotes)
{
    const auto result = evaluateManifest(
        R"({"version": "1.3", "url": "https://dl.tavix.example/veltrane/1.3.zip", "notes": "Faster export.",
            "size": 123})",
        "1.2.9");
    EXPECT_EQ(result, (UpdateCheckResult{.outcome = UpdateCheckOutcome::updateAvailable,
                                         .update = UpdateInfo{.version = "1.3",
                                                              .downloadURL = "https://dl.tavix.example/veltrane/1.3.zip",
                                                              .notes = "Faster export."}}));
}

TEST(UpdaterManifest, KeepsTheVersionAsWrittenAndNotesOnlyWhenText)
{
    for (const std::string_view notes : {R"()", R"(, "notes": 12)", R"(, "notes": null)", R"(, "notes": ["a"])"}) {
        const auto body = R"({"version": "02.0", "url": "https://h/x.zip")" + std::string(notes) + "}";
        const auto result = evaluateManifest(body, "1.9");
        ASSERT_EQ(result.outcome, UpdateCheckOutcome::updateAvailable) << body;
        EXPECT_EQ(result.update->version, "02.0");
        EXPECT_EQ(result.update->notes, "") << body;
    }
}

TEST(UpdaterManifest, AVersionThatIsNotNewerIsUpToDate)
{
    for (const std::string_view version : {"1.2", "1.2.0", "1.1.9", "1.3-beta", ""}) {
        const auto body = R"({"version": ")" + std::string(version) + R"(", "url": "https://h/x.zip"})";
        EXPECT_EQ(evaluateManifest(body, "1.2"), UpdateCheckResult{.outcome = UpdateCheckOutcome::upToDate}) << body;
    }
    EXPECT_EQ(evaluateManifest(R"({"version": "9.0", "url": "https://h/x.zip"})", "Development").outcome,
              UpdateCheckOutcome::upToDate);
}

TEST(UpdaterManifest, WhatCannotBeUsedIsAFailedCheckNotUpToDate)
{
    constexpr std::string_view kBodies[] = {
        "",
        "not json",
        R"({"version": "2.0", "url": "https://h/x.zip")", // cut off
        R"([{"version": "2.0", "url": "https://h/x.zip"}])",
        R"("2.0")",
        R"({"url": "https://h/x.zip"})",
        R"({"version": 2.0, "url": "https://h/x.zip"})",
        R"({"version": ["2.0"], "url": "https://h/x.zip"})",
        R"({"version": "2.0"})",
        R"({"version": "2.0", "url": 5})",
        R"({"version": "2.0", "url": {"href": "https://h/x.zip"}})",
        R"({"version": "2.0", "url": "http://h/x.zip"})",
        R"({"version": "2.0", "url": "HTTPS://h/x.zip"})",
        R"({"version": "2.0", "url": "https:///x.zip"})",
        R"({"version": "2.0", "url": "https:x.zip"})",
        R"({"version": "2.0", "url": "ftp://h/x.zip"})",
        R"({"version": "2.0", "url": "/veltrane/x.zip"})",
        R"({"version": "2.0", "url": "https://h/a b.zip"})",
        R"({"version": "1.0", "url": "http://h/x.zip"})", // not newer either: the address is checked first
        R"({"version": "2.0", "url": "http://127.0.0.1:8080/x.zip"})",
    };
    for (const auto body : kBodies)
        EXPECT_EQ(evaluateManifest(body, "1.2"), UpdateCheckResult{.outcome = UpdateCheckOutcome::failed}) << body;
}

TEST(UpdaterManifest, OnlyTheTestPolicyTakesPlainHttpAndOnlyOnLoopback)
{
    const UpdateAddressPolicy testPolicy{.allowPlainHttpOnLoopback = true};
    const auto manifest = [](std::string_view url) {
        return R"({"version": "2.0", "url": ")" + std::string(url) + R"("})";
    };
    EXPECT_EQ(evaluateManifest(manifest("http://127.0.0.1:8080/x.zip"), "1.0", testPolicy).outcome,
              UpdateCheckOutcome::updateAvailable);
    EXPECT_EQ(evaluateManifest(manifest("https://h/x.zip"), "1.0", testPolicy).outcome,
              UpdateCheckOutcome::updateAvailable);
    for (const std::string_view url : {"http://localhost/x.zip", "http://127.0.0.2/x.zip", "http://h/x.zip",
                                       "http://127.0.0.1.h/x.zip", "http://127.0.0.1@h/x.zip"})
        EXPECT_EQ(evaluateManifest(manifest(url), "1.0", testPolicy).outcome, UpdateCheckOutcome::failed) << url;
}
