// Patterns, the pattern order and the song arrangement: blocks with repeats, markers, the loop region,
// and the tempo.

#include "Veltrane/Model/AppModel.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

bool isIndexOf(int index, std::size_t count) { return index >= 0 && static_cast<std::size_t>(index) < count; }

int blockCount(const Project& project)
{
    return project.arrangement ? static_cast<int>(project.arrangement->blocks.size()) : 0;
}

} // namespace

void AppModel::mutateArrangement(const std::function<void(SongArrangement&)>& change)
{
    if (!project_.arrangement) return;
    mutate([&](Project& project) {
        change(*project.arrangement);
        project.syncOrderFromArrangement();
    });
}

void AppModel::ensureSongArrangement(Project& project)
{
    if (project.arrangement) return;
    // The song starts as the order it replaces: one block per entry, no markers, the loop off.
    SongArrangement song;
    for (const int entry : project.order) song.blocks.push_back(SongBlock{.pattern = entry, .repeats = 1});
    project.arrangement = std::move(song);
}

// Patterns.

void AppModel::selectPattern(int index)
{
    if (!isIndexOf(index, project_.patterns.size())) return;
    if (isPlaying_ && !songMode_) {
        // While one pattern loops, the choice waits as a mark for the sidebar; what plays stays.
        setQueuedPatternIndex(index);
        return;
    }
    setPatternIndex(index);
    setSelectedRow(0);
    setSelectedTrack(std::min(selectedTrack_, std::max(project_.patterns[static_cast<std::size_t>(index)].channels - 1, 0)));
    setSelectionAnchor(std::nullopt);
}

void AppModel::newPattern(bool clone)
{
    const std::optional<int> source = clone ? std::optional(patternIndex_) : std::nullopt;
    mutate([&](Project& project) { project.addPattern(source); });
    setPatternIndex(static_cast<int>(project_.patterns.size()) - 1);
    setSelectedRow(0);
}

void AppModel::deletePattern()
{
    if (project_.patterns.size() < 2 || !currentPattern()) return;
    const int removed = patternIndex_;
    mutate([removed](Project& project) { project.removePattern(removed); });
    setPatternIndex(std::min(removed, static_cast<int>(project_.patterns.size()) - 1));
    setSelectedRow(0);
    setSelectedTrack(0);
}

void AppModel::renamePattern(const std::string& name)
{
    if (!currentPattern()) return;
    const int index = patternIndex_;
    const std::string stored = name.empty() ? "Pattern " + std::to_string(index + 1) : name;
    mutate([&](Project& project) { project.patterns[static_cast<std::size_t>(index)].name = stored; });
}

// Song blocks.

void AppModel::addOrder()
{
    const int pattern = patternIndex_;
    if (!currentPattern()) return;
    mutate([pattern](Project& project) {
        ensureSongArrangement(project);
        project.arrangement->blocks.push_back(SongBlock{.pattern = pattern, .repeats = 1});
        project.syncOrderFromArrangement();
    });
    setSelectedSongBlock(std::max(blockCount(project_) - 1, 0));
}

void AppModel::duplicateOrder(int index)
{
    if (!isIndexOf(index, static_cast<std::size_t>(blockCount(project_)))) return;
    mutateArrangement([index](SongArrangement& song) {
        SongBlock copy = song.blocks[static_cast<std::size_t>(index)];
        copy.id = Uuid::random();
        song.blocks.insert(song.blocks.begin() + index + 1, copy);
    });
    setSelectedSongBlock(index + 1);
}

void AppModel::removeOrder(int index)
{
    const int count = blockCount(project_);
    if (count < 2 || !isIndexOf(index, static_cast<std::size_t>(count))) return;
    mutateArrangement([index](SongArrangement& song) {
        song.blocks.erase(song.blocks.begin() + index);
        // Markers keep their block numbers; only the loop is kept inside the blocks that remain.
        const int last = static_cast<int>(song.blocks.size()) - 1;
        song.loop.startBlock = std::min(song.loop.startBlock, last);
        song.loop.endBlock = std::min(std::max(song.loop.endBlock, song.loop.startBlock), last);
    });
    setSelectedSongBlock(std::min(index, blockCount(project_) - 1));
}

