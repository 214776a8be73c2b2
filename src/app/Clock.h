#pragma once

#include <QDateTime>

namespace kv {

// "Today" and "now" come from here, so tests can fix them.
class Clock {
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
    // Fixes the clock (an invalid value lets it run again).
    static void fix(const QDateTime& at);
};

} // namespace kv
