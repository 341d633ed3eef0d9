#pragma once

// An instrument played by MIDI: a source node (no inputs) that takes MIDI messages stamped with frames
// of its clock domain (the graph clock unless a time-pitch stage lies downstream) and hands each block's
// messages to `synthesize`, at their offsets inside the block. Messages may be queued in any order and
// at any time ahead; messages at one frame keep their queueing order. A message whose frame has already
// passed is played at the start of the next block, so a late note-off still ends its note.
//
// Messages may instead be stamped with frames of a playback clock that starts at a graph frame, as a
// player's frames are (`startPlaybackClock`, `schedulePlaybackMIDI`): the node finds where that graph
// frame falls on its own clock when it gets there, so such messages keep in step with players behind the
// same time-pitch stage however its rate changed before or changes after.
//
// Threads: `scheduleMIDI`, `schedulePlaybackMIDI`, `startPlaybackClock` and `clearMIDI` on the graph's
// owner thread (lock-free towards the audio side); `synthesize` on the rendering thread.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace veltrane {

class AudioMIDIInstrumentNode : public AudioNode {
public:
    /// Messages beyond this many in one block wait for the next block.
    static constexpr std::size_t maximumMessagesPerBlock = PluginInstance::maximumMidiEventsPerCall;

    ~AudioMIDIInstrumentNode() override;

    int maximumInputs() const noexcept final { return 0; }

    /// Queues a message of up to three bytes (the status byte says how many count) for `frame`. Owner
    /// thread; throws std::logic_error when the node is not attached to a graph.
    void scheduleMIDI(std::int64_t frame, std::array<std::uint8_t, 3> bytes);
    /// Starts the playback clock: its frame 0 is graph frame `atGraphFrame`, as for a player started
    /// there. Owner thread; throws std::logic_error when the node is not attached to a graph.
    void startPlaybackClock(std::int64_t atGraphFrame);
    /// Queues a message for frame `frame` of the playback clock. Messages queued before the clock starts
    /// wait for it. Owner thread; throws std::logic_error when the node is not attached to a graph.
    void schedulePlaybackMIDI(std::int64_t frame, std::array<std::uint8_t, 3> bytes);
    /// Drops every queued message that has not been played and ends the playback clock. Owner thread.
    void clearMIDI();

protected:
    /// Rendering thread: fills `out` for this block, playing `messages` (sorted by offset). Never
    /// allocates, locks or waits.
    virtual void synthesize(const RenderTime& time, std::span<const PluginMidiEvent> messages,
                            AudioBus& out) noexcept = 0;

    void reset() noexcept override;
    void releaseGraphResources() noexcept override;

private:
    struct Message;
    struct Clear;
    struct StartClock;
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept final;
    void post(std::int64_t frame, bool onPlaybackClock, std::array<std::uint8_t, 3> bytes);
    void receive(Message* message) noexcept;
    void insert(Message* message) noexcept;
    void dropAll() noexcept;

    // Rendering thread: queued messages by frame of the node's clock, equal frames in queueing order.
    Message* head_ = nullptr;
    Message* tail_ = nullptr;
    // Rendering thread: messages of the playback clock while its start is not placed yet, in queueing
    // order; the graph frame where it starts (when started), and the node's frame there (once placed).
    Message* waitingHead_ = nullptr;
    Message* waitingTail_ = nullptr;
    std::optional<std::int64_t> clockStartGraphFrame_;
    std::optional<std::int64_t> clockStartFrame_;
    std::array<PluginMidiEvent, maximumMessagesPerBlock> block_{};
};

} // namespace veltrane
