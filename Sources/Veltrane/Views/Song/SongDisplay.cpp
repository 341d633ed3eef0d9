#include "Veltrane/Views/Song/SongDisplay.hpp"

namespace veltrane {

std::vector<SongBlock> displayedSongBlocks(const Project& project)
{
    if (project.arrangement) return project.arrangement->blocks;
    std::vector<SongBlock> blocks;
    blocks.reserve(project.order.size());
    for (const int entry : project.order) blocks.push_back(SongBlock{.pattern = entry, .repeats = 1});
    return blocks;
}

std::vector<SongMarker> markersOfBlock(const Project& project, int index)
{
    std::vector<SongMarker> markers;
    if (!project.arrangement) return markers;
    for (const auto& marker : project.arrangement->markers)
        if (marker.block == index) markers.push_back(marker);
    return markers;
}

bool blockInLoop(const SongArrangement& song, int index)
{
    return song.loop.enabled && song.loop.startBlock <= index && index <= song.loop.endBlock;
}

bool blockInLoop(const Project& project, int index) { return project.arrangement && blockInLoop(*project.arrangement, index); }

QString blockPatternName(const std::vector<Pattern>& patterns, int pattern)
{
    if (pattern < 0 || static_cast<std::size_t>(pattern) >= patterns.size()) return QStringLiteral("Missing");
    return QString::fromStdString(patterns[static_cast<std::size_t>(pattern)].name);
}

QString loopRangeText(const SongLoopRegion& loop)
{
    return QStringLiteral("%1\u2013%2").arg(loop.startBlock + 1).arg(loop.endBlock + 1);
}

QString repeatsText(int repeats) { return QStringLiteral("\u00D7%1").arg(repeats); }

} // namespace veltrane
