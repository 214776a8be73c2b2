#include "app/Trap.h"

#include "app/GeneralFunctions.h"
#include "app/Interruption.h"
#include "app/Operator.h"

namespace kv {

Trap::Trap(Handler handler) : m_handler(std::move(handler)) {}

Trap Trap::prompting(const QString& procedure) {
    return Trap([procedure](const RunTimeError& e) { return TratarError(e, -1, procedure); });
}

Trap Trap::silent() {
    return Trap([](const RunTimeError&) { return mb::Ignore; });
}

bool Trap::step(const std::function<void()>& body) {
    m_lastIgnored = false;
    while (!m_left) {
        try {
            body();
            return true;
        } catch (const Interrupted&) {
            throw; // stopped from outside: nothing to ask, the procedure unwinds
        } catch (...) {
            RunTimeError e = asRunTimeError(std::current_exception());
            const int answer = m_handler(e);
            if (answer == mb::Retry) continue;
            if (answer == mb::Ignore) {
                m_lastIgnored = true;
                return true;
            }
            m_left = true;
            m_leaving = e;
        }
    }
    return false;
}

RunTimeError asRunTimeError(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const RunTimeError& r) {
        return r;
    } catch (const std::bad_alloc&) {
        return RunTimeError(7, QStringLiteral("Out of memory"));
    } catch (const std::exception& x) {
        return RunTimeError(err::ProviderError, QString::fromLocal8Bit(x.what()));
    } catch (...) {
        return RunTimeError(err::ProviderError, QStringLiteral("Unknown failure"));
    }
}

} // namespace kv
