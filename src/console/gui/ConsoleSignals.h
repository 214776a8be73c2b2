#pragma once

#include "app/Interruption.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QSocketNotifier;
class QWidget;

namespace kv {

// SIGINT, SIGTERM and SIGHUP (Ctrl-C in the terminal the console was started from, systemd,
// that terminal closed) close the console as its window's close button does: a wait under way
// is cancelled, the dialogs open are closed as with Escape, and the program ends. A second
// signal ends it at once. Before the console is shown (the start-up's dialogs) only the dialogs
// are closed, which cancels the start-up.
class ConsoleSignals : public QObject {
public:
    ConsoleSignals();
    ConsoleSignals(const ConsoleSignals&) = delete;
    ConsoleSignals& operator=(const ConsoleSignals&) = delete;

    void setConsole(QWidget* console) { m_console = console; }
    // The signal that came; 0 while none did.
    int received() const;

private:
    void onSignal();
    void closeNext();

    interruption::CatchSignals m_catching;
    QPointer<QWidget> m_console;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_closing;
};

} // namespace kv
