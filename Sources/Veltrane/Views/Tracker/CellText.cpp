#include "Veltrane/Views/Tracker/CellText.hpp"

#include "VeltraneCore/Tracker/NoteNames.hpp"

#include <variant>

namespace veltrane {

QString hex2(int value) { return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper(); }

QString cellText(const Cell& cell)
{
    static const QString noNote = QStringLiteral("\u00B7\u00B7\u00B7");
    static const QString noByte = QStringLiteral("\u00B7\u00B7");

    QString text;
    text.reserve(20);
    if (!cell.note) {
        text += noNote;
    } else if (const auto pitch = pitchOf(*cell.note)) {
        text += QString::fromStdString(noteName(*pitch));
    } else {
        text += isNoteOff(*cell.note) ? QStringLiteral("OFF") : QStringLiteral("TIE");
    }
    text += QLatin1Char(' ');
    text += cell.instrument ? hex2(*cell.instrument) : noByte;
    text += QLatin1Char(' ');
    text += cell.volume ? hex2(*cell.volume) : noByte;
    text += QStringLiteral("  ");
    bool first = true;
    for (const auto& effect : cell.effects) {
        if (!first) text += QLatin1Char(' ');
        first = false;
        if (effect) {
            text += QString::fromUtf8(toRawValue(effect->type).data(), 1) + hex2(effect->value);
        } else {
            text += noNote;
        }
    }
    return text;
}

} // namespace veltrane
