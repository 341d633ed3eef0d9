// The transport with real MIDI: a JACK server (dummy driver) and a MIDI client of the test's own beside
// the model's ports. The clock the model sends while playing arrives 24 to the beat, and notes played
// into the model's input are recorded into the pattern. The engine runs on the null output device, which
// renders at real-time pace; the Qt event loop runs the model's timers.

#include "JackCaptureClient.hpp"
#include "JackMIDIPeer.hpp"
#include "JackToneClient.hpp"
#include "ModelTestSupport.hpp"
#include "ToneAnalysis.hpp"

#include "Veltrane/Model/SampleRecorder.hpp"
#include "Veltrane/Transport/MIDIInput.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace veltrane {
namespace {

using namespace std::chrono_literals;

#if VELTRANE_HAVE_JACK

using testing::JackMIDIPeer;

// The audio clients run at the MIDI servers' rate.
constexpr int serverRate = testing::midiServerRate;
constexpr int notePeriod = 256;

/// Runs the event loop (the model's timers, the MIDI hand-over, the engine's pump) for `time`, or until
/// `done` holds.
void runEvents(std::chrono::milliseconds time, const std::function<bool()>& done = [] { return false; })
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < time.count() && !done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

constexpr int audioPeriod = 256;

/// A JACK client of ours, by name, at the server's rate.
AudioDeviceSettings jackClient(const std::string& name)
{
    return AudioDeviceSettings{.backend = AudioBackend::jack, .sampleRate = serverRate, .bufferFrames = audioPeriod, .clientName = name};
}

/// A model with the real engine and real MIDI ports on the JACK server only. The engine plays on the
/// null device (which renders at real-time pace) unless `output` names a JACK client; then the MIDI is
/// the test's own, so that only the audio meets the server. `input` is where sample recordings come from.
struct JackModel {
    testing::TemporaryFolder folder;
    std::unique_ptr<AppModel> model;

