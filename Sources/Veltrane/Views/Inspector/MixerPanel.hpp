#pragma once

// The Mixer tab: the strip of the track under the cursor, with mute, solo, level, the track's level
// meter, pan, the insert filter and drive, and the strip's plug-in inserts. Absent insert settings show 20000 Hz, 0.7 and 0;
// the first change makes them present. Every change addresses the strip shown when it was made.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include "Veltrane/Model/InspectorControls.hpp"
#include "Veltrane/Views/Inspector/SliderTable.hpp"

class QLabel;
class QPushButton;

namespace veltrane {

class LevelMeterView;

namespace inspector {
class AudioUnitEffectRack;
} // namespace inspector

class MixerPanel final : public InspectorPanel {
    Q_OBJECT

public:
    explicit MixerPanel(AppModel& model, QWidget* parent = nullptr);

    QLabel* heading() const noexcept { return heading_; }
    QWidget* strip() const noexcept { return strip_; }
    QPushButton* muteButton() const noexcept { return mute_; }
    QPushButton* soloButton() const noexcept { return solo_; }
    inspector::ValueSlider* slider(MixerControl control) const { return sliders_.find(control); }
    /// The level meter of the track shown.
    LevelMeterView* meter() const noexcept { return meter_; }
    inspector::AudioUnitEffectRack* rack() const noexcept { return rack_; }

protected:
    void showModel() override;

private:
    QLabel* heading_;
    QWidget* strip_;
    QPushButton* mute_;
    QPushButton* solo_;
    inspector::SliderTable<MixerControl> sliders_;
    LevelMeterView* meter_;
    inspector::AudioUnitEffectRack* rack_;
    int shownTrack_ = 0;
};

} // namespace veltrane
