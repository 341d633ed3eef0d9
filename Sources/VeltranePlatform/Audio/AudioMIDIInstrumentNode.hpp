#pragma once

// An instrument played by MIDI: a source node (no inputs) that takes MIDI messages stamped with frames
// of its clock domain (the graph clock unless a time-pitch stage lies downstream) and hands each block's
// messages to `synthesize`, at their offsets inside the block. Messages may be queued in any order and
// at any time ahead; messages at one frame keep their queueing order. A message whose frame has already
// passed is played at the start of the next block, so a late note-off still ends its note.
//
// Threads: `scheduleMIDI` and `clearMIDI` on the graph's owner thread (lock-free towards the audio
// side); `synthesize` on the rendering thread.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <array>
#include <cstdint>
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
    /// Drops every queued message that has not been played. Owner thread.
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
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept final;
    void insert(Message* message) noexcept;
    void dropAll() noexcept;

    // Rendering thread: queued messages by frame, equal frames in queueing order.
    Message* head_ = nullptr;
    Message* tail_ = nullptr;
    std::array<PluginMidiEvent, maximumMessagesPerBlock> block_{};
};

} // namespace veltrane
