// The export's sound, pinned. A short, dense reference song (16 tracks, the ten factory sounds and a
// sample instrument, every effect column, locks, and modulation moving volume, pan, cutoff and resonance
// while notes sound) is rendered and compared sample by sample with a recording of the same render,
// kept in Fixtures/Export. Work on the speed of the voices, the filters or the scheduler may change a
// sample by float rounding, never by more.
//
// The recording is 24-bit FLAC (a step of 2^-23, well inside the tolerance), written with the
// scaling spelled out so that reading it back gives the very values written. To record it again after a
// deliberate change of the sound, run this test with VELTRANE_WRITE_REFERENCE_RENDER=1.

#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltraneCore/Presets/InstrumentPreset.hpp"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

namespace veltrane::testing {
namespace {

const std::filesystem::path referenceRecording =
    std::filesystem::path(VELTRANE_FIXTURES_DIR) / "Export" / "reference-song.flac";

// Full scale of a 24-bit sample.
constexpr double fullScale24 = 8388608.0;
// Float rounding of a few operations on a sample near full scale, with room for the filters and the
// master chain to carry it along; a changed sound differs by orders of magnitude more.
constexpr double tolerance = 1e-6;

Uuid fixedUuid(std::uint8_t last)
{
    Uuid id;
    id.bytes[15] = last;
    id.bytes[0] = 0x5A;
    return id;
}

// A sample of its own rate (not the export's), so the sample voice resamples: a plucked string of a few
// partials, 0.4 s.
std::vector<std::uint8_t> pluckedSampleFile(const TemporaryFolder& folder)
{
    constexpr double rate = 32000;
    AudioFileBuffer sample{.sampleRate = rate, .channels = {std::vector<float>(12800)}};
    for (std::size_t i = 0; i < sample.channels[0].size(); ++i) {
        const double t = double(i) / rate;
        const double wave = std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 660 * t) + 0.25 * std::sin(2 * M_PI * 1320 * t);
        sample.channels[0][i] = float(0.5 * wave * std::exp(-6 * t));
    }
    writeWithLibsndfile(folder / "pluck.wav", sample, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::ifstream in(folder / "pluck.wav", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Project referenceSong(const TemporaryFolder& folder)
{
    constexpr int tracks = 16;
    constexpr int rows = 8;
    Project project;
    project.bpm = 140;
    project.rowsPerBeat = 4;
    project.instruments.clear();
    for (InstrumentPreset preset : allInstrumentPresets) project.instruments.push_back(instrument(preset));
    // Releases of at most 0.3 s keep the recording short; the long ones add nothing a short one lacks.
    for (Instrument& sound : project.instruments) sound.release = std::min(sound.release, 0.3);
    const auto bytes = pluckedSampleFile(folder);
    Instrument pluck = Instrument::withBookmark("Pluck", Data(std::string_view("veltrane-path:/none.wav")), "none.wav");
    pluck.source = EmbeddedSource{Data(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())), "pluck.wav"};
    pluck.cutoff = 5000;
    pluck.release = 0.1;
    project.instruments.push_back(pluck);

    project.mixer = std::vector<MixerTrack>(tracks);
    for (int t = 0; t < tracks; ++t) {
        project.mixer[std::size_t(t)].pan = (t % 5 - 2) * 0.3;
        if (t % 3 == 0) project.mixer[std::size_t(t)].cutoff = 6000 + 500 * t;
        if (t % 4 == 1) project.mixer[std::size_t(t)].drive = 0.2;
    }
    // No master delay or reverb: their three-second tail would make the recording large, and they act on
    // the mix, not on the notes.
    project.masterFX = MasterFX{.drive = 0.1, .delayMix = 0, .reverbMix = 0, .bitDepth = 16.0};

    // Every effect column somewhere, at values spread over their range.
    const EffectType effects[] = {EffectType::vibrato, EffectType::arpeggio, EffectType::retrigger, EffectType::delay,
                                  EffectType::chord,   EffectType::tremolo,  EffectType::slide,     EffectType::pan,
                                  EffectType::chance};
    Pattern pattern("Reference", rows, tracks);
    for (int t = 0; t < tracks; ++t) {
        const int instrumentIndex = t % 11;
        for (int row = 0; row < rows; ++row) {
            if ((row * 7 + t * 3) % 8 == 5) continue; // most rows hold a note
            Cell cell{.note = NotePitch{36 + 12 * (t % 4) + (row * 5 + t) % 12},
                      .instrument = instrumentIndex,
                      .volume = std::uint8_t(32 + (row * 11 + t * 7) % 33)};
            if ((row + t) % 3 == 0) {
                cell.effects[0] = Effect{effects[(row * 16 + t) % 9], std::uint8_t((row * 37 + t * 53) % 256)};
            }
            if ((row + 2 * t) % 5 == 0) cell.locks.push_back({ParameterTarget::instrumentCutoff, 400.0 + 613 * ((row + t) % 13)});
            if ((row * 3 + t) % 11 == 0) cell.locks.push_back({ParameterTarget::trackVolume, 0.4 + 0.05 * (row % 9)});
            if (t == 0 && row % 4 == 0) cell.locks.push_back({ParameterTarget::masterCutoff, 3000.0 + 1500 * row});
            pattern.setCell(row, t, std::move(cell));
        }
    }
    project.patterns = {pattern};
    project.order = {0};
    project.arrangement = SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 1}}};

