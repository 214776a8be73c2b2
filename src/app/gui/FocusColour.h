#pragma once

#include <QColor>

class QWidget;

namespace kv {

// The suite's text fields show where typing goes: cyan with the focus, white without it.
inline const QColor FocusColour(0, 255, 255);
inline const QColor PlainColour(255, 255, 255);

void paintFocus(QWidget* field, bool focused);

} // namespace kv
