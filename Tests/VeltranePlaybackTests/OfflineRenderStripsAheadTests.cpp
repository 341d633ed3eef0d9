// The export's strips rendered ahead of the master chain on the note workers, a chunk of blocks at a
// time: hosted instruments and inserts on the strips, bus automation, stems and cancelling behave the
// same, to the byte and the MIDI message, however many threads render.

#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/OfflineRender/RenderError.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// Four seconds of three tracks, many chunks long: built-in notes on every track, a hosted instrument on
// track 2, an insert on track 1, a volume lock on track 0 and an LFO moving track 1's cutoff and the
// master's volume while notes sound.
Project busySong()
{
    Project project = smallSong(32, 3);
    project.instruments.push_back(Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "Synth"}, std::nullopt));
    Pattern& pattern = project.patterns.front();
    for (int row = 0; row + 2 < 32; row += 3) {
        pattern.setCell(row, 0, note(45 + row % 7, 2, 2.0));
        pattern.setCell(row + 1, 1, note(60 + row % 5, 3, 1.5));
        pattern.setCell(row + 2, 2, note(67 + row % 4, row % 2 == 0 ? 4 : 0, 1.0));
    }
    Cell loud = note(48, 2);
    loud.locks.push_back({ParameterTarget::trackVolume, 0.4});
    pattern.setCell(16, 0, loud);
    project.mixer[1].audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = AudioUnitReference{.name = "Delay"}}};
    ModulationSource lfo{.kind = ModulationSourceKind::lfo, .rateBeats = 0.5};
    project.modulation->routes.push_back(
        ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::trackCutoff, .amount = -0.4, .track = 1});
    project.modulation->routes.push_back(ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::masterVolume, .amount = 0.2});
    project.modulation->sources.push_back(lfo);
    return project;
}

struct Render {
    std::vector<char> bytes;
    std::vector<std::vector<RecordingInstrument::Received>> midi; // per hosted unit, in the order made
};

Render renderAt(const Project& project, int threads, std::optional<int> soloTrack = std::nullopt)
{
    TemporaryFolder folder;
    auto units = std::make_shared<RecordingUnits>();
    OfflineRenderer renderer(units);
    renderer.threads = threads;
    renderer.render(project, folder / "out.wav", soloTrack);
    std::ifstream in(folder / "out.wav", std::ios::binary);
    Render result{{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, {}};
    for (const auto& unit : units->instruments) result.midi.push_back(unit->received);
    return result;
}

} // namespace

TEST(OfflineRenderStripsAhead, HostedUnitsInsertsAndMovingBusesGiveTheSameBytesAndMIDIAtEveryNumberOfThreads)
{
    const Project song = busySong();
    for (const std::optional<int> solo : {std::optional<int>{}, std::optional<int>{2}}) {
        SCOPED_TRACE(solo ? "stem of track 3" : "mix");
        const Render one = renderAt(song, 1, solo);
        ASSERT_GT(one.bytes.size(), 44u + 4 * 44100 * 8);
        ASSERT_EQ(one.midi.size(), 1u);
        EXPECT_GE(one.midi[0].size(), 12u) << "the hosted notes reach their unit";
        for (const int threads : {2, 8}) {
            const Render many = renderAt(song, threads, solo);
            EXPECT_TRUE(many.bytes == one.bytes) << threads << " threads";
            EXPECT_EQ(many.midi, one.midi) << threads << " threads";
        }
    }
    // The stem is not the mix: the other tracks were left out.
    EXPECT_FALSE(renderAt(song, 8).bytes == renderAt(song, 8, 2).bytes);
}

TEST(OfflineRenderStripsAhead, CancellingStopsAtTheSameBlockAtEveryNumberOfThreadsAndLeavesNoFile)
{
    const Project song = busySong();
    for (const int threads : {1, 8}) {
        TemporaryFolder folder;
        OfflineRenderer renderer(std::make_shared<RecordingUnits>());
        renderer.threads = threads;
        int calls = 0;
        double last = 0;
        renderer.progress = [&](double fraction) {
            last = fraction;
            return ++calls < 200;
        };
        EXPECT_THROW(renderer.render(song, folder / "cancelled.wav"), RenderCancelled) << threads << " threads";
        EXPECT_EQ(calls, 200) << threads << " threads";
        EXPECT_GT(last, 0.0);
        EXPECT_LT(last, 1.0);
        EXPECT_FALSE(std::filesystem::exists(folder / "cancelled.wav"));
    }
}
