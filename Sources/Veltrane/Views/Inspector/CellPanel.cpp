#include "Veltrane/Views/Inspector/CellPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/EffectSlotBox.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Inspector/FlowLayout.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/ParameterLockRow.hpp"
#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include "VeltraneCore/Tracker/NoteNames.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace veltrane {

using namespace inspector;

namespace {

QString noteDisplay(const std::optional<StepNote>& note)
{
    if (!note) return QStringLiteral("Empty");
    if (isNoteOff(*note)) return QStringLiteral("OFF");
    if (isTie(*note)) return QStringLiteral("TIE");
    return QString::fromStdString(noteName(*pitchOf(*note)));
}

} // namespace

CellPanel::CellPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , heading_(sectionTitle(QString(), this))
    , noteText_(new QLabel(this))
    , fieldLabel_(captionLabel(QString(), this, true))
    , noteButtons_(new QWidget(this))
    , gate_(new ValueSlider(QStringLiteral("Gate \u00B7 rows"), {0.05, 16}, this))
    , defaultGate_(new QPushButton(QStringLiteral("Use default gate"), this))
    , instrument_(new QComboBox(this))
    , volume_(new ValueSlider(QStringLiteral("Volume"), {0, 64}, this))
    , lockList_(new QVBoxLayout)
    , clearField_(new QPushButton(QStringLiteral("Clear selected field"), this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);
    column->addWidget(heading_);

    QFont noteFont = monospacedFont(font());
    noteFont.setPointSizeF(font().pointSizeF() > 0 ? font().pointSizeF() * 1.6 : 16);
    noteFont.setBold(true);
    noteText_->setFont(noteFont);
    auto* noteLine = new QHBoxLayout;
    noteLine->addWidget(noteText_);
    noteLine->addStretch(1);
    noteLine->addWidget(fieldLabel_);
    column->addLayout(noteLine);

    auto* buttons = new QHBoxLayout(noteButtons_);
    buttons->setContentsMargins(0, 0, 0, 0);
    const auto addNoteButton = [&](const QString& title, std::function<void(Cell&)> change) {
        auto* button = new QPushButton(title, noteButtons_);
        shrinkToText(button);
        connect(button, &QPushButton::clicked, this, [this, change] { writeCell(change); });
        buttons->addWidget(button);
    };
    addNoteButton(QStringLiteral("Note Off"), [](Cell& cell) { cell.note = NoteOff{}; });
    // A tie carries the note before it on, with that note's instrument: an instrument of its own would
    // mean nothing.
    addNoteButton(QStringLiteral("Tie"), [](Cell& cell) {
        cell.note = NoteTie{};
        cell.instrument.reset();
    });
    addNoteButton(QStringLiteral("Clear"), [](Cell& cell) { cell.note.reset(); });
    buttons->addStretch(1);
    column->addWidget(noteButtons_);

    gate_->onChange = [this](double rows) { writeCell([rows](Cell& cell) { cell.gate = rows; }); };
    gate_->setKeyboardStep(0.25);
    column->addWidget(gate_);
    QFont small = defaultGate_->font();
    small.setPointSizeF(small.pointSizeF() > 0 ? small.pointSizeF() * 0.9 : small.pointSizeF());
    defaultGate_->setFont(small);
    connect(defaultGate_, &QPushButton::clicked, this, [this] { writeCell([](Cell& cell) { cell.gate.reset(); }); });
    auto* defaultGateRow = new QHBoxLayout;
    defaultGateRow->addWidget(defaultGate_);
    defaultGateRow->addStretch(1);
    column->addLayout(defaultGateRow);

    instrument_->setAccessibleName(QStringLiteral("Instrument"));
    instrument_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    instrument_->setMinimumContentsLength(8);
    passWheelUnlessFocused(instrument_);
    column->addLayout(labelledRow(QStringLiteral("Instrument"), instrument_, this));
    connect(instrument_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) writeCell([index](Cell& cell) { cell.instrument = index; });
    });

    volume_->setKeyboardStep(1);
    volume_->onChange = [this](double value) {
        const auto volume = static_cast<std::uint8_t>(std::clamp(roundedToInt(value), 0, 64));
        writeCell([volume](Cell& cell) { cell.volume = volume; });
    };
    column->addWidget(volume_);

    for (int slot = 0; slot < effectSlotCount; ++slot) {
        auto* box = new EffectSlotBox(slot == 0 ? QStringLiteral("FX 1") : QStringLiteral("FX 2"), this);
        box->onTypeChosen = [this, slot](std::optional<EffectType> type) { chooseEffectType(slot, type); };
        box->onValueChange = [this, slot](double value) {
            const auto byte = static_cast<std::uint8_t>(std::clamp(roundedToInt(value), 0, 255));
            writeCell([slot, byte](Cell& cell) {
                if (auto& effect = cell.effects[static_cast<std::size_t>(slot)]) effect->value = byte;
            });
        };
        effects_[static_cast<std::size_t>(slot)] = box;
        column->addWidget(box);
    }

    column->addWidget(divider(this));

    // The heading's space above goes above the whole row, so the heading and the menu share a centre line.
    auto* lockHeader = new FlowLayout(nullptr, true);
    lockHeader->setContentsMargins(0, 10, 0, 0);
    auto* lockTitle = sectionTitle(QStringLiteral("PARAMETER LOCKS"), this);
    lockTitle->setContentsMargins(0, 0, 0, 0);
    lockHeader->addWidget(lockTitle);
    auto* lockMenu = new QMenu(this);
    for (const auto target : allParameterTargets) {
        lockMenu->addAction(qString(label(target)), this, [this, target] {
            if (cursorCell()) model_.setParameterLock(target, defaultValue(target));
        });
    }
    addLock_ = addMenuButton(QStringLiteral("Add Lock"), lockMenu, this);
    lockHeader->addWidget(addLock_);
    column->addLayout(lockHeader);

    lockList_->setContentsMargins(0, 0, 0, 0);
    lockList_->setSpacing(8);
    column->addLayout(lockList_);

    // A light red: the dark button face swallows a saturated one, so the text could not be read.
    const QColor destructiveRed(0xff, 0x7a, 0x6e);
    setSymbol(clearField_, QStringLiteral("delete.left"), destructiveRed);
    QPalette destructive = clearField_->palette();
    destructive.setColor(QPalette::ButtonText, destructiveRed);
    clearField_->setPalette(destructive);
    connect(clearField_, &QPushButton::clicked, this, [this] { model_.clearSelectionOrField(); });
    auto* clearRow = new QHBoxLayout;
    clearRow->addWidget(clearField_);
    clearRow->addStretch(1);
    column->addLayout(clearRow);

    column->addWidget(divider(this));
    auto* legend = captionLabel(QStringLiteral("A Arpeggio \u00B7 R Retrigger \u00B7 P Pan \u00B7 D Delay \u00B7 V Vibrato "
                                               "\u00B7 T Tremolo \u00B7 S Slide \u00B7 H Chord \u00B7 C Chance"),
                                this, true);
    legend->setWordWrap(true);
    column->addWidget(legend);
    column->addStretch(1);

    watch(&AppModel::projectChanged);
    watch(&AppModel::patternIndexChanged);
    watch(&AppModel::selectedRowChanged);
    watch(&AppModel::selectedTrackChanged);
    watch(&AppModel::selectedFieldChanged);
    watch(&AppModel::selectedInstrumentChanged);
}

