#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"
#include "VeltraneCore/SampleSlicing/SamplePeaks.hpp"
#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"

#include <algorithm>

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
    if (!sample) return {};
    const auto& heard = sample->channels.front();
    const SampleEdit edit = instrument.sampleEdit.value_or(SampleEdit{});
    if (edit.trimStart <= 0 && edit.trimEnd >= 1) return samplePeaks(heard, count);

    // The editor marks the trim on the whole sample and darkens what the trim leaves out, so the overview
    // spans the whole sample too: the parts trimmed away as the file holds them, and between them the
    // audio as it is heard (reversed, normalised, faded). An overview of the trimmed audio alone would
    // stretch it under marks placed for the whole.
    Instrument unedited = instrument;
    unedited.sampleEdit = SampleEdit{};
    const auto whole = SampleStore::loadEdited(unedited);
    if (!whole || whole->channels.empty()) return samplePeaks(heard, count);
    std::vector<float> channel = whole->channels.front();
    const auto stretch = trimmedStretch(static_cast<std::int64_t>(channel.size()), edit);
    // The file could have changed between the two reads; then the heard audio alone is all we know.
    if (!stretch || stretch->end - stretch->start != static_cast<std::int64_t>(heard.size())) {
        return samplePeaks(heard, count);
    }
    std::copy(heard.begin(), heard.end(), channel.begin() + stretch->start);
    return samplePeaks(channel, count);
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
