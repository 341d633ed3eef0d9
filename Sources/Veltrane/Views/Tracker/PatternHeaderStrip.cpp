#include "Veltrane/Views/Tracker/PatternHeaderStrip.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Tracker/CellText.hpp"

#include <QHBoxLayout>
#include <QLabel>

namespace veltrane {

PatternHeaderStrip::PatternHeaderStrip(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("patternHeader"));
    setFixedHeight(38);
    fillBackground(this, theme.barBackground);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 0, 12, 0);
    layout->setSpacing(14);

    auto* icon = new QLabel(this);
    icon->setPixmap(symbolIcon(QStringLiteral("square.grid.3x3.fill"), theme.label).pixmap(QSize(14, 14), devicePixelRatioF()));
    icon->setProperty(symbolProperty, QStringLiteral("square.grid.3x3.fill"));
    pattern_ = makeCaption({}, 14, QFont::Bold, theme.label, this);
    size_ = makeCaption({}, 11, QFont::Normal, theme.secondaryLabel, this);
    selection_ = makeCaption({}, 11, QFont::Normal, theme.accent, this);
    cursor_ = makeCaption({}, 11, QFont::Normal, theme.secondaryLabel, this);
    pattern_->setObjectName(QStringLiteral("patternLabel"));
    selection_->setObjectName(QStringLiteral("selectionSize"));
    cursor_->setObjectName(QStringLiteral("cursorLabel"));

    auto* title = new QHBoxLayout;
    title->setSpacing(6);
    title->addWidget(icon);
    title->addWidget(pattern_);
    layout->addLayout(title);
    layout->addWidget(size_);
    layout->addStretch(1);
    layout->addWidget(selection_);
    layout->addWidget(cursor_);

    for (auto signal : {&AppModel::projectChanged, &AppModel::patternIndexChanged, &AppModel::selectedRowChanged,
                        &AppModel::selectedTrackChanged, &AppModel::selectedFieldChanged,
                        &AppModel::selectionAnchorChanged}) {
        connect(&model, signal, this, &PatternHeaderStrip::refresh);
    }
    refresh();
}

QString PatternHeaderStrip::patternText() const { return QStringLiteral("PATTERN ") + hex2(model_.patternIndex()); }

QString PatternHeaderStrip::sizeText() const
{
    const auto& patterns = model_.project().patterns;
    const int index = model_.patternIndex();
    if (index < 0 || index >= static_cast<int>(patterns.size())) return {};
    const auto& pattern = patterns[static_cast<std::size_t>(index)];
    return QStringLiteral("%1 STEPS \u00B7 %2 TRACKS").arg(pattern.rows).arg(pattern.channels);
}

QString PatternHeaderStrip::selectionText() const
{
    const auto selection = model_.selection();
    if (!selection) return {};
    return QStringLiteral("SELECT %1\u00D7%2")
        .arg(selection->endRow - selection->startRow + 1)
        .arg(selection->endTrack - selection->startTrack + 1);
}

QString PatternHeaderStrip::cursorText() const
{
    const auto field = label(model_.selectedField());
    return QStringLiteral("ROW ") + hex2(model_.selectedRow()) + QStringLiteral(" \u00B7 ") +
           QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size()));
}

void PatternHeaderStrip::refresh()
{
    pattern_->setText(patternText());
    size_->setText(sizeText());
    selection_->setText(selectionText());
    selection_->setVisible(model_.selection().has_value());
    cursor_->setText(cursorText());
}

} // namespace veltrane