    ModulationRack rack;
    ModulationSource sweep{.id = fixedUuid(1), .name = "Sweep", .kind = ModulationSourceKind::lfo,
                           .waveform = ModulationWaveform::triangle, .rateBeats = 1};
    ModulationSource wobble{.id = fixedUuid(2), .name = "Wobble", .kind = ModulationSourceKind::lfo,
                            .waveform = ModulationWaveform::sine, .rateBeats = 0.25};
    ModulationSource steps{.id = fixedUuid(3), .name = "Steps", .kind = ModulationSourceKind::lfo,
                           .waveform = ModulationWaveform::random, .rateBeats = 0.5};
    ModulationSource pluckEnvelope{.id = fixedUuid(4), .name = "Pluck", .kind = ModulationSourceKind::envelope};
    rack.routes.push_back({.id = fixedUuid(11), .sourceID = sweep.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.3});
    rack.routes.push_back({.id = fixedUuid(12), .sourceID = wobble.id, .target = ParameterTarget::instrumentVolume,
                           .amount = 0.2, .track = 5});
    rack.routes.push_back({.id = fixedUuid(13), .sourceID = wobble.id, .target = ParameterTarget::instrumentPan,
                           .amount = 0.5, .track = 3});
    rack.routes.push_back({.id = fixedUuid(14), .sourceID = pluckEnvelope.id,
                           .target = ParameterTarget::instrumentResonance, .amount = 0.4, .track = 9});
    rack.routes.push_back({.id = fixedUuid(15), .sourceID = steps.id, .target = ParameterTarget::instrumentCutoff,
                           .amount = -0.2, .instrument = 4});
    rack.routes.push_back({.id = fixedUuid(16), .sourceID = pluckEnvelope.id, .target = ParameterTarget::trackCutoff,
                           .amount = 0.4, .track = 7});
    rack.routes.push_back({.id = fixedUuid(17), .sourceID = sweep.id, .target = ParameterTarget::trackPan, .amount = 0.5,
                           .track = 2});
    rack.sources = {sweep, wobble, steps, pluckEnvelope};
    project.modulation = std::move(rack);
    return project;
}

void writeRecording(const std::filesystem::path& path, const RenderedFile& render)
{
    std::filesystem::create_directories(path.parent_path());
    SF_INFO info{};
    info.samplerate = render.sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<int> interleaved;
    for (std::size_t i = 0; i < render.left.size(); ++i) {
        for (const float sample : {render.left[i], render.right[i]}) {
            ASSERT_LT(std::fabs(sample), 1.0f) << "the reference song must stay below full scale to be recorded";
            // libsndfile takes 24-bit samples in the top bits of an int.
            interleaved.push_back(int(std::lround(double(sample) * fullScale24)) * 256);
        }
    }
    sf_writef_int(file, interleaved.data(), sf_count_t(render.left.size()));
    sf_close(file);
}

