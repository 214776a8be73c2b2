#pragma once

#include <QString>

namespace kv {

// A job of the command line stopped from outside: by a signal (Ctrl-C, or the SIGTERM and SIGHUP
// that timeout, systemd, cron and a closed terminal send) or by the end of the time limit it was
// given (kvctl's --timeout). It is noticed where the job can stop cleanly (the operator's
// "process pending events" and status window, between export steps and rows, between imported
// documents) and thrown from there. Traps pass it on without asking anyone, so the job unwinds:
// the export step or the document under way is rolled back, the job records itself as
// cancelled, and the tool ends with status 3.
struct Interrupted {
    int signal = 0;       // 0: the time limit passed
    int limitSeconds = 0; // the time limit, when it was that
    // "cancelled by SIGTERM", "timed out: ..."
    QString reason() const;
};

namespace interruption {

// While one lives, SIGINT, SIGTERM and SIGHUP are caught and wait to be noticed; a second one
// while the first waits ends the program at once, as the signal does by default.
class CatchSignals {
public:
    CatchSignals();
    ~CatchSignals();
    CatchSignals(const CatchSignals&) = delete;
    CatchSignals& operator=(const CatchSignals&) = delete;
};

// Readable (one byte per signal) when a signal came while they are caught, for an event loop
// that acts on it (the console closes); -1 when no pipe could be made.
int wakeDescriptor();

// The time limit from now (0: none). The limit is the whole job's, not one wait's.
void setTimeLimit(int seconds);
// The signal that came and was not taken yet (0: none); taking it clears it.
int pendingSignal();
int takeSignal();
bool timeLimitPassed();
// Throws Interrupted when a signal came or the time limit passed.
void check();
// Forgets a pending signal and the time limit (the next command of a process that runs several).
void reset();

} // namespace interruption

} // namespace kv
