#pragma once

// The sample settings of a sample instrument in the Instrument tab: the waveform with its trim, loop and
// slice marks, the slice buttons and count, the Reverse, Normalize, Zero Snap and Loop switches, and the
// trim, fade and (while looping) loop sliders. Every change is one undoable edit of the selected
// instrument's sample settings; the model brings them back into order after each.

#include "Veltrane/Views/Inspector/SliderTable.hpp"

#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;

namespace veltrane {

class AppModel;
struct SampleEdit;

namespace inspector {

class SampleWaveformView;

/// The sample editor's sliders.
enum class SampleControl : std::uint8_t { trimStart, trimEnd, fadeIn, fadeOut, loopStart, loopEnd, loopCrossfade };
/// The sample editor's switches.
enum class SampleToggle : std::uint8_t { reverse, normalize, zeroSnap, loop };

/// What the slider shows: the field, or while absent, loop start 0, loop end 1 and crossfade 0.008.
double sampleControlValue(const SampleEdit& edit, SampleControl control);
/// The slider's range, which keeps a start 0.001 short of its end and an end 0.001 past its start.
SliderRange sampleControlRange(const SampleEdit& edit, SampleControl control);

class SampleEditorGroup final : public QWidget {
    Q_OBJECT

public:
    SampleEditorGroup(AppModel& model, QWidget* parent = nullptr);

    /// Shows `edit`, and `peaks` as the sample's new overview when given; reports nothing.
    void showEdit(const SampleEdit& edit, std::optional<std::vector<float>> peaks);

    SampleWaveformView* waveform() const noexcept { return waveform_; }
    QPushButton* detectButton() const noexcept { return detect_; }
    QPushButton* chopButton() const noexcept { return chop_; }
    QPushButton* clearButton() const noexcept { return clear_; }
    QLabel* sliceCount() const noexcept { return count_; }
    QPushButton* toggle(SampleToggle which) const { return toggles_[static_cast<std::size_t>(which)]; }
    /// The slider of `control`; the loop sliders are hidden while the sample does not loop.
    ValueSlider* slider(SampleControl control) const { return sliders_.find(control); }

private:
    AppModel& model_;
    SampleWaveformView* waveform_;
    QPushButton* detect_;
    QPushButton* chop_;
    QPushButton* clear_;
    QLabel* count_;
    std::array<QPushButton*, 4> toggles_{};
    SliderTable<SampleControl> sliders_;
};

} // namespace inspector
} // namespace veltrane
