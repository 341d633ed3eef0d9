#pragma once

// A pull graph of audio nodes: our stand-in for a platform audio engine. Nodes are attached, wired into
// a tree that ends in the main mixer, and rendered block by block, either by an `AudioDevice` (live) or
// by the owner itself (`manualRender`, offline export and tests). One graph clock counts the frames
// rendered so far; players start and schedule against it.
//
// Threads:
//   - The owner thread (the main thread, or the export thread of an offline graph) attaches, wires,
//     schedules and drains completions. Structure changes are compiled into a new render plan there and
//     handed to the rendering thread through a lock-free queue, together with every player command, in
//     the order they were made.
//   - One rendering thread at a time calls `render`/`manualRender`. It never allocates, locks, waits or
//     logs. What it is done with (played buffers, replaced plans, commands) goes back through a second
//     lock-free queue and is freed, and its completion handlers called, in `drainCompletions` on the
//     owner thread.
//
// Nothing is applied between two renders: a graph that is not being rendered keeps its commands queued
// until the next block. The graph must outlive the devices that render it (stop them first).

#include "VeltranePlatform/Audio/AudioBuffer.hpp"
#include "VeltranePlatform/Audio/AudioMixerNode.hpp"
#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/IntrusiveQueue.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace veltrane {

namespace detail {

/// A command for the rendering thread, or a report back from it. Made on the owner thread; `perform`
/// runs on the rendering thread, which then either keeps the message (a node takes it over) or retires
/// it; `deliver` runs on the owner thread when it is drained, right before it is deleted.
struct GraphMessage : IntrusiveQueueNode {
    virtual ~GraphMessage() = default;
    virtual void perform(AudioGraph& graph) noexcept = 0;
    virtual void deliver() {}
};

class RenderPlan;

} // namespace detail

class AudioGraph {
public:
    static constexpr int defaultMaximumFrames = 4096;

    /// Throws std::invalid_argument for a sample rate that is not positive or a block size below 1.
    explicit AudioGraph(double sampleRate = 48000, int maximumFrames = defaultMaximumFrames);
    ~AudioGraph();
    AudioGraph(const AudioGraph&) = delete;
    AudioGraph& operator=(const AudioGraph&) = delete;

    double sampleRate() const noexcept { return sampleRate_; }
    /// The longest block a node renders at once; longer renders are cut into blocks of this size.
    int maximumFrames() const noexcept { return maximumFrames_; }

    /// Prepares every node for a new format and clears their state (after a device change). Owner
    /// thread, only while nothing renders the graph.
    void setFormat(double sampleRate, int maximumFrames);

    /// The root of the tree: what a render returns. Attached from the start; it has no destination.
    AudioMixerNode& mainMixer() noexcept { return *mainMixer_; }

    /// Takes the node into the graph and prepares it for the graph's format. A node belongs to one
    /// graph for the graph's whole life. Owner thread; throws std::logic_error when the node is
    /// attached to another graph.
    void attach(std::shared_ptr<AudioNode> node);
    /// Makes a node of type `Node` and attaches it: `auto eq = graph.attachNew<AudioEQNode>();`.
    template <class Node>
    std::shared_ptr<Node> attachNew()
    {
        auto node = std::make_shared<Node>();
        attach(node);
        return node;
    }

    /// Wires the output of `source` into `destination`. A source has one destination: wiring it again
    /// moves it. An effect has one input: a new source replaces the old one; a mixer adds an input.
    /// Owner thread; throws std::logic_error for a node that is not attached here, a node without
    /// inputs as destination, the main mixer as source, or a connection that would close a loop.
    void connect(AudioNode& source, AudioNode& destination);
    /// Removes the connection from `source` to its destination, if any. Owner thread.
    void disconnectOutput(AudioNode& source);
    /// Removes every connection into `destination`. Owner thread.
    void disconnectInputs(AudioNode& destination);
    /// The node that `source` feeds, or nullptr. Owner thread.
    AudioNode* destination(const AudioNode& source) const noexcept { return source.destination_; }
    /// The nodes that feed `destination`, in input order. Owner thread.
    const std::vector<AudioNode*>& inputs(const AudioNode& destination) const noexcept { return destination.inputs_; }

    /// Clears every node's state (tails, histories) and drops every player's buffers (reported as
    /// dropped), at the next block. Players keep playing or not as they were. Owner thread.
    void reset();

    /// The graph clock: frames rendered so far. Any thread.
    std::int64_t renderedFrames() const noexcept { return renderedFrames_.load(std::memory_order_acquire); }

    /// Renders the next `frames` frames into two channels. Rendering thread: never allocates, locks or
    /// waits.
    void render(float* left, float* right, int frames) noexcept;
    /// Renders the next `frames` frames (at most the buffer's capacity) into the start of `buffer` and
    /// sets its frame length. Same threading as `render`; the owner of an offline graph calls it on its
    /// own thread. The same graph, commands and renders give the same samples.
    void manualRender(AudioBuffer& buffer, std::int64_t frames) noexcept;
    /// Renders the next block of `frames` frames (at most `maximumFrames`) into two channels, as
    /// `render` does, but leaves a silent block unwritten: true when sound was written. For a graph whose
    /// blocks another graph plays (`AudioFeedNode`), which then skips silence as it would a silent node.
    /// Same threading as `render`.
    bool renderBlock(float* left, float* right, int frames) noexcept;

    /// Delivers what the rendering thread has finished with: calls completion handlers and frees played
    /// buffers, replaced plans and spent commands. Returns how many reports it handled. Owner thread
    /// (one at a time; a nested call from a handler returns 0).
    std::size_t drainCompletions();

    // For node implementations.
    /// Queues a command for the rendering thread. Any thread; lock-free.
    void post(detail::GraphMessage* message) noexcept { inbox_.push(message); }
    /// Hands a finished message back to the owner thread. Rendering thread; lock-free.
    void retire(detail::GraphMessage* message) noexcept { outbox_.push(message); }

private:
    friend class detail::RenderPlan;
    struct PlanMessage;
    struct ResetMessage;

    void requireAttached(const AudioNode& node) const;
    void unlink(AudioNode& source) noexcept;
    void publishPlan();
    void performMessages() noexcept;
    // Renders one block of at most `maximumFrames_` into `bus` and advances the clock.
    void renderOne(AudioBus& bus) noexcept;

    double sampleRate_;
    int maximumFrames_;
    std::vector<std::shared_ptr<AudioNode>> nodes_;
    std::shared_ptr<AudioMixerNode> mainMixer_;
    IntrusiveQueue inbox_;
    IntrusiveQueue outbox_;
    std::atomic_flag draining_ = ATOMIC_FLAG_INIT;

    // Rendering thread.
    detail::RenderPlan* plan_ = nullptr;
    std::int64_t clock_ = 0;
    std::atomic<std::int64_t> renderedFrames_{0};
};

} // namespace veltrane
