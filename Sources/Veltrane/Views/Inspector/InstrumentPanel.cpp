#include "Veltrane/Views/Inspector/InstrumentPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Inspector/FlowLayout.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/SampleEditorGroup.hpp"
#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane {

using namespace inspector;

namespace {

// Tune spans two octaves either way here, though a lock may reach four; release starts above zero so a
// note always ends with a fade; the filter starts at 80 Hz.
constexpr SliderSpec<InstrumentControl> instrumentSliders[] = {
    {InstrumentControl::volume, "Volume", {0, 1}, 0.01},
    {InstrumentControl::pan, "Pan", {-1, 1}, 0.02},
    {InstrumentControl::tune, "Tune", {-24, 24}, 1},
    {InstrumentControl::attack, "Attack", {0, 2}, 0.01},
    {InstrumentControl::decay, "Decay", {0, 2}, 0.01},
    {InstrumentControl::sustain, "Sustain", {0, 1}, 0.01},
    {InstrumentControl::release, "Release", {0.005, 2}, 0.01},
    {InstrumentControl::cutoff, "Cutoff", {80, 20000}, 100},
    {InstrumentControl::resonance, "Resonance", {0.05, 5}, 0.05},
};

QFont smallerFont(QFont font)
{
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 0.9);
    return font;
}

} // namespace

QString instrumentListTitle(int index, const std::string& name, bool sampleMissing)
{
    return hex2(index) + QStringLiteral("  ") + (sampleMissing ? QStringLiteral("\u26A0\uFE0E ") : QString()) +
           QString::fromStdString(name);
}

