// The model in a process of its own, killed with SIGKILL: the next start finds every edit made before the
// autosave delay passed, and never a damaged autosave, however the write was cut short.

#include "ModelChildProcess.hpp"
#include "ModelScript.hpp"
#include "ModelTestSupport.hpp"

#include <chrono>
#include <random>
#include <thread>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// What the scripted edits leave in a model of this process.
std::string expectedDocument()
{
    ModelHarness harness;
    auto& model = harness.make();
    runEditScript(model);
    return describeDocument(model.project());
}

} // namespace

TEST(AppModelCrash, TheNextStartOffersEveryEditMadeBeforeTheKill)
{
    TemporaryFolder home;
    {
        Child child("report", home.path());
        EXPECT_EQ(child.readLine(), "recovery none");
        EXPECT_EQ(child.wait(), 0);
    }
    {
        Child child("edit", home.path());
        ASSERT_EQ(child.readLine(), "written");
        child.kill();
    }
    EXPECT_TRUE(std::filesystem::exists(home.path() / "data" / "Veltrane" / "Autosave.veltrane"));
    Child next("report", home.path());
    EXPECT_EQ(next.readLine(), "recovery " + expectedDocument());
    EXPECT_EQ(next.wait(), 0);
}

TEST(AppModelCrash, AKillDuringALargeAutosaveLeavesTheOldSnapshotOrTheNew)
{
    TemporaryFolder home;
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> killAfterMilliseconds(0, 1800);
    int lastWritten = 0; // generations whose write the child reported
    int kills = 0;
    for (int iteration = 0; iteration < 8; ++iteration) {
        Child child("churn", home.path());
        const auto found = child.readLine();
        ASSERT_TRUE(found) << "iteration " << iteration;
        if (lastWritten == 0) {
            // Nothing was ever reported on disk: an earlier child may still have landed its first write.
            ASSERT_TRUE(*found == "found none" || *found == "found 1") << *found;
        } else {
            // The last reported generation, or the one whose rename the kill beat the report of.
            ASSERT_TRUE(*found == "found " + std::to_string(lastWritten) ||
                        *found == "found " + std::to_string(lastWritten + 1))
                << *found << " after generation " << lastWritten << " was written";
        }
        if (*found != "found none") lastWritten = std::stoi(found->substr(6));
        if (lastWritten == 0) {
            // On a busy machine the first large write may take longer than any kill moment below: let one
            // land before killing at random, so that the kills meet a snapshot to keep.
            const auto line = child.readLine(std::chrono::seconds(120));
            ASSERT_TRUE(line && line->rfind("written ", 0) == 0) << line.value_or("no line");
            lastWritten = std::stoi(line->substr(8));
        }

        std::this_thread::sleep_for(std::chrono::milliseconds(700 + killAfterMilliseconds(random)));
        child.kill();
        ++kills;
        for (const auto& line : child.remainingLines()) {
            if (line.rfind("written ", 0) == 0) lastWritten = std::max(lastWritten, std::stoi(line.substr(8)));
        }
    }
    EXPECT_EQ(kills, 8);
    EXPECT_GT(lastWritten, 0) << "no autosave ever landed";

    Child last("report", home.path());
    const auto report = last.readLine();
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->rfind("recovery Generation ", 0) == 0) << *report;
    EXPECT_EQ(last.wait(), 0);
    // Writes the kills cut short left their temporary files; the start cleared them away.
    for (const auto& entry : std::filesystem::directory_iterator(home.path() / "data" / "Veltrane")) {
        EXPECT_EQ(entry.path().filename(), "Autosave.veltrane");
    }
}
