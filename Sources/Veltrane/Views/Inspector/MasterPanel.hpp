#pragma once

// The Master tab: the master level and volume, the master filter, drive, bit reduction, delay and
// reverb, the song's swing and the master's hosted insert effects. Absent settings show the values of
// the default master section; the first change creates it.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include "Veltrane/Model/InspectorControls.hpp"
#include "Veltrane/Views/Inspector/SliderTable.hpp"

namespace veltrane {

class LevelMeterView;

namespace inspector {
class AudioUnitEffectRack;
} // namespace inspector

class MasterPanel final : public InspectorPanel {
    Q_OBJECT

public:
    explicit MasterPanel(AppModel& model, QWidget* parent = nullptr);

    /// The slider of `control`.
    inspector::ValueSlider* slider(MasterControl control) const { return sliders_.find(control); }
    LevelMeterView* meter() const noexcept { return meter_; }
    inspector::AudioUnitEffectRack* rack() const noexcept { return rack_; }

protected:
    void showModel() override;

private:
    LevelMeterView* meter_;
    inspector::SliderTable<MasterControl> sliders_;
    inspector::AudioUnitEffectRack* rack_;
};

} // namespace veltrane
