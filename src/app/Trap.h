#pragma once

#include "app/RunTimeError.h"

#include <functional>
#include <optional>

namespace kv {

// Runs the steps of a procedure under the program's error convention: a step that throws is
// handed to the handler, whose answer decides what follows -- 4 runs the same step again, 5 goes
// on with the next step, anything else leaves the procedure (every later step is skipped).
// An Interrupted (Interruption.h) is no error of the step: it passes on to the caller unasked.
class Trap {
public:
    using Handler = std::function<int(const RunTimeError&)>;

    explicit Trap(Handler handler);

    // Shows failures through TratarError with the procedure's name.
    static Trap prompting(const QString& procedure);
    // For handlers that ignore failing statements one by one: every failure counts as Ignore.
    static Trap silent();

    // Runs one step. Returns false once the procedure has been left (now or before), so a
    // caller can write `if (!trap.step(...)) return;`.
    bool step(const std::function<void()>& body);

    bool left() const { return m_left; }
    // The last step failed and the operator chose to go on (Ignore).
    bool lastIgnored() const { return m_lastIgnored; }
    // The error that made the procedure leave, for callers that report it.
    const RunTimeError* leavingError() const { return m_leaving ? &*m_leaving : nullptr; }

    // Puts another handler in force and returns the one it replaces: a part of a procedure that
    // must tidy up before anyone is asked wraps the handler it was given. A handler may also
    // throw, to unwind past the step to a place that starts the work again.
    Handler exchangeHandler(Handler handler) {
        std::swap(m_handler, handler);
        return handler;
    }

private:
    Handler m_handler;
    bool m_left = false;
    bool m_lastIgnored = false;
    std::optional<RunTimeError> m_leaving;
};

// Turns any exception thrown by a step into the run-time error the handler sees.
RunTimeError asRunTimeError(std::exception_ptr e);

} // namespace kv
