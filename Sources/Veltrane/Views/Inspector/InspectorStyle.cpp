#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include "Veltrane/Views/Inspector/InspectorIcons.hpp"

#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>

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
    label->setContentsMargins(10, 10, 10, 0);
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
    button->setIcon(symbolIcon(Symbol::plus));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setMenu(menu);
    // The style's small menu arrow would sit on the last letter of the title.
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    return button;
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

RoundedBox::RoundedBox(double fillOpacity, QWidget* parent)
    : QFrame(parent)
    , fillOpacity_(fillOpacity)
{
}

void RoundedBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(static_cast<float>(fillOpacity_));
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 8, 8);
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
