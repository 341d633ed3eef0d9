#pragma once

// A cell's note: a MIDI pitch, a note-off or a tie (the previous note carries on).
//
//     cell.note = NotePitch{60};   cell.note = NoteOff{};   cell.note = NoteTie{};
//     if (auto pitch = pitchOf(*cell.note)) ...      // the MIDI number of a pitch, else nothing
//     std::visit(..., *cell.note) or std::get_if<NotePitch>(&*cell.note)

#include <optional>
#include <variant>

namespace veltrane {

struct NotePitch {
    int value = 0; // MIDI note number, 0 to 127 in a valid project
    friend bool operator==(const NotePitch&, const NotePitch&) = default;
};

struct NoteOff {
    friend bool operator==(const NoteOff&, const NoteOff&) = default;
};

struct NoteTie {
    friend bool operator==(const NoteTie&, const NoteTie&) = default;
};

using StepNote = std::variant<NotePitch, NoteOff, NoteTie>;

inline std::optional<int> pitchOf(const StepNote& note)
{
    if (const auto* pitch = std::get_if<NotePitch>(&note)) return pitch->value;
    return std::nullopt;
}

inline bool isNoteOff(const StepNote& note) { return std::holds_alternative<NoteOff>(note); }
inline bool isTie(const StepNote& note) { return std::holds_alternative<NoteTie>(note); }

} // namespace veltrane
