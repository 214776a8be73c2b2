#include "console/WindowPlacement.h"

#include <limits>

namespace kv {

namespace {

// Enough of the title bar to take hold of it with the mouse.
constexpr int GripWidthPx = 64;

bool titleBarOn(const QRect& window, const QRect& screen, int titleBarPx) {
    const QRect bar(window.left(), window.top(), window.width(), titleBarPx);
    const QRect seen = bar.intersected(screen);
    return seen.height() == bar.height() && seen.width() >= qMin(GripWidthPx, bar.width());
}

// Squared distance between the window's centre and the nearest point of the screen.
qint64 distance(const QRect& window, const QRect& screen) {
    const QPoint c = window.center();
    const qint64 dx = c.x() < screen.left() ? screen.left() - c.x() : c.x() > screen.right() ? c.x() - screen.right() : 0;
    const qint64 dy = c.y() < screen.top() ? screen.top() - c.y() : c.y() > screen.bottom() ? c.y() - screen.bottom() : 0;
    return dx * dx + dy * dy;
}

int pulledIn(int at, int length, int start, int available) {
    return qMax(start, qMin(at, start + available - length));
}

} // namespace

QRect ontoScreens(const QRect& window, const QList<QRect>& screens, int titleBarPx) {
    const QRect* nearest = nullptr;
    qint64 best = std::numeric_limits<qint64>::max();
    for (const QRect& s : screens) {
        if (titleBarOn(window, s, titleBarPx)) return window;
        if (const qint64 d = distance(window, s); d < best) {
            best = d;
            nearest = &s;
        }
    }
    if (!nearest) return window;
    QRect placed = window;
    placed.moveTo(pulledIn(window.x(), window.width(), nearest->x(), nearest->width()),
                  pulledIn(window.y(), window.height(), nearest->y(), nearest->height()));
    return placed;
}

} // namespace kv
