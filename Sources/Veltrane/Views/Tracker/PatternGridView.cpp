#include "Veltrane/Views/Tracker/PatternGridView.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Tracker/CellText.hpp"
#include "VeltraneCore/Tracker/NoteNames.hpp"

#include <QAccessible>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>

namespace veltrane {

namespace {

int truncated(double value) { return static_cast<int>(std::trunc(value)); }

/// A column's caption and where its text lies in a cell's line ("C-5 02 28  V48 ···"), in characters.
struct ColumnCaption {
    QLatin1StringView text;
    int firstCharacter;
    int characters;
};

constexpr std::array<ColumnCaption, 5> columnCaptions{{
    {QLatin1StringView("NOTE"), 0, 3},
    {QLatin1StringView("IN"), 4, 2},
    {QLatin1StringView("VL"), 7, 2},
    {QLatin1StringView("FX1"), 11, 3},
    {QLatin1StringView("FX2"), 15, 3},
}};

/// Where the cell text starts inside a track, and how far a cursor box reaches past its column's text.
constexpr double cellTextInset = 7;
constexpr double cursorPadding = 3;

QFont gridCellFont() { return Theme::current().monospaced(12, QFont::Medium); }

} // namespace

PatternGridView::PatternGridView(QWidget* parent) : QAbstractScrollArea(parent)
{
    // The columns lie where the cell text puts them: the cursor box and the clicks follow the font.
    characterWidth_ = QFontMetricsF(gridCellFont()).horizontalAdvance(QLatin1Char('0'));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setFocusProxy(this);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Pattern editor"));
    setObjectName(QStringLiteral("patternGrid"));
    updateScrollRanges();
}

PatternGridView::~PatternGridView() = default;

QSizeF PatternGridView::contentSize() const
{
    const double h = rowHeight();
    return {gutterWidth + trackWidth * content_.pattern.channels, h + h * content_.pattern.rows};
}

void PatternGridView::show(GridContent content)
{
    const bool changed = !(content == content_);
    content_ = std::move(content);
    if (!changed) return;
    updateScrollRanges();
    viewport()->update();
    // Before the view is laid out its size says nothing about what will be in view.
    if (isVisible()) reveal(playRow_ ? *playRow_ : content_.selectedRow);
    setAccessibleDescription(accessibilityValue());
}

void PatternGridView::startPlaybackUpdates()
{
    if (playbackTimer_) return;
    playbackTimer_ = new QTimer(this);
    playbackTimer_->setInterval(1000 / 30);
    playbackTimer_->setTimerType(Qt::PreciseTimer);
    connect(playbackTimer_, &QTimer::timeout, this, &PatternGridView::followPlayback);
    playbackTimer_->start();
}

void PatternGridView::followPlayback()
{
    const std::optional<int> playing = playbackUI_ ? playbackUI_->row : std::nullopt;
    if (playing == playRow_) return;
    playRow_ = playing;
    viewport()->update();
    reveal(playRow_ ? *playRow_ : content_.selectedRow);
}

GridTarget PatternGridView::target(QPointF point) const
{
    const double h = rowHeight();
    const int rows = std::max(content_.pattern.rows, 1);
    const int channels = std::max(content_.pattern.channels, 1);
    GridTarget result;
    result.row = std::clamp(truncated((point.y() - h) / h), 0, rows - 1);
    result.track = std::clamp(truncated((point.x() - gutterWidth) / trackWidth), 0, channels - 1);
    // A point belongs to the column whose box is nearest: the border between two columns lies halfway
    // through the gap between their boxes.
    const double local = point.x() - gutterWidth - trackWidth * result.track;
    result.field = allCellFields.back();
    for (std::size_t i = 0; i + 1 < allCellFields.size(); ++i) {
        const ColumnBox box = columnBox(allCellFields[i]);
        const ColumnBox next = columnBox(allCellFields[i + 1]);
        if (local < (box.offset + box.width + next.offset) / 2) {
            result.field = allCellFields[i];
            break;
        }
    }
    return result;
}

PatternGridView::ColumnBox PatternGridView::columnBox(CellField field) const
{
    const auto& caption = columnCaptions[static_cast<std::size_t>(toRawValue(field))];
    const double left = cellTextInset + caption.firstCharacter * characterWidth_ - cursorPadding;
    return {left, caption.characters * characterWidth_ + 2 * cursorPadding};
}

QRectF PatternGridView::visibleContentRect() const
{
    return QRectF(horizontalScrollBar()->value(), verticalScrollBar()->value(), viewport()->width(),
                  viewport()->height());
}

void PatternGridView::reveal(int row)
{
    const double h = rowHeight();
    const double y = h + h * row;
    const QRectF visible = visibleContentRect();
    if (y < visible.top() + h || visible.bottom() < y + h) {
        // The top of the view lands on a row boundary, so the header hides one whole row instead of
        // leaving half a row peeking out beneath it.
        const double top = std::max(0.0, y - visible.height() * 0.5);
        verticalScrollBar()->setValue(static_cast<int>(std::floor(top / h) * h));
    }
}

void PatternGridView::updateScrollRanges()
{
    const QSizeF size = contentSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(size.width())) - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setSingleStep(static_cast<int>(trackWidth / 4));
    verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(size.height())) - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(static_cast<int>(rowHeight()));
}

