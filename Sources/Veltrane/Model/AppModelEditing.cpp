// The tracker cursor, keyboard entry and the cell clipboard.

#include "Veltrane/Model/AppModel.hpp"

#include "Veltrane/Model/CellInstrument.hpp"
#include "VeltraneCore/Models/Effect.hpp"
#include "VeltraneCore/PatternOperations/PatternClipboard.hpp"
#include "VeltraneCore/Text/Utf8.hpp"
#include "VeltraneCore/Tracker/KeyboardNoteMap.hpp"

#include <algorithm>
#include <cctype>

namespace veltrane {

namespace {

std::optional<int> hexDigitValue(char32_t c)
{
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a') + 10;
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A') + 10;
    return std::nullopt;
}

char32_t upperCased(char32_t c) { return c >= U'a' && c <= U'z' ? c - (U'a' - U'A') : c; }

/// The first code point of UTF-8 `text`, if it has one.
std::optional<char32_t> firstCharacter(const std::string& text)
{
    if (text.empty()) return std::nullopt;
    std::size_t position = 0;
    return decodeUtf8(text, position);
}

} // namespace

const Pattern* AppModel::currentPattern() const
{
    if (patternIndex_ < 0 || patternIndex_ >= static_cast<int>(project_.patterns.size())) return nullptr;
    return &project_.patterns[static_cast<std::size_t>(patternIndex_)];
}

void AppModel::mutateCursorCell(const std::function<void(Cell&, const Project&)>& change)
{
    // Undo and redo leave the cursor where it was, so it may name a pattern or cell the restored project
    // no longer has: such an edit does nothing.
    const auto* pattern = currentPattern();
    if (!pattern || !pattern->contains(selectedRow_, selectedTrack_)) return;
    const int patternIndex = patternIndex_;
    const int row = selectedRow_;
    const int track = selectedTrack_;
    mutate([&](Project& project) {
        auto& target = project.patterns[static_cast<std::size_t>(patternIndex)];
        Cell cell = target.cell(row, track);
        change(cell, project);
        target.setCell(row, track, std::move(cell));
    });
}

// Keys.

void AppModel::handleKey(const KeyPress& key)
{
    if (key.command && !key.text.empty()) {
        std::string lower = key.text;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower == "c") copySelection();
        else if (lower == "v") pasteSelection();
        else if (lower == "a") selectAllCells();
        return;
    }
    switch (key.key) {
    case Key::tab: moveField(key.shift ? -1 : 1, false); return;
    case Key::space:
        // Space stops what plays or is being prepared, and otherwise plays from the cursor.
        if (isPlaying_ || isPreparingPlayback_) {
            stop();
        } else {
            play();
        }
        return;
    case Key::backspace:
    case Key::forwardDelete: clearSelectionOrField(); return;
    case Key::left: moveField(-1, key.shift); return;
    case Key::right: moveField(1, key.shift); return;
    case Key::down: select(selectedRow_ + 1, selectedTrack_, std::nullopt, key.shift); return;
    case Key::up: select(selectedRow_ - 1, selectedTrack_, std::nullopt, key.shift); return;
    case Key::other:
        if (const auto character = firstCharacter(key.text)) input(*character);
        return;
    }
}

void AppModel::input(char32_t character)
{
    if (selectedField_ == CellField::note) {
        // A pitch outside MIDI's range would make the project unloadable: such keys are ignored.
        if (const auto note = keyToNote(character, octave_); note && *note >= 0 && *note <= 127) {
            enter(NotePitch{*note}, std::nullopt);
        } else if (character == U'`') {
            enter(NoteOff{}, std::nullopt);
        }
        return;
    }

    const bool effectColumn = selectedField_ == CellField::effect1 || selectedField_ == CellField::effect2;
    const std::size_t slot = selectedField_ == CellField::effect2 ? 1 : 0;
    if (effectColumn) {
        // Effect codes are single ASCII letters; anything else cannot name one.
        const auto upper = upperCased(character);
        const std::string code = upper < 0x80 ? std::string(1, static_cast<char>(upper)) : std::string();
        if (const auto type = fromRawValue<EffectType>(code)) {
            mutateCursorCell([&](Cell& cell, const Project&) { cell.effects[slot] = Effect{*type, 0}; });
            hexDigits_.clear();
            return;
        }
    }

    if (!hexDigitValue(character)) return;
    hexDigits_ += static_cast<char>(character); // a hexadecimal digit is ASCII
    if (hexDigits_.size() > 2) hexDigits_.erase(0, hexDigits_.size() - 2);
    int value = 0;
    for (const char digit : hexDigits_) value = value * 16 + *hexDigitValue(static_cast<char32_t>(digit));

    mutateCursorCell([&](Cell& cell, const Project& project) {
        switch (selectedField_) {
        case CellField::instrument:
            // With no instruments there is nothing a cell may name: the cell keeps what it has.
            if (const auto index = cellInstrumentIndex(project, value)) cell.instrument = *index;
            break;
        case CellField::volume: cell.volume = static_cast<std::uint8_t>(std::min(value, 64)); break;
        case CellField::effect1:
        case CellField::effect2:
            if (auto& effect = cell.effects[slot]) effect->value = static_cast<std::uint8_t>(value);
            else effect = Effect{EffectType::arpeggio, static_cast<std::uint8_t>(value)};
            break;
        case CellField::note: break;
        }
    });
    if (hexDigits_.size() == 2) advanceRow();
}

