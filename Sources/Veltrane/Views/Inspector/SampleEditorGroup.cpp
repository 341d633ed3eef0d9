#include "Veltrane/Views/Inspector/SampleEditorGroup.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/FlowLayout.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/SampleWaveformView.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace veltrane::inspector {

namespace {

// Every value is a fraction of the sample's length, the crossfade too; the range of each slider is set
// from the edit whenever it is shown.
constexpr SliderSpec<SampleControl> trimAndFade[] = {
    {SampleControl::trimStart, "Trim Start", {0, 1}, 0.001},
    {SampleControl::trimEnd, "Trim End", {0, 1}, 0.001},
    {SampleControl::fadeIn, "Fade In", {0, 1}, 0.01},
    {SampleControl::fadeOut, "Fade Out", {0, 1}, 0.01},
};
constexpr SliderSpec<SampleControl> loopSliders[] = {
    {SampleControl::loopStart, "Loop Start", {0, 1}, 0.001},
    {SampleControl::loopEnd, "Loop End", {0, 1}, 0.001},
    {SampleControl::loopCrossfade, "Loop Crossfade", {0, 0.1}, 0.001},
};
constexpr SampleControl allSampleControls[] = {SampleControl::trimStart, SampleControl::trimEnd,   SampleControl::fadeIn,
                                               SampleControl::fadeOut,   SampleControl::loopStart, SampleControl::loopEnd,
                                               SampleControl::loopCrossfade};

constexpr double gap = 0.001;
constexpr double sliceSensitivity = 0.55;

/// A start's upper bound: its end less the gap, never below 0 (nor a NaN).
double below(double end) { return end - gap >= 0 ? end - gap : 0; }
/// An end's lower bound: its start plus the gap, at most 1.
double above(double start) { return std::min(start + gap, 1.0); }

void setSampleControl(SampleEdit& edit, SampleControl control, double value)
{
    switch (control) {
    case SampleControl::trimStart: edit.trimStart = value; break;
    case SampleControl::trimEnd: edit.trimEnd = value; break;
    case SampleControl::fadeIn: edit.fadeIn = value; break;
    case SampleControl::fadeOut: edit.fadeOut = value; break;
    case SampleControl::loopStart: edit.loopStart = value; break;
    case SampleControl::loopEnd: edit.loopEnd = value; break;
    case SampleControl::loopCrossfade: edit.loopCrossfade = value; break;
    }
}

void setSampleToggle(SampleEdit& edit, SampleToggle toggle, bool on)
{
    switch (toggle) {
    case SampleToggle::reverse: edit.reversed = on; break;
    case SampleToggle::normalize: edit.normalized = on; break;
    case SampleToggle::zeroSnap: edit.snapToZeroCrossings = on; break;
    case SampleToggle::loop: edit.loop = on; break;
    }
}

bool toggleState(const SampleEdit& edit, SampleToggle toggle)
{
    switch (toggle) {
    case SampleToggle::reverse: return edit.reversed;
    case SampleToggle::normalize: return edit.normalized;
    case SampleToggle::zeroSnap: return edit.snapToZeroCrossings.value_or(true);
    case SampleToggle::loop: return edit.loop;
    }
    return false;
}

SampleControl controlOf(SampleWaveformView::Handle handle)
{
    switch (handle) {
    case SampleWaveformView::Handle::trimStart: return SampleControl::trimStart;
    case SampleWaveformView::Handle::trimEnd: return SampleControl::trimEnd;
    case SampleWaveformView::Handle::loopStart: return SampleControl::loopStart;
    case SampleWaveformView::Handle::loopEnd: return SampleControl::loopEnd;
    }
    return SampleControl::trimStart;
}

/// A button a size smaller than the inspector's others, as the rows of small controls are drawn.
QPushButton* smallButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setFont(captionFont(*button, 0.9));
    button->setFocusPolicy(Qt::StrongFocus);
    fitToText(button);
    return button;
}

} // namespace

double sampleControlValue(const SampleEdit& edit, SampleControl control)
{
    switch (control) {
    case SampleControl::trimStart: return edit.trimStart;
    case SampleControl::trimEnd: return edit.trimEnd;
    case SampleControl::fadeIn: return edit.fadeIn;
    case SampleControl::fadeOut: return edit.fadeOut;
    case SampleControl::loopStart: return edit.loopStart.value_or(0);
    case SampleControl::loopEnd: return edit.loopEnd.value_or(1);
    case SampleControl::loopCrossfade: return edit.loopCrossfade.value_or(0.008);
    }
    return 0;
}

