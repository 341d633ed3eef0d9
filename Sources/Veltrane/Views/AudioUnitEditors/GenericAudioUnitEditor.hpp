#pragma once

// The editor of a hosted plug-in that brings no interface of its own that we can show: its title and one
// labelled slider per control input, in port order, in a scrolling column. Moving a slider sets the
// running plug-in's parameter at once; the project learns of it through the model's delayed capture.
// Changes made to the plug-in elsewhere (a restored state) move the sliders while the editor is shown.

#include <QScrollArea>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

class QSlider;
class QTimer;

namespace veltrane {

class PluginInstance;

class GenericAudioUnitEditor final : public QScrollArea {
    Q_OBJECT

public:
    /// Slider positions between a parameter's minimum and maximum.
    static constexpr int sliderSteps = 1000;

    /// `unit` must outlive the editor.
    GenericAudioUnitEditor(PluginInstance& unit, const QString& title, QWidget* parent = nullptr);

    /// 520 wide, and 34 per parameter plus 70 high, held to 180 ... 620.
    QSize preferredContentSize() const;
    QSize sizeHint() const override { return preferredContentSize(); }

    /// The sliders in parameter order (tests).
    const std::vector<QSlider*>& sliders() const noexcept { return sliders_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void followUnit();

    PluginInstance& unit_;
    std::vector<QSlider*> sliders_;
    QTimer* follow_ = nullptr;
    std::uint64_t seenChangeCount_ = 0;
};

} // namespace veltrane
