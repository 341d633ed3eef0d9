#include "Veltrane/Views/Shared/SymbolIcon.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"

#include <QAbstractButton>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>
#include <map>
#include <numbers>

namespace veltrane {

namespace {

// Every drawing works in a 16 × 16 box; the painter is scaled to the requested size.
using Drawing = std::function<void(QPainter&, const QColor&)>;

QPen stroke(const QColor& colour, double width = 1.5)
{
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void magnifier(QPainter& p, const QColor& c, bool plus)
{
    p.setPen(stroke(c));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2, 2, 9, 9));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
    p.drawLine(QPointF(4.5, 6.5), QPointF(8.5, 6.5));
    if (plus) p.drawLine(QPointF(6.5, 4.5), QPointF(6.5, 8.5));
}

void keys(QPainter& p, const QColor& c, bool inverse)
{
    p.setPen(stroke(c, 1.2));
    p.setBrush(inverse ? QBrush(c) : Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 3, 13, 10), 1.5, 1.5);
    p.setPen(stroke(inverse ? QColor(0, 0, 0, 200) : c, 1.2));
    for (double x : {5.0, 8.0, 11.0}) p.drawLine(QPointF(x, 3.5), QPointF(x, 12.5));
    p.setPen(Qt::NoPen);
    p.setBrush(inverse ? QColor(0, 0, 0, 200) : c);
    for (double x : {3.8, 6.8, 9.8}) p.drawRect(QRectF(x, 3, 2.4, 5.5));
}

void arrow(QPainter& p, const QColor& c, bool up)
{
    p.setPen(stroke(c, 1.6));
    p.setBrush(Qt::NoBrush);
    const double tip = up ? 2.5 : 13.5, tail = up ? 13.5 : 2.5, wing = up ? 7 : 9;
    p.drawLine(QPointF(8, tip), QPointF(8, tail));
    p.drawLine(QPointF(8, tip), QPointF(3.5, wing));
    p.drawLine(QPointF(8, tip), QPointF(12.5, wing));
}