SliderRange sampleControlRange(const SampleEdit& edit, SampleControl control)
{
    switch (control) {
    case SampleControl::trimStart: return {0, below(edit.trimEnd)};
    case SampleControl::trimEnd: return {above(edit.trimStart), 1};
    case SampleControl::fadeIn:
    case SampleControl::fadeOut: return {0, 1};
    case SampleControl::loopStart: return {0, edit.loopEnd ? below(*edit.loopEnd) : 1 - gap};
    case SampleControl::loopEnd: return {edit.loopStart ? above(*edit.loopStart) : gap, 1};
    case SampleControl::loopCrossfade: return {0, 0.1};
    }
    return {0, 1};
}

SampleEditorGroup::SampleEditorGroup(AppModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , waveform_(new SampleWaveformView(this))
    , detect_(smallButton(QStringLiteral("Detect Slices"), this))
    , chop_(smallButton(QStringLiteral("Chop to Pattern"), this))
    , clear_(smallButton(QStringLiteral("Clear"), this))
    , count_(captionLabel(QString(), this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);

    waveform_->setFixedHeight(86);
    waveform_->onToggleSlice = [this](double fraction) { model_.toggleSampleSlice(fraction); };
    waveform_->onHandleMoved = [this](SampleWaveformView::Handle handle, double fraction) {
        const auto control = controlOf(handle);
        model_.updateSampleEdit([control, fraction](SampleEdit& edit) { setSampleControl(edit, control, fraction); });
    };
    column->addWidget(waveform_);

    auto* sliceRow = new FlowLayout(nullptr, true);
    sliceRow->addWidget(detect_);
    sliceRow->addWidget(chop_);
    sliceRow->addWidget(clear_);
    sliceRow->addWidget(count_);
    column->addLayout(sliceRow);
    connect(detect_, &QPushButton::clicked, this, [this] { model_.detectSampleSlices(sliceSensitivity); });
    connect(chop_, &QPushButton::clicked, this, [this] { model_.chopSampleToPattern(); });
    connect(clear_, &QPushButton::clicked, this, [this] { model_.clearSampleSlices(); });

    auto* toggleRow = new FlowLayout;
    const std::array<std::pair<SampleToggle, const char*>, 4> titles{{{SampleToggle::reverse, "Reverse"},
                                                                      {SampleToggle::normalize, "Normalize"},
                                                                      {SampleToggle::zeroSnap, "Zero Snap"},
                                                                      {SampleToggle::loop, "Loop"}}};
    for (const auto& [which, title] : titles) {
        auto* button = smallButton(QString::fromUtf8(title), this);
        makeToggle(button);
        toggles_[static_cast<std::size_t>(which)] = button;
        toggleRow->addWidget(button);
        connect(button, &QPushButton::toggled, this, [this, which](bool on) {
            model_.updateSampleEdit([which, on](SampleEdit& edit) { setSampleToggle(edit, which, on); });
        });
    }
    column->addLayout(toggleRow);

    const auto write = [this](SampleControl control, double value) {
        model_.updateSampleEdit([control, value](SampleEdit& edit) { setSampleControl(edit, control, value); });
    };
    sliders_.add(trimAndFade, this, column, write);
    sliders_.add(loopSliders, this, column, write);
}

void SampleEditorGroup::showEdit(const SampleEdit& edit, std::optional<std::vector<float>> peaks)
{
    if (peaks) waveform_->setPeaks(std::move(*peaks));
    const auto loopMark = [&](std::optional<double> point, double absent) {
        return edit.loop ? std::optional<double>(point.value_or(absent)) : std::nullopt;
    };
    waveform_->setMarks(edit.trimStart, edit.trimEnd, loopMark(edit.loopStart, 0), loopMark(edit.loopEnd, 1),
                        edit.slicePoints.value_or(std::vector<double>{}));

    const auto slices = edit.slicePoints ? edit.slicePoints->size() : 0;
    count_->setText(QString::number(slices) + QStringLiteral(" slices"));
    chop_->setEnabled(slices > 0);
    clear_->setEnabled(slices > 0);

    for (std::size_t i = 0; i < toggles_.size(); ++i) {
        const QSignalBlocker blocker(toggles_[i]);
        toggles_[i]->setChecked(toggleState(edit, static_cast<SampleToggle>(i)));
    }
    for (const auto control : allSampleControls) {
        auto* shown = sliders_.find(control);
        shown->setValue(sampleControlValue(edit, control), sampleControlRange(edit, control));
    }
    for (const auto& spec : loopSliders) sliders_.find(spec.control)->setVisible(edit.loop);
}

} // namespace veltrane::inspector
