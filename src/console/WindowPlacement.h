#pragma once

#include <QList>
#include <QRect>

namespace kv {

// The console window's place on the desktop (pixels, the window frame's top-left and the
// window's size), kept reachable whatever the saved position says.

// The window unchanged while its title bar (the top titleBarPx of the window) can be grabbed on
// one of the screens' available areas; otherwise moved onto the nearest of them, as far in as
// its size allows. With no screen at all the window is returned unchanged.
QRect ontoScreens(const QRect& window, const QList<QRect>& screens, int titleBarPx);

} // namespace kv
