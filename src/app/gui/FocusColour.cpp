#include "app/gui/FocusColour.h"

#include <QPalette>
#include <QWidget>

namespace kv {

void paintFocus(QWidget* field, bool focused) {
    QPalette p = field->palette();
    p.setColor(QPalette::Base, focused ? FocusColour : PlainColour);
    field->setPalette(p);
}

} // namespace kv
