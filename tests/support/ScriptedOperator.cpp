#include "ScriptedOperator.h"

#include "lookup/LookupSession.h"

namespace kv::test {

class ScriptedStatusWindow : public StatusWindow {
public:
    explicit ScriptedStatusWindow(ScriptedOperator& o) : m_o(o) {}
    void open(const QString& caption, bool) override {
        m_o.m_statusOpen = true;
        m_o.m_statusLog << QStringLiteral("open:") + caption;
    }
    void offerCancel(bool on) override {
        m_o.m_cancelOffered = on;
        m_o.m_statusLog << QStringLiteral("cancel:") + (on ? QStringLiteral("on") : QStringLiteral("off"));
    }
    bool showTexts(const QString& a, const QString& b, const QString& c) override {
        ++m_o.m_statusShows;
        const QString line = a + QLatin1Char('|') + b + QLatin1Char('|') + c;
        if (m_o.m_statusLog.isEmpty() || m_o.m_statusLog.last() != line) m_o.m_statusLog << line;
        if (m_o.m_onStatus) m_o.m_onStatus(a);
        return m_o.m_cancelAt > 0 && m_o.m_statusShows >= m_o.m_cancelAt;
    }
    void close() override {
        m_o.m_statusOpen = false;
        m_o.m_statusLog << QStringLiteral("close");
    }

private:
    ScriptedOperator& m_o;
};

ScriptedOperator::ScriptedOperator() = default;
ScriptedOperator::~ScriptedOperator() = default;

int ScriptedOperator::next(int fallback) {
    if (!m_answers.empty()) {
        const int a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return m_always.value_or(fallback);
}

QList<ScriptedOperator::Shown> ScriptedOperator::shownOf(const QString& kind) const {
    QList<Shown> r;
    for (const auto& s : m_shown)
        if (s.kind == kind) r << s;
    return r;
}

QStringList ScriptedOperator::messages() const {
    QStringList r;
    for (const auto& s : m_shown)
        if (s.kind == QLatin1String("message") || s.kind == QLatin1String("error"))
            r << s.title + QStringLiteral(": ") + s.text;
    return r;
}

int ScriptedOperator::messageBox(const QString& text, int style, const QString& title) {
    m_shown << Shown{QStringLiteral("message"), title, text, style};
    switch (mb::buttons(style)) {
    case mb::OkOnly: return next(mb::Ok);
    case mb::YesNo:
    case mb::YesNoCancel: return next(mb::No);
    case mb::AbortRetryIgnore: return next(mb::Abort);
    default: return next(mb::Cancel);
    }
}

int ScriptedOperator::errorPrompt(const QString& text, int style, const QString& title) {
    m_shown << Shown{QStringLiteral("error"), title, text, style};
    if (m_onError) m_onError(text);
    return next(mb::Abort);
}

std::optional<QString> ScriptedOperator::inputBox(const QString& prompt, const QString& title, const QString&) {
    m_shown << Shown{QStringLiteral("input"), title, prompt, 0};
    if (m_inputs.empty()) return std::nullopt;
    auto a = m_inputs.front();
    m_inputs.pop_front();
    return a;
}

std::optional<QString> ScriptedOperator::openFile(const QString& title, const QString& filter) {
    m_shown << Shown{QStringLiteral("file"), title, filter, 0};
    if (m_files.empty()) return std::nullopt;
    auto a = m_files.front();
    m_files.pop_front();
    return a;
}

bool ScriptedOperator::connectionDialog(ConnectionValues& values) {
    m_connectionShown << values;
    m_shown << Shown{QStringLiteral("connection"), QStringLiteral("Control de Acceso"), values.server, 0};
    if (m_connections.empty() || !m_connections.front()) {
        if (!m_connections.empty()) m_connections.pop_front();
        return false;
    }
    values = *m_connections.front();
    m_connections.pop_front();
    return true;
}

StatusWindow& ScriptedOperator::statusWindow() {
    if (!m_status) m_status = std::make_unique<ScriptedStatusWindow>(*this);
    return *m_status;
}

void ScriptedOperator::showStepProgress(StepProgress& steps) {
    m_steps = &steps;
    ++m_stepShows;
}

void ScriptedOperator::listLookup(LookupSession& session) {
    m_shown << Shown{QStringLiteral("lookup"), QStringLiteral("Consulta..."), session.givenStatement(), 0};
    if (m_onLookup) m_onLookup(session);
    if (session.outcome() == LookupSession::Outcome::Open) session.cancel();
}

void ScriptedOperator::processEvents() {
    if (m_onEvents) m_onEvents();
}

} // namespace kv::test