InstrumentPanel::InstrumentPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , list_(new QComboBox(this))
    , addFM_(new QPushButton(QStringLiteral("+ FM"), this))
    , addSample_(new QPushButton(QStringLiteral("+ Sample"), this))
    , editor_(new QWidget(this))
    , openEditor_(new QPushButton(QStringLiteral("Open Plugin Editor"), editor_))
    , unavailable_(new QWidget(editor_))
    , replace_(new QPushButton(QStringLiteral("Replace with Sine"), unavailable_))
    , name_(new QLineEdit(editor_))
    , fm_(new QWidget(editor_))
    , amount_(new ValueSlider(QStringLiteral("Amount"), {0, 1}, fm_))
    , sample_(new SampleEditorGroup(model, editor_))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);

    // The list: choosing changes which instrument note entry uses, not the document.
    column->addWidget(sectionTitle(QStringLiteral("INSTRUMENT"), this));
    list_->setAccessibleName(QStringLiteral("Instrument"));
    list_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list_->setMinimumContentsLength(10);
    passWheelUnlessFocused(list_);
    column->addWidget(list_);
    connect(list_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) model_.setSelectedInstrument(index);
    });

    auto* presetMenu = new QMenu(this);
    for (const auto preset : allInstrumentPresets)
        presetMenu->addAction(qString(toRawValue(preset)), this, [this, preset] { model_.addPreset(preset); });
    presets_ = addMenuButton(QStringLiteral("Add Factory Preset"), presetMenu, this);
    column->addWidget(presets_, 0, Qt::AlignLeft);

    auto* addRow = new FlowLayout;
    auto* synthMenu = new QMenu(this);
    for (const auto waveform : allWaveforms)
        synthMenu->addAction(capitalised(toRawValue(waveform)), this, [this, waveform] { model_.addSynth(waveform); });
    synths_ = addMenuButton(QStringLiteral("+ Synth"), synthMenu, this);
    synths_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addRow->addWidget(synths_);
    fitToText(addFM_);
    addRow->addWidget(addFM_);
    fitToText(addSample_);
    addRow->addWidget(addSample_);
    column->addLayout(addRow);
    connect(addFM_, &QPushButton::clicked, this, [this] { model_.addFM(); });
    connect(addSample_, &QPushButton::clicked, this, [this] { model_.importSample(); });

    audioUnits_ = addMenuButton(QStringLiteral("+ Audio Unit"), new QMenu(this), this);
    audioUnits_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    column->addWidget(audioUnits_, 0, Qt::AlignLeft);

    // The editor of the selected instrument.
    column->addWidget(editor_);
    column->addStretch(1);
    auto* editor = new QVBoxLayout(editor_);
    editor->setContentsMargins(0, 0, 0, 0);
    editor->setSpacing(itemSpacing);

    setSymbol(openEditor_, QStringLiteral("slider.horizontal.3"));
    connect(openEditor_, &QPushButton::clicked, this, [this] { model_.openSelectedAudioUnitInstrumentEditor(); });
    editor->addWidget(openEditor_, 0, Qt::AlignLeft);
    auto* unavailableRow = new QHBoxLayout(unavailable_);
    unavailableRow->setContentsMargins(0, 0, 0, 0);
    unavailableRow->addWidget(warningSign(14, unavailable_));
    auto* warning = new QLabel(QStringLiteral("Audio Unit unavailable"), unavailable_);
    warning->setFont(captionFont(*warning));
    unavailableRow->addWidget(warning);
    unavailableRow->addStretch(1);
    replace_->setFont(smallerFont(replace_->font()));
    unavailableRow->addWidget(replace_);
    connect(replace_, &QPushButton::clicked, this,
            [this] { model_.replaceUnavailableAudioUnitInstrument(shownInstrument_); });
    editor->addWidget(unavailable_);

    name_->setPlaceholderText(QStringLiteral("Instrument name"));
    name_->setAccessibleName(QStringLiteral("Instrument name"));
    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setInstrumentName(shownInstrument_, text.toStdString()); });
    editor->addWidget(name_);

    sliders_.add(instrumentSliders, editor_, editor, [this](InstrumentControl control, double value) {
        model_.setInstrumentControl(shownInstrument_, control, value);
    });

    auto* fmColumn = new QVBoxLayout(fm_);
    fmColumn->setContentsMargins(0, 0, 0, 0);
    fmColumn->setSpacing(itemSpacing);
    auto* fmTitle = captionLabel(QStringLiteral("FM SYNTHESIS"), fm_, true);
    QFont fmFont = monospacedFont(captionFont(*fmTitle, 0.78));
    fmFont.setBold(true);
    fmTitle->setFont(fmFont);
    fmColumn->addWidget(fmTitle);
    amount_->setKeyboardStep(0.01);
    amount_->onChange = [this](double amount) {
        model_.updateFM([amount](FMSettings& fm) { fm.amount = amount; });
    };
    fmColumn->addWidget(amount_);
    carrier_ = makeOperator(QStringLiteral("Carrier"), &FMSettings::carrier, fm_);
    fmColumn->addWidget(carrier_.box);
    modulator_ = makeOperator(QStringLiteral("Modulator"), &FMSettings::modulator, fm_);
    fmColumn->addWidget(modulator_.box);
    editor->addWidget(fm_);
    editor->addWidget(sample_);

    watch(&AppModel::projectChanged);
    watch(&AppModel::selectedInstrumentChanged);
    watch(&AppModel::availableAudioUnitInstrumentsChanged);
    watch(&AppModel::unavailableAudioUnitIDsChanged);
    watch(&AppModel::missingSampleInstrumentIDsChanged);
    watch(&AppModel::isPlayingChanged);
    watch(&AppModel::isPreparingPlaybackChanged);
}

InstrumentPanel::OperatorControls InstrumentPanel::makeOperator(const QString& title, FMOperator FMSettings::*which,
                                                                QWidget* parent)
{
    OperatorControls controls;
    auto* box = new RoundedBox(0.06, parent);
    controls.box = box;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(5);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(captionLabel(title, box));
    titleRow->addStretch(1);
    controls.wave = new QComboBox(box);
    for (const auto waveform : allWaveforms) controls.wave->addItem(capitalised(toRawValue(waveform)));
    controls.wave->setFixedWidth(100);
    controls.wave->setAccessibleName(title + QStringLiteral(" wave"));
    passWheelUnlessFocused(controls.wave);
    titleRow->addWidget(controls.wave);
    column->addLayout(titleRow);
    connect(controls.wave, &QComboBox::activated, this, [this, which](int index) {
        if (index < 0) return;
        const auto waveform = allWaveforms[static_cast<std::size_t>(index)];
        model_.updateFM([which, waveform](FMSettings& fm) { (fm.*which).waveform = waveform; });
    });
    controls.ratio = new ValueSlider(QStringLiteral("Ratio"), {0.25, 8}, box);
    controls.ratio->setKeyboardStep(0.25);
    controls.ratio->onChange = [this, which](double ratio) {
        model_.updateFM([which, ratio](FMSettings& fm) { (fm.*which).ratio = ratio; });
    };
    column->addWidget(controls.ratio);
    controls.fine = new ValueSlider(QStringLiteral("Fine"), {-100, 100}, box);
    controls.fine->setKeyboardStep(1);
    controls.fine->onChange = [this, which](double fine) {
        model_.updateFM([which, fine](FMSettings& fm) { (fm.*which).fine = fine; });
    };
    column->addWidget(controls.fine);
    return controls;
}

