#include "../VeltranePlaybackTests/OfflineRenderTestSupport.hpp"

#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "Veltrane/CommandLine/RenderCommandLine.hpp"
#include "Veltrane/CommandLine/RenderRun.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include <sys/wait.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

bool containsText(const std::vector<std::uint8_t>& bytes, std::string_view text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

std::uint32_t littleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + std::size_t(i)];
    return value;
}

// What sox itself says about a file, or nothing when sox is not installed.
std::optional<std::string> soxInfo(const std::filesystem::path& path)
{
    if (std::system("command -v soxi >/dev/null 2>&1") != 0) return std::nullopt;
    std::string output;
    if (FILE* pipe = ::popen(("soxi '" + path.string() + "' 2>&1").c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe)) output += chunk;
        ::pclose(pipe);
    }
    return output;
}

} // namespace

TEST(OfflineRenderSmoke, TheBuiltInTestsRenderFloatStereoWAVOfTheExpectedLengthTheSameEachTime)
{
    // Song lengths at 124 bpm and 4 rows a beat (0.120968 s a row) plus 3 s; the Audio Unit test's last
    // note ends in time, so its 3-second release allowance does not reach past that.
    const struct {
        RenderSmokeTest test;
        std::int64_t frames;
        bool needsMda;
    } cases[] = {
        {RenderSmokeTest::synthesizer, 174977, false},
        {RenderSmokeTest::automation, 217655, false},
        {RenderSmokeTest::sample, 174977, false},
        {RenderSmokeTest::audioUnit, 174977, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(renderSmokeOption(c.test));
        if (c.needsMda && !mdaInstalled()) {
            std::printf("skipping %s: the mda-lv2 plug-ins are not installed\n", renderSmokeOption(c.test).data());
            continue;
        }
        TemporaryFolder folder;
        OfflineRenderer renderer;
        renderer.render(renderSmokeProject(c.test), folder / "a.wav");
        renderer.render(renderSmokeProject(c.test), folder / "b.wav");

        const RenderedFile file = readRendered(folder / "a.wav");
        EXPECT_EQ(file.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        EXPECT_EQ(file.channels, 2);
        EXPECT_EQ(file.sampleRate, 44100);
        EXPECT_EQ(file.frames, c.frames);
        EXPECT_GT(file.peak(), 0.01f) << "the test project is heard";
        EXPECT_LT(file.peak(), 1.0f);

        const auto bytes = fileBytes(folder / "a.wav");
        EXPECT_EQ(bytes, fileBytes(folder / "b.wav")) << "repeated renders give the same bytes";
        EXPECT_FALSE(containsText(bytes, "PEAK"));
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WAVE");
        // The format chunk: IEEE float, 2 channels, 44,100 Hz, 32 bits.
        const auto fmt = std::search(bytes.begin(), bytes.end(), std::begin("fmt "), std::end("fmt ") - 1);
        ASSERT_NE(fmt, bytes.end());
        const std::size_t at = std::size_t(fmt - bytes.begin()) + 8;
        EXPECT_EQ(littleEndian(bytes, at, 2), 3u);
        EXPECT_EQ(littleEndian(bytes, at + 2, 2), 2u);
        EXPECT_EQ(littleEndian(bytes, at + 4, 4), 44100u);
        EXPECT_EQ(littleEndian(bytes, at + 14, 2), 32u);

        if (const auto sox = soxInfo(folder / "a.wav")) {
            EXPECT_NE(sox->find("Channels       : 2"), std::string::npos) << *sox;
            EXPECT_NE(sox->find("Sample Rate    : 44100"), std::string::npos) << *sox;
            EXPECT_NE(sox->find("= " + std::to_string(c.frames) + " samples"), std::string::npos) << *sox;
            EXPECT_NE(sox->find("32-bit Floating Point PCM"), std::string::npos) << *sox;
        }
    }
}

TEST(OfflineRenderSmoke, TheTestSampleIsOneSecondAt220ThenAt330Hertz)
{
    const Data bytes = smokeSampleWAV();
    ASSERT_EQ(bytes.size(), 88244u);
    const AudioFileBuffer sample = AudioFile::read(bytes.bytes());
    ASSERT_EQ(sample.channelCount(), 1);
    ASSERT_EQ(sample.frameCount(), 44100);
    EXPECT_EQ(sample.sampleRate, 44100);
    EXPECT_EQ(sample.channels[0][0], 0.0f);

    // Count rising zero crossings in each half (after its attack): a 220 Hz half has about 110, a 330 Hz
    // one about 165.
    const auto crossings = [&](std::size_t from, std::size_t to) {
        int count = 0;
        for (std::size_t i = from + 1; i < to; ++i) count += sample.channels[0][i - 1] < 0 && sample.channels[0][i] >= 0;
        return count;
    };
    EXPECT_NEAR(crossings(0, 22050), 110, 1);
    EXPECT_NEAR(crossings(22050, 44100), 165, 1);
    // Each half starts from its own quiet attack.
    EXPECT_LT(std::fabs(sample.channels[0][22050]), 0.01f);
    EXPECT_GT(*std::max_element(sample.channels[0].begin() + 22050, sample.channels[0].begin() + 23000), 0.6f);
}

TEST(OfflineRenderCommandLine, TheFirstRenderOptionWithAPathAfterItDecides)
{
    using Args = std::vector<std::string_view>;
    const struct {
        Args arguments;
        std::optional<RenderCommand> expected;
    } cases[] = {
        {{"veltrane"}, std::nullopt},
        {{"veltrane", "--render-smoke", "out.wav"}, RenderCommand{RenderSmokeTest::synthesizer, "out.wav"}},
        {{"veltrane", "--render-au-smoke", "/tmp/a.wav"}, RenderCommand{RenderSmokeTest::audioUnit, "/tmp/a.wav"}},
        {{"veltrane", "--render-automation-smoke", "a"}, RenderCommand{RenderSmokeTest::automation, "a"}},
        {{"veltrane", "--render-sample-smoke", "s.wav"}, RenderCommand{RenderSmokeTest::sample, "s.wav"}},
        // Only the first option counts, and the path is the argument right after it, whatever it is.
        {{"veltrane", "--render-sample-smoke", "--render-smoke", "x.wav"},
         RenderCommand{RenderSmokeTest::sample, "--render-smoke"}},
        {{"veltrane", "-v", "--render-smoke", "x.wav", "--render-au-smoke", "y.wav"},
         RenderCommand{RenderSmokeTest::synthesizer, "x.wav"}},
        // An option given last starts the application as usual, even with an option before it.
        {{"veltrane", "--render-smoke"}, std::nullopt},
        // Exact, case-sensitive matches only.
        {{"veltrane", "--Render-Smoke", "x.wav"}, std::nullopt},
        {{"veltrane", "--render-smoke=x.wav"}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(renderCommand(c.arguments), c.expected) << c.arguments.size() << " arguments";
    }
}

TEST(OfflineRenderCommandLine, ARenderRunExitsWithZeroOrWithOneAfterOneErrorLine)
{
    TemporaryFolder folder;
    OfflineRenderer renderer(std::make_shared<RecordingUnits>());
    std::ostringstream errors;
    EXPECT_EQ(runRenderCommand({RenderSmokeTest::synthesizer, (folder / "ok.wav").string()}, renderer, errors), 0);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(readRendered(folder / "ok.wav").frames, 174977);

    const int status =
        runRenderCommand({RenderSmokeTest::synthesizer, (folder / "no-such-folder" / "x.wav").string()}, renderer, errors);
    EXPECT_EQ(status, 1);
    const std::string line = errors.str();
    EXPECT_EQ(line.rfind("Veltrane render smoke failed: The file \u201Cx.wav\u201D cannot be written because its folder "
                         "\u201Cno-such-folder\u201D does not exist.",
                         0),
              0u)
        << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    EXPECT_EQ(line.back(), '\n');
}

TEST(OfflineRenderCommandLine, TheAudioUnitTestFailsWithTheUnitsNameWhereItIsNotInstalled)
{
    TemporaryFolder folder;
    // An empty plug-in folder: neither mda plug-in can be found.
    TemporaryBundle emptyBundle(turtlePrefixes());
    const PluginHost nothingInstalled(emptyBundle.path());
    struct NoUnits : OfflineUnitSource {
        const PluginHost& host;
        explicit NoUnits(const PluginHost& h) : host(h) {}
        std::shared_ptr<AudioMIDIInstrumentNode> instrument(const AudioUnitReference& r, const std::optional<Data>& s) override
        {
            AudioUnitCatalog::instantiate(r, s, 44100, 256, host);
            return nullptr;
        }
        std::shared_ptr<AudioEffectNode> effect(const AudioUnitReference& r, const std::optional<Data>& s) override
        {
            AudioUnitCatalog::instantiate(r, s, 44100, 256, host);
            return nullptr;
        }
    };
    OfflineRenderer renderer(std::make_shared<NoUnits>(nothingInstalled));
    std::ostringstream errors;
    EXPECT_EQ(runRenderCommand({RenderSmokeTest::audioUnit, (folder / "au.wav").string()}, renderer, errors), 1);
    // The master insert is made first.
    EXPECT_EQ(errors.str(), "Veltrane render smoke failed: The Audio Unit \u201CMDA Delay\u201D could not render offline.\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "au.wav"));
}

TEST(OfflineRenderCommandLine, TheExecutableRendersAndExitsWithItsStatus)
{
    TemporaryFolder folder;
    const auto run = [&](const std::string& arguments) {
        // The run makes the application model, which reads its autosave: from the test's folder.
        const std::string command = "XDG_DATA_HOME='" + (folder / "data").string() + "' XDG_CONFIG_HOME='" +
                                    (folder / "config").string() + "' '" + VELTRANE_EXECUTABLE + "' " + arguments + " >'" +
                                    (folder / "stdout").string() + "' 2>'" + (folder / "stderr").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const auto text = [&](const char* name) {
        const auto bytes = fileBytes(folder / name);
        return std::string(bytes.begin(), bytes.end());
    };

    EXPECT_EQ(run("--render-automation-smoke '" + (folder / "automation.wav").string() + "'"), 0);
    EXPECT_EQ(readRendered(folder / "automation.wav").frames, 217655);
    EXPECT_EQ(text("stderr"), "");

    EXPECT_EQ(run("--render-smoke '" + (folder / "missing" / "x.wav").string() + "'"), 1);
    const std::string error = text("stderr");
    EXPECT_EQ(error.rfind("Veltrane render smoke failed: ", 0), 0u) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1);
}

TEST(OfflineRenderCommandLine, TheRenderRunKeepsServingTheEventLoopWhileItRenders)
{
    TemporaryFolder folder;
    // The run makes the application model, which reads its settings and autosave: from the test's folder.
    qputenv("XDG_DATA_HOME", (folder / "data").string().c_str());
    qputenv("XDG_CONFIG_HOME", (folder / "config").string().c_str());
    int argc = 1;
    char name[] = "VeltraneAppTests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(1);

    std::ostringstream errors;
    EXPECT_EQ(runRenderInApplication({RenderSmokeTest::automation, (folder / "automation.wav").string()}, errors), 0);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(readRendered(folder / "automation.wav").frames, 217655);
    EXPECT_GT(ticks, 0) << "the main thread served its events while the worker rendered";

    EXPECT_EQ(runRenderInApplication({RenderSmokeTest::synthesizer, (folder / "missing" / "x.wav").string()}, errors), 1);
    EXPECT_EQ(errors.str().rfind("Veltrane render smoke failed: ", 0), 0u) << errors.str();
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}