void AppModel::setOrder(int index, int pattern)
{
    if (!isIndexOf(index, static_cast<std::size_t>(blockCount(project_))) ||
        !isIndexOf(pattern, project_.patterns.size())) {
        return;
    }
    mutateArrangement([=](SongArrangement& song) { song.blocks[static_cast<std::size_t>(index)].pattern = pattern; });
}

void AppModel::moveOrder(int index, int offset)
{
    const auto count = static_cast<std::size_t>(blockCount(project_));
    if (!isIndexOf(index, count) || !isIndexOf(index + offset, count)) return;
    mutateArrangement([=](SongArrangement& song) {
        std::swap(song.blocks[static_cast<std::size_t>(index)], song.blocks[static_cast<std::size_t>(index + offset)]);
    });
    setSelectedSongBlock(index + offset);
}

void AppModel::moveOrderFromTo(int source, int destination)
{
    const auto count = static_cast<std::size_t>(blockCount(project_));
    if (source == destination || !isIndexOf(source, count) || !isIndexOf(destination, count)) return;
    mutateArrangement([=](SongArrangement& song) {
        SongBlock moved = song.blocks[static_cast<std::size_t>(source)];
        song.blocks.erase(song.blocks.begin() + source);
        song.blocks.insert(song.blocks.begin() + destination, std::move(moved));
    });
    setSelectedSongBlock(destination);
}

void AppModel::setOrderRepeats(int index, int repeats)
{
    if (!isIndexOf(index, static_cast<std::size_t>(blockCount(project_)))) return;
    const int stored = std::clamp(repeats, 1, 64);
    mutateArrangement([=](SongArrangement& song) { song.blocks[static_cast<std::size_t>(index)].repeats = stored; });
}

void AppModel::selectSongBlock(int index)
{
    if (!isIndexOf(index, static_cast<std::size_t>(blockCount(project_)))) return;
    setSelectedSongBlock(index);
    if (isPlaying_) return;
    const int pattern = project_.arrangement->blocks[static_cast<std::size_t>(index)].pattern;
    // A block names a pattern the project has (repair and the pattern list keep it so); checked all the
    // same, since the cursor must never name a missing pattern.
    if (!isIndexOf(pattern, project_.patterns.size())) return;
    setPatternIndex(pattern);
    setSelectedRow(0);
}

void AppModel::setSongLoop(std::optional<int> start, std::optional<int> end, std::optional<bool> enabled)
{
    const int count = blockCount(project_);
    if (count < 1) return;
    mutateArrangement([=](SongArrangement& song) {
        const int last = count - 1;
        const int newStart = start ? std::clamp(*start, 0, last) : song.loop.startBlock;
        const int newEnd = end ? std::min(std::max(*end, newStart), last) : song.loop.endBlock;
        song.loop.startBlock = newStart;
        song.loop.endBlock = std::max(newEnd, newStart);
        if (enabled) song.loop.enabled = *enabled;
    });
}

// Markers.

void AppModel::addSongMarker(int block)
{
    if (!isIndexOf(block, static_cast<std::size_t>(blockCount(project_)))) return;
    mutateArrangement([block](SongArrangement& song) {
        // Numbered by how many there are, not by how many were ever made: names may repeat.
        song.markers.push_back(
            SongMarker{.name = "Marker " + std::to_string(song.markers.size() + 1), .block = block});
    });
}

void AppModel::renameSongMarker(const Uuid& id, const std::string& name)
{
    const std::string stored = name.empty() ? "Marker" : name;
    mutate([&](Project& project) {
        if (!project.arrangement) return;
        auto& markers = project.arrangement->markers;
        const auto marker = std::find_if(markers.begin(), markers.end(), [&](const SongMarker& m) { return m.id == id; });
        if (marker != markers.end()) marker->name = stored;
    });
}

void AppModel::removeSongMarker(const Uuid& id)
{
    mutate([&](Project& project) {
        if (project.arrangement) std::erase_if(project.arrangement->markers, [&](const SongMarker& m) { return m.id == id; });
    });
}

// Tempo.

void AppModel::setTempo(double bpm)
{
    // Not a number has no nearest tempo; clamping would turn it into the slowest one.
    if (!std::isfinite(bpm)) return;
    const double stored = std::clamp(bpm, 20.0, 400.0);
    mutate([stored](Project& project) { project.bpm = stored; });
}

} // namespace veltrane
