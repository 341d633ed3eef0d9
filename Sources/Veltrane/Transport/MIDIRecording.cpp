// Live MIDI recording: received notes written into the pattern, at the cursor (step) or into the row
// playing now (real time), and heard. The placement and gate rules are the core's; this holds the
// armed state, the held notes and the one undo step a whole recording makes.

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

void AppModel::recordMutation(const std::function<void(Project&)>& change)
{
    if (!liveRecordSnapshot_) liveRecordSnapshot_ = project_;
    change(project_);
    emit projectChanged();
    audio_->apply(project_);
    refreshDirtyState();
}

void AppModel::toggleLiveRecording()
{
    if (!isLiveRecording_) {
        liveRecordSnapshot_ = project_;
        activeMIDINotes_.clear();
        lastReplacePosition_.reset();
        setIsLiveRecording(true);
        return;
    }
    finishActiveMIDINotes(currentTransportFrame());
    setIsLiveRecording(false);
    if (liveRecordSnapshot_ && !(*liveRecordSnapshot_ == project_)) {
        undoStack_.push_back(std::move(*liveRecordSnapshot_));
        if (undoStack_.size() > undoLimit) undoStack_.erase(undoStack_.begin());
        redoStack_.clear();
        emit historyChanged();
    }
    liveRecordSnapshot_.reset();
    lastReplacePosition_.reset();
}

void AppModel::auditionMIDINote(int note, int velocity)
{
    if (selectedInstrument_ < 0 || selectedInstrument_ >= static_cast<int>(project_.instruments.size())) return;
    try {
        audio_->start();
    } catch (const std::exception&) {
        // Without an output the note is simply not heard; recording goes on.
    }
    audio_->apply(project_);
    Cell cell;
    cell.note = NotePitch{note};
    cell.instrument = selectedInstrument_;
    cell.volume = recordedVolume(velocity);
    audio_->trigger(cell, selectedTrack_, project_.instruments, auditionSeconds);
}

void AppModel::handleMIDINoteOn(int note, int velocity)
{
    if (note < 0 || note > 127) return;
    if (!isLiveRecording_) {
        auditionMIDINote(note, velocity);
        return;
    }

    if (liveRecordMode_ == LiveRecordMode::step) {
        const int pattern = patternIndex_, row = selectedRow_, track = selectedTrack_;
        const int instrument = selectedInstrument_;
        if (hasCell(project_, pattern, row, track)) {
            recordMutation([&](Project& project) {
                recordStepNote(*recordedCell(project, pattern, row, track), note, instrument, velocity,
                               liveRecordWriteMode_);
            });
        }
        auditionMIDINote(note, velocity);
        advanceRow();
        return;
    }

    const auto frame = currentTransportFrame();
    if (!activeTimeline_ || !frame) {
        auditionMIDINote(note, velocity);
        return;
    }
    const PlaybackTimeline& timeline = *activeTimeline_;
    const std::int64_t absolute = *frame;
    const std::int64_t position = recordingFrame(absolute, timeline.totalFrames, scheduledLooping_ && loopEnabled_);
    const auto placement = recordingPlacement(position, recordQuantizeStrength_, timeline);
    if (!placement) return;
    clearReplaceRowIfNeeded(absolute, placement->timelineRowIndex);

    const int track = selectedTrack_;
    const int instrument = selectedInstrument_;
    if (!hasCell(project_, placement->patternIndex, placement->row, track)) return;
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

void AppModel::handleMIDINoteOff(int note)
{
    if (!isLiveRecording_) return;
    if (liveRecordMode_ == LiveRecordMode::realtime) {
        const auto held = activeMIDINotes_.find(note);
        if (held == activeMIDINotes_.end()) return;
        const RecordedMIDINote recorded = held->second;
        activeMIDINotes_.erase(held);
        closeRecordedNote(recorded, currentTransportFrame());
        return;
    }
    if (!recordMIDINoteOff_) return;
    const int pattern = patternIndex_, row = selectedRow_, track = selectedTrack_;
    if (hasCell(project_, pattern, row, track)) {
        recordMutation([&](Project& project) { recordedCell(project, pattern, row, track)->note = NoteOff{}; });
    }
    advanceRow();
}

void AppModel::closeRecordedNote(const RecordedMIDINote& note, std::optional<std::int64_t> endFrame)
{
    if (!hasCell(project_, note.pattern, note.row, note.track)) return;
    const std::int64_t end = endFrame ? std::max<std::int64_t>(*endFrame, 0) : note.startFrame + note.rowDuration;
    const double gate = recordedGate(note.startFrame, end, note.rowDuration);
    recordMutation([&](Project& project) { recordedCell(project, note.pattern, note.row, note.track)->gate = gate; });
}

void AppModel::finishActiveMIDINotes(std::optional<std::int64_t> frame)
{
    const auto held = std::exchange(activeMIDINotes_, {});
    for (const auto& [note, recorded] : held) closeRecordedNote(recorded, frame);
}

void AppModel::clearReplaceRowIfNeeded(std::int64_t absoluteFrame, int timelineRow)
{
    if (!isLiveRecording_ || liveRecordMode_ != LiveRecordMode::realtime ||
        liveRecordWriteMode_ != LiveRecordWriteMode::replace) {
        return;
    }
    if (!activeTimeline_ || timelineRow < 0 || timelineRow >= static_cast<int>(activeTimeline_->rows.size())) return;
    const ReplacePosition position{recordingPass(absoluteFrame, activeTimeline_->totalFrames), timelineRow};
    if (lastReplacePosition_ == position) return;
    lastReplacePosition_ = position;
    const TimelineRow& row = activeTimeline_->rows[static_cast<std::size_t>(timelineRow)];
    const int track = selectedTrack_;
    if (!hasCell(project_, row.patternIndex, row.row, track)) return;
    recordMutation([&](Project& project) { *recordedCell(project, row.patternIndex, row.row, track) = Cell{}; });
}

} // namespace veltrane
