#pragma once

#include <QApplication>

namespace kv {

// The windowed program's application: an error that escapes an event handler is shown through
// the error treatment, naming the window it happened in, and the program goes on.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace kv