void InstrumentPanel::showList()
{
    const auto& instruments = model_.project().instruments;
    const auto& missing = model_.missingSampleInstrumentIDs();
    const QSignalBlocker blocker(list_);
    QStringList titles;
    for (std::size_t i = 0; i < instruments.size(); ++i)
        titles << instrumentListTitle(static_cast<int>(i), instruments[i].name, missing.contains(instruments[i].id));
    bool same = list_->count() == titles.size();
    for (int i = 0; same && i < titles.size(); ++i) same = list_->itemText(i) == titles[i];
    if (!same) {
        list_->clear();
        list_->addItems(titles);
    }
    const int selected = model_.selectedInstrument();
    list_->setCurrentIndex(selected >= 0 && selected < list_->count() ? selected : -1);

    const auto& available = model_.availableAudioUnitInstruments();
    audioUnits_->setVisible(!available.empty());
    auto* menu = audioUnits_->menu();
    menu->clear();
    for (const auto& reference : available) {
        menu->addAction(QString::fromStdString(reference.name) + QStringLiteral(" \u2014 ") +
                            QString::fromStdString(reference.manufacturerName),
                        this, [this, reference] {
                            model_.addAudioUnitInstrument(reference);
                            const int last = static_cast<int>(model_.project().instruments.size()) - 1;
                            if (model_.selectedInstrument() != last) model_.setSelectedInstrument(last);
                        });
    }
}

void InstrumentPanel::showModel()
{
    showList();
    shownInstrument_ = model_.selectedInstrument();
    const auto& instruments = model_.project().instruments;
    const bool exists = shownInstrument_ >= 0 && shownInstrument_ < static_cast<int>(instruments.size());
    editor_->setVisible(exists);
    if (!exists) return;
    const Instrument& instrument = instruments[static_cast<std::size_t>(shownInstrument_)];

    const auto* hosted = std::get_if<AudioUnitSource>(&instrument.source);
    const bool unavailable = hosted && model_.unavailableAudioUnitIDs().contains(hosted->reference.id());
    openEditor_->setVisible(hosted && !unavailable);
    openEditor_->setEnabled(!model_.isPlaying() && !model_.isPreparingPlayback());
    unavailable_->setVisible(unavailable);

    const auto name = QString::fromStdString(instrument.name);
    if (name_->text() != name) {
        const int cursor = name_->cursorPosition();
        name_->setText(name);
        if (name_->hasFocus()) name_->setCursorPosition(std::min(cursor, static_cast<int>(name.size())));
    }
    sliders_.show([&](InstrumentControl control) { return controlValue(instrument, control); });

    fm_->setVisible(instrument.fm.has_value());
    if (instrument.fm) {
        amount_->setValue(instrument.fm->amount);
        for (auto [controls, settings] : {std::pair{&carrier_, &instrument.fm->carrier},
                                          std::pair{&modulator_, &instrument.fm->modulator}}) {
            const QSignalBlocker blocker(controls->wave);
            controls->wave->setCurrentIndex(static_cast<int>(settings->waveform));
            controls->ratio->setValue(settings->ratio);
            controls->fine->setValue(settings->fine);
        }
    }

    sample_->setVisible(instrument.sampleEdit.has_value());
    if (instrument.sampleEdit) {
        // Reading an overview goes through the whole sample: a change of the loop or the slices, which
        // leave the audio as it is, needs no new one.
        SampleEdit audioEdit = *instrument.sampleEdit;
        audioEdit.loop = false;
        audioEdit.loopStart.reset();
        audioEdit.loopEnd.reset();
        audioEdit.loopCrossfade.reset();
        audioEdit.slicePoints.reset();
        audioEdit.snapToZeroCrossings.reset();
        auto sound = std::make_tuple(instrument.id, instrument.source, std::move(audioEdit));
        std::optional<std::vector<float>> peaks;
        if (overviewOf_ != sound) {
            overviewOf_ = std::move(sound);
            peaks = model_.samplePeaks();
        }
        sample_->showEdit(*instrument.sampleEdit, std::move(peaks));
    } else {
        overviewOf_.reset();
    }
}

} // namespace veltrane
