#include "VeltranePlayback/Transport/PlaybackTransport.hpp"

#include <algorithm>

namespace veltrane {

PlaybackTransport::PlaybackTransport(std::shared_ptr<AudioPlayerNode> clock, std::shared_ptr<AudioTimePitchNode> rateStage)
    : clock_(std::move(clock)), rateStage_(std::move(rateStage))
{
}

void PlaybackTransport::begin(Playback playback)
{
    end();
    playback.looping = playback.looping && playback.cycleFrames > 0;
    playback_ = std::move(playback);
}

void PlaybackTransport::end()
{
    generation_ = Uuid::random();
    clock_->stop();
    started_ = false;
    playback_.project.reset();
    releasedCycles_ = 0;
    dueCycles_.clear();
    rateStage_->setRate(1.0f);
}

bool PlaybackTransport::release(std::int64_t cycle, double sampleRate)
{
    if (!isPlaying() || playback_.cycleFrames <= 0) return false;
    releasedCycles_ = std::max(releasedCycles_, cycle + 1);

    // Markers are made at the rate the graph runs at, again after a device change moved it.
    if (!marker_ || marker_->sampleRate() != sampleRate) marker_ = std::make_shared<const AudioBuffer>(1, sampleRate);
    const std::int64_t base = cycleStart(cycle);
    if (playback_.looping) {
        // Half-way through this cycle, the one after the next becomes due: a main thread that stalls for
        // less than a cycle and a half is not heard.
        const std::int64_t offset = std::max<std::int64_t>(playback_.cycleFrames / 2, 1);
        clock_->scheduleBuffer(marker_, base + offset, [this, cycle, generation = generation_](AudioPlayerCompletion) {
            // Called from the graph's drain on the main thread; the pump acts on it once the drain is over.
            dueCycles_.emplace_back(cycle + 2, generation);
        });
    } else {
        clock_->scheduleBuffer(marker_, base + std::max<std::int64_t>(playback_.cycleFrames - 1, 1));
    }
    return true;
}

std::vector<std::int64_t> PlaybackTransport::takeDueCycles()
{
    std::vector<std::int64_t> due;
    // A marker flushed by a stop, or played just before a new start, belongs to a generation gone by.
    for (const auto& [cycle, generation] : std::exchange(dueCycles_, {})) {
        if (generation == generation_) due.push_back(cycle);
    }
    return due;
}

void PlaybackTransport::start(std::int64_t graphFrame)
{
    started_ = true;
    clock_->play(graphFrame);
}

std::optional<std::int64_t> PlaybackTransport::playingFrame() const noexcept
{
    const auto frame = clock_->playerFrame();
    if (!frame) return std::nullopt;
    return std::max<std::int64_t>(*frame - playback_.countInFrames, 0);
}

std::int64_t PlaybackTransport::clockFrame() const noexcept
{
    return std::max<std::int64_t>(clock_->playerFrame().value_or(0), 0);
}

} // namespace veltrane
