#include "VeltraneCore/Tracker/NoteFrequency.hpp"

#include <cmath>

namespace veltrane {

double noteFrequency(double note) { return 440.0 * std::exp2((note - 69.0) / 12.0); }

} // namespace veltrane
