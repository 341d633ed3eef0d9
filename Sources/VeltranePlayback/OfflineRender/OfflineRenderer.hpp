#pragma once

// Renders a project's song, or one track of it, into a 44,100 Hz stereo 32-bit float WAV file, faster
// than real time. Each render builds its own graph (`OfflineMixdownGraph`): track strips with eight
// voices each, hosted instruments played by MIDI, the master chain with its peak limiter. It then runs
// the graph in blocks of at most 256 frames, updating automated and modulated buses before each block,
// queuing the notes each block needs before it, and appending every block to the file. The notes'
// buffers and the strips are rendered ahead on the other cores; the render's own thread runs the master
// chain and writes the file.
//
//     OfflineRenderer renderer;
//     renderer.render(project, "/home/me/Song.wav");            // the mix
//     renderer.render(project, "/home/me/03 Track 03.wav", 2);  // track 3 alone (a stem)
//
// The file runs until 0.1 s after the last sound ends and at least 3 s past the song's end. It is
// written through an `AtomicFileWriter` and put in place when complete: a failed or killed render leaves
// an earlier file at that path untouched and no partial file. The target is checked before the render
// starts. The same project always gives the same bytes.
//
// Failures: `RenderError` (a song over 20 minutes, a sample that cannot be loaded or played, a plug-in
// that cannot be made) and `FileWriteError` (the file cannot be written). A render blocks its thread for
// its whole length: callers run it on a worker. Renderers share nothing, but one renderer serves one
// render at a time.

#include "VeltranePlayback/Mixdown/OfflineMixdownGraph.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace veltrane {

class OfflineRenderer {
public:
    /// The longest song a render accepts, in seconds.
    static constexpr double maximumSongSeconds = 1200;

    /// When the notes' buffers are made. The file is the same either way; rendering them all first
    /// holds every note of the song in memory at once and is there to prove exactly that.
    enum class NoteRendering { whenNeeded, allBeforeTheFirstBlock };

    double sampleRate = 44100;
    NoteRendering noteRendering = NoteRendering::whenNeeded;
    /// The threads a render uses: its own, which runs the master chain, and workers that render notes
    /// and strips ahead of it. 0 takes one per core. The file is the same at any number.
    int threads = 0;
    /// Told after each block, on the rendering thread, the fraction of the file rendered so far (0 to 1;
    /// the file's end is known only once its last notes are scheduled, so the fraction may pause). When
    /// it returns false the render stops with `RenderCancelled`, leaving an earlier file untouched and
    /// no new one. Optional.
    std::function<bool(double fraction)> progress;

    /// Hosts the plug-ins installed on this machine.
    OfflineRenderer();
    /// Hosts the plug-ins `units` makes.
    explicit OfflineRenderer(std::shared_ptr<OfflineUnitSource> units);

    /// Renders `project` to the WAV file at `to`: the whole mix, or only `soloTrack` (0-based) audible.
    void render(const Project& project, const std::filesystem::path& to, std::optional<int> soloTrack = std::nullopt);

private:
    std::shared_ptr<OfflineUnitSource> units_;
};

/// Plug-ins from the installed catalogue, at the export's rate and block length.
std::shared_ptr<OfflineUnitSource> installedOfflineUnits();

} // namespace veltrane
