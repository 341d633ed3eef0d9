#include "Veltrane/Views/Inspector/SampleBrowserRow.hpp"

#include "Veltrane/Model/SampleTags.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/SampleMiniWaveform.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace veltrane::inspector {

namespace {

const QColor favouriteYellow(255, 214, 10);

QString joinedTags(const Instrument& instrument)
{
    QStringList tags;
    if (instrument.tags) {
        for (const auto& tag : *instrument.tags) tags << QString::fromStdString(tag);
    }
    return tags.join(QStringLiteral(", "));
}

QToolButton* plainSymbolButton(QWidget* parent, int size)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIconSize(QSize(size, size));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

SampleBrowserRow::SampleBrowserRow(int index, QWidget* parent)
    : QFrame(parent)
    , index_(index)
    , audition_(plainSymbolButton(this, 20))
    , name_(new QPushButton(this))
    , favorite_(plainSymbolButton(this, 16))
    , missingRow_(new QWidget(this))
    , locate_(new QPushButton(QStringLiteral("Locate…"), missingRow_))
    , waveform_(new SampleMiniWaveform(this))
    , tags_(new QLineEdit(this))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(9, 9, 9, 9);
    column->setSpacing(7);

    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    setSymbol(audition_, QStringLiteral("play.circle.fill"));
    name_->setFlat(true);
    name_->setCursor(Qt::PointingHandCursor);
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // The name reads as text, left-aligned and on one line, not as a button face.
    name_->setStyleSheet(QStringLiteral("QPushButton { text-align: left; border: none; padding: 0; font-weight: 600; }"));
    favorite_->setToolTip(QStringLiteral("Favorite"));
    favorite_->setAccessibleName(QStringLiteral("Favorite"));
    favorite_->setCheckable(false);
    header->addWidget(audition_);
    header->addWidget(name_, 1);
    header->addWidget(favorite_);
    column->addLayout(header);

    auto* missing = new QHBoxLayout(missingRow_);
    missing->setContentsMargins(0, 0, 0, 0);
    auto* warningIcon = new QLabel(missingRow_);
    warningIcon->setPixmap(symbolIcon(QStringLiteral("exclamationmark.triangle.fill"), Theme::current().orange).pixmap(QSize(12, 12)));
    auto* warning = new QLabel(QStringLiteral("Sample file missing"), missingRow_);
    warning->setFont(captionFont(*this));
    locate_->setFont(captionFont(*this));
    missing->addWidget(warningIcon);
    missing->addWidget(warning);
    missing->addStretch(1);
    missing->addWidget(locate_);
    column->addWidget(missingRow_);
    column->addWidget(waveform_);

    tags_->setPlaceholderText(QStringLiteral("tags, comma separated"));
    tags_->setAccessibleName(QStringLiteral("Tags"));
    tags_->setFrame(false);
    tags_->setFont(captionFont(*this));
    QPalette secondary = tags_->palette();
    secondary.setColor(QPalette::Text, secondaryTextColor(*this));
    secondary.setColor(QPalette::Base, Qt::transparent);
    tags_->setPalette(secondary);
    column->addWidget(tags_);

    connect(audition_, &QToolButton::clicked, this, [this] { if (onAudition) onAudition(); });
    connect(name_, &QPushButton::clicked, this, [this] { if (onSelect) onSelect(); });
    connect(favorite_, &QToolButton::clicked, this, [this] { if (onFavorite) onFavorite(!isFavorite_); });
    connect(locate_, &QPushButton::clicked, this, [this] { if (onLocate) onLocate(); });
    connect(tags_, &QLineEdit::textEdited, this, [this](const QString& text) { if (onTagsEdited) onTagsEdited(text); });
}

void SampleBrowserRow::showInstrument(const Instrument& instrument, bool selected, bool missing, std::vector<float> peaks)
{
    fullName_ = QString::fromStdString(instrument.name);
    showName();
    audition_->setToolTip(QStringLiteral("Audition ") + fullName_);
    audition_->setAccessibleName(QStringLiteral("Audition ") + fullName_);
    // A sample whose file is lost has nothing to play.
    audition_->setEnabled(!missing);
    isFavorite_ = instrument.favorite.value_or(false);
    setSymbol(favorite_, isFavorite_ ? QStringLiteral("star.fill") : QStringLiteral("star"),
              isFavorite_ ? favouriteYellow : secondaryTextColor(*this));
    favorite_->setAccessibleDescription(isFavorite_ ? QStringLiteral("On") : QStringLiteral("Off"));
    missingRow_->setVisible(missing);
    waveform_->setVisible(!missing);
    if (!missing) waveform_->setPeaks(std::move(peaks));
    // The field keeps what the user typed while it says the stored tags ("drums, " is stored as "drums");
    // only other tags (an undo, another edit) replace its text.
    if (parseSampleTags(tags_->text().toStdString()) != instrument.tags.value_or(std::vector<std::string>{})) {
        tags_->setText(joinedTags(instrument));
    }
    if (selected != selected_) {
        selected_ = selected;
        setAccessibleDescription(selected ? QStringLiteral("Selected") : QString());
        update();
    }
}

void SampleBrowserRow::showName()
{
    name_->setText(name_->fontMetrics().elidedText(fullName_, Qt::ElideRight, std::max(name_->width(), 40)));
    name_->setAccessibleName(fullName_);
    name_->setToolTip(fullName_);
}

void SampleBrowserRow::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    showName();
}

void SampleBrowserRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 9, 9);
    painter.fillPath(shape, selected_ ? withOpacity(Theme::current().accent, 0.15) : withOpacity(secondaryTextColor(*this), 0.08));
}

} // namespace veltrane::inspector
