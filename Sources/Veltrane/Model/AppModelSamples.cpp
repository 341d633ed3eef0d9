// Sample instruments: the sample editor's settings, slices and waveform, the sample browser's list,
// relinking, tags and favourites, importing audio files and recording the audio input.

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Model/SampleTags.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace veltrane {

namespace {

/// Overview buckets of the sample editor and of a browser row.
constexpr int editorPeakCount = 180;
constexpr int browserPeakCount = 96;
/// How long an auditioned instrument sounds, seconds.
constexpr double instrumentAuditionSeconds = 0.6;
/// A click this close to a slice point removes it.
constexpr double sliceHitDistance = 0.018;
/// Slice points keep this far from the sample's ends.
constexpr double sliceMargin = 0.005;
/// Regions a chop writes at most: notes 60 to 127.
constexpr int maximumChopRegions = 68;

/// The trim, loop and crossfade brought into range, after any change.
void normalize(SampleEdit& edit)
{
    if (edit.trimEnd <= edit.trimStart) edit.trimEnd = std::min(edit.trimStart + 0.001, 1.0);
    if (edit.loopStart) edit.loopStart = std::min(std::max(*edit.loopStart, 0.0), 0.999);
    if (edit.loopEnd) edit.loopEnd = std::min(std::max(*edit.loopEnd, edit.loopStart.value_or(0) + 0.001), 1.0);
    if (edit.loopCrossfade) edit.loopCrossfade = std::min(std::max(*edit.loopCrossfade, 0.0), 0.25);
}

bool snapsToZeroCrossings(const Instrument& instrument)
{
    return !(instrument.sampleEdit && instrument.sampleEdit->snapToZeroCrossings == false);
}

/// The whole file. Throws with the reason in the user's words.
std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int error = errno;
        throw std::runtime_error(std::string(std::strerror(error != 0 ? error : ENOENT)) + ".");
    }
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) throw std::runtime_error("The file could not be read.");
    return bytes;
}

/// The bytes of an audio file, checked to decode as audio. Throws with the reason in the user's words.
std::vector<std::uint8_t> readAudioFile(const std::filesystem::path& path)
{
    auto bytes = readFileBytes(path);
    // Only audio is taken in: anything else would become an instrument that never sounds.
    AudioFile::read(std::span<const std::uint8_t>(bytes));
    return bytes;
}

std::string couldNotUse(const std::filesystem::path& path, const std::exception& failure)
{
    return "Veltrane couldn\u2019t use " + path.filename().string() + ": " + failure.what();
}

} // namespace

void AppModel::updateSampleEdit(const std::function<void(SampleEdit&)>& change)
{
    if (selectedInstrument_ < 0 || selectedInstrument_ >= static_cast<int>(project_.instruments.size())) return;
    SampleEdit edit = project_.instruments[static_cast<std::size_t>(selectedInstrument_)].sampleEdit.value_or(SampleEdit{});
    change(edit);
    normalize(edit);
    const int index = selectedInstrument_;
    mutate([&](Project& project) { project.instruments[static_cast<std::size_t>(index)].sampleEdit = edit; });
}

void AppModel::clearSampleSlices()
{
    updateSampleEdit([](SampleEdit& edit) { edit.slicePoints = std::vector<double>{}; });
}

std::vector<float> AppModel::samplePeaks() { return samplePeaks(selectedInstrument_, editorPeakCount); }

std::vector<float> AppModel::samplePeaks(int instrument) { return samplePeaks(instrument, browserPeakCount); }

std::vector<float> AppModel::samplePeaks(int instrument, int count)
{
    if (instrument < 0 || instrument >= static_cast<int>(project_.instruments.size())) return {};
    const Instrument& chosen = project_.instruments[static_cast<std::size_t>(instrument)];
    const auto key = std::make_pair(chosen.id, count);
    if (const auto found = samplePeaksCache_.find(key);
        found != samplePeaksCache_.end() && found->second.source == chosen.source && found->second.edit == chosen.sampleEdit) {
        return found->second.peaks;
    }
    // Entries of instruments long gone are dropped now and then, so the cache stays the size of the project.
    if (samplePeaksCache_.size() > 2 * project_.instruments.size() + 8) samplePeaksCache_.clear();
    auto peaks = audio_->peaks(chosen, count);
    // A file that could not be read is asked for again: it may come back.
    if (!peaks.empty()) samplePeaksCache_[key] = CachedSamplePeaks{chosen.source, chosen.sampleEdit, peaks};
    return peaks;
}

