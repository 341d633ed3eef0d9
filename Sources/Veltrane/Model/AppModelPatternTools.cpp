// Pattern tools on the selection: bulk edits of the current pattern, locks and the cell panel's edits,
// resizing, and the two project settings of the Tools panel.

#include "Veltrane/Model/AppModel.hpp"

#include "Veltrane/Model/CellInstrument.hpp"
#include "VeltraneCore/PatternOperations/PatternOperations.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>

namespace veltrane {

namespace {

/// How far humanize moves a volume, either way.
constexpr int humanizeAmount = 6;

constexpr std::array<int, 8> majorScale{0, 2, 4, 5, 7, 9, 11, 12};
constexpr std::array<int, 8> minorScale{0, 2, 3, 5, 7, 8, 10, 12};

/// The random seed of humanize and melody: the bits of the current time as seconds since 1970, so two
/// calls at different moments give different results.
std::uint64_t timeSeed()
{
    const double seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return std::bit_cast<std::uint64_t>(seconds);
}

/// The instrument a generated or locked cell takes; -1 (which the generators refuse) when the project has
/// no instrument to name.
int generatorInstrument(const Project& project, int selected)
{
    return cellInstrumentIndex(project, selected).value_or(-1);
}

/// The mixer after a change of track count: one strip per channel of the widest pattern, the existing
/// strips in order and new default ones after them. A narrower pattern never takes away strips that a
/// wider one still plays through.
void fitMixerToPatterns(Project& project)
{
    int widest = 0;
    for (const auto& pattern : project.patterns) widest = std::max(widest, pattern.channels);
    project.mixer.resize(static_cast<std::size_t>(widest));
}

/// Holds a cell the cell panel changed to what a project file may hold, so that a control delivering
/// a value past its range (or a stale instrument list) never makes the document unloadable: an
/// instrument the project has, a volume up to 64, a gate of 0.01 to 16 rows, a pitch of 0 to 127 (else
/// the note it had), and lock values within their targets' ranges.
void keepLoadable(Cell& cell, const Cell& before, const Project& project)
{
    if (cell.instrument) cell.instrument = cellInstrumentIndex(project, *cell.instrument);
    if (cell.volume) cell.volume = std::min<std::uint8_t>(*cell.volume, 64);
    if (cell.gate) cell.gate = std::isfinite(*cell.gate) ? std::optional(std::clamp(*cell.gate, 0.01, 16.0)) : before.gate;
    if (cell.note) {
        if (const auto pitch = pitchOf(*cell.note); pitch && (*pitch < 0 || *pitch > 127)) cell.note = before.note;
    }
    for (auto& lock : cell.locks) lock.value = clamped(lock.target, lock.value);
}

} // namespace

void AppModel::mutateCurrentPattern(const std::function<void(Pattern&, const Project&)>& change)
{
    if (!currentPattern()) return;
    const auto index = static_cast<std::size_t>(patternIndex_);
    mutate([&](Project& project) { change(project.patterns[index], project); });
}

void AppModel::interpolateVolume()
{
    const auto* pattern = currentPattern();
    if (!pattern) return;
    const auto range = selection();
    const int track = selectedTrack_;
    const int from = range ? range->startRow : 0;
    const int through = range ? range->endRow : pattern->rows - 1;
    mutateCurrentPattern(
        [&](Pattern& edited, const Project&) { veltrane::interpolateVolume(edited, track, from, through); });
}

void AppModel::setParameterLock(ParameterTarget target, double value, std::optional<int> row, std::optional<int> track)
{
    const int lockRow = row.value_or(selectedRow_);
    const int lockTrack = track.value_or(selectedTrack_);
    const auto* pattern = currentPattern();
    if (!pattern || !pattern->contains(lockRow, lockTrack)) return;
    const double stored = clamped(target, value);
    const int selected = selectedInstrument_;
    mutateCurrentPattern([&](Pattern& edited, const Project& project) {
        Cell cell = edited.cell(lockRow, lockTrack);
        if (isInstrumentTarget(target) && !cell.instrument) cell.instrument = cellInstrumentIndex(project, selected);
        const auto existing = std::find_if(cell.locks.begin(), cell.locks.end(),
                                           [&](const ParameterLock& lock) { return lock.target == target; });
        if (existing != cell.locks.end()) existing->value = stored;
        else cell.locks.push_back(ParameterLock{target, stored});
        edited.setCell(lockRow, lockTrack, std::move(cell));
    });
}

void AppModel::removeParameterLock(ParameterTarget target)
{
    updateCell([target](Cell& cell) {
        std::erase_if(cell.locks, [target](const ParameterLock& lock) { return lock.target == target; });
    });
}

void AppModel::updateCell(const std::function<void(Cell&)>& change)
{
    mutateCursorCell([&](Cell& cell, const Project& project) {
        const Cell before = cell;
        change(cell);
        keepLoadable(cell, before, project);
    });
}

void AppModel::resizeCurrentPattern(std::optional<int> rows, std::optional<int> channels)
{
    if (!currentPattern()) return;
    const auto index = static_cast<std::size_t>(patternIndex_);
    mutate([&](Project& project) {
        auto& edited = project.patterns[index];
        if (rows) resize(edited, *rows, std::nullopt);
        if (channels) {
            resize(edited, std::nullopt, *channels);
            fitMixerToPatterns(project);
        }
    });
    const auto* pattern = currentPattern();
    setSelectedRow(std::min(selectedRow_, pattern->rows - 1));
    setSelectedTrack(std::min(selectedTrack_, pattern->channels - 1));
    setSelectionAnchor(std::nullopt);
}

void AppModel::euclideanFill(int pulses, int steps, int note)
{
    const auto range = selection();
    const int track = selectedTrack_;
    const int startRow = range ? range->startRow : 0;
    const int selected = selectedInstrument_;
    mutateCurrentPattern([&](Pattern& edited, const Project& project) {
        veltrane::euclideanFill(edited, track, pulses, steps, note, generatorInstrument(project, selected), startRow);
    });
}

void AppModel::randomMelody(double density, int root, bool minor)
{
    std::array<int, 8> notes{};
    const auto& scale = minor ? minorScale : majorScale;
    std::transform(scale.begin(), scale.end(), notes.begin(), [root](int step) { return std::min(root + step, 127); });
    const int track = selectedTrack_;
    const int selected = selectedInstrument_;
    mutateCurrentPattern([&](Pattern& edited, const Project& project) {
        randomFill(edited, track, density, notes, generatorInstrument(project, selected), timeSeed());
    });
}

void AppModel::humanize()
{
    const auto range = selection();
    mutateCurrentPattern(
        [&](Pattern& edited, const Project&) { veltrane::humanize(edited, range, humanizeAmount, timeSeed()); });
}

void AppModel::accent()
{
    const auto range = selection();
    mutateCurrentPattern([&](Pattern& edited, const Project&) { veltrane::accent(edited, range); });
}

void AppModel::doublePattern()
{
    mutateCurrentPattern([](Pattern& edited, const Project&) { doubleLength(edited); });
}

void AppModel::transpose(int semitones)
{
    const auto range = selection();
    mutateCurrentPattern([&](Pattern& edited, const Project&) { veltrane::transpose(edited, semitones, range); });
}

void AppModel::rotateRows(int offset)
{
    const auto range = selection();
    mutateCurrentPattern([&](Pattern& edited, const Project&) { veltrane::rotateRows(edited, offset, range); });
}

void AppModel::setRowsPerBeat(int rowsPerBeat)
{
    // A project with another count cannot be opened again, so none is ever stored.
    const int stored = std::clamp(rowsPerBeat, 1, 16);
    mutate([stored](Project& project) { project.rowsPerBeat = stored; });
}

void AppModel::setSwing(double swing)
{
    if (!std::isfinite(swing)) return; // a project holding one could not be opened again
    mutate([swing](Project& project) { project.swing = swing; });
}

} // namespace veltrane
