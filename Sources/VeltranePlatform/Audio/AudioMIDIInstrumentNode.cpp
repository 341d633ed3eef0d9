#include "VeltranePlatform/Audio/AudioMIDIInstrumentNode.hpp"

#include "VeltranePlatform/Audio/AudioGraph.hpp"

#include <cmath>
#include <memory>
#include <stdexcept>

namespace veltrane {

struct AudioMIDIInstrumentNode::Message : detail::GraphMessage {
    AudioMIDIInstrumentNode* node = nullptr;
    std::int64_t frame = 0;
    bool onPlaybackClock = false;
    std::array<std::uint8_t, 3> bytes{};
    Message* next = nullptr;

    void perform(AudioGraph&) noexcept override { node->receive(this); }
};

struct AudioMIDIInstrumentNode::Clear : detail::GraphMessage {
    AudioMIDIInstrumentNode* node = nullptr;

    void perform(AudioGraph& graph) noexcept override
    {
        node->dropAll();
        graph.retire(this);
    }
};

struct AudioMIDIInstrumentNode::StartClock : detail::GraphMessage {
    AudioMIDIInstrumentNode* node = nullptr;
    std::int64_t atGraphFrame = 0;

    void perform(AudioGraph& graph) noexcept override
    {
        // Placed on the node's clock by the next render, which knows how graph frames map onto it.
        node->clockStartGraphFrame_ = atGraphFrame;
        node->clockStartFrame_.reset();
        graph.retire(this);
    }
};

AudioMIDIInstrumentNode::~AudioMIDIInstrumentNode()
{
    releaseGraphResources();
}

void AudioMIDIInstrumentNode::scheduleMIDI(std::int64_t frame, std::array<std::uint8_t, 3> bytes)
{
    post(frame, false, bytes);
}

void AudioMIDIInstrumentNode::startPlaybackClock(std::int64_t atGraphFrame)
{
    if (graph() == nullptr) throw std::logic_error("The instrument is not attached to an audio graph.");
    auto start = std::make_unique<StartClock>();
    start->node = this;
    start->atGraphFrame = atGraphFrame;
    graph()->post(start.release());
}

void AudioMIDIInstrumentNode::schedulePlaybackMIDI(std::int64_t frame, std::array<std::uint8_t, 3> bytes)
{
    post(frame, true, bytes);
}

void AudioMIDIInstrumentNode::post(std::int64_t frame, bool onPlaybackClock, std::array<std::uint8_t, 3> bytes)
{
    if (graph() == nullptr) throw std::logic_error("The instrument is not attached to an audio graph.");
    auto message = std::make_unique<Message>();
    message->node = this;
    message->frame = frame;
    message->onPlaybackClock = onPlaybackClock;
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

void AudioMIDIInstrumentNode::receive(Message* message) noexcept
{
    message->next = nullptr;
    if (message->onPlaybackClock) {
        if (!clockStartFrame_) {
            // Waits, in queueing order, until the clock's start is placed.
            if (waitingTail_ == nullptr) {
                waitingHead_ = waitingTail_ = message;
            } else {
                waitingTail_->next = message;
                waitingTail_ = message;
            }
            return;
        }
        message->frame += *clockStartFrame_;
        message->onPlaybackClock = false;
    }
    insert(message);
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
    for (Message** list : {&head_, &waitingHead_}) {
        while (*list != nullptr) {
            Message* message = *list;
            *list = message->next;
            graph()->retire(message);
        }
    }
    tail_ = waitingTail_ = nullptr;
    clockStartGraphFrame_.reset();
    clockStartFrame_.reset();
}

void AudioMIDIInstrumentNode::reset() noexcept
{
    if (graph() != nullptr) dropAll();
}

void AudioMIDIInstrumentNode::releaseGraphResources() noexcept
{
    // The graph is gone and nothing renders: what the audio side held is freed here.
    for (Message** list : {&head_, &waitingHead_}) {
        while (*list != nullptr) {
            Message* message = *list;
            *list = message->next;
            delete message;
        }
    }
    tail_ = waitingTail_ = nullptr;
}

void AudioMIDIInstrumentNode::render(const RenderTime& time, const RenderInputs&, AudioBus& out) noexcept
{
    if (clockStartGraphFrame_ && !clockStartFrame_) {
        // Where the clock's start falls on this node's clock, found as a player finds its start.
        const double ahead = (static_cast<double>(*clockStartGraphFrame_) - time.graphFrame) / time.graphFramesPerFrame;
        clockStartFrame_ = time.frame + static_cast<std::int64_t>(std::llround(ahead));
        Message* waiting = waitingHead_;
        waitingHead_ = waitingTail_ = nullptr;
        while (waiting != nullptr) {
            Message* message = waiting;
            waiting = message->next;
            receive(message);
        }
    }
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
