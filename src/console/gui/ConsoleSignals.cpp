#include "console/gui/ConsoleSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <unistd.h>

namespace kv {

ConsoleSignals::ConsoleSignals() {
    // Without the pipe a signal is only recorded: the console ends with status 3 once it is closed.
    if (interruption::wakeDescriptor() < 0) return;
    m_notifier = new QSocketNotifier(interruption::wakeDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsoleSignals::onSignal);
    // Each dialog closed returns to the one below it, or to the command that opened it: they are
    // closed one at a time until the console itself is.
    m_closing.setInterval(50);
    connect(&m_closing, &QTimer::timeout, this, &ConsoleSignals::closeNext);
}

int ConsoleSignals::received() const {
    return interruption::pendingSignal();
}

void ConsoleSignals::onSignal() {
    unsigned char byte = 0;
    while (::read(interruption::wakeDescriptor(), &byte, 1) == 1) {
    }
    if (!m_closing.isActive()) m_closing.start();
    closeNext();
}

void ConsoleSignals::closeNext() {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
        dialog->close();
        return;
    }
    if (m_console && m_console->isVisible()) m_console->close();
}

} // namespace kv
