#pragma once

namespace veltrane {

/// Equal temperament with A above middle C at 440 Hz: 440 × 2^((note − 69) / 12). The note may carry a
/// fraction, so a pitch plus an instrument's tune in semitones gives the tuned frequency directly
/// (69 gives 440 Hz, 60 about 261.63 Hz, 60 + 0.5 a quarter tone above it).
double noteFrequency(double note);

} // namespace veltrane
