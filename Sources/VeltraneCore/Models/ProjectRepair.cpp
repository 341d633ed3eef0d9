#include "VeltraneCore/Models/ProjectRepair.hpp"

#include "VeltraneCore/Text/CaseFold.hpp"
#include "VeltraneCore/Models/ProjectLoadLimit.hpp"
#include "VeltraneCore/Models/PatternList.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"
#include "VeltraneCore/Text/Utf8.hpp"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <string_view>
#include <unordered_set>

namespace veltrane {

namespace {

constexpr int maxPatternRows = 256;
constexpr int maxPatternChannels = 32;
constexpr int maxBlockRepeats = 64;

void require(bool condition)
{
    if (!condition) throw ProjectError::invalid();
}

/// Both bounds included; NaN lies outside.
bool inClosedRange(double value, double low, double high) { return value >= low && value <= high; }

/// Held to low ... high; NaN gives `low`.
double clampedTo(double value, double low, double high)
{
    if (!(value >= low)) return low;
    return std::min(value, high);
}

bool isValidIndex(int index, std::size_t count) { return index >= 0 && static_cast<std::size_t>(index) < count; }

// Repair keeps the values below as they are or only clamps them, and a NaN or an infinity would reach
// the sound rules unchecked and make the project impossible to save; so a value that is not finite is
// refused, like one in a lock or a gate.
void requireFinite(double value) { require(std::isfinite(value)); }
void requireFinite(const std::optional<double>& value)
{
    if (value) requireFinite(*value);
}

void checkCell(const Cell& cell, std::size_t instrumentCount)
{
    if (cell.note) {
        if (const auto pitch = pitchOf(*cell.note)) require(*pitch >= 0 && *pitch <= 127);
    }
    if (cell.instrument) require(isValidIndex(*cell.instrument, instrumentCount));
    if (cell.volume) require(*cell.volume <= 64);
    if (cell.gate) require(inClosedRange(*cell.gate, 0.01, 16));
    std::bitset<parameterTargetCount> seen;
    for (const auto& lock : cell.locks) {
        const int target = indexOf(lock.target);
        require(target >= 0 && target < parameterTargetCount);
        require(!seen.test(static_cast<std::size_t>(target)));
        seen.set(static_cast<std::size_t>(target));
        const auto bounds = range(lock.target);
        require(std::isfinite(lock.value) && bounds.contains(lock.value));
    }
}

void checkPattern(const Pattern& pattern, std::size_t instrumentCount)
{
    require(pattern.rows >= 1 && pattern.rows <= maxPatternRows);
    require(pattern.channels >= 1 && pattern.channels <= maxPatternChannels);
    require(pattern.hasConsistentGrid());
    // Read through the const grid only, so that checking never detaches shared rows.
    const CellGrid& grid = pattern.cells;
    for (int row = 0; row < grid.rowCount(); ++row) {
        for (const Cell& cell : grid.row(row)) checkCell(cell, instrumentCount);
    }
}

void repairArrangement(Project& project)
{
    const auto patternCount = project.patterns.size();
    if (!project.arrangement) {
        SongArrangement built;
        for (int entry : project.order) built.blocks.push_back(SongBlock{.pattern = entry, .repeats = 1});
        built.loop = SongLoopRegion{.startBlock = 0, .endBlock = 0, .enabled = false};
        project.arrangement = std::move(built);
    }
    auto& song = *project.arrangement;
    if (song.blocks.empty()) {
        song.blocks.push_back(SongBlock{.pattern = 0, .repeats = 1});
    } else {
        for (auto& block : song.blocks) {
            if (!isValidIndex(block.pattern, patternCount)) block.pattern = 0;
            block.repeats = std::clamp(block.repeats, 1, maxBlockRepeats);
        }
    }
    const int lastBlock = static_cast<int>(song.blocks.size()) - 1;
    for (auto& marker : song.markers) {
        if (marker.name.empty()) marker.name = "Marker";
        marker.block = std::clamp(marker.block, 0, lastBlock);
    }
    song.loop.startBlock = std::clamp(song.loop.startBlock, 0, lastBlock);
    song.loop.endBlock = std::min(std::max(song.loop.endBlock, song.loop.startBlock), lastBlock);
}

void repairModulation(ModulationRack& rack, std::size_t trackCount, std::size_t instrumentCount)
{
    for (auto& source : rack.sources) {
        for (double value : {source.rateBeats, source.phase, source.attack, source.decay, source.sustain,
                             source.release, source.macroValue}) {
            requireFinite(value);
        }
        source.rateBeats = clampedTo(source.rateBeats, 1.0 / 64, 64);
        // The fractional part of a tiny negative phase rounds up to exactly 1; one whole cycle is 0.
        source.phase -= std::floor(source.phase);
        if (source.phase >= 1) source.phase = 0;
        source.attack = clampedTo(source.attack, 0, 30);
        source.decay = clampedTo(source.decay, 0, 30);
        source.sustain = clampedTo(source.sustain, 0, 1);
        source.release = clampedTo(source.release, 0.001, 30);
        source.macroValue = clampedTo(source.macroValue, 0, 1);
    }
    const ModulationSourceIndex sources(rack);
    std::erase_if(rack.routes, [&](const ModulationRoute& route) { return sources.find(route.sourceID) == nullptr; });
    for (auto& route : rack.routes) {
        requireFinite(route.amount);
        route.amount = clampedTo(route.amount, -1, 1);
        if (route.track && !isValidIndex(*route.track, trackCount)) route.track.reset();
        if (route.instrument && !isValidIndex(*route.instrument, instrumentCount)) route.instrument.reset();
    }
}

void repairMixerTrack(MixerTrack& track)
{
    for (double value : {track.volume, track.pan}) requireFinite(value);
    for (const auto& value : {track.cutoff, track.resonance, track.drive}) requireFinite(value);
    track.volume = clampedTo(track.volume, 0, 1);
    track.pan = clampedTo(track.pan, -1, 1);
}

void repairSampleEdit(SampleEdit& edit)
{
    for (double value : {edit.trimStart, edit.trimEnd, edit.fadeIn, edit.fadeOut}) requireFinite(value);
    for (const auto& value : {edit.loopStart, edit.loopEnd, edit.loopCrossfade}) requireFinite(value);

    edit.trimStart = clampedTo(edit.trimStart, 0, 0.999);
    edit.trimEnd = std::min(std::max(edit.trimEnd, edit.trimStart + 0.001), 1.0);
    edit.fadeIn = clampedTo(edit.fadeIn, 0, 1);
    edit.fadeOut = clampedTo(edit.fadeOut, 0, 1);
    if (edit.loopStart) {
        edit.loopStart = clampedTo(*edit.loopStart, 0, 0.999);
        if (edit.loopEnd) edit.loopEnd = std::min(std::max(*edit.loopEnd, *edit.loopStart + 0.001), 1.0);
    } else if (edit.loopEnd) {
        edit.loopEnd = clampedTo(*edit.loopEnd, 0.001, 1);
    }
    if (edit.loopCrossfade) edit.loopCrossfade = clampedTo(*edit.loopCrossfade, 0, 0.25);
    if (edit.slicePoints) {
        auto& points = *edit.slicePoints;
        std::erase_if(points, [](double point) { return !(point > 0 && point < 1); });
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());
    }
}

void checkFMSettings(const FMSettings& fm)
{
    for (double value : {fm.amount, fm.carrier.ratio, fm.carrier.fine, fm.modulator.ratio, fm.modulator.fine}) {
        requireFinite(value);
    }
}

void repairInstrument(Instrument& instrument)
{
    for (double value : {instrument.volume, instrument.pan, instrument.tune, instrument.attack, instrument.decay,
                         instrument.sustain, instrument.release}) {
        requireFinite(value);
    }
    requireFinite(instrument.cutoff);
    requireFinite(instrument.resonance);
    if (instrument.fm) checkFMSettings(*instrument.fm);

    instrument.volume = clampedTo(instrument.volume, 0, 1);
    instrument.pan = clampedTo(instrument.pan, -1, 1);
    instrument.sustain = clampedTo(instrument.sustain, 0, 1);
    if (instrument.sampleEdit) repairSampleEdit(*instrument.sampleEdit);
    if (instrument.tags) instrument.tags = normalizedTags(*instrument.tags);
}

void checkMasterFX(const MasterFX& master)
{
    for (double value : {master.cutoff, master.resonance, master.drive, master.delayMix, master.delayTime,
                         master.delayFeedback, master.reverbMix}) {
        requireFinite(value);
    }
    requireFinite(master.bitDepth);
}

// White space and line breaks as Unicode counts them: the separators (Zs, Zl, Zp), the control
// characters tab to carriage return, and next line.
bool isWhiteSpaceOrLineBreak(char32_t c)
{
    return c == U' ' || (c >= U'\t' && c <= U'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

/// The text's code points, each case-folded: texts with equal keys differ only in letter case.
std::u32string caseFoldKey(std::string_view text)
{
    std::u32string key;
    for (std::size_t position = 0; position < text.size();) key.push_back(simpleCaseFold(decodeUtf8(text, position)));
    return key;
}

std::string_view trimmedText(std::string_view text)
{
    std::size_t start = text.size();
    std::size_t end = 0;
    for (std::size_t position = 0; position < text.size();) {
        const std::size_t codePointStart = position;
        if (isWhiteSpaceOrLineBreak(decodeUtf8(text, position))) continue;
        start = std::min(start, codePointStart);
        end = position;
    }
    return start < end ? text.substr(start, end - start) : std::string_view{};
}

} // namespace

std::vector<std::string> normalizedTags(const std::vector<std::string>& tags)
{
    std::vector<std::string> kept;
    std::unordered_set<std::u32string> seen;
    for (const auto& tag : tags) {
        const auto trimmed = trimmedText(tag);
        if (trimmed.empty()) continue;
        if (seen.insert(caseFoldKey(trimmed)).second) kept.emplace_back(trimmed);
    }
    std::sort(kept.begin(), kept.end(), CaseFoldedLess{});
    return kept;
}

void Project::normalize()
{
    // Checks only: the project is refused before anything is repaired.
    require(version == projectFormatVersion);
    require(inClosedRange(bpm, 20, 400));
    require(rowsPerBeat >= 1 && rowsPerBeat <= 16);
    require(!patterns.empty());
    for (const auto& pattern : patterns) checkPattern(pattern, instruments.size());

    // Order entries are kept in place so that positions in the song stay where they were.
    if (order.empty()) {
        order = {0};
    } else {
        for (int& entry : order) {
            if (!isValidIndex(entry, patterns.size())) entry = 0;
        }
    }
    repairArrangement(*this);
    order = expandedOrder(*arrangement);

    int widest = 0;
    for (const auto& pattern : patterns) widest = std::max(widest, pattern.channels);
    mixer.resize(static_cast<std::size_t>(widest));

    if (masterFX) {
        checkMasterFX(*masterFX);
    } else {
        masterFX = MasterFX{};
    }
    swing = clampedTo(swing.value_or(0), 0, 1);
    requireFinite(masterVolume);
    masterVolume = clampedTo(masterVolume, 0, 1);

    if (modulation) repairModulation(*modulation, mixer.size(), instruments.size());
    for (auto& track : mixer) repairMixerTrack(track);
    for (auto& instrument : instruments) repairInstrument(instrument);

    // The limits the file writer checks too, so that a project is never saved and then found unopenable:
    // at most 8 effects on each track and on the master, and at most 512 MiB of stored data.
    require(fitsLoadLimit(*this));
}

} // namespace veltrane
