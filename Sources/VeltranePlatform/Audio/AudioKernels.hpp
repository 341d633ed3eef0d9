#pragma once

// The inner loops every block runs many times over (summing, gains, peak scans), written four samples
// at a time with the compiler's vector extensions: the build's -O2 does not vectorise loops of unknown
// length by itself, and these loops are most of the cost of a busy graph. Pointers may be unaligned;
// source and target must not overlap unless they are the same.

#include <cstring>

namespace veltrane::kernels {

using Float4 = float __attribute__((vector_size(16)));
using Int4 = int __attribute__((vector_size(16)));

inline Float4 load(const float* source) noexcept
{
    Float4 v;
    std::memcpy(&v, source, sizeof v);
    return v;
}

inline void store(float* target, Float4 v) noexcept
{
    std::memcpy(target, &v, sizeof v);
}

/// target[i] += source[i]
inline void add(float* target, const float* source, int frames) noexcept
{
    int i = 0;
    for (; i + 4 <= frames; i += 4) store(target + i, load(target + i) + load(source + i));
    for (; i < frames; ++i) target[i] += source[i];
}

/// target[i] *= gain
inline void scale(float* target, float gain, int frames) noexcept
{
    int i = 0;
    for (; i + 4 <= frames; i += 4) store(target + i, load(target + i) * gain);
    for (; i < frames; ++i) target[i] *= gain;
}

/// target[i] *= from + step × (i + 1): a gain that glides over the block.
inline void scaleRamp(float* target, float from, float step, int frames) noexcept
{
    int i = 0;
    const Float4 offsets = {1.0f, 2.0f, 3.0f, 4.0f};
    for (; i + 4 <= frames; i += 4) {
        const Float4 gain = from + step * (offsets + static_cast<float>(i));
        store(target + i, load(target + i) * gain);
    }
    for (; i < frames; ++i) target[i] *= from + step * static_cast<float>(i + 1);
}

/// target[i] = source[i] × gain
inline void copyScaled(float* target, const float* source, float gain, int frames) noexcept
{
    int i = 0;
    for (; i + 4 <= frames; i += 4) store(target + i, load(source + i) * gain);
    for (; i < frames; ++i) target[i] = source[i] * gain;
}

/// target[i] += source[i] × gain
inline void addScaled(float* target, const float* source, float gain, int frames) noexcept
{
    int i = 0;
    for (; i + 4 <= frames; i += 4) store(target + i, load(target + i) + load(source + i) * gain);
    for (; i < frames; ++i) target[i] += source[i] * gain;
}

/// Both channels of a stereo block at once: `target` = `source` (`add` false) or `target` += `source`
/// (`add` true), each sample times `gain`. One pass over both channels keeps two streams of reads in
/// flight, which is what summing buffers that are not in the cache waits on (the processor's own
/// look-ahead follows both; asking for the next block ahead by hand measured no faster). A gain of
/// exactly 1 copies and adds the samples as they are.
inline void mixStereo(float* const target[2], const float* const source[2], float gain, int frames, bool add) noexcept
{
    float* const left = target[0];
    float* const right = target[1];
    const float* const fromLeft = source[0];
    const float* const fromRight = source[1];
    int i = 0;
    if (add) {
        for (; i + 4 <= frames; i += 4) {
            store(left + i, load(left + i) + load(fromLeft + i) * gain);
            store(right + i, load(right + i) + load(fromRight + i) * gain);
        }
        for (; i < frames; ++i) {
            left[i] += fromLeft[i] * gain;
            right[i] += fromRight[i] * gain;
        }
    } else if (gain == 1.0f) {
        // A plain copy, not a product: under flush-to-zero a product would change subnormal samples.
        for (; i + 4 <= frames; i += 4) {
            store(left + i, load(fromLeft + i));
            store(right + i, load(fromRight + i));
        }
        for (; i < frames; ++i) {
            left[i] = fromLeft[i];
            right[i] = fromRight[i];
        }
    } else {
        for (; i + 4 <= frames; i += 4) {
            store(left + i, load(fromLeft + i) * gain);
            store(right + i, load(fromRight + i) * gain);
        }
        for (; i < frames; ++i) {
            left[i] = fromLeft[i] * gain;
            right[i] = fromRight[i] * gain;
        }
    }
}

/// The largest absolute value; NaNs are passed over.
inline float peak(const float* source, int frames) noexcept
{
    Float4 best = {0, 0, 0, 0};
    const Int4 magnitude = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const Float4 level = reinterpret_cast<Float4>(reinterpret_cast<Int4>(load(source + i)) & magnitude);
        best = level > best ? level : best;
    }
    float result = 0.0f;
    for (int lane = 0; lane < 4; ++lane) result = best[lane] > result ? best[lane] : result;
    for (; i < frames; ++i) {
        const float level = source[i] < 0.0f ? -source[i] : source[i];
        result = level > result ? level : result;
    }
    return result;
}

} // namespace veltrane::kernels
