// Following another device's MIDI clock and transport, and leading others with ours: the model's side.
// The tempo measurement, the rate rule, the messages and the clock times are the core's; this decides
// when they apply and sends them through the MIDI connection.

#include "Veltrane/Transport/Transport.hpp"

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

void Transport::sendMIDI(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos)
{
    model_.midi_->send(bytes, hostTimeNanos);
}

void Transport::startMIDIClock(std::uint64_t hostTimeNanos, double bpm, int startBlock, int startRow)
{
    if (midiClockTask_) midiClockTask_->cancel();
    const auto start = midiClockStart(model_.project_, model_.songMode_, startBlock, startRow);
    sendMIDI(bytesOf(start.songPositionPointer), hostTimeNanos);
    sendMIDI(bytesOf(start.startOrContinue), hostTimeNanos);

    // Clocks carry their own times, so when the loop wakes does not matter as long as it looks further
    // ahead than it sleeps.
    auto clocks = std::make_shared<MIDIClockSchedule>(hostTimeNanos, bpm);
    midiClockTask_ = repeatTask(model_.scheduler_, 0ms, [model = QPointer<AppModel>(&model_), clocks]() -> std::optional<std::chrono::milliseconds> {
        if (!model) return std::nullopt;
        const std::uint8_t clock = midiTimingClock;
        for (const std::uint64_t time : clocks->takeUntil(model->midi_->hostTime() + midiClockLookAheadNanos)) {
            model->transport_->sendMIDI(std::span(&clock, 1), time);
        }
        return clockSendWakePeriod;
    });
}

void Transport::receiveMIDIClock(std::uint64_t hostTimeNanos)
{
    AppModel& model = model_;
    if (!model.midiClockReceive_) return;
    if (model.isPlaying_) ++externalClockTicks_;
    if (!clockTempo_.receive(hostTimeNanos)) return;
    model.setExternalClockBPM(clockTempo_.bpm());
    if (!model.isPlaying_) return;

    const double sampleRate = model.audio_->outputSampleRate();
    const double external = *model.externalClockBPM_;
    const double expected = midiExpectedFrames(sampleRate, externalClockTicks_, external);
    const auto frame = currentFrame();
    const double actual = frame ? static_cast<double>(*frame) : std::trunc(expected);
    model.audio_->setTransportRate(static_cast<float>(midiTransportRate(external, playbackBaseBPM_, expected, actual, sampleRate)));
}

void Transport::receiveMIDIStart()
{
    if (!model_.midiClockReceive_) return;
    handlingExternalTransport_ = true;
    stop();
    model_.setSelectedRow(0);
    externalClockTicks_ = 0;
    suppressNextMIDITransportSend_ = true;
    play();
    // A Start that starts nothing (nothing to play) must not keep the next playback from sending.
    if (!model_.isPreparingPlayback_) suppressNextMIDITransportSend_ = false;
    handlingExternalTransport_ = false;
}

void Transport::receiveMIDIContinue()
{
    if (!model_.midiClockReceive_ || model_.isPlaying_ || model_.isPreparingPlayback_) return;
    externalClockTicks_ = 0;
    suppressNextMIDITransportSend_ = true;
    play();
    if (!model_.isPreparingPlayback_) suppressNextMIDITransportSend_ = false;
}

void Transport::receiveMIDIStop()
{
    if (!model_.midiClockReceive_) return;
    handlingExternalTransport_ = true;
    stop();
    handlingExternalTransport_ = false;
}

void Transport::receiveMIDISongPosition(int position)
{
    if (model_.midiClockReceive_) seekMIDI(position);
}

void Transport::seekMIDI(int position)
{
    const auto target = midiSeekTarget(position, model_.project_, model_.songMode_, model_.patternIndex_);
    if (target.songBlock) model_.setSelectedSongBlock(*target.songBlock);
    if (target.patternIndex) model_.setPatternIndex(*target.patternIndex);
    model_.setSelectedRow(target.row);
}

} // namespace veltrane
