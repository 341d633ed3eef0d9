#include "Veltrane/Views/Inspector/InspectorIcons.hpp"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>


namespace veltrane::inspector {

namespace {

// Each symbol is drawn on a 24 × 24 grid, scaled into the requested rectangle.
void drawSymbol(QPainter& p, Symbol symbol, const QColor& color)
{
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
    case Symbol::cellGrid:
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column) p.drawRoundedRect(QRectF(3.5 + column * 6, 3.5 + row * 6, 5, 5), 1, 1);
        break;
    case Symbol::pianoKeys:
        p.drawRoundedRect(QRectF(3, 4, 18, 16), 2, 2);
        for (int key = 1; key < 4; ++key) p.drawLine(QPointF(3 + key * 4.5, 12), QPointF(3 + key * 4.5, 20));
        p.setBrush(color);
        for (int key = 1; key < 4; ++key) p.drawRect(QRectF(3 + key * 4.5 - 1.3, 4, 2.6, 8));
        break;
    case Symbol::waveform: {
        const double heights[] = {4, 9, 14, 7, 16, 10, 5, 12, 6};
        for (int bar = 0; bar < 9; ++bar) {
            const double x = 3 + bar * 2.25;
            p.drawLine(QPointF(x, 12 - heights[bar] / 2), QPointF(x, 12 + heights[bar] / 2));
        }
        break;
    }
    case Symbol::sliders: {
        const double knobs[] = {15, 8, 13};
        for (int line = 0; line < 3; ++line) {
            const double y = 6 + line * 6;
            p.drawLine(QPointF(3, y), QPointF(21, y));
            p.save();
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.setBrush(Qt::black);
            p.drawEllipse(QPointF(knobs[line], y), 2.6, 2.6);
            p.restore();
            p.drawEllipse(QPointF(knobs[line], y), 2.2, 2.2);
        }
        break;
    }
    case Symbol::modulation: {
        const QPointF a(5, 18), b(12, 6), c(19, 17);
        QPen dotted = pen;
        dotted.setStyle(Qt::DotLine);
        p.setPen(dotted);
        p.drawLine(a, b);
        p.drawLine(b, c);
        p.drawLine(c, a);
        p.setPen(pen);
        p.setBrush(color);
        for (const auto& point : {a, b, c}) p.drawEllipse(point, 2.6, 2.6);
        break;
    }
    case Symbol::tools: {
        // A screwdriver from top left to bottom right, a wrench across it.
        p.drawLine(QPointF(5, 5), QPointF(13, 13));
        QPen handle = pen;
        handle.setWidthF(4);
        p.setPen(handle);
        p.drawLine(QPointF(14.5, 14.5), QPointF(19.5, 19.5));
        p.setPen(pen);
        p.drawLine(QPointF(6, 19), QPointF(14, 11));
        p.drawArc(QRectF(13, 4, 8, 8), 200 * 16, 260 * 16);
        break;
    }
    case Symbol::speaker: {
        QPainterPath body;
        body.moveTo(3, 9.5);
        body.lineTo(6.5, 9.5);
        body.lineTo(11, 5);
        body.lineTo(11, 19);
        body.lineTo(6.5, 14.5);
        body.lineTo(3, 14.5);
        body.closeSubpath();
        p.setBrush(color);
        p.drawPath(body);
        p.setBrush(Qt::NoBrush);
        for (int wave = 0; wave < 3; ++wave) {
            const double radius = 3 + wave * 3;
            p.drawArc(QRectF(11 - radius, 12 - radius, 2 * radius, 2 * radius), -45 * 16, 90 * 16);
        }
        break;
    }
    case Symbol::plus:
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        break;
    case Symbol::removeCircle: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(pen);
        p.drawLine(QPointF(8.5, 8.5), QPointF(15.5, 15.5));
        p.drawLine(QPointF(15.5, 8.5), QPointF(8.5, 15.5));
        break;
    }
    case Symbol::deleteLeft: {
        QPainterPath key;
        key.moveTo(9, 5);
        key.lineTo(20, 5);
        key.lineTo(20, 19);
        key.lineTo(9, 19);
        key.lineTo(3, 12);
        key.closeSubpath();
        p.drawPath(key);
        p.drawLine(QPointF(11, 9), QPointF(17, 15));
        p.drawLine(QPointF(17, 9), QPointF(11, 15));
        break;
    }
    case Symbol::warning: {
        QPainterPath triangle;
        triangle.moveTo(12, 3);
        triangle.lineTo(22, 20.5);
        triangle.lineTo(2, 20.5);
        triangle.closeSubpath();
        p.setBrush(color);
        p.drawPath(triangle);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.drawLine(QPointF(12, 9), QPointF(12, 14));
        p.drawPoint(QPointF(12, 17.5));
        break;
    }
    case Symbol::sineWave: {
        QPainterPath wave;
        wave.moveTo(2, 12);
        wave.cubicTo(5, 2, 9, 2, 12, 12);
        wave.cubicTo(15, 22, 19, 22, 22, 12);
        p.drawPath(wave);
        break;
    }
    case Symbol::envelope: {
        QPainterPath line;
        line.moveTo(2, 20);
        line.lineTo(7, 4);
        line.lineTo(11, 11);
        line.lineTo(17, 11);
        line.lineTo(22, 20);
        p.drawPath(line);
        break;
    }
    case Symbol::dial:
        p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
        p.drawLine(QPointF(12, 12), QPointF(16.5, 7.5));
        break;
    case Symbol::routeArrow: {
        QPainterPath arrow;
        arrow.moveTo(6, 4);
        arrow.lineTo(6, 15);
        arrow.lineTo(19, 15);
        p.drawPath(arrow);
        p.drawLine(QPointF(15, 11), QPointF(19, 15));
        p.drawLine(QPointF(15, 19), QPointF(19, 15));
        break;
    }
    case Symbol::trash: {
        p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
        p.drawLine(QPointF(9.5, 6.5), QPointF(10, 3.5));
        p.drawLine(QPointF(10, 3.5), QPointF(14, 3.5));
        p.drawLine(QPointF(14, 3.5), QPointF(14.5, 6.5));
        QPainterPath can;
        can.moveTo(6, 6.5);
        can.lineTo(7, 20.5);
        can.lineTo(17, 20.5);
        can.lineTo(18, 6.5);
        p.drawPath(can);
        p.drawLine(QPointF(10, 10), QPointF(10, 17));
        p.drawLine(QPointF(14, 10), QPointF(14, 17));
        break;
    }
    }
}

class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(Symbol symbol, std::optional<QColor> tint)
        : symbol_(symbol)
        , tint_(tint)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        // Drawn at the device's pixel density so the symbol stays sharp on HiDPI screens, on a transparent
        // layer of its own, since some symbols cut their details out of a filled shape.
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        const QPalette palette = QApplication::palette();
        QColor color = tint_.value_or(palette.color(QPalette::ButtonText));
        if (mode == QIcon::Disabled) color = palette.color(QPalette::Disabled, QPalette::ButtonText);
        const double side = std::min(size.width(), size.height());
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate((size.width() - side) / 2, (size.height() - side) / 2);
        painter.scale(side / 24, side / 24);
        drawSymbol(painter, symbol_, color);
        return pixmap;
    }

    QIconEngine* clone() const override { return new SymbolEngine(symbol_, tint_); }

private:
    Symbol symbol_;
    std::optional<QColor> tint_;
};

} // namespace

QIcon symbolIcon(Symbol symbol, std::optional<QColor> tint) { return QIcon(new SymbolEngine(symbol, tint)); }

} // namespace veltrane::inspector
