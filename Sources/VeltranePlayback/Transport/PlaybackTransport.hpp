#pragma once

// The transport of live playback: what is playing, its loop cycles and the generation that tells this
// playback from every earlier one, the count-in, and the playing position. It holds the two nodes that
// carry them: the silent clock player, whose frames are playback frames (0 when every player starts)
// and which plays one marker per queued cycle, and the time-pitch stage that sets the transport's rate.
//
// Playback frames: cycle c begins at `countInFrames` + c × `cycleFrames`; the count-in fills the frames
// before cycle 0. A looping playback has cycles 0 and 1 queued at its start; the marker half-way through
// cycle c makes cycle c + 2 due, so the cycle playing and the next are always queued. A playback that
// does not loop has cycle 0 only, with its marker on its last frame and nothing after it.
//
// The live engine starts and ends playbacks (`AudioEngine::schedule` and `stop`), queues what each
// released cycle holds, and asks here where cycles begin; the application's transport follows the
// playing position and sets the rate. Every member is for the main thread.

#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace veltrane {

class AudioEngine;

class PlaybackTransport {
public:
    /// What a playback plays and how, fixed when it starts.
    struct Playback {
        /// The project it plays; none while stopped.
        std::shared_ptr<const Project> project;
        /// One pass over the timeline.
        std::int64_t cycleFrames = 0;
        /// Frames from the players' start to the first row.
        std::int64_t countInFrames = 0;
        /// Whether cycles follow one another (a looping playback of at least one frame).
        bool looping = false;
        bool metronome = false;
    };

    PlaybackTransport(std::shared_ptr<AudioPlayerNode> clock, std::shared_ptr<AudioTimePitchNode> rateStage);
    PlaybackTransport(const PlaybackTransport&) = delete;
    PlaybackTransport& operator=(const PlaybackTransport&) = delete;

    /// The playback that plays, or the last one (its project gone) after a stop.
    const Playback& playback() const noexcept { return playback_; }
    bool isPlaying() const noexcept { return playback_.project != nullptr; }
    /// Whether the players have their start: from then on, events count from it.
    bool hasStarted() const noexcept { return started_; }

    /// The timeline frame playing now, counted over every cycle from the first row (held at 0 through
    /// the count-in); nothing before the clock has started.
    std::optional<std::int64_t> playingFrame() const noexcept;
    /// The playback frame playing now (count-in included), 0 before the clock has started.
    std::int64_t clockFrame() const noexcept;
    /// The playback frame at which cycle `cycle` begins.
    std::int64_t cycleStart(std::int64_t cycle) const noexcept
    {
        return playback_.countInFrames + cycle * playback_.cycleFrames;
    }
    /// Cycles below this have been released: their notes may be queued.
    std::int64_t releasedCycles() const noexcept { return releasedCycles_; }

    /// Sets the playback rate of the whole output (a followed clock's tempo against the project's), 1 at
    /// the project's own tempo. Every start and stop sets it back to 1.
    void setRate(float rate) noexcept { rateStage_->setRate(rate); }

private:
    // The engine starts, chains and ends playbacks; everyone else reads.
    friend class AudioEngine;

    /// Ends what plays and begins `playback` under a fresh generation; no cycle is released yet.
    void begin(Playback playback);
    /// Ends playback: a fresh generation voids every continuation still queued, the clock stops and the
    /// rate goes back to 1. The lengths of the last playback stay readable.
    void end();
    /// Releases `cycle` of the playing playback and queues its marker on the clock (the marker made at
    /// `sampleRate`); false, with nothing released, when nothing plays or its cycles are empty.
    bool release(std::int64_t cycle, double sampleRate);
    /// The cycles whose markers played since the last call and which are due now, of this playback only.
    std::vector<std::int64_t> takeDueCycles();
    /// Starts the clock at graph frame `graphFrame`, with every player of the playback.
    void start(std::int64_t graphFrame);

    std::shared_ptr<AudioPlayerNode> clock_;
    std::shared_ptr<AudioTimePitchNode> rateStage_;
    Playback playback_;
    Uuid generation_ = Uuid::random();
    bool started_ = false;
    std::int64_t releasedCycles_ = 0;
    // Cycles made due by played markers, with the generation that queued them; the pump acts on them.
    std::vector<std::pair<std::int64_t, Uuid>> dueCycles_;
    AudioBufferRef marker_;
};

} // namespace veltrane
