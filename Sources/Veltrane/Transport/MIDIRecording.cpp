// Live MIDI recording: received notes written into the pattern, at the cursor (step) or into the row
// playing now (real time), and heard. The placement and gate rules are the core's; this holds the
// armed state, the held notes and the one undo step a whole recording makes.

#include "Veltrane/Transport/Transport.hpp"

#include "Veltrane/Model/AppModel.hpp"

#include "VeltraneCore/LiveRecording/LiveRecording.hpp"

#include <algorithm>

namespace veltrane {

namespace {

/// The cell at (pattern, row, track) when the project has it.
Cell* recordedCell(Project& project, int pattern, int row, int track)
{
    if (pattern < 0 || pattern >= static_cast<int>(project.patterns.size())) return nullptr;
    Pattern& target = project.patterns[static_cast<std::size_t>(pattern)];
    if (row < 0 || row >= target.rows || track < 0 || track >= target.channels || !target.contains(row, track)) {
        return nullptr;
    }
    return &target.cells.mutableCell(row, track);
}

bool hasCell(const Project& project, int pattern, int row, int track)
{
    if (pattern < 0 || pattern >= static_cast<int>(project.patterns.size())) return false;
    const Pattern& target = project.patterns[static_cast<std::size_t>(pattern)];
    return row >= 0 && row < target.rows && track >= 0 && track < target.channels && target.contains(row, track);
}

} // namespace

void Transport::recordMutation(const std::function<void(Project&)>& change)
{
    AppModel& model = model_;
    if (!liveRecordSnapshot_) liveRecordSnapshot_ = model.project_;
    change(model.project_);
    emit model.projectChanged();
    model.audio_->apply(model.project_);
    model.refreshDirtyState();
}

void Transport::toggleLiveRecording()
{
    AppModel& model = model_;
    if (!model.isLiveRecording_) {
        liveRecordSnapshot_ = model.project_;
        activeMIDINotes_.clear();
        lastReplacePosition_.reset();
        model.setIsLiveRecording(true);
        return;
    }
    finishActiveMIDINotes(currentFrame());
    model.setIsLiveRecording(false);
    if (liveRecordSnapshot_ && !(*liveRecordSnapshot_ == model.project_)) {
        model.undoStack_.push_back(std::move(*liveRecordSnapshot_));
        if (model.undoStack_.size() > AppModel::undoLimit) model.undoStack_.erase(model.undoStack_.begin());
        model.redoStack_.clear();
        emit model.historyChanged();
    }
    liveRecordSnapshot_.reset();
    lastReplacePosition_.reset();
}

void Transport::endRecordingSession()
{
    liveRecordSnapshot_.reset();
    activeMIDINotes_.clear();
    lastReplacePosition_.reset();
}

void Transport::auditionMIDINote(int note, int velocity)
{
    AppModel& model = model_;
    if (model.selectedInstrument_ < 0 || model.selectedInstrument_ >= static_cast<int>(model.project_.instruments.size())) return;
    try {
        model.audio_->start();
    } catch (const std::exception&) {
        // Without an output the note is simply not heard; recording goes on.
    }
    model.audio_->apply(model.project_);
    Cell cell;
    cell.note = NotePitch{note};
    cell.instrument = model.selectedInstrument_;
    cell.volume = recordedVolume(velocity);
    model.audio_->trigger(cell, model.selectedTrack_, model.project_.instruments, AppModel::auditionSeconds);
}

void Transport::handleMIDINoteOn(int note, int velocity)
{
    AppModel& model = model_;
    if (note < 0 || note > 127) return;
    if (!model.isLiveRecording_) {
        auditionMIDINote(note, velocity);
        return;
    }

    if (model.liveRecordMode_ == LiveRecordMode::step) {
        const int pattern = model.patternIndex_, row = model.selectedRow_, track = model.selectedTrack_;
        const int instrument = model.selectedInstrument_;
        if (hasCell(model.project_, pattern, row, track)) {
            recordMutation([&](Project& project) {
                recordStepNote(*recordedCell(project, pattern, row, track), note, instrument, velocity,
                               model.liveRecordWriteMode_);
            });
        }
        auditionMIDINote(note, velocity);
        model.advanceRow();
        return;
    }

    const auto frame = currentFrame();
    if (!activeTimeline_ || !frame) {
        auditionMIDINote(note, velocity);
        return;
    }
    const PlaybackTimeline& timeline = *activeTimeline_;
    const std::int64_t absolute = *frame;
    const std::int64_t position = recordingFrame(absolute, timeline.totalFrames, scheduledLooping_ && model.loopEnabled_);
    const auto placement = recordingPlacement(position, model.recordQuantizeStrength_, timeline);
    if (!placement) return;
    clearReplaceRowIfNeeded(absolute, placement->timelineRowIndex);

    const int track = model.selectedTrack_;
    const int instrument = model.selectedInstrument_;
    if (!hasCell(model.project_, placement->patternIndex, placement->row, track)) return;
    recordMutation([&](Project& project) {
        recordRealtimeNote(*recordedCell(project, placement->patternIndex, placement->row, track), note, instrument,
                           velocity, placement->delay);
    });
    activeMIDINotes_[note] = RecordedMIDINote{
        .pattern = placement->patternIndex,
        .row = placement->row,
        .track = track,
        .startFrame = absolute,
        .rowDuration = timeline.rows[static_cast<std::size_t>(placement->timelineRowIndex)].durationFrames,
    };
    auditionMIDINote(note, velocity);
}

void Transport::handleMIDINoteOff(int note)
{
    AppModel& model = model_;
    if (!model.isLiveRecording_) return;
    if (model.liveRecordMode_ == LiveRecordMode::realtime) {
        const auto held = activeMIDINotes_.find(note);
        if (held == activeMIDINotes_.end()) return;
        const RecordedMIDINote recorded = held->second;
        activeMIDINotes_.erase(held);
        closeRecordedNote(recorded, currentFrame());
        return;
    }
    if (!model.recordMIDINoteOff_) return;
    const int pattern = model.patternIndex_, row = model.selectedRow_, track = model.selectedTrack_;
    if (hasCell(model.project_, pattern, row, track)) {
        recordMutation([&](Project& project) { recordedCell(project, pattern, row, track)->note = NoteOff{}; });
    }
    model.advanceRow();
}

void Transport::closeRecordedNote(const RecordedMIDINote& note, std::optional<std::int64_t> endFrame)
{
    if (!hasCell(model_.project_, note.pattern, note.row, note.track)) return;
    const std::int64_t end = endFrame ? std::max<std::int64_t>(*endFrame, 0) : note.startFrame + note.rowDuration;
    const double gate = recordedGate(note.startFrame, end, note.rowDuration);
    recordMutation([&](Project& project) { recordedCell(project, note.pattern, note.row, note.track)->gate = gate; });
}

void Transport::finishActiveMIDINotes(std::optional<std::int64_t> frame)
{
    const auto held = std::exchange(activeMIDINotes_, {});
    for (const auto& [note, recorded] : held) closeRecordedNote(recorded, frame);
}

void Transport::clearReplaceRowIfNeeded(std::int64_t absoluteFrame, int timelineRow)
{
    const AppModel& model = model_;
    if (!model.isLiveRecording_ || model.liveRecordMode_ != LiveRecordMode::realtime ||
        model.liveRecordWriteMode_ != LiveRecordWriteMode::replace) {
        return;
    }
    if (!activeTimeline_ || timelineRow < 0 || timelineRow >= static_cast<int>(activeTimeline_->rows.size())) return;
    const ReplacePosition position{recordingPass(absoluteFrame, activeTimeline_->totalFrames), timelineRow};
    if (lastReplacePosition_ == position) return;
    lastReplacePosition_ = position;
    const TimelineRow& row = activeTimeline_->rows[static_cast<std::size_t>(timelineRow)];
    const int track = model.selectedTrack_;
    if (!hasCell(model.project_, row.patternIndex, row.row, track)) return;
    recordMutation([&](Project& project) { *recordedCell(project, row.patternIndex, row.row, track) = Cell{}; });
}

} // namespace veltrane
