#include "app/gui/PrepararFormulario.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kv {

void PrepararFormulario(QWidget* form, bool) {
    if (!form) return;
    form->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // A form without a layout has placed and sized its parts itself, and one given its size has
    // its design size: fitting either to its children would undo that.
    if (form->layout() && !form->testAttribute(Qt::WA_Resized)) form->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        form->move(area.center() - QPoint(form->width() / 2, form->height() / 2));
    }
}

} // namespace kv
