// Following another device's MIDI clock and transport, and leading others with ours: the model's side.
// The tempo measurement, the rate rule, the messages and the clock times are the core's; this decides
// when they apply and sends them through the MIDI connection.

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Transport/RepeatingTask.hpp"

#include "VeltraneCore/MIDIRealtime/MIDIClockSend.hpp"

#include <QPointer>

#include <cmath>

namespace veltrane {

namespace {

using namespace std::chrono_literals;

constexpr auto clockSendWakePeriod = std::chrono::milliseconds(midiClockWakePeriodNanos / 1'000'000);

std::span<const std::uint8_t> bytesOf(const MIDIShortMessage& message)
{
    return {message.bytes.data(), message.size};
}

} // namespace

void AppModel::sendMIDI(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos)
{
    midi_->send(bytes, hostTimeNanos);
}

void AppModel::startMIDIClock(std::uint64_t hostTimeNanos, double bpm, int startBlock, int startRow)
{
    if (midiClockTask_) midiClockTask_->cancel();
    const auto start = midiClockStart(project_, songMode_, startBlock, startRow);
    sendMIDI(bytesOf(start.songPositionPointer), hostTimeNanos);
    sendMIDI(bytesOf(start.startOrContinue), hostTimeNanos);

    // Clocks carry their own times, so when the loop wakes does not matter as long as it looks further
    // ahead than it sleeps.
    auto clocks = std::make_shared<MIDIClockSchedule>(hostTimeNanos, bpm);
    midiClockTask_ = repeatTask(scheduler_, 0ms, [model = QPointer<AppModel>(this), clocks]() -> std::optional<std::chrono::milliseconds> {
        if (!model) return std::nullopt;
        const std::uint8_t clock = midiTimingClock;
        for (const std::uint64_t time : clocks->takeUntil(model->midi_->hostTime() + midiClockLookAheadNanos)) {
            model->sendMIDI(std::span(&clock, 1), time);
        }
        return clockSendWakePeriod;
    });
}

void AppModel::receiveMIDIClock(std::uint64_t hostTimeNanos)
{
    if (!midiClockReceive_) return;
    if (isPlaying_) ++externalClockTicks_;
    if (!clockTempo_.receive(hostTimeNanos)) return;
    setExternalClockBPM(clockTempo_.bpm());
    if (!isPlaying_) return;

    const double sampleRate = audio_->outputSampleRate();
    const double external = *externalClockBPM_;
    const double expected = midiExpectedFrames(sampleRate, externalClockTicks_, external);
    const auto frame = currentTransportFrame();
    const double actual = frame ? static_cast<double>(*frame) : std::trunc(expected);
    audio_->setTransportRate(static_cast<float>(midiTransportRate(external, playbackBaseBPM_, expected, actual, sampleRate)));
}

void AppModel::receiveMIDIStart()
{
    if (!midiClockReceive_) return;
    handlingExternalTransport_ = true;
    stop();
    setSelectedRow(0);
    externalClockTicks_ = 0;
    suppressNextMIDITransportSend_ = true;
    play();
    // A Start that starts nothing (nothing to play) must not keep the next playback from sending.
    if (!isPreparingPlayback_) suppressNextMIDITransportSend_ = false;
    handlingExternalTransport_ = false;
}

void AppModel::receiveMIDIContinue()
{
    if (!midiClockReceive_ || isPlaying_ || isPreparingPlayback_) return;
    externalClockTicks_ = 0;
    suppressNextMIDITransportSend_ = true;
    play();
    if (!isPreparingPlayback_) suppressNextMIDITransportSend_ = false;
}

void AppModel::receiveMIDIStop()
{
    if (!midiClockReceive_) return;
    handlingExternalTransport_ = true;
    stop();
    handlingExternalTransport_ = false;
}

void AppModel::receiveMIDISongPosition(int position)
{
    if (midiClockReceive_) seekMIDI(position);
}

void AppModel::seekMIDI(int position)
{
    const auto target = midiSeekTarget(position, project_, songMode_, patternIndex_);
    if (target.songBlock) setSelectedSongBlock(*target.songBlock);
    if (target.patternIndex) setPatternIndex(*target.patternIndex);
    setSelectedRow(target.row);
}

} // namespace veltrane
