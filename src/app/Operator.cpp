#include "app/Operator.h"

#include "app/TerminalOperator.h"

#include <cstdio>
#include <memory>

namespace kv {

namespace {
Operator* g_operator = nullptr;

// Until a front end installs its own, messages go to the terminal and prompts abort.
Operator& fallbackOperator() {
    static QTextStream out(stdout);
    static QTextStream err(stderr);
    static QTextStream in(stdin);
    static TerminalOperator terminal(out, err, in, false);
    return terminal;
}
} // namespace

Operator& op() {
    return g_operator ? *g_operator : fallbackOperator();
}

QString mb::answerWord(int answer) {
    switch (answer) {
    case Retry: return QStringLiteral("Reintentar");
    case Ignore: return QStringLiteral("Ignorar");
    case Abort: return QStringLiteral("Abortar");
    case Cancel: return QStringLiteral("Cancelar");
    case Yes: return QStringLiteral("Sí");
    case No: return QStringLiteral("No");
    default: return QString();
    }
}

void setOperator(Operator* o) {
    g_operator = o;
}

} // namespace kv
