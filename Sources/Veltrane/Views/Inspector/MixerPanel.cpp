#include "Veltrane/Views/Inspector/MixerPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/AudioUnitEffectRack.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Transport/LevelMeterView.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace veltrane {

using namespace inspector;

namespace {

// The track's meter stands between Level and Pan, right under the slider that moves it.
constexpr SliderSpec<MixerControl> level[] = {{MixerControl::level, "Level", {0, 1}, 0.01}};
constexpr SliderSpec<MixerControl> pan[] = {{MixerControl::pan, "Pan", {-1, 1}, 0.02}};
// The strip's filter starts at 80 Hz, as the master's does.
constexpr SliderSpec<MixerControl> inserts[] = {
    {MixerControl::cutoff, "Cutoff", {80, 20000}, 100},
    {MixerControl::resonance, "Resonance", {0.05, 5}, 0.05},
    {MixerControl::drive, "Drive", {0, 1}, 0.01},
};

} // namespace

MixerPanel::MixerPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , heading_(sectionTitle(QString(), this))
    , strip_(new QWidget(this))
    , mute_(new QPushButton(QStringLiteral("Mute"), strip_))
    , solo_(new QPushButton(QStringLiteral("Solo"), strip_))
    , meter_(new LevelMeterView(strip_))
    , rack_(new AudioUnitEffectRack(model, false, strip_))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);
    column->addWidget(heading_);
    column->addWidget(strip_);
    column->addStretch(1);

    auto* controls = new QVBoxLayout(strip_);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(itemSpacing);
    auto* toggles = new QHBoxLayout;
    for (auto* toggle : {mute_, solo_}) {
        makeToggle(toggle);
        shrinkToText(toggle);
        toggles->addWidget(toggle);
    }
    toggles->addStretch(1);
    controls->addLayout(toggles);
    connect(mute_, &QPushButton::toggled, this, [this](bool on) { model_.setMixerMuted(shownTrack_, on); });
    connect(solo_, &QPushButton::toggled, this, [this](bool on) { model_.setMixerSolo(shownTrack_, on); });

    const auto write = [this](MixerControl control, double value) { model_.setMixerControl(shownTrack_, control, value); };
    sliders_.add(level, strip_, controls, write);
    // The meter reads the track shown at each tick, so it follows the cursor without being rebuilt.
    meter_->setFixedHeight(8);
    meter_->setAccessibleName(QStringLiteral("Track level"));
    meter_->levelProvider = [this] {
        const auto& levels = model_.meters().tracks;
        return shownTrack_ >= 0 && shownTrack_ < static_cast<int>(levels.size()) ? levels[static_cast<std::size_t>(shownTrack_)] : 0.0F;
    };
    meter_->startAnimating();
    controls->addWidget(meter_);
    sliders_.add(pan, strip_, controls, write);
    controls->addWidget(divider(strip_));
    auto* insertTitle = captionLabel(QStringLiteral("INSERT FX"), strip_, true);
    QFont bold = insertTitle->font();
    bold.setBold(true);
    insertTitle->setFont(bold);
    controls->addWidget(insertTitle);
    sliders_.add(inserts, strip_, controls, write);
    controls->addWidget(rack_);

    watch(&AppModel::projectChanged);
    watch(&AppModel::selectedTrackChanged);
    watch(&AppModel::availableAudioUnitEffectsChanged);
    watch(&AppModel::unavailableAudioUnitIDsChanged);
    watch(&AppModel::isPlayingChanged);
    watch(&AppModel::isPreparingPlaybackChanged);
}

void MixerPanel::showModel()
{
    shownTrack_ = model_.selectedTrack();
    heading_->setText(QStringLiteral("TRACK ") + QString::number(shownTrack_ + 1));
    heading_->setAccessibleName(heading_->text());
    const auto& mixer = model_.project().mixer;
    // A cursor beyond the mixer (a pattern wider than the strips) shows the heading alone.
    const bool exists = shownTrack_ >= 0 && shownTrack_ < static_cast<int>(mixer.size());
    strip_->setVisible(exists);
    if (!exists) return;
    const auto& track = mixer[static_cast<std::size_t>(shownTrack_)];
    {
        const QSignalBlocker muteBlocker(mute_);
        const QSignalBlocker soloBlocker(solo_);
        mute_->setChecked(track.muted);
        solo_->setChecked(track.solo);
    }
    sliders_.show([&](MixerControl control) { return controlValue(track, control); });
    meter_->tick();
    static const std::vector<AudioUnitSlot> none;
    rack_->showSlots(track.audioUnits ? *track.audioUnits : none);
}

} // namespace veltrane
