#include "Veltrane/Views/Song/SongTimelineView.hpp"

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Song/SongDisplay.hpp"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace veltrane {

namespace {

constexpr int stripInset = 10;
constexpr int stripBottom = 9;
constexpr int maximumFlags = 3;

/// A symbol followed by a caption, as one label.
QWidget* symbolCaption(const QString& symbol, const QString& text, const QFont& font, QColor colour, QLabel** textLabel,
                       QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* icon = new inspector::SymbolView(symbol, colour, font.pixelSize() + 1, box);
    auto* label = new QLabel(text, box);
    label->setFont(font);
    setTextColour(label, colour);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(icon);
    layout->addWidget(label);
    if (textLabel) *textLabel = label;
    return box;
}

} // namespace

/// The cards themselves: drawn in one widget that also takes the clicks, drags and drops.
class SongCardStrip final : public QWidget {
public:
    explicit SongCardStrip(SongTimelineView& view) : QWidget(&view), view_(view)
    {
        setAcceptDrops(true);
        setObjectName(QStringLiteral("songCardStrip"));
    }

    int cardAt(QPoint point) const
    {
        const int count = static_cast<int>(view_.arrangement_.blocks.size());
        for (int i = 0; i < count; ++i)
            if (view_.cardRect(i).contains(point)) return i;
        return -1;
    }

