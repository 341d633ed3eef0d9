#pragma once

// Our own icons, drawn as vectors at whatever size and pixel ratio they are shown, so they stay sharp on
// HiDPI screens. Each icon is named with a symbol name ("play.fill", "repeat", ...); a button showing one
// keeps that name in its "symbol" property, so tests can tell which icon a control shows.

#include <QColor>
#include <QIcon>
#include <QString>

class QAbstractButton;
class QPainter;
class QRectF;

namespace veltrane {

/// The property a control keeps its symbol name in.
inline constexpr const char* symbolProperty = "symbol";

/// An icon of `symbol` in `colour` (the palette's text colour when invalid).
QIcon symbolIcon(const QString& symbol, QColor colour = {});

/// Shows `symbol` on `button` and records its name.
void setSymbol(QAbstractButton* button, const QString& symbol, QColor colour = {});

/// Draws `symbol` into `box` in `colour`; symbols without a drawing show a small dot.
void paintSymbol(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& colour);

} // namespace veltrane