QString PatternGridView::accessibilityValue() const
{
    QString note = QStringLiteral("empty");
    if (content_.pattern.contains(content_.selectedRow, content_.selectedTrack)) {
        if (const auto& value = content_.pattern.cell(content_.selectedRow, content_.selectedTrack).note) {
            if (const auto pitch = pitchOf(*value)) note = QString::fromStdString(noteName(*pitch));
            else note = isNoteOff(*value) ? QStringLiteral("off") : QStringLiteral("tie");
        }
    }
    return QStringLiteral("Row %1, track %2, %3, %4")
        .arg(content_.selectedRow)
        .arg(content_.selectedTrack + 1)
        .arg(QString::fromUtf8(label(content_.selectedField).data(), static_cast<qsizetype>(label(content_.selectedField).size())))
        .arg(note);
}

void PatternGridView::paintContent(QPainter& painter, const QRectF& dirty, const QRectF& visible) const
{
    const Theme& theme = Theme::current();
    const double h = rowHeight();
    const Pattern& pattern = content_.pattern;
    const int rows = pattern.rows;
    const int channels = std::min(pattern.channels, pattern.cells.channelCount());

    painter.fillRect(dirty, theme.gridBackground);
    const int first = std::max(0, truncated((dirty.top() - h) / h));
    const int last = std::min(std::min(rows, pattern.cells.rowCount()) - 1, truncated((dirty.bottom() - h) / h) + 1);
    if (last < first) return;

    // Made once per pass: fonts, their metrics and the colours every cell shares.
    const QFont cellFont = gridCellFont();
    const QFont smallFont = theme.monospaced(10);
    const QFontMetricsF cellMetrics(cellFont);
    const QFontMetricsF smallMetrics(smallFont);
    const QColor playShade = withOpacity(theme.green, 0.13);
    const QColor beatShade(255, 255, 255, 9);
    const QColor selectionFill = withOpacity(theme.accent, 0.1);
    const QColor cursorFill = withOpacity(theme.accent, 0.3);
    const QColor separator(255, 255, 255, 13);
    std::array<QColor, 8> trackColours;
    for (int i = 0; i < 8; ++i) trackColours[static_cast<std::size_t>(i)] = theme.trackColour(i);

    // Only the tracks that meet the dirty rectangle are drawn.
    const int firstTrack = std::clamp(truncated((dirty.left() - gutterWidth) / trackWidth), 0, std::max(channels - 1, 0));
    const int lastTrack = std::clamp(truncated((dirty.right() - gutterWidth) / trackWidth), 0, channels - 1);
    const double width = std::max(contentSize().width(), visible.right());
    const double cellAscent = cellMetrics.ascent();
    const double smallAscent = smallMetrics.ascent();
    const auto& selection = content_.selection;

    for (int r = first; r <= last; ++r) {
        const double y = h + h * r;
        if (playRow_ == r) painter.fillRect(QRectF(0, y, width, h), playShade);
        else if (r % 4 == 0) painter.fillRect(QRectF(0, y, width, h), beatShade);

        painter.setFont(smallFont);
        painter.setPen(r % 4 == 0 ? theme.secondaryLabel : theme.tertiaryLabel);
        painter.drawText(QPointF(8, y + 5 + smallAscent), hex2(r));

        painter.setFont(cellFont);
        for (int t = firstTrack; t <= lastTrack; ++t) {
            const double x = gutterWidth + trackWidth * t;
            if (selection && r >= selection->startRow && r <= selection->endRow && t >= selection->startTrack &&
                t <= selection->endTrack) {
                painter.fillRect(QRectF(x + 1, y + 1, 164, h - 2), selectionFill);
            }
            if (r == content_.selectedRow && t == content_.selectedTrack) {
                const ColumnBox column = columnBox(content_.selectedField);
                const QRectF box(x + column.offset, y + 2, column.width, content_.rowZoom * 24 - 4);
                painter.fillRect(box, cursorFill);
                painter.save();
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(QPen(theme.accent, 1));
                painter.setBrush(Qt::NoBrush);
                painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
                painter.restore();
            }
            const Cell& cell = pattern.cell(r, t);
            painter.setPen(cell.note ? trackColours[static_cast<std::size_t>(t % 8)] : theme.tertiaryLabel);
            painter.drawText(QPointF(x + cellTextInset, y + 4 + cellAscent), cellText(cell));
            painter.fillRect(QRectF(x, y, 1, h), separator);
        }
    }

    // The header band covers the top of whatever is visible, hiding the row under it; it scrolls
    // sideways with the tracks.
    painter.fillRect(QRectF(visible.left(), visible.top(), visible.width(), h), theme.gridHeader);
    painter.setFont(smallFont);
    // Each caption is centred over its column's text in the cells below; the track's name sits at the
    // band's right end, past the last column.
    std::array<double, columnCaptions.size()> captionLeft{};
    for (std::size_t i = 0; i < columnCaptions.size(); ++i) {
        const auto& caption = columnCaptions[i];
        const double centre = cellTextInset + (caption.firstCharacter + caption.characters / 2.0) * characterWidth_;
        captionLeft[i] = centre - smallMetrics.horizontalAdvance(caption.text) / 2;
    }
    const double captionBaseline = visible.top() + std::round((h - smallMetrics.height()) / 2) + smallAscent;
    for (int t = firstTrack; t <= lastTrack; ++t) {
        const double x = gutterWidth + trackWidth * t;
        const QColor colour = trackColours[static_cast<std::size_t>(t % 8)];
        painter.fillRect(QRectF(x, visible.top(), trackWidth, h), withOpacity(colour, 0.13));
        painter.setPen(colour);
        for (std::size_t i = 0; i < columnCaptions.size(); ++i)
            painter.drawText(QPointF(x + captionLeft[i], captionBaseline), columnCaptions[i].text);
        const QString name = QStringLiteral("T%1").arg(t + 1);
        painter.drawText(QPointF(x + trackWidth - 5 - smallMetrics.horizontalAdvance(name), captionBaseline), name);
        const float level = t < static_cast<int>(content_.meters.size()) ? content_.meters[static_cast<std::size_t>(t)] : 0.0f;
        const double barWidth = std::clamp(static_cast<double>(level), 0.0, 1.0) * 158;
        if (barWidth > 0) painter.fillRect(QRectF(x + 4, visible.top() + h - 2, barWidth, 2), withOpacity(colour, 0.9));
    }
}