void AppModel::enter(std::optional<StepNote> note, std::optional<std::uint8_t> velocity)
{
    const int track = selectedTrack_;
    const int selected = selectedInstrument_;
    mutateCursorCell([&](Cell& cell, const Project& project) {
        cell.note = note;
        if (note && !cell.instrument) cell.instrument = cellInstrumentIndex(project, selected);
        if (velocity) cell.volume = static_cast<std::uint8_t>(std::min(*velocity * 64 / 127, 64));
    });

    if (note && pitchOf(*note)) {
        if (const auto* pattern = currentPattern(); pattern && pattern->contains(selectedRow_, track)) {
            try {
                audio_->start();
            } catch (const std::exception&) {
                // The edit stands; the audition is silent when the output cannot start.
            }
            audio_->apply(project_);
            audio_->trigger(pattern->cell(selectedRow_, track), track, project_.instruments, auditionSeconds);
        }
    }
    advanceRow();
}

// Cursor moves.

void AppModel::advanceRow()
{
    const auto* pattern = currentPattern();
    const int lastRow = pattern ? std::max(pattern->rows - 1, 0) : 0;
    setSelectedRow(std::clamp(selectedRow_ + 1, 0, lastRow));
    setSelectionAnchor(std::nullopt);
    hexDigits_.clear();
}

void AppModel::select(int row, int track, std::optional<CellField> field, bool extending)
{
    if (extending) {
        if (!selectionAnchor_) setSelectionAnchor(GridPosition{selectedRow_, selectedTrack_});
    } else {
        setSelectionAnchor(std::nullopt);
    }
    const auto* pattern = currentPattern();
    const int lastRow = pattern ? std::max(pattern->rows - 1, 0) : 0;
    const int lastTrack = pattern ? std::max(pattern->channels - 1, 0) : 0;
    setSelectedRow(std::clamp(row, 0, lastRow));
    setSelectedTrack(std::clamp(track, 0, lastTrack));
    if (field) setSelectedField(*field);
    hexDigits_.clear();
}

void AppModel::moveField(int step, bool extending)
{
    int field = toRawValue(selectedField_) + step;
    int track = selectedTrack_;
    if (field < 0) {
        field = toRawValue(CellField::effect2);
        track -= 1;
    } else if (field > toRawValue(CellField::effect2)) {
        field = toRawValue(CellField::note);
        track += 1;
    }
    const auto* pattern = currentPattern();
    track = std::clamp(track, 0, pattern ? std::max(pattern->channels - 1, 0) : 0);
    select(selectedRow_, track, cellFieldFromRawValue(field), extending);
}

// Clipboard and clearing.

void AppModel::copySelection()
{
    const auto* pattern = currentPattern();
    if (!pattern) return;
    const auto range = selection().value_or(CellRange{selectedRow_, selectedTrack_, selectedRow_, selectedTrack_});
    cellClipboard_ = copy(*pattern, range);
}

void AppModel::pasteSelection()
{
    if (!cellClipboard_ || !currentPattern()) return;
    const int patternIndex = patternIndex_;
    const int row = selectedRow_;
    const int track = selectedTrack_;
    mutate([&](Project& project) {
        paste(project.patterns[static_cast<std::size_t>(patternIndex)], *cellClipboard_, row, track);
    });
}

void AppModel::clearSelectionOrField()
{
    if (const auto range = selection()) {
        if (currentPattern()) {
            const int patternIndex = patternIndex_;
            mutate([&](Project& project) { clear(project.patterns[static_cast<std::size_t>(patternIndex)], *range); });
        }
        setSelectionAnchor(std::nullopt);
    } else {
        const auto field = selectedField_;
        mutateCursorCell([field](Cell& cell, const Project&) {
            switch (field) {
            case CellField::note: cell.note.reset(); break;
            case CellField::instrument: cell.instrument.reset(); break;
            case CellField::volume: cell.volume.reset(); break;
            case CellField::effect1: cell.effects[0].reset(); break;
            case CellField::effect2: cell.effects[1].reset(); break;
            }
        });
    }
    hexDigits_.clear();
}

void AppModel::selectAllCells()
{
    const auto* pattern = currentPattern();
    if (!pattern) return;
    setSelectionAnchor(GridPosition{0, 0});
    setSelectedRow(std::max(pattern->rows - 1, 0));
    setSelectedTrack(std::max(pattern->channels - 1, 0));
}

} // namespace veltrane
