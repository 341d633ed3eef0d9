#pragma once

// How the grid writes a cell in one line: note, instrument, volume and the two effect columns, with
// middle dots standing in for what is empty:
//
//     "C-5 01 40  A37 ···"     "··· ·· ··  ··· ···"     "OFF 01 40  ··· ···"

#include "VeltraneCore/Models/Cell.hpp"

#include <QString>

namespace veltrane {

QString cellText(const Cell& cell);

/// Upper-case hexadecimal of at least two digits: 0 → "00", 31 → "1F", 256 → "100".
QString hex2(int value);

} // namespace veltrane
