// Exporting the song as a WAV file, as stems or as a MIDI file, and importing a MIDI file as a new
// pattern. The audio exports render on a worker thread over their own copy of the project, so edits
// made meanwhile do not reach the file; progress and the result come back to the main thread.

#include "Veltrane/Model/AppModel.hpp"

#include "VeltranePlatform/Files/AtomicFileWriter.hpp"
#include "VeltranePlayback/OfflineRender/OfflineRenderer.hpp"
#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltraneCore/MIDIExport/MIDIExport.hpp"
#include "VeltraneCore/MIDIImport/MIDIImport.hpp"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <map>

namespace veltrane {

/// One running audio export, shared by the model and its worker.
struct ExportJob {
    std::atomic<bool> cancelled{false};
    /// The last fraction handed to the main thread, so that only steps of a percent are posted.
    double postedProgress = 0;
};

namespace {

/// Rows per beat of an imported pattern, and ticks per beat of an exported file.
constexpr int importRowsPerBeat = 4;
constexpr int exportTicksPerBeat = 480;

/// "01 Track 01.wav" for track index 0; numbers past 99 simply grow ("100 Track 100.wav"), so every
/// track of any project gets a name of its own and no name is ever cut short.
std::string stemFileName(int track)
{
    std::string number = std::to_string(track + 1);
    if (number.size() < 2) number.insert(0, 2 - number.size(), '0');
    return number + " Track " + number + ".wav";
}

int stemCount(const Project& project)
{
    int widest = 1;
    if (!project.patterns.empty()) {
        widest = std::max_element(project.patterns.begin(), project.patterns.end(), [](const auto& a, const auto& b) {
                     return a.channels < b.channels;
                 })->channels;
    }
    return std::max(widest, 1);
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("The file \u201C" + path.filename().string() + "\u201D could not be read.");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw std::runtime_error("The file \u201C" + path.filename().string() + "\u201D could not be read.");
    return bytes;
}

} // namespace

// Audio exports.

void AppModel::exportWAV()
{
    if (isExporting_) return;
    const auto destination = exportDialogs_->chooseWAVDestination(project_.name + ".wav");
    if (!destination) return;
    stop();
    startExport("Rendering WAV\u2026", [project = project_, destination = *destination](const auto& progress) {
        OfflineRenderer renderer;
        renderer.progress = progress;
        renderer.render(project, destination);
    });
}

void AppModel::exportStems()
{
    if (isExporting_) return;
    const auto folder = exportDialogs_->chooseStemsFolder();
    if (!folder) return;
    stop();
    startExport("Rendering stems\u2026", [project = project_, folder = *folder](const auto& progress) {
        const int count = stemCount(project);
        // One stem after another: a failure or a cancel ends the run, and the stems finished stay.
        for (int track = 0; track < count; ++track) {
            OfflineRenderer renderer;
            renderer.progress = [&](double fraction) { return progress((track + fraction) / count); };
            renderer.render(project, folder / stemFileName(track), track);
        }
    });
}

void AppModel::startExport(std::string message,
                           std::function<void(const std::function<bool(double)>& progress)> render)
{
    if (exportThread_.joinable()) exportThread_.join(); // the previous worker has reported already
    setExportMessage(std::move(message));
    setExportProgress(0);
    setIsExporting(true);
    auto job = std::make_shared<ExportJob>();
    exportJob_ = job;
    // The worker reaches the model only through queued calls, which the model's destruction drops; the
    // destructor also stops and joins the worker first.
    exportThread_ = std::thread([this, job, render = std::move(render)] {
        const auto progress = [this, job](double fraction) {
            if (fraction - job->postedProgress >= 0.01 || fraction >= 1) {
                job->postedProgress = fraction;
                QMetaObject::invokeMethod(
                    this, [this, job, fraction] { if (exportJob_ == job) setExportProgress(fraction); },
                    Qt::QueuedConnection);
            }
            return !job->cancelled.load();
        };
        std::optional<std::string> failure;
        try {
            render(progress);
        } catch (const RenderCancelled&) {
        } catch (const std::exception& error) {
            failure = error.what();
        }
        QMetaObject::invokeMethod(this, [this, job, failure] { finishExport(job, failure); }, Qt::QueuedConnection);
    });
}

void AppModel::finishExport(const std::shared_ptr<ExportJob>& job, std::optional<std::string> failure)
{
    if (exportJob_ != job) return;
    exportJob_.reset();
    setIsExporting(false);
    if (failure) setError(std::move(failure));
}

void AppModel::cancelExport()
{
    if (exportJob_) exportJob_->cancelled = true;
}

void AppModel::endExport()
{
    cancelExport();
    if (exportThread_.joinable()) exportThread_.join();
}

void AppModel::setExportProgress(double value) { assign(exportProgress_, value, &AppModel::exportProgressChanged); }

// MIDI.

void AppModel::exportMIDI()
{
    if (isExporting_) return;
    const auto destination = exportDialogs_->chooseMIDIDestination(project_.name + ".mid");
    if (!destination) return;
    try {
        const Data bytes = midiFile(project_, exportTicksPerBeat);
        writeFileAtomically(*destination, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const std::exception& error) {
        setError(error.what());
    }
}

void AppModel::importMIDIFile()
{
    if (isExporting_) return;
    const auto source = exportDialogs_->chooseMIDIFileToImport();
    if (!source) return;
    ImportedMIDI imported;
    try {
        imported = importMIDI(readBytes(*source), importRowsPerBeat);
    } catch (const std::exception& error) {
        setError(error.what());
        return;
    }

    mutate([&](Project& project) {
        // The reader gives each cell its MIDI program as the instrument: each program used becomes a synth
        // of its own, appended in ascending order of program.
        std::map<int, int> instrumentOfProgram;
        Pattern& pattern = imported.pattern;
        for (int row = 0; row < pattern.cells.rowCount(); ++row) {
            for (int track = 0; track < pattern.cells.channelCount(); ++track) {
                if (const auto program = pattern.cell(row, track).instrument) instrumentOfProgram.emplace(*program, 0);
            }
        }
        for (auto& [program, index] : instrumentOfProgram) {
            index = static_cast<int>(project.instruments.size());
            project.instruments.push_back(Instrument::withWaveform(
                "MIDI Program " + std::to_string(program), allWaveforms[static_cast<std::size_t>(program % 4)]));
        }
        for (int row = 0; row < pattern.cells.rowCount(); ++row) {
            for (int track = 0; track < pattern.cells.channelCount(); ++track) {
                if (const auto program = pattern.cell(row, track).instrument) {
                    pattern.cells.mutableCell(row, track).instrument = instrumentOfProgram.at(*program);
                }
            }
        }
        const int channels = pattern.channels;
        const int index = static_cast<int>(project.patterns.size());
        project.patterns.push_back(std::move(pattern));
        ensureSongArrangement(project);
        project.arrangement->blocks.push_back(SongBlock{.pattern = index, .repeats = 1});
        project.syncOrderFromArrangement();
        project.bpm = imported.bpm;
        if (project.mixer.size() < static_cast<std::size_t>(channels)) project.mixer.resize(static_cast<std::size_t>(channels));
    });
    setPatternIndex(static_cast<int>(project_.patterns.size()) - 1);
    setSelectedRow(0);
    setSelectedTrack(0);
}

} // namespace veltrane
