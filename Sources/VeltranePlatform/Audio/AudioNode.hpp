#pragma once

// A node of an `AudioGraph`: something that renders stereo blocks, from nothing (players, later hosted
// instruments), from one input (effects) or from many (mixers). Nodes are made by their owner, attached
// to one graph and then wired with `AudioGraph::connect`; the graph pulls the node tree from its main
// mixer, once per block, on whichever thread renders it.
//
// The real-time contract of every node:
//   - `prepare` runs on the main thread while the graph is not rendering; it is the only place that
//     allocates.
//   - `render` and `reset` run on the rendering thread and never allocate, lock, wait or log.
//   - Parameters are atomics (`AudioParameter`) written from any thread and read once per block.
//
// A node that hosts a plug-in derives from `AudioEffectNode` (an insert: one input, processed in place,
// with bypass) or directly from `AudioNode` with no inputs (an instrument that renders from nothing).

#include "VeltranePlatform/Audio/AudioBus.hpp"
#include "VeltranePlatform/Audio/AudioLevelTap.hpp"

#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

namespace veltrane {

class AudioGraph;
namespace detail { class RenderPlan; }

/// The inputs of the node being rendered. Audio thread.
class RenderInputs {
public:
    int count() const noexcept { return static_cast<int>(count_); }
    /// Renders input `index` into `into` (whose frames say how many), with the time of that input's
    /// clock domain. An index without an input leaves `into` silent.
    void pull(int index, const RenderTime& time, AudioBus& into) const noexcept;
    /// Adds input `index` straight into `sum` when that input can (see `AudioNode::renderAdding`) and
    /// no meter needs its output alone; false when it was not rendered.
    bool pullAdding(int index, const RenderTime& time, AudioBus& sum) const noexcept;

private:
    friend class detail::RenderPlan;
    RenderInputs(const detail::RenderPlan* plan, std::uint32_t first, std::uint32_t count) noexcept
        : plan_(plan), first_(first), count_(count)
    {
    }
    const detail::RenderPlan* plan_;
    std::uint32_t first_;
    std::uint32_t count_;
};

class AudioNode {
public:
    static constexpr int unlimitedInputs = std::numeric_limits<int>::max();

    AudioNode() = default;
    virtual ~AudioNode() = default;
    AudioNode(const AudioNode&) = delete;
    AudioNode& operator=(const AudioNode&) = delete;

    /// 0 for a source, 1 for an effect, `unlimitedInputs` for a mixer.
    virtual int maximumInputs() const noexcept = 0;

    /// The graph the node is attached to, or nullptr.
    AudioGraph* graph() const noexcept { return graph_; }

    /// Frames by which the node's output follows its input (a look-ahead); 0 for most nodes. An offline
    /// render that must not be shifted renders this many frames more and drops them from the start.
    /// Main thread.
    virtual std::int64_t latencyFrames() const noexcept { return 0; }

    /// Starts measuring the node's output level (after its own volume and pan) and returns the meter.
    /// Main thread; the meter itself may be read from any thread.
    AudioLevelTap& installLevelTap() noexcept;
    /// Stops measuring; the held value stays readable.
    void removeLevelTap() noexcept;
    bool hasLevelTap() const noexcept { return tapInstalled_.load(std::memory_order_relaxed); }
    AudioLevelTap& levelTap() noexcept { return tap_; }

protected:
    /// Main thread, while the graph is not rendering: allocate what `render` needs for this format.
    virtual void prepare(double sampleRate, int maximumFrames) {}
    /// Rendering thread: forget every tail and history, as after a fresh start. Never allocates.
    virtual void reset() noexcept {}
    /// Rendering thread: fill `out` (its frames are at most the prepared maximum). Never allocates,
    /// locks or waits.
    virtual void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept = 0;
    /// Rendering thread: add what `render` would give straight into `sum` (a mixer's running sum; when
    /// silent, write it as `render` would), saving the copy through a block of the node's own. A node
    /// without inputs may offer it; false leaves `sum` untouched, and the mixer renders the node apart.
    virtual bool renderAdding(const RenderTime& time, AudioBus& sum) noexcept { return false; }
    /// Main thread, when the graph is destroyed before the node: free what the audio side still holds.
    virtual void releaseGraphResources() noexcept {}

    double sampleRate() const noexcept { return sampleRate_; }
    int maximumFrames() const noexcept { return maximumFrames_; }

private:
    friend class AudioGraph;
    friend class detail::RenderPlan;

    AudioGraph* graph_ = nullptr;
    double sampleRate_ = 48000;
    int maximumFrames_ = 0;
    AudioLevelTap tap_;
    std::atomic<bool> tapInstalled_{false};

    // Wiring, kept by the graph on the main thread.
    std::vector<AudioNode*> inputs_;
    AudioNode* destination_ = nullptr;
};

/// An insert effect: one input, processed in place. Bypassed, it passes its input through unchanged
/// and its own state stands still.
class AudioEffectNode : public AudioNode {
public:
    int maximumInputs() const noexcept final { return 1; }

    /// Any thread.
    void setBypassed(bool bypassed) noexcept { bypassed_.store(bypassed, std::memory_order_relaxed); }
    bool isBypassed() const noexcept { return bypassed_.load(std::memory_order_relaxed); }

protected:
    /// Rendering thread: process `bus` in place. A silent bus means zeros in; a node with a tail may
    /// write it into the bus and clear `silent`.
    virtual void process(const RenderTime& time, AudioBus& bus) noexcept = 0;

private:
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept final;
    std::atomic<bool> bypassed_{false};
};

} // namespace veltrane
