#pragma once

// Small builders for the controls every bar of the window uses, so they look alike: captions in the
// monospaced face, icon buttons that keep their symbol name, grouped buttons, hairline dividers.

#include <QColor>
#include <QFont>
#include <QString>

class QHBoxLayout;
class QLabel;
class QToolButton;
class QWidget;
class QFrame;
class QPushButton;

namespace veltrane {

/// A label in the monospaced face.
QLabel* makeCaption(const QString& text, int pixelSize, QFont::Weight weight, QColor colour, QWidget* parent = nullptr);

/// A button showing only `symbol`, with `title` as its accessible name and `help` as its tooltip (the
/// title when empty).
QToolButton* makeIconButton(const QString& symbol, const QString& title, const QString& help = {},
                            QWidget* parent = nullptr);

/// A button showing `text`.
QToolButton* makeTextButton(const QString& text, QWidget* parent = nullptr);

/// A row of buttons drawn as one joined control.
QWidget* makeControlGroup(std::initializer_list<QToolButton*> buttons, QWidget* parent = nullptr);

/// A vertical hairline `height` tall.
QFrame* makeDivider(int height, QWidget* parent = nullptr);

/// A flat button that reads as a web link: `text` in the link colour, underlined while hovered.
QPushButton* makeLinkButton(const QString& text, const QFont& font, QWidget* parent = nullptr);

/// Draws `widget`'s text in `colour`.
void setTextColour(QWidget* widget, QColor colour);

/// Paints `widget`'s background in `colour`.
void fillBackground(QWidget* widget, QColor colour);

/// The style sheet of the bars' buttons: flat until hovered, accent-tinted while checked.
QString barButtonStyle();

} // namespace veltrane