std::vector<int> AppModel::sampleInstrumentIndices() const
{
    std::vector<int> indices;
    for (std::size_t i = 0; i < project_.instruments.size(); ++i) {
        if (project_.instruments[i].sampleEdit) indices.push_back(static_cast<int>(i));
    }
    return indices;
}

bool AppModel::isSampleMissing(int instrument) const
{
    if (instrument < 0 || instrument >= static_cast<int>(project_.instruments.size())) return false;
    return missingSampleInstrumentIDs_.contains(project_.instruments[static_cast<std::size_t>(instrument)].id);
}

void AppModel::relinkSample(int instrument)
{
    if (instrument < 0 || instrument >= static_cast<int>(project_.instruments.size())) return;
    const Instrument& chosen = project_.instruments[static_cast<std::size_t>(instrument)];
    std::string name = chosen.name;
    if (const auto* sample = std::get_if<SampleSource>(&chosen.source)) name = sample->filename;
    if (const auto* embedded = std::get_if<EmbeddedSource>(&chosen.source)) name = embedded->filename;
    if (const auto path = chooseAudioFile_("Locate " + name)) relinkSample(instrument, *path);
}

bool AppModel::relinkSample(int instrument, const std::filesystem::path& path)
{
    if (!isSampleMissing(instrument)) return false;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = readAudioFile(path);
    } catch (const std::exception& failure) {
        setError(couldNotUse(path, failure));
        return false;
    }
    const auto index = static_cast<std::size_t>(instrument);
    const Uuid id = project_.instruments[index].id;
    mutate([&](Project& project) {
        project.instruments[index].source = EmbeddedSource{Data(std::move(bytes)), path.filename().string()};
    });
    auto missing = missingSampleInstrumentIDs_;
    missing.erase(id);
    setMissingSampleInstrumentIDs(std::move(missing));
    return true;
}

void AppModel::auditionInstrument(int instrument)
{
    if (instrument < 0 || instrument >= static_cast<int>(project_.instruments.size())) return;
    setSelectedInstrument(instrument);
    try {
        audio_->start();
    } catch (const std::exception&) {
        // Without an output the instrument is simply not heard.
    }
    audio_->apply(project_);
    Cell cell;
    cell.note = NotePitch{60};
    cell.instrument = instrument;
    audio_->trigger(cell, selectedTrack_, project_.instruments, instrumentAuditionSeconds);
}

void AppModel::setSampleFavorite(int instrument, bool favorite)
{
    if (instrument < 0 || instrument >= static_cast<int>(project_.instruments.size())) return;
    mutate([&](Project& project) { project.instruments[static_cast<std::size_t>(instrument)].favorite = favorite; });
}

void AppModel::setSampleTags(int instrument, const std::string& text)
{
    if (instrument < 0 || instrument >= static_cast<int>(project_.instruments.size())) return;
    const auto tags = parseSampleTags(text);
    mutate([&](Project& project) { project.instruments[static_cast<std::size_t>(instrument)].tags = tags; });
}

void AppModel::importSample()
{
    if (const auto path = chooseAudioFile_("")) importSamples({*path});
}

bool AppModel::importSamples(const std::vector<std::filesystem::path>& paths)
{
    if (paths.empty()) return false;
    std::vector<Instrument> added;
    for (const auto& path : paths) {
        try {
            added.push_back(Instrument::withData(path.stem().string(), Data(readAudioFile(path)), path.filename().string()));
        } catch (const std::exception& failure) {
            setError(couldNotUse(path, failure));
            return false;
        }
    }
    mutate([&](Project& project) {
        project.instruments.insert(project.instruments.end(), added.begin(), added.end());
    });
    setSelectedInstrument(static_cast<int>(project_.instruments.size() - added.size()));
    return true;
}

