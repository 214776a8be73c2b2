#include "app/Clock.h"

namespace kv {

namespace {
QDateTime& fixedTime() {
    static QDateTime t;
    return t;
}
} // namespace

QDateTime Clock::now() {
    return fixedTime().isValid() ? fixedTime() : QDateTime::currentDateTime();
}

void Clock::fix(const QDateTime& at) {
    fixedTime() = at;
}

} // namespace kv
