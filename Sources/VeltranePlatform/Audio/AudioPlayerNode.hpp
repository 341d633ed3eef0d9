#pragma once

// A player: plays buffers, each at its own frame of the player's clock. The player clock counts frames
// from the moment the player starts (`play`), so buffers may be queued before and after the start, in
// any order, and each sounds at its own frame; buffers that overlap are mixed. A buffer queued at a
// frame that has already passed plays from where it would be now (its past part is skipped), so a late
// queue never shifts the rhythm.
//
// Threads: every operation except `playerFrame` and `volume` is for the graph's owner thread. Commands
// travel to the rendering thread through the graph's lock-free queue, in order; buffers are shared
// immutable and come back through `AudioGraph::drainCompletions`, which calls the completion handler
// (played or dropped) and drops the last reference there, never on the audio thread.

#include "VeltranePlatform/Audio/AudioBuffer.hpp"
#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace veltrane {

enum class AudioPlayerCompletion {
    played,  ///< the buffer's last frame has been rendered (or its time had passed entirely)
    dropped, ///< `stop`, an interrupting buffer or a graph reset removed it before it ended
};

class AudioPlayerNode : public AudioNode {
public:
    using CompletionHandler = std::function<void(AudioPlayerCompletion)>;

    enum class Scheduling {
        queue,      ///< keep what the player already holds
        interrupts, ///< drop everything the player holds (reported as dropped) before this buffer
    };

    AudioPlayerNode() = default;
    ~AudioPlayerNode() override;

    int maximumInputs() const noexcept override { return 0; }

    /// Queues `buffer` to start at player frame `frame`; without a frame it starts at once when the
    /// player plays (or as soon as it is started). `onCompletion` runs in `drainCompletions` on the owner
    /// thread. A null buffer is ignored. Owner thread; lock-free on the audio side. Throws
    /// std::logic_error when the player is not attached to a graph.
    void scheduleBuffer(AudioBufferRef buffer, std::optional<std::int64_t> frame,
                        CompletionHandler onCompletion = {}, Scheduling scheduling = Scheduling::queue);

    /// Starts the player clock: at graph frame `atGraphFrame`, or with the next block. Does nothing
    /// while the player plays. Owner thread. Throws std::logic_error when not attached.
    void play(std::optional<std::int64_t> atGraphFrame = std::nullopt);

    /// Stops at once: every queued or sounding buffer is dropped and the player clock ends. Owner
    /// thread. Throws std::logic_error when not attached.
    void stop();

    /// Whether `play` was called since the last `stop`, as seen by the owner thread.
    bool isPlaying() const noexcept { return playing_; }

    /// The player frame of the first frame of the last block rendered, negative while a start is still
    /// ahead; nothing while the player is stopped or has not rendered since it was started. A `stop` or
    /// `play` takes the frame away at once, before the rendering thread has acted on it: a clock that
    /// stopped while nothing rendered (a lost device) never hands its last frame to the next start. Any
    /// thread.
    std::optional<std::int64_t> playerFrame() const noexcept;

    /// Linear gain applied to everything the player plays, 0 ... 4. Any thread.
    void setVolume(float volume) noexcept { volume_.set(volume); }
    float volume() const noexcept { return volume_.get(); }

protected:
    void reset() noexcept override;
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept override;
    bool renderAdding(const RenderTime& time, AudioBus& sum) noexcept override;
    void releaseGraphResources() noexcept override;

private:
    struct Item;
    struct Command;
    static constexpr std::int64_t noFrame = std::numeric_limits<std::int64_t>::min();

    AudioGraph& requireGraph() const;
    // Numbers `command` and posts it to the rendering thread.
    void post(AudioGraph& graph, std::unique_ptr<Command> command);
    // Rendering thread.
    void insert(Item* item) noexcept;
    void dropAll() noexcept;
    void startClock(std::optional<std::int64_t> atGraphFrame) noexcept;
    void stopClock() noexcept;
    // Adds the block's part of every item into `out`, writing rather than adding while it is silent.
    void mixInto(const RenderTime& time, AudioBus& out) noexcept;

    AudioParameter<float> volume_{1.0f, 0.0f, 4.0f};
    bool playing_ = false; // owner thread
    // Starts and stops the owner has posted, and those the rendering thread has acted on: while they
    // differ, the last frame rendered belongs to the clock before the latest command.
    std::atomic<std::uint64_t> postedCommands_{0};
    std::atomic<std::uint64_t> performedCommands_{0};

    // Rendering thread.
    enum class State { stopped, starting, playing };
    State state_ = State::stopped;
    std::optional<std::int64_t> startGraphFrame_;
    std::int64_t startDomainFrame_ = 0; // the frame of the node's clock domain where player frame 0 is
    std::int64_t nextDomainFrame_ = 0;  // the domain frame of the block to come
    Item* head_ = nullptr;              // sorted by start frame, equal starts in queueing order
    Item* tail_ = nullptr;
    std::atomic<std::int64_t> lastPlayerFrame_{noFrame};
};

} // namespace veltrane