void AppModel::detectSampleSlices(double sensitivity)
{
    if (selectedInstrument_ < 0 || selectedInstrument_ >= static_cast<int>(project_.instruments.size())) return;
    const Instrument instrument = project_.instruments[static_cast<std::size_t>(selectedInstrument_)];
    auto slices = audio_->transientSlices(instrument, sensitivity);
    if (snapsToZeroCrossings(instrument)) {
        for (double& position : slices) position = audio_->zeroCrossingPosition(instrument, position);
    }
    updateSampleEdit([&](SampleEdit& edit) { edit.slicePoints = slices; });
}

void AppModel::toggleSampleSlice(double position)
{
    if (selectedInstrument_ < 0 || selectedInstrument_ >= static_cast<int>(project_.instruments.size())) return;
    const Instrument& instrument = project_.instruments[static_cast<std::size_t>(selectedInstrument_)];
    double p = snapsToZeroCrossings(instrument) ? audio_->zeroCrossingPosition(instrument, position) : position;
    p = std::min(std::max(p, sliceMargin), 1.0 - sliceMargin);
    updateSampleEdit([p](SampleEdit& edit) {
        auto points = edit.slicePoints.value_or(std::vector<double>{});
        bool removed = false;
        if (!points.empty()) {
            // The nearest point; on equal distances the earlier one in the list.
            auto nearest = points.begin();
            for (auto it = points.begin(); it != points.end(); ++it) {
                if (std::abs(*it - p) < std::abs(*nearest - p)) nearest = it;
            }
            if (std::abs(*nearest - p) < sliceHitDistance) {
                points.erase(nearest);
                removed = true;
            }
        }
        if (!removed) points.push_back(p);
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());
        edit.slicePoints = points;
    });
}

void AppModel::chopSampleToPattern()
{
    if (selectedInstrument_ < 0 || selectedInstrument_ >= static_cast<int>(project_.instruments.size())) return;
    const auto& edit = project_.instruments[static_cast<std::size_t>(selectedInstrument_)].sampleEdit;
    if (!edit || !edit->slicePoints || edit->slicePoints->empty()) return;
    const int regions = std::min(static_cast<int>(edit->slicePoints->size()), maximumChopRegions - 1) + 1;
    const int pattern = patternIndex_, track = selectedTrack_, startRow = selectedRow_, instrument = selectedInstrument_;
    mutate([&](Project& project) {
        if (pattern < 0 || pattern >= static_cast<int>(project.patterns.size())) return;
        Pattern& target = project.patterns[static_cast<std::size_t>(pattern)];
        if (track < 0 || track >= target.channels || startRow < 0) return;
        // A cursor past the pattern's end writes nothing.
        const int count = std::min(regions, target.rows - startRow);
        for (int i = 0; i < count; ++i) {
            Cell& cell = target.cells.mutableCell(startRow + i, track);
            cell.note = NotePitch{60 + i};
            cell.instrument = instrument;
        }
    });
}

void AppModel::toggleSampleRecording()
{
    if (!isSampleRecording_) {
        try {
            recorder_->start();
        } catch (const std::exception& failure) {
            setError(std::string(failure.what()));
            return;
        }
        setIsSampleRecording(true);
        return;
    }
    const auto path = recorder_->stop();
    if (!path) {
        setIsSampleRecording(false);
        return;
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes = readFileBytes(*path);
    } catch (const std::exception& failure) {
        setError(std::string(failure.what()));
        setIsSampleRecording(false);
        return;
    }
    mutate([&](Project& project) {
        project.instruments.push_back(Instrument::withData("Recording", Data(std::move(bytes)), path->filename().string()));
    });
    setSelectedInstrument(static_cast<int>(project_.instruments.size()) - 1);
    setIsSampleRecording(false);
}

} // namespace veltrane
