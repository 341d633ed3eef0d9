#include "Veltrane/Views/Inspector/AudioUnitEffectRack.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Inspector/FlowLayout.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane::inspector {

namespace {

/// The switch's label: the effect's name above its maker in a smaller, secondary font.
class SlotTitle final : public QWidget {
public:
    SlotTitle(const AudioUnitReference& reference, QWidget* parent)
        : QWidget(parent)
    {
        auto* name = new QLabel(this);
        name->setTextFormat(Qt::PlainText);
        const auto text = QString::fromStdString(reference.name);
        name->setText(text);
        name->setMinimumWidth(40);
        name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // long names are cut, not widened
        name->setToolTip(text);
        auto* maker = captionLabel(QString::fromStdString(reference.manufacturerName), this);
        maker->setFont(captionFont(*maker, 0.78));
        maker->setTextFormat(Qt::PlainText);
        maker->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        column->addWidget(name);
        column->addWidget(maker);
    }
};

} // namespace

AudioUnitEffectRack::AudioUnitEffectRack(AppModel& model, bool master, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , master_(master)
    , menu_(new QMenu(this))
    , add_(addMenuButton(QStringLiteral("Add Audio Unit"), menu_, this))
    , list_(new QVBoxLayout)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);
    column->addWidget(divider(this));

    auto* header = new FlowLayout(nullptr, true);
    auto* title = captionLabel(QStringLiteral("AUDIO UNIT FX"), this, true);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    header->addWidget(title);
    header->addWidget(add_);
    column->addLayout(header);

    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(6);
    column->addLayout(list_);
}

AudioUnitEffectRack::Row AudioUnitEffectRack::makeRow(const AudioUnitSlot& slot)
{
    Row row;
    row.id = slot.id;
    auto* box = new RoundedBox(0.05, this);
    row.row = box;
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(8, 8, 8, 8);

    const auto name = QString::fromStdString(slot.reference.name);
    row.enabled = checkBox(QString(), box);
    row.enabled->setAccessibleName(name);
    row.enabled->setToolTip(QStringLiteral("On while ") + name + QStringLiteral(" is not bypassed"));
    line->addWidget(row.enabled);
    auto* title = new SlotTitle(slot.reference, box);
    line->addWidget(title, 1);

    row.editor = new QToolButton(box);
    setSymbol(row.editor, QStringLiteral("slider.horizontal.3"));
    row.editor->setAutoRaise(true);
    row.editor->setToolTip(QStringLiteral("Open ") + name);
    row.editor->setAccessibleName(QStringLiteral("Open ") + name);
    row.editor->setFocusPolicy(Qt::StrongFocus);
    line->addWidget(row.editor);

    auto* warning = warningSign(16, box);
    warning->setToolTip(QStringLiteral("Audio Unit unavailable; it will be skipped"));
    warning->setAccessibleName(QStringLiteral("Audio Unit unavailable; it will be skipped"));
    row.warning = warning;
    line->addWidget(warning);

    row.remove = new QToolButton(box);
    setSymbol(row.remove, QStringLiteral("xmark.circle.fill"), secondaryTextColor(*box));
    row.remove->setAutoRaise(true);
    row.remove->setToolTip(QStringLiteral("Remove ") + name);
    row.remove->setAccessibleName(QStringLiteral("Remove ") + name);
    row.remove->setFocusPolicy(Qt::StrongFocus);
    line->addWidget(row.remove);

    const Uuid id = slot.id;
    connect(row.enabled, &QCheckBox::toggled, this, [this, id](bool on) { model_.setAudioUnitEffectBypass(id, !on); });
    connect(row.editor, &QToolButton::clicked, this, [this, id] { model_.openAudioUnitEffectEditor(id); });
    connect(row.remove, &QToolButton::clicked, this, [this, id] { model_.removeAudioUnitEffect(id); });
    return row;
}

void AudioUnitEffectRack::showSlots(const std::vector<AudioUnitSlot>& chain)
{
    const auto& available = model_.availableAudioUnitEffects();
    if (available != listed_) {
        listed_ = available;
        menu_->clear();
        for (const auto& reference : available) {
            const auto title = QString::fromStdString(reference.manufacturerName) + QStringLiteral(" \u2014 ") +
                               QString::fromStdString(reference.name);
            menu_->addAction(title, this, [this, reference] {
                if (master_) model_.addMasterAudioUnitEffect(reference);
                else model_.addTrackAudioUnitEffect(reference);
            });
        }
    }
    add_->setEnabled(static_cast<int>(chain.size()) < maxAudioUnitSlots && !available.empty());

    // Rows are kept while the slots are the same ones in the same order, so a switch being pressed stays.
    bool same = rows_.size() == chain.size();
    for (std::size_t i = 0; same && i < chain.size(); ++i) same = rows_[i].id == chain[i].id;
    if (!same) {
        for (auto& row : rows_) {
            list_->removeWidget(row.row);
            row.row->hide();
            row.row->deleteLater();
        }
        rows_.clear();
        for (const auto& slot : chain) {
            rows_.push_back(makeRow(slot));
            list_->addWidget(rows_.back().row);
        }
    }

    const bool busy = model_.isPlaying() || model_.isPreparingPlayback();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const bool unavailable = model_.unavailableAudioUnitIDs().contains(chain[i].reference.id());
        auto& row = rows_[i];
        const QSignalBlocker blocker(row.enabled);
        row.enabled->setChecked(!chain[i].bypassed);
        row.editor->setEnabled(!busy && !unavailable);
        row.warning->setVisible(unavailable);
    }
}

} // namespace veltrane::inspector