    explicit JackModel(std::optional<AudioDeviceSettings> output = std::nullopt,
                       std::optional<AudioDeviceSettings> input = std::nullopt)
    {
        AudioEngine::Options options;
        options.device = output.value_or(AudioDeviceSettings{.backend = AudioBackend::null});
        AppModelServices services;
        services.audio = std::make_unique<AudioEngineControl>(std::make_unique<AudioEngine>(options));
        if (output) {
            services.midi = std::make_unique<testing::ScriptedMIDI>();
        } else {
            services.midi = std::make_unique<MIDIInput>(MIDIPorts::Options{.useALSASequencer = false});
        }
        if (input) services.recorder = std::make_unique<AudioInputSampleRecorder>(folder.path(), *input);
        services.settings = std::make_shared<QSettings>(QString::fromStdString((folder / "settings.ini").string()),
                                                        QSettings::IniFormat);
        services.audioUnitComponents = [](std::uint32_t) { return std::vector<AudioUnitReference>{}; };
        model = std::make_unique<AppModel>(false, folder / "Autosave.veltrane", std::move(services));
        Project project = model->project();
        project.bpm = 120;
        model->setProject(project);
    }
};

TEST(TransportJack, OurClockArrivesTwentyFourToTheBeatWhilePlaying)
{
    START_JACK_MIDI_SERVER(server, testing::midiClockPeriod);
    int argc = 0;
    QCoreApplication app(argc, nullptr);

    // A take in which the server lost cycles (the dummy driver at so short a period can miss one on a
    // loaded machine) is taken again; the last take is judged only on the intervals no lost cycle touched.
    std::vector<JackMIDIPeer::Arrival> arrivals;
    std::vector<std::uint64_t> lost;
    for (int attempt = 0; attempt < 3; ++attempt) {
        JackMIDIPeer peer(("veltrane-clock-peer-" + std::to_string(attempt)).c_str());
        ASSERT_TRUE(peer.isOpen());
        JackModel jack;
        AppModel& model = *jack.model;
        model.setMidiClockSend(true);
        model.play();
        runEvents(1500ms);
        ASSERT_TRUE(model.isPlaying()) << model.error().value_or("");
        model.stop();
        runEvents(300ms);
        arrivals.clear();
        for (std::size_t i = 0; i < peer.arrivalCount(); ++i) arrivals.push_back(peer.arrival(i));
        lost = peer.xrunFrames();
        if (lost.empty()) break;
    }

    // Song position 0 and Start come first, the Stop last.
    ASSERT_GE(arrivals.size(), 4u);
    if (lost.empty()) {
        EXPECT_EQ(std::vector<std::uint8_t>(arrivals[0].bytes.begin(), arrivals[0].bytes.begin() + 3),
                  (std::vector<std::uint8_t>{0xF2, 0x00, 0x00}));
        EXPECT_EQ(arrivals[1].bytes[0], 0xFA);
    }
    EXPECT_EQ(arrivals.back().bytes[0], 0xFC);

    std::vector<std::uint64_t> clocks;
    for (const auto& arrival : arrivals) {
        if (arrival.bytes[0] == 0xF8) clocks.push_back(arrival.frame);
    }
    // About 1.5 s at 48 clocks a second (a little less: the first clock waits for the start lead).
    EXPECT_GE(clocks.size(), 60u);
    EXPECT_LE(clocks.size(), 75u);
    // Measured on the server's frame clock, where the receiver stamps them: 1/24 beat apart within 1 ms.
    // Only an interval beside a cycle the server lost is not held to it.
    const double interval = 60.0 / 120 / 24; // seconds between clocks
    const auto error = testing::clockIntervalError(clocks, lost, serverRate, interval);
    EXPECT_LT(error.worst, testing::midiClockTolerance) << "worst interval error " << error.worst * 1e3 << " ms";
    if (error.measured < static_cast<int>(clocks.size()) / 2) GTEST_SKIP() << "the server lost too many cycles on this machine to measure";
}

TEST(TransportJack, NotesPlayedIntoOurInputAreRecordedIntoThePattern)
{
    START_JACK_MIDI_SERVER(server, notePeriod);
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    JackMIDIPeer peer("veltrane-keys-peer");
    ASSERT_TRUE(peer.isOpen());
    JackModel jack;
    AppModel& model = *jack.model;

    // Step recording: two notes and their note-offs go in row by row from the cursor.
    model.setSelectedRow(8);
    model.setSelectedTrack(3);
    model.setRecordMIDINoteOff(true);
    model.toggleLiveRecording();
    for (const std::vector<std::uint8_t>& bytes : {std::vector<std::uint8_t>{0x90, 60, 100}, {0x80, 60, 0}, {0x90, 64, 127}, {0x90, 64, 0}}) {
        peer.play(bytes);
        runEvents(30ms);
    }
    runEvents(2000ms, [&] { return model.selectedRow() == 12; });
    const Pattern& pattern = model.project().patterns[0];
    EXPECT_EQ(pattern.cell(8, 3).note, StepNote{NotePitch{60}});
    EXPECT_EQ(pattern.cell(8, 3).volume, 50);
    EXPECT_EQ(pattern.cell(9, 3).note, StepNote{NoteOff{}});
    EXPECT_EQ(pattern.cell(10, 3).note, StepNote{NotePitch{64}});
    EXPECT_EQ(pattern.cell(10, 3).volume, 64);
    EXPECT_EQ(pattern.cell(11, 3).note, StepNote{NoteOff{}});
    model.toggleLiveRecording();
    EXPECT_EQ(model.undoStack().size(), 1u);

    // Real time: a note held while the pattern plays lands in the row that was playing, with a gate.
    model.setLiveRecordMode(LiveRecordMode::realtime);
    model.setSelectedTrack(5);
    model.toggleLiveRecording();
    model.play();
    runEvents(3000ms, [&] { return model.currentTransportFrame().value_or(0) > 0; });
    ASSERT_TRUE(model.isPlaying()) << model.error().value_or("");
    runEvents(200ms);
    peer.play({0x90, 67, 90});
    runEvents(400ms);
    peer.play({0x80, 67, 0});
    runEvents(200ms);
    model.stop();
    model.toggleLiveRecording();

    int recorded = 0;
    const Pattern& played = model.project().patterns[0];
    for (int row = 0; row < played.rows; ++row) {
        const Cell& cell = played.cell(row, 5);
        if (cell.note != std::optional<StepNote>(NotePitch{67})) continue;
        ++recorded;
        ASSERT_TRUE(cell.gate);
        // Held for 0.4 s at 8 rows a second: about three rows, whatever the hand-over took.
        EXPECT_GT(*cell.gate, 2.0);
        EXPECT_LT(*cell.gate, 4.5);
    }
    EXPECT_EQ(recorded, 1);
    EXPECT_EQ(model.undoStack().size(), 2u);
}

/// Whether any of what `capture` recorded is louder than silence.
bool heardSound(const testing::JackCaptureClient& capture)
{
    const auto& left = capture.left();
    for (std::int64_t i = 0; i < capture.capturedFrames(); ++i) {
        if (std::abs(left[static_cast<std::size_t>(i)]) > 1e-3f) return true;
    }
    return false;
}

// The user restarts the JACK server while a pattern plays: the model stops where it was, rebuilds the
// engine on the new server once the changes have settled, and plays on from that row, heard by a client
// of the new server.
TEST(TransportJack, PlaybackResumesWhereItWasAfterTheServerRestarts)
{
    START_JACK_MIDI_SERVER(server, audioPeriod);
    const std::string serverName = server->name();
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    JackModel jack(jackClient("veltrane-restarting"));
    AppModel& model = *jack.model;
    // A sine note on every row of the first track: whatever row playback resumes at, it sounds.
    Project project = model.project();
    project.instruments.at(0) = Instrument::withWaveform("Sine", Waveform::sine);
    for (int row = 0; row < project.patterns.at(0).rows; ++row) {
        Cell cell;
        cell.note = NotePitch{69};
        cell.instrument = 0;
        project.patterns[0].setCell(row, 0, cell);
    }
    model.setProject(project);

    model.play();
    runEvents(3000ms, [&] { return model.currentTransportFrame().value_or(0) > 0; });
    ASSERT_TRUE(model.isPlaying()) << model.error().value_or("");
    {
        testing::JackCaptureClient capture(serverRate, 4);
        ASSERT_TRUE(capture.isOpen());
        ASSERT_EQ(capture.connectFrom("veltrane-restarting"), 2);
        runEvents(3000ms, [&] { return heardSound(capture); });
        ASSERT_TRUE(heardSound(capture)) << "playback before the restart";
    }
    runEvents(1000ms); // some rows into the pattern

    server->stop();
    runEvents(5000ms, [&] { return model.isRecoveringAudio(); });
    ASSERT_TRUE(model.isRecoveringAudio()) << "the server's loss reached the model";
    EXPECT_FALSE(model.isPlaying());
    const int stoppedAt = model.selectedRow();
    EXPECT_GT(stoppedAt, 0) << "the cursor rests where playback was";

    // The new server comes up while the model waits for the changes to settle (the event loop does not
    // run meanwhile).
    auto restarted = testing::JackTestServer::start(serverRate, audioPeriod, whyNot, serverName);
    ASSERT_TRUE(restarted) << whyNot;
    std::optional<int> resumedAt;
    runEvents(5000ms, [&] {
        if (model.isPlaying() && model.currentTransportFrame().value_or(0) > 0) resumedAt = model.playbackUI().row;
        return resumedAt.has_value();
    });
    ASSERT_TRUE(resumedAt) << model.error().value_or("playback did not resume");
    EXPECT_FALSE(model.error());
    EXPECT_FALSE(model.isRecoveringAudio());
    // It plays on from the row where it stopped, neither from the top nor as far past it as it had
    // played before (the old playback's position read as the new one's). A row of slack lets a loaded
    // machine see the first row late.
    EXPECT_GE(*resumedAt, stoppedAt);
    EXPECT_LE(*resumedAt, stoppedAt + 1);

    testing::JackCaptureClient capture(serverRate, 4);
    ASSERT_TRUE(capture.isOpen());
    EXPECT_EQ(capture.connectFrom("veltrane-restarting"), 2);
    runEvents(3000ms, [&] { return heardSound(capture); });
    EXPECT_TRUE(heardSound(capture)) << "playback after the restart";
    model.stop();
}

// Recording the audio input while another JACK client plays a tone into it: stopping adds an instrument
// named "Recording" whose embedded file holds that tone, and the take stays in the data folder.
TEST(TransportJack, AToneRecordedFromTheInputBecomesASampleInstrument)
{
    START_JACK_MIDI_SERVER(server, audioPeriod);
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    AudioDeviceSettings input = jackClient("veltrane-input");
    input.outputChannels = 0;
    input.inputChannels = 2;
    JackModel jack(std::nullopt, input);
    AppModel& model = *jack.model;
    const auto instruments = model.project().instruments.size();

    constexpr double frequency = 440;
    constexpr float amplitude = 0.5f;
    model.toggleSampleRecording();
    ASSERT_TRUE(model.isSampleRecording()) << model.error().value_or("");
    testing::JackToneClient tone(frequency, amplitude);
    ASSERT_TRUE(tone.isOpen());
    ASSERT_EQ(tone.connectTo("veltrane-input"), 2);
    const long connectedAt = tone.playedFrames();
    runEvents(10000ms, [&] { return tone.playedFrames() > connectedAt + serverRate * 5 / 4; });
    model.toggleSampleRecording();
    EXPECT_FALSE(model.isSampleRecording());
    EXPECT_FALSE(model.error());

    ASSERT_EQ(model.project().instruments.size(), instruments + 1);
    const Instrument& recorded = model.project().instruments.back();
    EXPECT_EQ(recorded.name, "Recording");
    EXPECT_EQ(model.selectedInstrument(), static_cast<int>(instruments));
    const auto* embedded = std::get_if<EmbeddedSource>(&recorded.source);
    ASSERT_NE(embedded, nullptr);
    EXPECT_TRUE(embedded->filename.starts_with("Recording-") && embedded->filename.ends_with(".caf")) << embedded->filename;
    EXPECT_TRUE(std::filesystem::exists(jack.folder / "Samples" / embedded->filename));

    const AudioFileBuffer audio = AudioFile::read(embedded->data.bytes());
    ASSERT_EQ(audio.channelCount(), 2);
    EXPECT_EQ(audio.sampleRate, serverRate);
    const auto& left = audio.channels[0];
    std::size_t first = 0;
    while (first < left.size() && std::abs(left[first]) < 0.05f) ++first;
    ASSERT_GE(left.size(), first + serverRate) << "a whole second of the tone was recorded";
    for (const auto& channel : audio.channels) {
        EXPECT_NEAR(testing::medianToneAmplitude(channel.data() + first, serverRate, 1, frequency, serverRate), amplitude, 0.02);
    }
}

#endif

} // namespace
} // namespace veltrane
