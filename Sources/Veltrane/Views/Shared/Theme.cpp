#include "Veltrane/Views/Shared/Theme.hpp"

#include <QFontDatabase>

namespace veltrane {

QColor Theme::trackColour(int track) const
{
    const auto count = static_cast<int>(trackColours.size());
    return trackColours[static_cast<std::size_t>(((track % count) + count) % count)];
}

QFont Theme::monospaced(int pixelSize, QFont::Weight weight) const
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont Theme::interface(int pixelSize, QFont::Weight weight) const
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QPalette Theme::palette() const
{
    QPalette p;
    p.setColor(QPalette::Window, sideBackground);
    p.setColor(QPalette::WindowText, label);
    p.setColor(QPalette::Base, QColor(20, 20, 22));
    p.setColor(QPalette::AlternateBase, panelBackground);
    p.setColor(QPalette::Text, label);
    p.setColor(QPalette::PlaceholderText, tertiaryLabel);
    p.setColor(QPalette::Button, QColor(52, 52, 56));
    p.setColor(QPalette::ButtonText, label);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(44, 44, 48));
    p.setColor(QPalette::ToolTipText, label);
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(58, 58, 62));
    p.setColor(QPalette::Mid, QColor(44, 44, 48));
    p.setColor(QPalette::Dark, QColor(16, 16, 18));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Link, accent);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, tertiaryLabel);
    return p;
}

const Theme& Theme::current()
{
    static const Theme theme;
    return theme;
}

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(opacity));
    return colour;
}

} // namespace veltrane
