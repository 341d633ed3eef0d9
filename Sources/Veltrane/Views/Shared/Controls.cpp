#include "Veltrane/Views/Shared/Controls.hpp"

#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace veltrane {

QLabel* makeCaption(const QString& text, int pixelSize, QFont::Weight weight, QColor colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::current().monospaced(pixelSize, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QToolButton* makeIconButton(const QString& symbol, const QString& title, const QString& help, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    setSymbol(button, symbol);
    button->setText(title);
    button->setAccessibleName(title);
    button->setToolTip(help.isEmpty() ? title : help);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(15, 15));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QToolButton* makeTextButton(const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFont(Theme::current().monospaced(11, QFont::Medium));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QWidget* makeControlGroup(std::initializer_list<QToolButton*> buttons, QWidget* parent)
{
    auto* group = new QWidget(parent);
    group->setObjectName(QStringLiteral("controlGroup"));
    group->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(1);
    for (auto* button : buttons) {
        button->setParent(group);
        layout->addWidget(button);
    }
    return group;
}

QFrame* makeDivider(int height, QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedSize(1, height);
    line->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 36);"));
    return line;
}

QPushButton* makeLinkButton(const QString& text, const QFont& font, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setFont(font);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    button->setStyleSheet(QStringLiteral("QPushButton { color: rgb(64, 156, 255); border: none; padding: 2px 0px; text-align: left; }"
                                         "QPushButton:hover { text-decoration: underline; }"));
    return button;
}

void setTextColour(QWidget* widget, QColor colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void fillBackground(QWidget* widget, QColor colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

QString barButtonStyle()
{
    return QStringLiteral(
        "#controlGroup { background: rgba(255, 255, 255, 16); border-radius: 6px; }"
        "QToolButton { background: transparent; border: none; border-radius: 5px; padding: 3px 6px;"
        "  color: rgb(235, 235, 240); min-height: 18px; }"
        "QToolButton:hover { background: rgba(255, 255, 255, 26); }"
        "QToolButton:pressed { background: rgba(255, 255, 255, 46); }"
        "QToolButton:checked { background: rgba(10, 132, 255, 90); }"
        "QToolButton:disabled { color: rgba(235, 235, 245, 70); }");
}

} // namespace veltrane
