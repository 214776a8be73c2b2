#include "console/TileLayout.h"

namespace kv::tiles {

std::optional<QSize> snapToMinimum(QSize w) {
    if (w.width() < MinimumWidthPx) return QSize(MinimumWidthPx, w.height());
    if (w.height() < MinimumHeightPx) return QSize(w.width(), MinimumHeightPx);
    return std::nullopt;
}

QSize designSize(int scrollBarPx, int chromePx) {
    const int width = DesignColumns * TileWidth / TwipsPerPixel + scrollBarPx;
    const int height = TileHeight / TwipsPerPixel + chromePx;
    return QSize(qMax(width, MinimumWidthPx), qMax(height, MinimumHeightPx));
}

std::optional<Layout> layOut(int frameWidth, int frameHeight, int scrollBarWidth, int tileCount, int tileWidth,
                             int tileHeight) {
    if (tileWidth <= 0 || tileHeight <= 0) return std::nullopt;
    Layout l;
    l.columns = (frameWidth - scrollBarWidth) / tileWidth;
    if (l.columns <= 0) return std::nullopt;
    for (int i = 0; i < tileCount; ++i) l.positions << QPoint(tileWidth * (i % l.columns), (i / l.columns) * tileHeight);
    const int rows = (tileCount + l.columns - 1) / l.columns;
    l.slide = QSize(tileWidth * l.columns, tileHeight * rows);
    // The area scrolls however tall it is (no 16-bit limit on the range here).
    const int maximum = l.slide.height() - frameHeight;
    l.scrollEnabled = maximum >= 0;
    l.scrollMaximum = qMax(0, maximum);
    if (l.scrollEnabled) {
        l.smallChange = tileHeight;
        l.largeChange = frameHeight;
    }
    return l;
}

} // namespace kv::tiles
