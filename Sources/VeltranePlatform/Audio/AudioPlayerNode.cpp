#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"

#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioKernels.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace veltrane {

struct AudioPlayerNode::Item : detail::GraphMessage {
    AudioPlayerNode* player = nullptr;
    AudioBufferRef buffer;
    std::optional<std::int64_t> requestedFrame;
    Scheduling scheduling = Scheduling::queue;
    CompletionHandler onCompletion;
    std::int64_t start = 0;
    AudioPlayerCompletion result = AudioPlayerCompletion::played;
    Item* next = nullptr;

    void perform(AudioGraph&) noexcept override { player->insert(this); }
    void deliver() override
    {
        if (onCompletion) onCompletion(result);
    }
};

struct AudioPlayerNode::Command : detail::GraphMessage {
    AudioPlayerNode* player = nullptr;
    bool start = false;
    std::optional<std::int64_t> atGraphFrame;
    std::uint64_t sequence = 0;

    void perform(AudioGraph& graph) noexcept override
    {
        if (start) {
            player->startClock(atGraphFrame);
        } else {
            player->stopClock();
        }
        player->performedCommands_.store(sequence, std::memory_order_release);
        graph.retire(this);
    }
};

AudioPlayerNode::~AudioPlayerNode()
{
    releaseGraphResources();
}

AudioGraph& AudioPlayerNode::requireGraph() const
{
    if (graph() == nullptr) throw std::logic_error("The player is not attached to an audio graph.");
    return *graph();
}

void AudioPlayerNode::scheduleBuffer(AudioBufferRef buffer, std::optional<std::int64_t> frame,
                                     CompletionHandler onCompletion, Scheduling scheduling)
{
    AudioGraph& graph = requireGraph();
    if (!buffer) return;
    auto item = std::make_unique<Item>();
    item->player = this;
    item->buffer = std::move(buffer);
    item->requestedFrame = frame;
    item->scheduling = scheduling;
    item->onCompletion = std::move(onCompletion);
    graph.post(item.release());
}

void AudioPlayerNode::play(std::optional<std::int64_t> atGraphFrame)
{
    AudioGraph& graph = requireGraph();
    if (playing_) return;
    playing_ = true;
    auto command = std::make_unique<Command>();
    command->player = this;
    command->start = true;
    command->atGraphFrame = atGraphFrame;
    post(graph, std::move(command));
}

void AudioPlayerNode::stop()
{
    AudioGraph& graph = requireGraph();
    playing_ = false;
    auto command = std::make_unique<Command>();
    command->player = this;
    post(graph, std::move(command));
}

void AudioPlayerNode::post(AudioGraph& graph, std::unique_ptr<Command> command)
{
    command->sequence = postedCommands_.load(std::memory_order_relaxed) + 1;
    postedCommands_.store(command->sequence, std::memory_order_release);
    graph.post(command.release());
}

