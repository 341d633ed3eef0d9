#include "Veltrane/Transport/MIDIInput.hpp"

#include "VeltranePlatform/MIDI/HostTime.hpp"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace veltrane {

MIDIInput::MIDIInput(MIDIPorts::Options options)
{
    openWake();
    ports_ = std::make_unique<MIDIPorts>(
        [this](int stream, std::span<const std::uint8_t> bytes, std::uint64_t time) { receive(stream, bytes, time); },
        options);
}

MIDIInput::MIDIInput(WithoutPorts) { openWake(); }

MIDIInput::~MIDIInput()
{
    ports_.reset();
    wakeNotifier_.reset();
    if (wakeDescriptor_ >= 0) ::close(wakeDescriptor_);
}

void MIDIInput::openWake()
{
    wakeDescriptor_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeDescriptor_ < 0) return;
    wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeDescriptor_, QSocketNotifier::Read);
    QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, [this] {
        eventfd_t count = 0;
        ::eventfd_read(wakeDescriptor_, &count);
        deliverPending();
    });
}

void MIDIInput::send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos)
{
    if (ports_) ports_->send(bytes, hostTimeNanos);
}

void MIDIInput::flush()
{
    if (ports_) ports_->flush();
}

std::uint64_t MIDIInput::hostTime() const { return hostTimeNanos(); }

void MIDIInput::receive(int stream, std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos) noexcept
{
    if (stream < 0 || stream >= maximumStreams) return;
    const auto index = static_cast<std::size_t>(stream);
    bool any = false;
    parsers_[index].consume(bytes.first(std::min(bytes.size(), MIDIPorts::maximumDeliveryBytes)),
                            [&](const MIDIStreamEvent& event) {
                                any |= rings_[index].push(ReceivedMIDIEvent{event, hostTimeNanos});
                            });
    // A write to an eventfd neither allocates nor waits: it only adds to a counter in the kernel.
    if (any && wakeDescriptor_ >= 0) ::eventfd_write(wakeDescriptor_, 1);
}

void MIDIInput::deliverPending()
{
    for (auto& ring : rings_) {
        while (const auto received = ring.pop()) dispatch(*received);
    }
}

void MIDIInput::dispatch(const ReceivedMIDIEvent& received)
{
    const std::uint64_t time = received.hostTimeNanos;
    std::visit(
        [&](const auto& event) {
            using Event = std::decay_t<decltype(event)>;
            if constexpr (std::is_same_v<Event, MIDINoteOnEvent>) {
                if (onNoteOn) onNoteOn(event.note, event.velocity);
            } else if constexpr (std::is_same_v<Event, MIDINoteOffEvent>) {
                if (onNoteOff) onNoteOff(event.note);
            } else if constexpr (std::is_same_v<Event, MIDISongPositionEvent>) {
                if (onSongPosition) onSongPosition(event.position);
            } else if constexpr (std::is_same_v<Event, MIDIClockEvent>) {
                if (onClock) onClock(time);
            } else if constexpr (std::is_same_v<Event, MIDIStartEvent>) {
                if (onStart) onStart(time);
            } else if constexpr (std::is_same_v<Event, MIDIContinueEvent>) {
                if (onContinue) onContinue(time);
            } else if constexpr (std::is_same_v<Event, MIDIStopEvent>) {
                if (onStop) onStop(time);
            }
        },
        received.event);
}

} // namespace veltrane
