#pragma once

// The inspector's shared look: section headings, dividers, the rounded boxes of effect slots and locks,
// the secondary text colour and the number formats every tab uses.

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QString>

#include <string_view>

class QCheckBox;
class QFormLayout;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;

namespace veltrane::inspector {

/// Space between the items of a tab, and the inset of the scrolling panel.
inline constexpr int itemSpacing = 14;

/// Text that stays readable but steps back from the titles: the window text blended into its background.
QColor secondaryTextColor(const QWidget& widget);

/// A smaller font for captions, scaled from the widget's own so it follows the user's font size.
QFont captionFont(const QWidget& widget, double scale = 0.85);
/// A fixed-pitch font at `base`'s size, for numbers whose digits must line up as they change.
QFont monospacedFont(const QFont& base);

/// An upper-case heading in the caption size, fixed pitch, bold and secondary, 10 points below what is
/// above it and flush with the controls under it.
QLabel* sectionTitle(const QString& text, QWidget* parent = nullptr);
/// A label in the caption font and the secondary colour.
QLabel* captionLabel(const QString& text, QWidget* parent = nullptr, bool monospaced = false);
/// A button with a plus symbol and `title` that opens `menu` when pressed.
QToolButton* addMenuButton(const QString& title, QMenu* menu, QWidget* parent);
/// A check box whose box stands out on the dark inspector: a light rim when off, the accent colour with a
/// white tick when on. `title` is shown as it stands: a lone "&" is doubled so it underlines nothing.
QCheckBox* checkBox(const QString& title, QWidget* parent = nullptr);
/// Makes `button` a toggle that shows when it is on: filled with the accent colour, where the window
/// style's own checked look is hard to tell from off on the dark inspector.
void makeToggle(QPushButton* button);
/// A symbol shown on its own (not on a button), drawn at the screen's pixel density each time it is
/// painted, so it stays sharp on every screen it is moved to.
class SymbolView : public QWidget {
public:
    SymbolView(QString symbol, QColor colour, int size, QWidget* parent = nullptr);
    QString symbol() const { return symbol_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QColor colour_;
};
/// The orange warning triangle, `size` points square.
SymbolView* warningSign(int size, QWidget* parent = nullptr);

/// `field` with the label `title` (its buddy) on its left, or above it when the column is too narrow for
/// both on one line.
QFormLayout* labelledRow(const QString& title, QWidget* field, QWidget* parent);

/// Lets a push button narrow down to its text when its row runs short of room; the style would keep
/// every text button at least 80 points wide, which pushes a row of three past a narrow column.
void shrinkToText(QPushButton* button);
/// Keeps a push button as wide as its text, for rows of small buttons.
void fitToText(QPushButton* button);

/// A thin horizontal line between groups.
QFrame* divider(QWidget* parent = nullptr);

/// A group drawn on a rounded rectangle (corner radius 8 unless given) filled with the window text
/// colour at a low opacity, so it reads on light and dark themes alike.
class RoundedBox : public QFrame {
public:
    explicit RoundedBox(double fillOpacity, QWidget* parent = nullptr, double cornerRadius = 8);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fillOpacity_;
    double cornerRadius_;
};

/// `value` with exactly two fraction digits and the grouping and decimal separators of the current
/// locale: 0.5 → "0.50", 18000 → "18,000.00" in English.
QString formatValue(double value);
/// UTF-8 text as a QString.
QString qString(std::string_view text);
/// A case name with its first letter in upper case: "sine" → "Sine".
QString capitalised(std::string_view caseName);
/// Two or more upper-case hexadecimal digits: 10 → "0A".
QString hex2(int value);
/// Halves away from zero, as every control that stores a whole number rounds.
int roundedToInt(double value);

/// Lets the wheel scroll the inspector instead of changing a slider, a picker or a spin box that the
/// pointer merely passes over; a control with the keyboard focus still takes the wheel.
void passWheelUnlessFocused(QWidget* control);

} // namespace veltrane::inspector
