#include "Veltrane/Views/Inspector/WaveformImage.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace veltrane::inspector {

namespace {

/// How far a rounded corner of `radius` reaches in from the top and the bottom at `x` of a box `width` wide.
double cornerInset(double x, double width, double radius)
{
    const double intoCorner = std::max({radius - x, x - (width - radius), 0.0});
    if (intoCorner <= 0) return 0;
    return radius - std::sqrt(std::max(radius * radius - intoCorner * intoCorner, 0.0));
}

} // namespace

QImage waveformImage(const WaveformLevels& levels, const WaveformFrame& frame, QColor colour)
{
    const double w = frame.width;
    const double h = frame.height;
    const int columns = std::max(1, static_cast<int>(std::ceil(w * frame.scale)));
    const int rows = std::max(1, static_cast<int>(std::ceil(h * frame.scale)));
    QImage image(columns, rows, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(frame.scale);
    const double span = frame.end - frame.start;
    if (levels.finestPairCount() < 1 || !(span > 0) || !(w > 0)) return image;

    const auto values = levels.levelFor(frame.start, frame.end, columns);
    const auto pairs = static_cast<int>(values.size() / 2);
    const double divisor = std::max(pairs - 1, 1);
    const int first = std::clamp(static_cast<int>(std::floor(frame.start * divisor)), 0, pairs - 1);
    const int last = std::clamp(static_cast<int>(std::ceil(frame.end * divisor)), 0, pairs - 1);

    // The extent of the lines in each device column, in device pixels.
    std::vector<double> tops(static_cast<std::size_t>(columns), std::numeric_limits<double>::infinity());
    std::vector<double> bottoms(static_cast<std::size_t>(columns), -std::numeric_limits<double>::infinity());
    for (int i = first; i <= last; ++i) {
        const double x = w * (i / divisor - frame.start) / span;
        if (x < 0 || x > w) continue;
        const double inset = cornerInset(x, w, frame.cornerRadius);
        const double minimum = values[static_cast<std::size_t>(2 * i)];
        const double maximum = values[static_cast<std::size_t>(2 * i + 1)];
        const double top = std::max(h * (0.5 - maximum * 0.42), inset) * frame.scale;
        const double bottom = std::min(h * (0.5 - minimum * 0.42), h - inset) * frame.scale;
        if (top > bottom) continue;
        // A line a logical pixel wide covers the device columns whose centres lie within half a logical
        // pixel of it; at least the column it falls in.
        const double centre = x * frame.scale;
        int from = static_cast<int>(std::ceil(centre - frame.scale / 2 - 0.5));
        int to = static_cast<int>(std::ceil(centre + frame.scale / 2 - 0.5)) - 1;
        if (to < from) from = to = static_cast<int>(std::floor(centre));
        from = std::clamp(from, 0, columns - 1);
        to = std::clamp(to, 0, columns - 1);
        for (int column = from; column <= to; ++column) {
            auto& columnTop = tops[static_cast<std::size_t>(column)];
            auto& columnBottom = bottoms[static_cast<std::size_t>(column)];
            columnTop = std::min(columnTop, top);
            columnBottom = std::max(columnBottom, bottom);
        }
    }

    const QRgb pixel = qPremultiply(colour.rgba());
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int column = 0; column < columns; ++column) {
        const double top = tops[static_cast<std::size_t>(column)];
        const double bottom = bottoms[static_cast<std::size_t>(column)];
        if (!(top <= bottom)) continue;
        const int fromRow = std::clamp(static_cast<int>(std::floor(top)), 0, rows - 1);
        const int toRow = std::clamp(std::max(fromRow, static_cast<int>(std::ceil(bottom)) - 1), 0, rows - 1);
        for (int row = fromRow; row <= toRow; ++row) reinterpret_cast<QRgb*>(bits + row * stride)[column] = pixel;
    }
    return image;
}

} // namespace veltrane::inspector
