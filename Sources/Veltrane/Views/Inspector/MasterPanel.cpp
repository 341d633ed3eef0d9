#include "Veltrane/Views/Inspector/MasterPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/AudioUnitEffectRack.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Transport/LevelMeterView.hpp"

#include <QVBoxLayout>

namespace veltrane {

using namespace inspector;

namespace {

// The Cutoff slider starts at 80 Hz rather than at the filter's lowest setting: below that the whole mix
// would be muffled to a rumble.
constexpr SliderSpec<MasterControl> masterSliders[] = {
    {MasterControl::volume, "Volume", {0, 1}, 0.01},
    {MasterControl::cutoff, "Cutoff", {80, 20000}, 100},
    {MasterControl::resonance, "Resonance", {0.05, 5}, 0.05},
    {MasterControl::drive, "Drive", {0, 1}, 0.01},
    {MasterControl::bitDepth, "Bit Depth", {4, 16}, 1},
    {MasterControl::delayMix, "Delay", {0, 1}, 0.01},
    {MasterControl::delayTime, "Delay Time", {0.02, 1}, 0.01},
    {MasterControl::delayFeedback, "Feedback", {0, 85}, 1},
    {MasterControl::reverbMix, "Reverb", {0, 1}, 0.01},
    {MasterControl::swing, "Swing", {0, 1}, 0.01},
};

} // namespace

MasterPanel::MasterPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , meter_(makeMasterLevelMeter(model.meters(), this))
    , rack_(new AudioUnitEffectRack(model, true, this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);
    column->addWidget(sectionTitle(QStringLiteral("MASTER"), this));
    meter_->setFixedHeight(10);
    meter_->setAccessibleName(QStringLiteral("Master level"));
    column->addWidget(meter_);
    sliders_.add(masterSliders, this, column, [this](MasterControl control, double value) { model_.setMasterControl(control, value); });
    column->addWidget(rack_);
    column->addStretch(1);

    watch(&AppModel::projectChanged);
    watch(&AppModel::availableAudioUnitEffectsChanged);
    watch(&AppModel::unavailableAudioUnitIDsChanged);
    watch(&AppModel::isPlayingChanged);
    watch(&AppModel::isPreparingPlaybackChanged);
}

void MasterPanel::showModel()
{
    const auto& project = model_.project();
    sliders_.show([&](MasterControl control) { return controlValue(project, control); });
    static const std::vector<AudioUnitSlot> none;
    const auto& fx = project.masterFX;
    rack_->showSlots(fx && fx->audioUnits ? *fx->audioUnits : none);
}

} // namespace veltrane
