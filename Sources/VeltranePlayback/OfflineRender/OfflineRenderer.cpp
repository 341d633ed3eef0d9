#include "VeltranePlayback/OfflineRender/OfflineRenderer.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltranePlayback/Mixdown/BusAutomation.hpp"
#include "VeltranePlayback/OfflineRender/OfflineNoteScheduler.hpp"
#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"
#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltranePlatform/Audio/AudioPluginNodes.hpp"
#include "VeltranePlatform/Audio/DenormalGuard.hpp"
#include "VeltranePlatform/Files/AudioFileWriter.hpp"

#include <algorithm>
#include <limits>
#include <thread>

namespace veltrane {

namespace {

// After the last sound ends, 0.1 s of the master chain's own tail.
constexpr std::int64_t endMarginFrames = 4410;
// The file runs at least this long past the song's end, for the master delay and reverb to ring out.
constexpr double songTailSeconds = 3.0;

class InstalledUnits : public OfflineUnitSource {
public:
    std::shared_ptr<AudioMIDIInstrumentNode> instrument(const AudioUnitReference& reference,
                                                        const std::optional<Data>& state) override
    {
        return std::make_shared<AudioPluginInstrumentNode>(AudioUnitCatalog::instantiate(
            reference, state, OfflineMixdownGraph::sampleRate, OfflineMixdownGraph::blockFrames,
            AudioUnitCatalog::installedPlugins(), PluginRunMode::offline));
    }
    std::shared_ptr<AudioEffectNode> effect(const AudioUnitReference& reference, const std::optional<Data>& state) override
    {
        return std::make_shared<AudioPluginEffectNode>(AudioUnitCatalog::instantiate(
            reference, state, OfflineMixdownGraph::sampleRate, OfflineMixdownGraph::blockFrames,
            AudioUnitCatalog::installedPlugins(), PluginRunMode::offline));
    }
};

/// Hands on what another source makes, telling every plug-in among it the song's tempo.
class TempoFollowingUnits : public OfflineUnitSource {
public:
    TempoFollowingUnits(OfflineUnitSource& units, double bpm) : units_(units), bpm_(bpm) {}
    std::shared_ptr<AudioMIDIInstrumentNode> instrument(const AudioUnitReference& reference,
                                                        const std::optional<Data>& state) override
    {
        auto node = units_.instrument(reference, state);
        if (auto* plugin = dynamic_cast<AudioPluginInstrumentNode*>(node.get())) plugin->instance().setTempo(bpm_);
        return node;
    }
    std::shared_ptr<AudioEffectNode> effect(const AudioUnitReference& reference, const std::optional<Data>& state) override
    {
        auto node = units_.effect(reference, state);
        if (auto* plugin = dynamic_cast<AudioPluginEffectNode*>(node.get())) plugin->instance().setTempo(bpm_);
        return node;
    }

private:
    OfflineUnitSource& units_;
    double bpm_;
};

} // namespace

std::shared_ptr<OfflineUnitSource> installedOfflineUnits()
{
    return std::make_shared<InstalledUnits>();
}

OfflineRenderer::OfflineRenderer() : units_(installedOfflineUnits()) {}

OfflineRenderer::OfflineRenderer(std::shared_ptr<OfflineUnitSource> units)
    : units_(units ? std::move(units) : installedOfflineUnits())
{
}

void OfflineRenderer::render(const Project& project, const std::filesystem::path& to, std::optional<int> soloTrack)
{
    // Checked from the song's length alone, before any row or note is listed: a small file can hold a
    // song of millions of rows, which would cost gigabytes before it could be refused.
    const TimelineLength length =
        playbackTimelineLength(project, SongScope{}, 0, 0, OfflineNoteRendering::sampleRate);
    if (!(length.duration() <= maximumSongSeconds)) throw RenderError::tooLong();
    const RenderEventList list = OfflineNoteRendering::events(project);
    // A target that cannot be written (a folder, a device, a read-only file, no name at all) is refused
    // now rather than after the whole render.
    AudioFileWriter file(to, OfflineMixdownGraph::sampleRate, 2);
    // The whole render, notes included, flushes subnormal numbers to zero: decaying tails would
    // otherwise cost many times more per operation, for a sound some 6,000 dB down.
    DenormalGuard denormals;

    TempoFollowingUnits units(*units_, project.bpm);
    OfflineMixdownGraph mixdown(project, list.timeline, soloTrack, units);
    const int threadCount = threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    BusAutomation buses(project, list.timeline, mixdown.stripCount(), BusAutomation::Options::exportRender());
    OfflineNoteScheduler notes(project, list, mixdown, units, threadCount - 1, &buses);
    if (noteRendering == NoteRendering::allBeforeTheFirstBlock) notes.scheduleBefore(std::numeric_limits<std::int64_t>::max());
    mixdown.startVoices();

    AudioGraph& graph = mixdown.graph();
    const auto songFrames = static_cast<std::int64_t>((list.length + songTailSeconds) * OfflineMixdownGraph::sampleRate);
    // The master chain's look-ahead delays everything by the same frames: they are rendered on top and
    // dropped from the start, so every sound lies in the file at its own frame.
    const std::int64_t latency = mixdown.latencyFrames();
    AudioBuffer block(OfflineMixdownGraph::blockFrames, OfflineMixdownGraph::sampleRate);
    for (;;) {
        const std::int64_t frame = graph.renderedFrames();
        notes.prepareBlock(frame);
        // While notes are still to start, one of them ends after this block, so the block is a whole one;
        // once all have started, the file's length is known.
        const bool finished = notes.finishedBefore(frame + OfflineMixdownGraph::blockFrames);
        const std::int64_t total = std::max(notes.latestEndFrame() + endMarginFrames, songFrames) + latency;
        if (finished && frame >= total) break;
        const std::int64_t count =
            finished ? std::min<std::int64_t>(total - frame, OfflineMixdownGraph::blockFrames)
                     : OfflineMixdownGraph::blockFrames;
        graph.manualRender(block, count);
        const std::int64_t skip = std::clamp<std::int64_t>(latency - frame, 0, count);
        const float* channels[2] = {block.channel(0) + skip, block.channel(1) + skip};
        file.append(channels, count - skip);
        // Frees what has played, so memory follows the notes that sound now, not the song so far.
        graph.drainCompletions();
        if (progress && !progress(static_cast<double>(frame + count) / static_cast<double>(std::max<std::int64_t>(total, 1)))) {
            throw RenderCancelled();
        }
    }
    file.commit();
}

} // namespace veltrane
