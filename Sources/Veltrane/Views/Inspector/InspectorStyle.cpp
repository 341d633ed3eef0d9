#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFontDatabase>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOption>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <utility>

namespace veltrane::inspector {

namespace {

QColor blended(const QColor& foreground, const QColor& background, double amount)
{
    return QColor::fromRgbF(static_cast<float>(foreground.redF() * amount + background.redF() * (1 - amount)),
                            static_cast<float>(foreground.greenF() * amount + background.greenF() * (1 - amount)),
                            static_cast<float>(foreground.blueF() * amount + background.blueF() * (1 - amount)));
}

class WheelPassOn final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Wheel || !widget || widget->hasFocus() || !widget->parentWidget()) return false;
        QCoreApplication::sendEvent(widget->parentWidget(), event);
        return true;
    }
};

// The window style draws a check box's box in shades of the dark background, which leaves it nearly
// invisible; this draws the box itself and leaves everything else to the window style.
class CheckBoxStyle final : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_IndicatorCheckBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const bool enabled = option->state & State_Enabled;
        const bool on = option->state & (State_On | State_NoChange);
        const QPalette& palette = option->palette;
        QColor rim = palette.color(QPalette::WindowText);
        rim.setAlphaF(option->state & State_MouseOver ? 0.8F : 0.55F);
        QColor fill = on ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base);
        if (!enabled) {
            rim.setAlphaF(0.25F);
            fill.setAlphaF(0.4F);
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
        painter->setPen(on ? QPen(Qt::NoPen) : QPen(rim, 1));
        painter->setBrush(fill);
        painter->drawRoundedRect(box, 3, 3);
        if (option->state & State_On) {
            QPen tick(palette.color(QPalette::HighlightedText), std::max(1.5, box.width() / 7));
            tick.setCapStyle(Qt::RoundCap);
            tick.setJoinStyle(Qt::RoundJoin);
            painter->setPen(tick);
            const auto at = [&](double x, double y) { return QPointF(box.left() + box.width() * x, box.top() + box.height() * y); };
            painter->drawPolyline(QPolygonF({at(0.25, 0.52), at(0.43, 0.7), at(0.76, 0.3)}));
        } else if (option->state & State_NoChange) {
            painter->setPen(QPen(palette.color(QPalette::HighlightedText), 1.5));
            painter->drawLine(QPointF(box.left() + 3, box.center().y()), QPointF(box.right() - 3, box.center().y()));
        }
        painter->restore();
    }
};

// The window style draws a checked push button a shade darker than an unchecked one, which on the dark
// inspector cannot be told apart; a button that is on is drawn filled with the accent colour instead.
class ToggleButtonStyle final : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_PanelButtonCommand || !(option->state & State_On)) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        QColor fill = option->palette.color(QPalette::Highlight);
        if (!(option->state & State_Enabled)) fill.setAlphaF(0.4F);
        else if (option->state & State_Sunken) fill = fill.darker(115);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        painter->restore();
    }
};

// One style object of each kind, shared by every widget that uses it and owned by the application.
template <typename Style>
QStyle* sharedStyle()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new Style;
        style->setParent(qApp);
    }
    return style;
}

} // namespace

QColor secondaryTextColor(const QWidget& widget)
{
    // Two thirds of the way from the background keeps a contrast above 4.5:1 on the usual light and dark
    // palettes while still reading as secondary.
    const auto& palette = widget.palette();
    return blended(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.66);
}

QFont captionFont(const QWidget& widget, double scale)
{
    QFont font = widget.font();
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * scale);
    else font.setPixelSize(std::max(8, static_cast<int>(std::lround(font.pixelSize() * scale))));
    return font;
}

QFont monospacedFont(const QFont& base)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (base.pointSizeF() > 0) font.setPointSizeF(base.pointSizeF());
    else font.setPixelSize(base.pixelSize());
    font.setWeight(base.weight());
    return font;
}

QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = monospacedFont(captionFont(*label));
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(*label));
    label->setPalette(palette);
    // Flush left with the controls of the section, so the heading and its controls read as one column.
    label->setContentsMargins(0, 10, 0, 0);
    label->setAccessibleName(text);
    return label;
}

QLabel* captionLabel(const QString& text, QWidget* parent, bool monospaced)
{
    auto* label = new QLabel(text, parent);
    QFont font = captionFont(*label);
    label->setFont(monospaced ? monospacedFont(font) : font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(*label));
    label->setPalette(palette);
    return label;
}

QToolButton* addMenuButton(const QString& title, QMenu* menu, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setAccessibleName(title);
    setSymbol(button, QStringLiteral("plus"));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setMenu(menu);
    // The style's small menu arrow would sit on the last letter of the title.
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    return button;
}

QCheckBox* checkBox(const QString& title, QWidget* parent)
{
    auto* box = new QCheckBox(QString(title).replace(QLatin1Char('&'), QStringLiteral("&&")), parent);
    box->setAccessibleName(title);
    box->setFocusPolicy(Qt::StrongFocus);
    box->setStyle(sharedStyle<CheckBoxStyle>());
    return box;
}

void makeToggle(QPushButton* button)
{
    button->setCheckable(true);
    button->setStyle(sharedStyle<ToggleButtonStyle>());
}

SymbolView::SymbolView(QString symbol, QColor colour, int size, QWidget* parent)
    : QWidget(parent)
    , symbol_(std::move(symbol))
    , colour_(colour)
{
    setFixedSize(size, size);
    setProperty(symbolProperty, symbol_);
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintSymbol(painter, QRectF(rect()), symbol_, colour_.isValid() ? colour_ : palette().color(QPalette::WindowText));
}

SymbolView* warningSign(int size, QWidget* parent)
{
    return new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), Theme::current().orange, size, parent);
}

QFormLayout* labelledRow(const QString& title, QWidget* field, QWidget* parent)
{
    auto* row = new QFormLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    row->setRowWrapPolicy(QFormLayout::WrapLongRows);
    auto* label = new QLabel(title, parent);
    label->setBuddy(field);
    row->addRow(label, field);
    return row;
}

void shrinkToText(QPushButton* button)
{
    const int padding = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) + 8;
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + padding);
}

void fitToText(QPushButton* button)
{
    shrinkToText(button);
    button->setMaximumWidth(button->minimumWidth());
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, blended(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.2));
    line->setPalette(palette);
    return line;
}

RoundedBox::RoundedBox(double fillOpacity, QWidget* parent, double cornerRadius)
    : QFrame(parent)
    , fillOpacity_(fillOpacity)
    , cornerRadius_(cornerRadius)
{
}

void RoundedBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(static_cast<float>(fillOpacity_));
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    painter.fillPath(path, fill);
    QFrame::paintEvent(event);
}

QString formatValue(double value) { return QLocale().toString(value, 'f', 2); }

QString qString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString capitalised(std::string_view caseName)
{
    QString text = qString(caseName);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

QString hex2(int value) { return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper(); }

int roundedToInt(double value) { return static_cast<int>(std::lround(value)); }

void passWheelUnlessFocused(QWidget* control)
{
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new WheelPassOn(control));
}

} // namespace veltrane::inspector