void PatternGridView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPointF offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-offset);
    paintContent(painter, QRectF(event->rect()).translated(offset), visibleContentRect());
}

void PatternGridView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
}

void PatternGridView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    updateScrollRanges();
    reveal(playRow_ ? *playRow_ : content_.selectedRow);
}

QPointF PatternGridView::contentPoint(QPointF viewportPoint) const
{
    return viewportPoint + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void PatternGridView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return;
    const QPointF point = contentPoint(event->position());
    const double h = rowHeight();
    const QRectF visible = visibleContentRect();
    if (point.y() < h || point.x() < gutterWidth) return;
    if (point.y() >= visible.top() && point.y() < visible.top() + h) return; // the header as drawn
    if (!onSelect) return;
    const GridTarget hit = target(point);
    onSelect(hit.row, hit.track, hit.field, event->modifiers().testFlag(Qt::ShiftModifier));
}

void PatternGridView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !onSelect) return;
    const GridTarget hit = target(contentPoint(event->position()));
    onSelect(hit.row, hit.track, hit.field, true);
}

KeyPress PatternGridView::keyPress(const QKeyEvent& event)
{
    KeyPress press;
    const auto modifiers = event.modifiers();
    press.shift = modifiers.testFlag(Qt::ShiftModifier);
    press.command = modifiers.testFlag(Qt::ControlModifier);
    const int key = event.key();
    switch (key) {
    case Qt::Key_Backtab: press.key = Key::tab; press.shift = true; return press;
    case Qt::Key_Tab: press.key = Key::tab; return press;
    case Qt::Key_Space: press.key = Key::space; return press;
    case Qt::Key_Backspace: press.key = Key::backspace; return press;
    case Qt::Key_Delete: press.key = Key::forwardDelete; return press;
    case Qt::Key_Left: press.key = Key::left; return press;
    case Qt::Key_Right: press.key = Key::right; return press;
    case Qt::Key_Down: press.key = Key::down; return press;
    case Qt::Key_Up: press.key = Key::up; return press;
    default: break;
    }
    // What the key types without modifiers: letters in lower case, whatever Shift or Ctrl did to them.
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        press.text = std::string(1, static_cast<char>('a' + (key - Qt::Key_A)));
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9 && !press.shift) {
        press.text = std::string(1, static_cast<char>('0' + (key - Qt::Key_0)));
    } else {
        press.text = event.text().toStdString();
    }
    return press;
}

void PatternGridView::keyPressEvent(QKeyEvent* event)
{
    if (onKey) onKey(keyPress(*event));
    event->accept();
}

bool PatternGridView::event(QEvent* event)
{
    // Tab and Shift-Tab move between a cell's columns here, instead of moving the focus away.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

} // namespace veltrane
