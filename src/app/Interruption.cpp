#include "app/Interruption.h"

#include <QDeadlineTimer>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kv {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);

volatile std::sig_atomic_t g_signal = 0;
struct sigaction g_previous[kSignalCount]{};
int g_catching = 0;
int g_wake[2] = {-1, -1}; // written by the handler, for an event loop to hear the signal

int g_limitSeconds = 0;
QDeadlineTimer g_deadline{QDeadlineTimer::Forever};

extern "C" void onSignal(int signal) {
    if (g_signal != 0) {
        // Asked twice: the person does not want to wait for a clean stop.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signal = signal;
    if (g_wake[1] >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
    }
}

QString signalName(int signal) {
    switch (signal) {
    case SIGINT: return QStringLiteral("SIGINT (Ctrl-C)");
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("signal %1").arg(signal);
    }
}

} // namespace

QString Interrupted::reason() const {
    if (signal != 0) return QStringLiteral("cancelled by %1").arg(signalName(signal));
    return QStringLiteral("timed out: the command did not end within its limit of %1 s (--timeout)").arg(limitSeconds);
}

namespace interruption {

CatchSignals::CatchSignals() {
    if (g_catching++ > 0) return;
    g_signal = 0;
    if (g_wake[0] < 0 && ::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // Reads and writes under way go on; the job stops where it looks next.
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
}

CatchSignals::~CatchSignals() {
    if (--g_catching > 0) return;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

void setTimeLimit(int seconds) {
    g_limitSeconds = seconds;
    g_deadline = seconds > 0 ? QDeadlineTimer(qint64(seconds) * 1000) : QDeadlineTimer(QDeadlineTimer::Forever);
}

int wakeDescriptor() {
    return g_wake[0];
}

int pendingSignal() {
    return g_signal;
}

int takeSignal() {
    const int s = g_signal;
    g_signal = 0;
    return s;
}

bool timeLimitPassed() {
    return g_limitSeconds > 0 && g_deadline.hasExpired();
}

void check() {
    if (const int s = takeSignal()) throw Interrupted{s, 0};
    if (timeLimitPassed()) throw Interrupted{0, g_limitSeconds};
}

void reset() {
    g_signal = 0;
    setTimeLimit(0);
}

} // namespace interruption

} // namespace kv