RenderedFile readRecording(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<int> interleaved(std::size_t(info.frames) * 2);
    sf_readf_int(file, interleaved.data(), info.frames);
    sf_close(file);
    RenderedFile recording{info.format, info.channels, info.samplerate, info.frames, {}, {}};
    for (sf_count_t i = 0; i < info.frames; ++i) {
        recording.left.push_back(float(double(interleaved[std::size_t(2 * i)] / 256) / fullScale24));
        recording.right.push_back(float(double(interleaved[std::size_t(2 * i + 1)] / 256) / fullScale24));
    }
    return recording;
}

TEST(OfflineRenderReference, TheReferenceSongSoundsAsRecordedToWithinFloatRounding)
{
    TemporaryFolder folder;
    const RenderedFile render = renderAndRead(referenceSong(folder), folder);
    ASSERT_EQ(render.channels, 2);
    ASSERT_GT(render.rms(0, render.frames), 0.01) << "the reference song must be heard";

    if (const char* write = std::getenv("VELTRANE_WRITE_REFERENCE_RENDER"); write && std::string(write) == "1") {
        writeRecording(referenceRecording, render);
        GTEST_SKIP() << "recorded the reference render to " << referenceRecording;
    }
    const RenderedFile recording = readRecording(referenceRecording);
    ASSERT_EQ(recording.channels, 2) << "cannot read " << referenceRecording;
    ASSERT_EQ(render.frames, recording.frames);

    double largest = 0;
    std::int64_t worst = 0;
    for (std::size_t i = 0; i < render.left.size(); ++i) {
        const double difference = std::max(std::fabs(double(render.left[i]) - recording.left[i]),
                                           std::fabs(double(render.right[i]) - recording.right[i]));
        if (difference > largest) {
            largest = difference;
            worst = std::int64_t(i);
        }
    }
    EXPECT_LE(largest, tolerance) << "frame " << worst << " of " << render.frames << " differs by " << largest;
}

TEST(OfflineRenderReference, EveryNumberOfThreadsWritesTheSameBytes)
{
    TemporaryFolder folder;
    const Project song = referenceSong(folder);
    const auto bytesAt = [&](int threads, OfflineRenderer::NoteRendering when = OfflineRenderer::NoteRendering::whenNeeded) {
        OfflineRenderer renderer(std::make_shared<RecordingUnits>());
        renderer.threads = threads;
        renderer.noteRendering = when;
        const auto path = folder / ("threads-" + std::to_string(threads) + ".wav");
        renderer.render(song, path);
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const auto one = bytesAt(1);
    ASSERT_GT(one.size(), 100'000u);
    for (const int threads : {2, 3, 8, 17}) EXPECT_TRUE(bytesAt(threads) == one) << threads << " threads";
    EXPECT_TRUE(bytesAt(4, OfflineRenderer::NoteRendering::allBeforeTheFirstBlock) == one);
}

TEST(OfflineRenderReference, AMissingSampleEndsTheRenderWithItsErrorAtAnyNumberOfThreads)
{
    TemporaryFolder folder;
    Project song = referenceSong(folder);
    // The sample instrument's audio is gone: its first note fails the render, however many threads
    // rendered the notes after it ahead.
    song.instruments.back().source = SampleSource{Data(std::string_view("veltrane-path:/nowhere/gone.wav")), "gone.wav"};
    for (const int threads : {1, 2, 8}) {
        OfflineRenderer renderer(std::make_shared<RecordingUnits>());
        renderer.threads = threads;
        try {
            renderer.render(song, folder / "missing.wav");
            ADD_FAILURE() << "the render succeeded at " << threads << " threads";
        } catch (const RenderError& error) {
            EXPECT_EQ(error.which(), RenderError::Case::sampleMissing) << threads << " threads";
            EXPECT_EQ(error.name(), "gone.wav");
        }
        EXPECT_FALSE(std::filesystem::exists(folder / "missing.wav"));
    }
}

} // namespace
} // namespace veltrane::testing
