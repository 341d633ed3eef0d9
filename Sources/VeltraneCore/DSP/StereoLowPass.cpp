#include "VeltraneCore/DSP/StereoLowPass.hpp"

#include "VeltraneCore/DSP/CycleSine.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace veltrane {

namespace {

// The coefficients of one tuning (V a double) or of several side by side (V a vector of doubles), with
// the same arithmetic in every lane, so that a filter tuned in a batch is tuned exactly as by `update`.
template <class V>
struct Coefficients {
    V b0, b1, a1, a2;
};

template <class V>
Coefficients<V> coefficientsOf(double sampleRate, const V& cutoff, const V& resonance)
{
    const V zero{};
    // A cutoff that is not a number gives the lowest cutoff, as a lock or a route outside its range does.
    // Each selection is the `std::max`, `std::min` or `std::clamp` of the same numbers.
    V frequency = cutoff != cutoff ? zero + 20 : cutoff < 20 ? zero + 20 : cutoff;
    frequency = 0.45 * sampleRate < frequency ? zero + 0.45 * sampleRate : frequency;
    const V q = resonance != resonance ? zero + 0.05 : resonance < 0.05 ? zero + 0.05 : 5 < resonance ? zero + 5 : resonance;

    // w0 = 2π × frequency / rate, taken in cycles (at most 0.45 of one): the sine and cosine without a
    // library call, as a modulated filter is retuned every few frames.
    const V cycles = frequency / sampleRate;
    const V cosW0 = sineOfPhase(cycles + 0.25);
    const V alpha = sineOfPhase(cycles) / (2 * q);
    // One division for the normalisation, the rest multiplications: the same coefficients to within
    // double rounding.
    const V inverseA0 = 1 / (1 + alpha);
    const V b1 = (1 - cosW0) * inverseA0;
    return {b1 / 2, b1, -2 * cosW0 * inverseA0, (1 - alpha) * inverseA0};
}

bool isPositiveRate(double sampleRate) { return sampleRate > 0 && std::isfinite(sampleRate); }

} // namespace

StereoLowPass::StereoLowPass(double sampleRate, double cutoff, double resonance) { update(sampleRate, cutoff, resonance); }

void StereoLowPass::update(double sampleRate, double cutoff, double resonance)
{
    if (!isPositiveRate(sampleRate)) {
        b0 = 1;
        b1 = b2 = a1 = a2 = 0;
        return;
    }
    const Coefficients<double> c = coefficientsOf(sampleRate, cutoff, resonance);
    b0 = c.b0;
    b1 = c.b1;
    b2 = c.b0;
    a1 = c.a1;
    a2 = c.a2;
}

namespace {

// `tune` with as many filters to a vector as `V` holds; a last group of fewer repeats its last tuning in
// the lanes left over.
template <Lanes V>
void tuneIn(double sampleRate, const double* cutoffs, const double* resonances, int count, StereoLowPass* filters)
{
    constexpr int width = sizeof(V) / sizeof(double);
    for (int first = 0; first < count; first += width) {
        V cutoff, resonance;
        if (first + width <= count) {
            std::memcpy(&cutoff, cutoffs + first, sizeof cutoff);
            std::memcpy(&resonance, resonances + first, sizeof resonance);
        } else {
            for (int lane = 0; lane < width; ++lane) {
                const int from = std::min(first + lane, count - 1);
                cutoff[lane] = cutoffs[from];
                resonance[lane] = resonances[from];
            }
        }
        const Coefficients<V> c = coefficientsOf(sampleRate, cutoff, resonance);
        for (int lane = 0; lane < width && first + lane < count; ++lane) {
            StereoLowPass& filter = filters[first + lane];
            filter.b0 = c.b0[lane];
            filter.b1 = c.b1[lane];
            filter.b2 = c.b0[lane];
            filter.a1 = c.a1[lane];
            filter.a2 = c.a2[lane];
        }
    }
}

#ifdef VELTRANE_WIDE_INSTRUCTIONS
VELTRANE_WIDE void tuneWide(double sampleRate, const double* cutoffs, const double* resonances, int count,
                            StereoLowPass* filters)
{
    tuneIn<QuadLanes>(sampleRate, cutoffs, resonances, count, filters);
}
#endif

} // namespace

void StereoLowPass::tune(double sampleRate, const double* cutoffs, const double* resonances, int count,
                         StereoLowPass* filters)
{
    if (!isPositiveRate(sampleRate)) {
        for (int i = 0; i < count; ++i) filters[i].update(sampleRate, cutoffs[i], resonances[i]);
        return;
    }
#ifdef VELTRANE_WIDE_INSTRUCTIONS
    if (processorRunsWide()) return tuneWide(sampleRate, cutoffs, resonances, count, filters);
#endif
    tuneIn<DoubleLanes>(sampleRate, cutoffs, resonances, count, filters);
}

} // namespace veltrane
