#include "VeltranePlatform/Audio/AudioMIDIInstrumentNode.hpp"

#include "VeltranePlatform/Audio/AudioGraph.hpp"

#include <memory>
#include <stdexcept>

namespace veltrane {

struct AudioMIDIInstrumentNode::Message : detail::GraphMessage {
    AudioMIDIInstrumentNode* node = nullptr;
    std::int64_t frame = 0;
    std::array<std::uint8_t, 3> bytes{};
    Message* next = nullptr;

    void perform(AudioGraph&) noexcept override { node->insert(this); }
};

struct AudioMIDIInstrumentNode::Clear : detail::GraphMessage {
    AudioMIDIInstrumentNode* node = nullptr;

    void perform(AudioGraph& graph) noexcept override
    {
        node->dropAll();
        graph.retire(this);
    }
};

AudioMIDIInstrumentNode::~AudioMIDIInstrumentNode()
{
    releaseGraphResources();
}

void AudioMIDIInstrumentNode::scheduleMIDI(std::int64_t frame, std::array<std::uint8_t, 3> bytes)
{
    if (graph() == nullptr) throw std::logic_error("The instrument is not attached to an audio graph.");
    auto message = std::make_unique<Message>();
    message->node = this;
    message->frame = frame;
    message->bytes = bytes;
    graph()->post(message.release());
}

void AudioMIDIInstrumentNode::clearMIDI()
{
    if (graph() == nullptr) throw std::logic_error("The instrument is not attached to an audio graph.");
    auto clear = std::make_unique<Clear>();
    clear->node = this;
    graph()->post(clear.release());
}

void AudioMIDIInstrumentNode::insert(Message* message) noexcept
{
    message->next = nullptr;
    // Messages mostly come in frame order, so the common case is an append.
    if (head_ == nullptr) {
        head_ = tail_ = message;
    } else if (message->frame >= tail_->frame) {
        tail_->next = message;
        tail_ = message;
    } else if (message->frame < head_->frame) {
        message->next = head_;
        head_ = message;
    } else {
        Message* previous = head_;
        while (previous->next != nullptr && previous->next->frame <= message->frame) previous = previous->next;
        message->next = previous->next;
        previous->next = message;
        if (message->next == nullptr) tail_ = message;
    }
}

void AudioMIDIInstrumentNode::dropAll() noexcept
{
    while (head_ != nullptr) {
        Message* message = head_;
        head_ = message->next;
        graph()->retire(message);
    }
    tail_ = nullptr;
}

void AudioMIDIInstrumentNode::reset() noexcept
{
    if (graph() != nullptr) dropAll();
}

void AudioMIDIInstrumentNode::releaseGraphResources() noexcept
{
    // The graph is gone and nothing renders: what the audio side held is freed here.
    while (head_ != nullptr) {
        Message* message = head_;
        head_ = message->next;
        delete message;
    }
    tail_ = nullptr;
}

void AudioMIDIInstrumentNode::render(const RenderTime& time, const RenderInputs&, AudioBus& out) noexcept
{
    const std::int64_t blockEnd = time.frame + out.frames;
    std::size_t count = 0;
    while (head_ != nullptr && head_->frame < blockEnd && count < block_.size()) {
        Message* message = head_;
        head_ = message->next;
        if (head_ == nullptr) tail_ = nullptr;
        const std::int64_t offset = message->frame > time.frame ? message->frame - time.frame : 0;
        block_[count++] = PluginMidiEvent{static_cast<int>(offset), message->bytes};
        graph()->retire(message);
    }
    synthesize(time, std::span<const PluginMidiEvent>(block_.data(), count), out);
}

} // namespace veltrane
