#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include "VeltraneCore/SampleSlicing/SamplePeaks.hpp"
#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"

namespace veltrane {

namespace {

// Detection proposes at most this many slices (one point fewer).
constexpr int detectedSliceLimit = 32;
// How far a position may move to reach a zero crossing.
constexpr double zeroCrossingRadiusSeconds = 0.003;

} // namespace

std::shared_ptr<const SampleBuffer> AudioEngine::analysedSample(const Instrument& instrument)
{
    // The editor sees what is heard: the instrument's audio with its current edit, loaded through the
    // store that playback reads. The store keeps a buffer while the audio and edit stay the same, so a
    // sample the project already loaded is not read again. The loop plays no part in the edited audio
    // (it is applied per note), so the sample is analysed as it stands: a copy loaded with the loop off
    // would hold the same audio and only cost two reads of the file.
    samples_.loadSamples({instrument});
    auto buffer = samples_.sample(instrument.id);
    if (!buffer || buffer->channels.empty() || buffer->channels.front().empty()) return nullptr;
    return buffer;
}

std::vector<float> AudioEngine::peaks(const Instrument& instrument, int count)
{
    const auto sample = analysedSample(instrument);
    return sample ? samplePeaks(sample->channels.front(), count) : std::vector<float>{};
}

std::vector<double> AudioEngine::transientSlices(const Instrument& instrument, double sensitivity)
{
    const auto sample = analysedSample(instrument);
    if (!sample) return {};
    return detectTransientSlices(sample->channels.front(), sample->sampleRate, sensitivity, detectedSliceLimit);
}

double AudioEngine::zeroCrossingPosition(const Instrument& instrument, double position)
{
    const auto sample = analysedSample(instrument);
    if (!sample) return position;
    return snapSamplePositionToZeroCrossing(sample->channels.front(), position, sample->sampleRate, zeroCrossingRadiusSeconds);
}

} // namespace veltrane