const Cell* CellPanel::cursorCell() const
{
    const auto& patterns = model_.project().patterns;
    const int index = model_.patternIndex();
    if (index < 0 || index >= static_cast<int>(patterns.size())) return nullptr;
    const auto& pattern = patterns[static_cast<std::size_t>(index)];
    if (!pattern.contains(model_.selectedRow(), model_.selectedTrack())) return nullptr;
    return &pattern.cell(model_.selectedRow(), model_.selectedTrack());
}

void CellPanel::writeCell(const std::function<void(Cell&)>& change)
{
    if (!cursorCell()) return;
    model_.updateCell(change);
}

void CellPanel::chooseEffectType(int slot, std::optional<EffectType> type)
{
    const auto* cell = cursorCell();
    if (!cell) return;
    const auto& current = cell->effects[static_cast<std::size_t>(slot)];
    if ((!type && !current) || (type && current && current->type == *type)) return; // the same choice again
    writeCell([slot, type](Cell& cell) {
        auto& effect = cell.effects[static_cast<std::size_t>(slot)];
        if (!type) effect.reset();
        else effect = Effect{*type, effect ? effect->value : std::uint8_t{0}};
    });
}

void CellPanel::showModel()
{
    heading_->setText(QStringLiteral("CELL \u00B7 ") + hex2(model_.selectedRow()) + QStringLiteral(" / T") +
                      QString::number(model_.selectedTrack() + 1));
    heading_->setAccessibleName(heading_->text());
    fieldLabel_->setText(qString(label(model_.selectedField())));

    const Cell* found = cursorCell();
    const Cell cell = found ? *found : Cell{};
    for (auto* widget : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (widget != heading_) widget->setEnabled(found != nullptr);

    noteText_->setText(noteDisplay(cell.note));
    noteText_->setAccessibleName(noteText_->text());

    const bool pitched = cell.note && pitchOf(*cell.note);
    gate_->setVisible(pitched);
    gate_->setValue(cell.gate.value_or(1.0));
    defaultGate_->setVisible(pitched && cell.gate);

    {
        const QSignalBlocker blocker(instrument_);
        const auto& instruments = model_.project().instruments;
        bool same = instrument_->count() == static_cast<int>(instruments.size());
        for (int i = 0; same && i < instrument_->count(); ++i)
            same = instrument_->itemText(i) == QString::fromStdString(instruments[static_cast<std::size_t>(i)].name);
        if (!same) {
            instrument_->clear();
            for (const auto& instrument : instruments) instrument_->addItem(QString::fromStdString(instrument.name));
        }
        const int shown = cell.instrument.value_or(model_.selectedInstrument());
        instrument_->setCurrentIndex(shown >= 0 && shown < instrument_->count() ? shown : -1);
    }

    volume_->setValue(cell.volume.value_or(64));
    for (int slot = 0; slot < effectSlotCount; ++slot)
        effects_[static_cast<std::size_t>(slot)]->showEffect(cell.effects[static_cast<std::size_t>(slot)]);
    showLocks(cell.locks);
}

void CellPanel::showLocks(const std::vector<ParameterLock>& locks)
{
    // Rows are kept by target while the cell keeps the same locks in the same order, so a slider being
    // dragged stays the same widget under the pointer.
    bool same = lockRows_.size() == locks.size();
    for (std::size_t i = 0; same && i < locks.size(); ++i) same = lockRows_[i]->target() == locks[i].target;
    if (!same) {
        // A row may be the one whose remove button is still reporting: it goes once that is done.
        for (auto* row : lockRows_) {
            lockList_->removeWidget(row);
            row->hide();
            row->deleteLater();
        }
        lockRows_.clear();
        for (const auto& lock : locks) {
            auto* row = new ParameterLockRow(lock.target, this);
            const auto target = lock.target;
            row->onChange = [this, target](double value) {
                if (cursorCell()) model_.setParameterLock(target, value);
            };
            row->onRemove = [this, target] {
                if (cursorCell()) model_.removeParameterLock(target);
            };
            lockList_->addWidget(row);
            lockRows_.push_back(row);
        }
        // New rows would otherwise come last in the Tab order, after the controls below them.
        QWidget* previous = addLock_;
        for (auto* row : lockRows_) {
            QWidget::setTabOrder(previous, row->slider());
            QWidget::setTabOrder(row->slider(), row->removeButton());
            previous = row->removeButton();
        }
        QWidget::setTabOrder(previous, clearField_);
    }
    for (std::size_t i = 0; i < locks.size(); ++i) lockRows_[i]->showValue(locks[i].value);
}

} // namespace veltrane