std::optional<std::int64_t> AudioPlayerNode::playerFrame() const noexcept
{
    if (performedCommands_.load(std::memory_order_acquire) != postedCommands_.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    const std::int64_t frame = lastPlayerFrame_.load(std::memory_order_acquire);
    if (frame == noFrame) return std::nullopt;
    return frame;
}

void AudioPlayerNode::insert(Item* item) noexcept
{
    if (item->scheduling == Scheduling::interrupts) dropAll();
    if (item->requestedFrame) {
        item->start = *item->requestedFrame;
    } else {
        // "Now": the coming block when the clock runs, else the clock's first frame.
        item->start = state_ == State::playing ? nextDomainFrame_ - startDomainFrame_ : 0;
    }
    item->next = nullptr;
    if (head_ == nullptr) {
        head_ = tail_ = item;
    } else if (item->start >= tail_->start) {
        tail_->next = item;
        tail_ = item;
    } else if (item->start < head_->start) {
        item->next = head_;
        head_ = item;
    } else {
        Item* previous = head_;
        while (previous->next != nullptr && previous->next->start <= item->start) previous = previous->next;
        item->next = previous->next;
        previous->next = item;
        if (item->next == nullptr) tail_ = item;
    }
}

void AudioPlayerNode::dropAll() noexcept
{
    AudioGraph* owner = graph();
    while (head_ != nullptr) {
        Item* item = head_;
        head_ = item->next;
        item->result = AudioPlayerCompletion::dropped;
        owner->retire(item);
    }
    tail_ = nullptr;
}

void AudioPlayerNode::startClock(std::optional<std::int64_t> atGraphFrame) noexcept
{
    if (state_ != State::stopped) return;
    state_ = State::starting;
    startGraphFrame_ = atGraphFrame;
}

void AudioPlayerNode::stopClock() noexcept
{
    dropAll();
    state_ = State::stopped;
    lastPlayerFrame_.store(noFrame, std::memory_order_release);
}

void AudioPlayerNode::reset() noexcept
{
    // A graph reset clears what is queued; whether the player plays stays the owner's decision.
    if (graph() != nullptr) dropAll();
}

void AudioPlayerNode::releaseGraphResources() noexcept
{
    // The graph is gone and nothing renders: what the audio side held is freed here, unreported.
    while (head_ != nullptr) {
        Item* item = head_;
        head_ = item->next;
        delete item;
    }
    tail_ = nullptr;
    state_ = State::stopped;
    lastPlayerFrame_.store(noFrame, std::memory_order_release);
    // Commands still on their way were freed with the graph: none of them will be acted on.
    performedCommands_.store(postedCommands_.load(std::memory_order_relaxed), std::memory_order_release);
}

void AudioPlayerNode::render(const RenderTime& time, const RenderInputs&, AudioBus& out) noexcept
{
    out.silent = true;
    mixInto(time, out);
}

bool AudioPlayerNode::renderAdding(const RenderTime& time, AudioBus& sum) noexcept
{
    mixInto(time, sum);
    return true;
}

void AudioPlayerNode::mixInto(const RenderTime& time, AudioBus& out) noexcept
{
    const int frames = out.frames;
    if (state_ == State::stopped) return;
    if (state_ == State::starting) {
        startDomainFrame_ = time.frame;
        if (startGraphFrame_) {
            const double ahead = (static_cast<double>(*startGraphFrame_) - time.graphFrame) / time.graphFramesPerFrame;
            startDomainFrame_ += static_cast<std::int64_t>(std::llround(ahead));
        }
        state_ = State::playing;
    }
    nextDomainFrame_ = time.frame + frames;
    const std::int64_t blockStart = time.frame - startDomainFrame_;
    const std::int64_t blockEnd = blockStart + frames;
    lastPlayerFrame_.store(blockStart, std::memory_order_release);

    const float gain = volume_.get();
    Item* previous = nullptr;
    Item* item = head_;
    while (item != nullptr && item->start < blockEnd) {
        const AudioBuffer& buffer = *item->buffer;
        const std::int64_t end = item->start + buffer.frameLength();
        const std::int64_t from = std::max(item->start, blockStart);
        const std::int64_t to = std::min(end, blockEnd);
        if (from < to && gain != 0.0f) {
            const int offset = static_cast<int>(from - blockStart);
            const int count = static_cast<int>(to - from);
            const std::int64_t source = from - item->start;
            const bool first = out.silent;
            if (first && count < frames) out.fillSilence();
            out.silent = false;
            float* const output[2] = {out.channels[0] + offset, out.channels[1] + offset};
            const float* const input[2] = {buffer.channel(0) + source, buffer.channel(1) + source};
            kernels::mixStereo(output, input, gain, count, !first);
        }
        Item* next = item->next;
        if (end <= blockEnd) {
            if (previous == nullptr) {
                head_ = next;
            } else {
                previous->next = next;
            }
            if (tail_ == item) tail_ = previous;
            item->result = AudioPlayerCompletion::played;
            graph()->retire(item);
        } else {
            previous = item;
        }
        item = next;
    }
}

} // namespace veltrane
