#pragma once

#include <QList>
#include <QPoint>
#include <QSize>
#include <optional>

namespace kv {

// The console's layout arithmetic, in twips: how many tiles fit across, where each goes, how
// tall the tile area is and how far it scrolls.
namespace tiles {

constexpr int TwipsPerPixel = 15;
constexpr int TileWidth = 4455;  // a tile frame, the layout's cell
constexpr int TileHeight = 2415;
constexpr int MinimumWidthPx = 346;
constexpr int MinimumHeightPx = 378;

// The size (pixels) the window must snap to, when it is below the minimum: the width is
// mended first, and only when it is wide enough the height.
std::optional<QSize> snapToMinimum(QSize windowPx);

// Tiles across the console at its design size.
constexpr int DesignColumns = 3;
// The console's design size (pixels): a row of DesignColumns tiles beside the scroll bar, with
// the menu and status bar (chromePx, their heights together), never below the minimum.
QSize designSize(int scrollBarPx, int chromePx);

struct Layout {
    int columns = 0;
    QList<QPoint> positions; // top-left of each tile in the tile area
    QSize slide;             // the tile area
    int scrollMaximum = 0;   // 0 and disabled when everything fits
    bool scrollEnabled = false;
    int smallChange = 0;
    int largeChange = 0;
};

// frameWidth/frameHeight: the visible area's inner size; scrollBarWidth beside it. With no
// column that fits (a zero count) there is no layout and the tiles keep their places.
std::optional<Layout> layOut(int frameWidth, int frameHeight, int scrollBarWidth, int tileCount,
                             int tileWidth = TileWidth, int tileHeight = TileHeight);

} // namespace tiles
} // namespace kv