void uturn(QPainter& p, const QColor& c, bool back)
{
    p.save();
    if (!back) {
        p.translate(16, 0);
        p.scale(-1, 1);
    }
    p.setPen(stroke(c, 1.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath path(QPointF(4, 6));
    path.lineTo(QPointF(10, 6));
    path.arcTo(QRectF(6.5, 6, 7, 7), 90, -180);
    path.lineTo(QPointF(5, 13));
    p.drawPath(path);
    p.drawLine(QPointF(4, 6), QPointF(7, 3));
    p.drawLine(QPointF(4, 6), QPointF(7, 9));
    p.restore();
}

void ecgRectangle(QPainter& p, const QColor& c, bool filled)
{
    p.setPen(stroke(c, 1.2));
    p.setBrush(filled ? QBrush(withOpacity(c, 0.35)) : Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2.5, 2.5);
    QPainterPath pulse(QPointF(3, 8));
    pulse.lineTo(5.5, 8);
    pulse.lineTo(7, 5);
    pulse.lineTo(9, 11);
    pulse.lineTo(10.5, 8);
    pulse.lineTo(13, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(c, 1.3));
    p.drawPath(pulse);
}

void record(QPainter& p, const QColor& c, bool filled)
{
    p.setPen(stroke(c, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QRectF(filled ? 3.5 : 4.5, filled ? 3.5 : 4.5, filled ? 9 : 7, filled ? 9 : 7));
}

// Drawings made on a 24 × 24 grid: scaled into the 16 × 16 box, with the pen widths given on that grid.
void onGrid24(QPainter& p, const std::function<void()>& draw)
{
    p.save();
    p.scale(16.0 / 24.0, 16.0 / 24.0);
    draw();
    p.restore();
}

// A filled shape with `cut` (a stroked line drawing) taken out of it, so the detail shows whatever lies
// behind the icon, on any background.
void fillWithCutOut(QPainter& p, const QColor& c, const QPainterPath& shape, const QPainterPath& cut, double cutWidth)
{
    QPainterPathStroker stroker;
    stroker.setWidth(cutWidth);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(shape.subtracted(stroker.createStroke(cut)));
}

void removeCircle(QPainter& p, const QColor& c)
{
    onGrid24(p, [&] {
        QPainterPath circle;
        circle.addEllipse(QPointF(12, 12), 9, 9);
        QPainterPath cross(QPointF(8.5, 8.5));
        cross.lineTo(15.5, 15.5);
        cross.moveTo(15.5, 8.5);
        cross.lineTo(8.5, 15.5);
        fillWithCutOut(p, c, circle, cross, 1.8);
    });
}

void warningTriangle(QPainter& p, const QColor& c)
{
    onGrid24(p, [&] {
        QPainterPath triangle(QPointF(12, 3));
        triangle.lineTo(22, 20.5);
        triangle.lineTo(2, 20.5);
        triangle.closeSubpath();
        QPainterPath mark(QPointF(12, 9));
        mark.lineTo(12, 14);
        mark.moveTo(12, 17.4);
        mark.lineTo(12, 17.6);
        fillWithCutOut(p, c, triangle, mark, 2);
    });
}

void flag(QPainter& p, const QColor& c, bool filled)
{
    p.setPen(stroke(c, 1.3));
    p.setBrush(filled ? QBrush(c) : Qt::NoBrush);
    QPainterPath cloth(QPointF(3.5, 2.5));
    cloth.cubicTo(QPointF(6.5, 1), QPointF(9, 4), QPointF(13, 2.5));
    cloth.lineTo(13, 9);
    cloth.cubicTo(QPointF(9, 10.5), QPointF(6.5, 7.5), QPointF(3.5, 9));
    cloth.closeSubpath();
    p.drawPath(cloth);
    p.drawLine(QPointF(3.5, 2.5), QPointF(3.5, 14.5));
}

void numberedDisc(QPainter& p, const QColor& c, int number)
{
    QPainterPath disc;
    disc.addEllipse(QRectF(0.5, 0.5, 15, 15));
    // The digit is taken out of the disc, so it shows whatever lies behind the icon.
    QPainterPath digit;
    const QFont font = Theme::current().interface(11, QFont::Bold);
    digit.addText(0, 0, font, QString::number(number));
    digit.translate(QPointF(8, 8) - digit.boundingRect().center());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(disc.subtracted(digit));
}

void star(QPainter& p, const QColor& c, bool filled)
{
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const double radius = i % 2 == 0 ? 6.8 : 2.9;
        points << QPointF(8 + radius * std::cos(angle), 8.6 + radius * std::sin(angle));
    }
    p.setPen(stroke(c, 1.2));
    p.setBrush(filled ? QBrush(c) : Qt::NoBrush);
    p.drawPolygon(points);
}

const std::map<QString, Drawing>& drawings()
{
    static const std::map<QString, Drawing> table{
        {"play.fill", [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
         }},
        {"stop.fill", [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
         }},
        {"record.circle", [](QPainter& p, const QColor& c) { record(p, c, false); }},
        {"record.circle.fill", [](QPainter& p, const QColor& c) { record(p, c, true); }},
        {"metronome", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawPolygon(QPolygonF({QPointF(6, 2), QPointF(10, 2), QPointF(13.5, 14), QPointF(2.5, 14)}));
             p.drawLine(QPointF(8, 11), QPointF(12, 4));
             p.drawLine(QPointF(4, 11), QPointF(12, 11));
         }},
        {"timer", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.4));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(2, 3, 12, 12));
             p.drawLine(QPointF(8, 9), QPointF(8, 5.5));
             p.drawLine(QPointF(8, 9), QPointF(10.5, 10.5));
             p.drawLine(QPointF(6.5, 1.5), QPointF(9.5, 1.5));
         }},
        {"pianokeys", [](QPainter& p, const QColor& c) { keys(p, c, false); }},
        {"pianokeys.inverse", [](QPainter& p, const QColor& c) { keys(p, c, true); }},
        {"repeat", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.4));
             p.setBrush(Qt::NoBrush);
             p.drawLine(QPointF(3, 8), QPointF(3, 6));
             p.drawArc(QRectF(3, 3, 6, 6), 180 * 16, -90 * 16);
             p.drawLine(QPointF(6, 3), QPointF(12.5, 3));
             p.drawLine(QPointF(12.5, 3), QPointF(10.5, 1));
             p.drawLine(QPointF(12.5, 3), QPointF(10.5, 5));
             p.drawLine(QPointF(13, 8), QPointF(13, 10));
             p.drawArc(QRectF(7, 7, 6, 6), 0, -90 * 16);
             p.drawLine(QPointF(10, 13), QPointF(3.5, 13));
             p.drawLine(QPointF(3.5, 13), QPointF(5.5, 11));
             p.drawLine(QPointF(3.5, 13), QPointF(5.5, 15));
         }},
        {"doc.on.doc", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(5, 1.5, 8.5, 10.5), 1.5, 1.5);
             p.drawRoundedRect(QRectF(2.5, 4, 8.5, 10.5), 1.5, 1.5);
         }},
        {"doc.on.clipboard", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12), 1.5, 1.5);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(5.5, 1, 5, 3), 1, 1);
             p.drawLine(QPointF(5, 8), QPointF(11, 8));
             p.drawLine(QPointF(5, 11), QPointF(9.5, 11));
         }},
        {"arrow.up", [](QPainter& p, const QColor& c) { arrow(p, c, true); }},
        {"arrow.down", [](QPainter& p, const QColor& c) { arrow(p, c, false); }},
        {"arrow.uturn.backward", [](QPainter& p, const QColor& c) { uturn(p, c, true); }},
        {"arrow.uturn.forward", [](QPainter& p, const QColor& c) { uturn(p, c, false); }},
        {"chart.line.uptrend.xyaxis", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawLine(QPointF(2, 2), QPointF(2, 14));
             p.drawLine(QPointF(2, 14), QPointF(14, 14));
             p.drawPolyline(QPolygonF({QPointF(4, 11), QPointF(7, 8), QPointF(9.5, 9.5), QPointF(13.5, 4)}));
         }},
        {"waveform.path.ecg.rectangle", [](QPainter& p, const QColor& c) { ecgRectangle(p, c, false); }},
        {"waveform.path.ecg.rectangle.fill", [](QPainter& p, const QColor& c) { ecgRectangle(p, c, true); }},
        {"minus.magnifyingglass", [](QPainter& p, const QColor& c) { magnifier(p, c, false); }},
        {"plus.magnifyingglass", [](QPainter& p, const QColor& c) { magnifier(p, c, true); }},
        {"square.grid.3x3.fill", [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             for (int y = 0; y < 3; ++y)
                 for (int x = 0; x < 3; ++x) p.drawRoundedRect(QRectF(1.5 + x * 4.6, 1.5 + y * 4.6, 3.8, 3.8), 0.8, 0.8);
         }},
        {"point.topleft.down.to.point.bottomright.curvepath", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             QPainterPath path(QPointF(3.5, 3.5));
             path.cubicTo(QPointF(14, 3.5), QPointF(2, 12.5), QPointF(12.5, 12.5));
             p.drawPath(path);
             p.setBrush(c);
             p.drawEllipse(QPointF(3.5, 3.5), 1.8, 1.8);
             p.drawEllipse(QPointF(12.5, 12.5), 1.8, 1.8);
         }},
        {"folder", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             QPainterPath path(QPointF(1.5, 4));
             path.lineTo(6, 4);
             path.lineTo(7.5, 5.5);
             path.lineTo(14.5, 5.5);
             path.lineTo(14.5, 13.5);
             path.lineTo(1.5, 13.5);
             path.closeSubpath();
             p.drawPath(path);
         }},
        {"square.and.arrow.down", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(QPolygonF({QPointF(5, 6), QPointF(2.5, 6), QPointF(2.5, 14.5), QPointF(13.5, 14.5),
                                       QPointF(13.5, 6), QPointF(11, 6)}));
             p.drawLine(QPointF(8, 1.5), QPointF(8, 10.5));
             p.drawLine(QPointF(8, 10.5), QPointF(5.5, 8));
             p.drawLine(QPointF(8, 10.5), QPointF(10.5, 8));
         }},
        {"play.circle.fill", [](QPainter& p, const QColor& c) {
             onGrid24(p, [&] {
                 QPainterPath circle;
                 circle.addEllipse(QPointF(12, 12), 10, 10);
                 QPainterPath triangle(QPointF(9.5, 7.5));
                 triangle.lineTo(16.5, 12);
                 triangle.lineTo(9.5, 16.5);
                 triangle.closeSubpath();
                 p.setPen(Qt::NoPen);
                 p.setBrush(c);
                 p.drawPath(circle.subtracted(triangle));
             });
         }},
        {"star", [](QPainter& p, const QColor& c) { star(p, c, false); }},
        {"star.fill", [](QPainter& p, const QColor& c) { star(p, c, true); }},
        {"magnifyingglass", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(2, 2, 9, 9));
             p.drawLine(QPointF(10, 10), QPointF(14, 14));
         }},
        {"mic.circle", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(1, 1, 14, 14));
             p.drawRoundedRect(QRectF(6.5, 3.8, 3, 5.6), 1.5, 1.5);
             p.drawArc(QRectF(5, 5.5, 6, 5.5), 200 * 16, 140 * 16);
             p.drawLine(QPointF(8, 11), QPointF(8, 12.6));
         }},
        {"stop.circle.fill", [](QPainter& p, const QColor& c) {
             QPainterPath circle;
             circle.addEllipse(QRectF(1, 1, 14, 14));
             QPainterPath square;
             square.addRoundedRect(QRectF(5.5, 5.5, 5, 5), 1, 1);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(circle.subtracted(square));
         }},
        {"waveform", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.4));
             const double heights[] = {3, 7, 11, 6, 9, 4, 2};
             for (int i = 0; i < 7; ++i) {
                 const double x = 2 + i * 2;
                 p.drawLine(QPointF(x, 8 - heights[i] / 2), QPointF(x, 8 + heights[i] / 2));
             }
         }},
        {"square.stack.3d.up", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawPolygon(QPolygonF({QPointF(8, 1.5), QPointF(14, 4.5), QPointF(8, 7.5), QPointF(2, 4.5)}));
             p.drawPolyline(QPolygonF({QPointF(2, 8), QPointF(8, 11), QPointF(14, 8)}));
             p.drawPolyline(QPolygonF({QPointF(2, 11.5), QPointF(8, 14.5), QPointF(14, 11.5)}));
         }},
        {"questionmark.circle", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
             p.drawArc(QRectF(5.5, 4, 5, 5), 160 * 16, -250 * 16);
             p.drawLine(QPointF(8, 9), QPointF(8, 10));
             p.setBrush(c);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(8, 12.2), 0.9, 0.9);
         }},
        // The sidebar's, the song timeline's and the help sheet's symbols.
        {"minus", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
         }},
        {"plus.square.on.square", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(QPolygonF({QPointF(3.5, 11), QPointF(1.5, 11), QPointF(1.5, 1.5), QPointF(11, 1.5),
                                       QPointF(11, 3.5)}));
             p.drawRoundedRect(QRectF(4.5, 4.5, 10, 10), 1.5, 1.5);
             p.drawLine(QPointF(9.5, 7), QPointF(9.5, 12));
             p.drawLine(QPointF(7, 9.5), QPointF(12, 9.5));
         }},
        {"chevron.up", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.drawPolyline(QPolygonF({QPointF(3, 10.5), QPointF(8, 5.5), QPointF(13, 10.5)}));
         }},
        {"chevron.down", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.drawPolyline(QPolygonF({QPointF(3, 5.5), QPointF(8, 10.5), QPointF(13, 5.5)}));
         }},
        {"checkmark", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.7));
             p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.2, 12.5), QPointF(13.5, 3.5)}));
         }},
        {"xmark", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
             p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
         }},
        {"flag", [](QPainter& p, const QColor& c) { flag(p, c, false); }},
        {"flag.fill", [](QPainter& p, const QColor& c) { flag(p, c, true); }},
        {"clock.arrow.circlepath", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(2, 2, 12, 12), 200 * 16, -300 * 16);
             p.drawPolyline(QPolygonF({QPointF(0.8, 4.8), QPointF(2.4, 6.8), QPointF(4.6, 5.4)}));
             p.drawPolyline(QPolygonF({QPointF(8, 4.5), QPointF(8, 8), QPointF(10.5, 9.5)}));
         }},
        {"rectangle.3.group", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(1.5, 1.5, 13, 5.5), 1.5, 1.5);
             p.drawRoundedRect(QRectF(1.5, 9, 5.5, 5.5), 1.5, 1.5);
             p.drawRoundedRect(QRectF(9, 9, 5.5, 5.5), 1.5, 1.5);
         }},
        {"1.circle.fill", [](QPainter& p, const QColor& c) { numberedDisc(p, c, 1); }},
        {"2.circle.fill", [](QPainter& p, const QColor& c) { numberedDisc(p, c, 2); }},
        {"3.circle.fill", [](QPainter& p, const QColor& c) { numberedDisc(p, c, 3); }},
        {"4.circle.fill", [](QPainter& p, const QColor& c) { numberedDisc(p, c, 4); }},
        {"square.grid.3x3", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.1));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
             for (double v : {5.83, 10.17}) {
                 p.drawLine(QPointF(v, 1.5), QPointF(v, 14.5));
                 p.drawLine(QPointF(1.5, v), QPointF(14.5, v));
             }
         }},
        {"slider.horizontal.3", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             const double knobs[] = {10, 5, 11};
             for (int i = 0; i < 3; ++i) {
                 const double y = 3 + i * 5;
                 p.drawLine(QPointF(2, y), QPointF(14, y));
                 p.setBrush(QColor(30, 30, 32));
                 p.drawEllipse(QPointF(knobs[i], y), 1.8, 1.8);
             }
         }},
        {"speaker.wave.3", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(c);
             p.drawPolygon(QPolygonF({QPointF(1.5, 6), QPointF(4, 6), QPointF(7.5, 3), QPointF(7.5, 13), QPointF(4, 10),
                                      QPointF(1.5, 10)}));
             p.setBrush(Qt::NoBrush);
             for (double r : {2.5, 4.5, 6.5}) p.drawArc(QRectF(7.5 - r, 8 - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
         }},
        {"wrench.and.screwdriver", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.drawLine(QPointF(3, 13), QPointF(11, 5));
             p.drawArc(QRectF(9, 1.5, 5.5, 5.5), 200 * 16, 270 * 16);
             p.drawLine(QPointF(13, 13), QPointF(6, 6));
             p.drawLine(QPointF(4, 4), QPointF(6, 6));
         }},
        {"plus", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.drawLine(QPointF(8, 3), QPointF(8, 13));
             p.drawLine(QPointF(3, 8), QPointF(13, 8));
         }},
        {"xmark.circle.fill", [](QPainter& p, const QColor& c) { removeCircle(p, c); }},
        {"exclamationmark.triangle.fill", [](QPainter& p, const QColor& c) { warningTriangle(p, c); }},
        {"delete.left", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawPolygon(QPolygonF({QPointF(6, 3.5), QPointF(13.5, 3.5), QPointF(13.5, 12.5), QPointF(6, 12.5),
                                      QPointF(2, 8)}));
             p.drawLine(QPointF(7.5, 6), QPointF(11.5, 10));
             p.drawLine(QPointF(11.5, 6), QPointF(7.5, 10));
         }},
        {"point.3.connected.trianglepath.dotted", [](QPainter& p, const QColor& c) {
             const QPointF a(3.5, 12), b(8, 4), c2(12.5, 11.5);
             QPen dotted = stroke(c, 1.1);
             dotted.setDashPattern({0.1, 2.2});
             p.setPen(dotted);
             p.setBrush(Qt::NoBrush);
             p.drawPolygon(QPolygonF({a, b, c2}));
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             for (const auto& point : {a, b, c2}) p.drawEllipse(point, 1.8, 1.8);
         }},
        {"waveform.path", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             QPainterPath wave(QPointF(1.5, 8));
             wave.cubicTo(QPointF(3.5, 1.5), QPointF(6, 1.5), QPointF(8, 8));
             wave.cubicTo(QPointF(10, 14.5), QPointF(12.5, 14.5), QPointF(14.5, 8));
             p.drawPath(wave);
         }},
        {"dial.medium", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(8, 8), 5.8, 5.8);
             p.drawLine(QPointF(8, 8), QPointF(11, 5));
         }},
        {"arrow.turn.down.right", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.3));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(QPolygonF({QPointF(4, 2.5), QPointF(4, 10), QPointF(13, 10)}));
             p.drawLine(QPointF(10.5, 7.5), QPointF(13, 10));
             p.drawLine(QPointF(10.5, 12.5), QPointF(13, 10));
         }},
        {"trash", [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawLine(QPointF(2.5, 4.5), QPointF(13.5, 4.5));
             p.drawPolyline(QPolygonF({QPointF(6.3, 4.5), QPointF(6.6, 2.3), QPointF(9.4, 2.3), QPointF(9.7, 4.5)}));
             p.drawPolyline(QPolygonF({QPointF(4, 4.5), QPointF(4.7, 13.7), QPointF(11.3, 13.7), QPointF(12, 4.5)}));
             p.drawLine(QPointF(6.7, 7), QPointF(6.7, 11.3));
             p.drawLine(QPointF(9.3, 7), QPointF(9.3, 11.3));
         }},
    };
    return table;
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString symbol, QColor colour) : symbol_(std::move(symbol)), colour_(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor colour = colour_.isValid() ? colour_ : Theme::current().label;
        if (mode == QIcon::Disabled) colour = withOpacity(colour, colour.alphaF() * 0.35);
        paintSymbol(*painter, rect, symbol_, colour);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(symbol_, colour_); }
    QString key() const override { return QStringLiteral("veltrane-symbol"); }

private:
    QString symbol_;
    QColor colour_;
};

} // namespace

void paintSymbol(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(box.width(), box.height());
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 16.0, side / 16.0);
    const auto& table = drawings();
    if (const auto found = table.find(symbol); found != table.end()) {
        found->second(painter, colour);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(8, 8), 2, 2);
    }
    painter.restore();
}

QIcon symbolIcon(const QString& symbol, QColor colour) { return QIcon(new SymbolIconEngine(symbol, colour)); }

void setSymbol(QAbstractButton* button, const QString& symbol, QColor colour)
{
    button->setIcon(symbolIcon(symbol, colour));
    button->setProperty(symbolProperty, symbol);
}

} // namespace veltrane
