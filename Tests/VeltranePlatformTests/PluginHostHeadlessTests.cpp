#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

using namespace veltrane;
using namespace veltrane::testing;

namespace {

constexpr const char* synthv1Uri = "http://synthv1.sourceforge.net/lv2";
constexpr const char* childVariable = "VELTRANE_HEADLESS_PLUGIN_CHILD";

// Exit statuses of the child.
constexpr int childPlayed = 0;
constexpr int childSilent = 3;
constexpr int childRefused = 4;

// The child is this test program started again without a display: before any test runs it starts
// synthv1 over the pinned plug-ins, plays a note and ends with a status that says what happened.
const bool headlessChild = [] {
    if (!std::getenv(childVariable))
        return false;
    int status = childRefused;
    try {
        const PluginHost host(VELTRANE_TEST_LV2_PATH);
        auto synth = host.instantiate(synthv1Uri, 44100.0, 256, PluginRunMode::offline);
        StereoBuffer block(256);
        float loudest = 0.0f;
        for (int b = 0; b < 40; ++b) {
            const PluginMidiEvent on[] = {noteOn(0, 60)};
            synth->process(nullptr, block.channels(), 256,
                           b == 0 ? std::span<const PluginMidiEvent>(on) : std::span<const PluginMidiEvent>());
            loudest = std::max(loudest, peak(block, 0, 256));
        }
        status = loudest > 0.01f ? childPlayed : childSilent;
    } catch (const std::exception&) {
        status = childRefused;
    }
    // The plug-in's toolkit objects are never torn down: only the status matters.
    std::_Exit(status);
}();

} // namespace

// synthv1 makes a Qt application object when it starts; without a display that used to abort the whole
// process. With no display and no Qt platform chosen, the host lets it run display-less.
TEST(PluginHostHeadless, APlugInWithToolkitCodePlaysInAProcessWithoutADisplay)
{
    if (!PluginHost(VELTRANE_TEST_LV2_PATH).find(synthv1Uri))
        GTEST_SKIP() << "synthv1 (synthv1-lv2, which starts a Qt application in its audio part) is not installed";

    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM")
            variables.push_back(variable);
    }
    variables.push_back(std::string(childVariable) + "=1");
    std::vector<char*> environment;
    for (auto& variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    std::string program = "/proc/self/exe";
    char* arguments[] = {program.data(), nullptr};

    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environment.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status)) << "the process was killed by signal " << WTERMSIG(status)
                                      << " (" << strsignal(WTERMSIG(status)) << ")";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), childPlayed) << "3: the note was silent, 4: the plug-in was refused";
}