    QSize sizeHint() const override
    {
        const int count = static_cast<int>(view_.arrangement_.blocks.size());
        const int right = count > 0 ? view_.cardRect(count - 1).right() + 1 : 0;
        return {right + stripInset, SongTimelineView::cardHeight + 2};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Theme& theme = Theme::current();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const auto& song = view_.arrangement_;
        const QFont indexFont = theme.monospaced(11, QFont::Medium);
        const QFont nameFont = theme.interface(11, QFont::DemiBold);
        for (int i = 0; i < static_cast<int>(song.blocks.size()); ++i) {
            const SongBlock& block = song.blocks[static_cast<std::size_t>(i)];
            const QRectF card = QRectF(view_.cardRect(i)).adjusted(1, 1, -1, -1);
            QPainterPath shape;
            shape.addRoundedRect(card, 8, 8);
            painter.fillPath(shape, blockInLoop(song, i) ? withOpacity(theme.accent, 0.13) : QColor(255, 255, 255, 11));
            if (i == view_.selectedBlock_) painter.strokePath(shape, QPen(theme.accent, 2));

            const QRectF content = card.adjusted(8, 7, -8, -7);
            painter.setFont(indexFont);
            painter.setPen(theme.secondaryLabel);
            const QRectF firstLine(content.left(), content.top(), content.width(), 14);
            painter.drawText(firstLine, Qt::AlignLeft | Qt::AlignVCenter, inspector::hex2(i));
            if (block.repeats > 1) {
                painter.setPen(theme.accent);
                painter.drawText(firstLine, Qt::AlignRight | Qt::AlignVCenter, repeatsText(block.repeats));
            }
            painter.setFont(nameFont);
            painter.setPen(theme.label);
            const QRectF nameLine(content.left(), firstLine.bottom() + 3, content.width(), 15);
            const QString name = QFontMetrics(nameFont).elidedText(blockPatternName(view_.patterns_, block.pattern),
                                                                   Qt::ElideRight, static_cast<int>(nameLine.width()));
            painter.drawText(nameLine, Qt::AlignLeft | Qt::AlignVCenter, name);
            int flags = 0;
            for (const auto& marker : song.markers) {
                if (marker.block != i || flags == maximumFlags) continue;
                paintSymbol(painter, QRectF(content.left() + flags * 11, nameLine.bottom() + 4, 8, 8),
                            QStringLiteral("flag.fill"), theme.orange);
                ++flags;
            }
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        pressedCard_ = event->button() == Qt::LeftButton ? cardAt(event->position().toPoint()) : -1;
        pressPoint_ = event->position().toPoint();
        event->accept();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (pressedCard_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
        if ((event->position().toPoint() - pressPoint_).manhattanLength() < QApplication::startDragDistance()) return;
        const int card = pressedCard_;
        pressedCard_ = -1;
        auto* drag = new QDrag(this);
        drag->setMimeData(view_.dragPayload(card));
        drag->setPixmap(grab(view_.cardRect(card)));
        drag->setHotSpot(pressPoint_ - view_.cardRect(card).topLeft());
        drag->exec(Qt::MoveAction);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const int card = pressedCard_;
        pressedCard_ = -1;
        if (card >= 0 && event->button() == Qt::LeftButton && cardAt(event->position().toPoint()) == card && view_.onSelect)
            view_.onSelect(card);
    }

    void dragEnterEvent(QDragEnterEvent* event) override { judge(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { judge(event); }

    void dropEvent(QDropEvent* event) override
    {
        const int destination = cardAt(event->position().toPoint());
        const auto source = destination < 0 ? std::nullopt : view_.acceptedSource(event->mimeData(), destination);
        if (!source) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::MoveAction);
        event->accept();
        if (view_.onMove) view_.onMove(*source, destination);
    }

private:
    void judge(QDragMoveEvent* event)
    {
        const int destination = cardAt(event->position().toPoint());
        if (destination >= 0 && view_.acceptedSource(event->mimeData(), destination)) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    SongTimelineView& view_;
    int pressedCard_ = -1;
    QPoint pressPoint_;
};

SongTimelineView::SongTimelineView(QWidget* parent) : QWidget(parent)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("songTimelineView"));

    auto* header = new QWidget(this);
    header->setFixedHeight(headerHeight);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(stripInset, 0, stripInset, 0);
    headerLayout->addWidget(symbolCaption(QStringLiteral("rectangle.3.group"), QStringLiteral("SONG TIMELINE"),
                                          theme.monospaced(10, QFont::Bold), theme.secondaryLabel, nullptr, header));
    headerLayout->addStretch(1);
    loopBadge_ = symbolCaption(QStringLiteral("repeat"), {}, theme.monospaced(9, QFont::Bold), theme.accent, &loopLabel_, header);
    headerLayout->addWidget(loopBadge_);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    // A thin bar in the strip's bottom margin, so showing it never crops the cards.
    scroll_->setFixedHeight(1 + cardHeight + stripBottom);
    scroll_->horizontalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:horizontal { height: 7px; background: transparent; margin: 0 10px; }"
                       "QScrollBar::handle:horizontal { background: rgba(255, 255, 255, 60); border-radius: 3px; min-width: 24px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { width: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"));
    strip_ = new SongCardStrip(*this);
    dragMark_ = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    scroll_->setWidget(strip_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(scroll_, 1);
    display({}, {}, 0);
}

void SongTimelineView::display(SongArrangement arrangement, std::vector<Pattern> patterns, int selectedBlock)
{
    arrangement_ = std::move(arrangement);
    patterns_ = std::move(patterns);
    selectedBlock_ = selectedBlock;
    const auto& loop = arrangement_.loop;
    loopBadge_->setVisible(loop.enabled);
    loopLabel_->setText(QStringLiteral("LOOP ") + loopRangeText(loop));
    setAccessibleName(QStringLiteral("Song timeline with %1 blocks").arg(arrangement_.blocks.size()));
    strip_->resize(strip_->sizeHint());
    strip_->update();
    if (selectedBlock_ >= 0 && selectedBlock_ < static_cast<int>(arrangement_.blocks.size())) {
        const QRect card = cardRect(selectedBlock_);
        scroll_->ensureVisible(card.center().x(), card.center().y(), card.width() / 2 + stripInset, 0);
    }
}

int SongTimelineView::cardWidth(int repeats) { return std::min(86 + 12 * (std::max(repeats, 1) - 1), 160); }

QRect SongTimelineView::cardRect(int index) const
{
    int left = stripInset;
    for (int i = 0; i < index; ++i) left += cardWidth(arrangement_.blocks[static_cast<std::size_t>(i)].repeats) + cardSpacing;
    return {left, 1, cardWidth(arrangement_.blocks[static_cast<std::size_t>(index)].repeats), cardHeight};
}

QWidget* SongTimelineView::strip() const { return strip_; }

QMimeData* SongTimelineView::dragPayload(int block) const
{
    auto* data = new QMimeData;
    data->setText(QString::number(block));
    data->setData(QString::fromLatin1(blockMimeType), dragMark_);
    return data;
}

std::optional<std::int64_t> SongTimelineView::parseBlockIndex(const QString& text)
{
    QStringView digits(text);
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-')) {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    if (digits.isEmpty()) return std::nullopt;
    // Accumulated as a negative number, whose range reaches one further than the positive one.
    std::int64_t value = 0;
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value < (lowest + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest) return std::nullopt;
        value = -value;
    }
    return value;
}

std::optional<int> SongTimelineView::acceptedSource(const QMimeData* data, int destination) const
{
    // Text dragged from another program or a card of another window's song could carry any number;
    // only this strip's own cards move its blocks.
    if (!data || data->data(QString::fromLatin1(blockMimeType)) != dragMark_ || !data->hasText()) return std::nullopt;
    const auto source = parseBlockIndex(data->text());
    const auto count = static_cast<std::int64_t>(arrangement_.blocks.size());
    if (!source || *source < 0 || *source >= count || *source == destination) return std::nullopt;
    return static_cast<int>(*source);
}

} // namespace veltrane
