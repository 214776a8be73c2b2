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
    static QTextStream in(stdin);
    static TerminalOperator terminal(out, in, false);
    return terminal;
}
} // namespace

Operator& op() {
    return g_operator ? *g_operator : fallbackOperator();
}

void setOperator(Operator* o) {
    g_operator = o;
}

} // namespace kv
