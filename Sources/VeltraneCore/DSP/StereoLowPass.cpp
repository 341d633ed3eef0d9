#include "VeltraneCore/DSP/StereoLowPass.hpp"

#include "VeltraneCore/DSP/CycleSine.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

StereoLowPass::StereoLowPass(double sampleRate, double cutoff, double resonance) { update(sampleRate, cutoff, resonance); }

void StereoLowPass::update(double sampleRate, double cutoff, double resonance)
{
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) {
        b0 = 1;
        b1 = b2 = a1 = a2 = 0;
        return;
    }
    // A cutoff that is not a number gives the lowest cutoff, as a lock or a route outside its range does.
    double frequency = std::isnan(cutoff) ? 20.0 : std::max(cutoff, 20.0);
    frequency = std::min(frequency, 0.45 * sampleRate);
    const double q = std::isnan(resonance) ? 0.05 : std::clamp(resonance, 0.05, 5.0);

    // w0 = 2π × frequency / rate, taken in cycles (at most 0.45 of one): the sine and cosine without a
    // library call, as a modulated filter is retuned every few frames.
    const double cycles = frequency / sampleRate;
    // The cosine and the sine side by side in one pair of lanes, each with the arithmetic of one alone.
    const DoubleLanes sines = sineOfPhase(DoubleLanes{cycles + 0.25, cycles});
    const double cosW0 = sines[0];
    const double alpha = sines[1] / (2 * q);
    // One division for the normalisation, the rest multiplications: the same coefficients to within
    // double rounding.
    const double inverseA0 = 1 / (1 + alpha);
    b1 = (1 - cosW0) * inverseA0;
    b0 = b1 / 2;
    b2 = b0;
    a1 = -2 * cosW0 * inverseA0;
    a2 = (1 - alpha) * inverseA0;
}

} // namespace veltrane
