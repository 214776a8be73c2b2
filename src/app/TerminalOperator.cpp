#include "app/TerminalOperator.h"

#include "app/Interruption.h"
#include "lookup/LookupSession.h"
#include "progress/StepProgress.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QRegularExpression>
#include <termios.h>
#include <unistd.h>

namespace kv {

namespace {

// Prints the three lines whenever they change. While the cancel is offered a caught signal
// (Ctrl-C, SIGTERM, SIGHUP) is its button; otherwise a signal, and at any moment the end of the
// command's time limit, stop the job here.
class TerminalStatusWindow : public StatusWindow {
public:
    TerminalStatusWindow(QTextStream& out, bool& offer) : m_out(out), m_offer(offer) {}

    void open(const QString& caption, bool) override {
        m_lines.clear();
        m_out << caption << Qt::endl;
    }
    void offerCancel(bool on) override {
        if (on && !m_offer) m_out << QStringLiteral("  (Ctrl-C cancels)") << Qt::endl;
        m_offer = on;
    }
    bool showTexts(const QString& first, const QString& second, const QString& third) override {
        const QStringList lines{first, second, third};
        // A new first line is a new phase: all of it is printed. Changes of the other lines
        // (the advancing text of a long job) are printed at most once a second.
        const bool newPhase = m_lines.isEmpty() || m_lines[0] != first;
        if (lines != m_lines && (newPhase || !m_lastPrint.isValid() || m_lastPrint.elapsed() >= 1000)) {
            for (int i = 0; i < 3; ++i)
                if (newPhase || i >= m_lines.size() || lines[i] != m_lines[i])
                    if (!lines[i].isEmpty()) m_out << QStringLiteral("  ") << lines[i] << Qt::endl;
            m_lines = lines;
            m_lastPrint.start();
        }
        if (m_offer && !interruption::timeLimitPassed() && interruption::takeSignal() != 0) return true;
        interruption::check();
        return false;
    }
    void close() override { m_offer = false; }

private:
    QTextStream& m_out;
    QStringList m_lines;
    QElapsedTimer m_lastPrint;
    bool& m_offer;
};

} // namespace

TerminalOperator::TerminalOperator(QTextStream& out, QTextStream& err, QTextStream& in, bool interactive)
    : m_out(out), m_err(err), m_in(in), m_interactive(interactive) {}

TerminalOperator::TerminalOperator(QTextStream& out, QTextStream& in, bool interactive)
    : TerminalOperator(out, out, in, interactive) {}

// A stream whose text goes nowhere.
struct TerminalOperator::DiscardingStream {
    class Sink : public QIODevice {
    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char*, qint64 length) override { return length; }
    } sink;
    QTextStream stream;
    DiscardingStream() {
        sink.open(QIODevice::WriteOnly);
        stream.setDevice(&sink);
    }
};

TerminalOperator::~TerminalOperator() = default;

bool TerminalOperator::parseOnError(const QString& text, OnError* policy) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("abort")) *policy = OnError::Abort;
    else if (t == QLatin1String("retry")) *policy = OnError::Retry;
    else if (t == QLatin1String("ignore")) *policy = OnError::Ignore;
    else return false;
    return true;
}

void TerminalOperator::print(QTextStream& to, const QString& title, const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    to << title << QStringLiteral(": ") << t << Qt::endl;
}

int TerminalOperator::prompt(const QString& text, int style, const QString& title) {
    m_out.flush(); // what the command printed before stays before the prompt on a shared terminal
    print(m_err, title, text);
    const int answer = answerFor(style, title + text);
    if (mb::buttons(style) != mb::OkOnly)
        m_err << QStringLiteral("  Answer: ") << mb::answerWord(answer) << Qt::endl;
    return answer;
}

int TerminalOperator::answerFor(int style, const QString& key) {
    OnError policy = m_policy;
    if (policy == OnError::Retry) {
        // A permanent failure must not loop for ever: the same prompt is retried a few times.
        m_retries = key == m_lastRetryKey ? m_retries + 1 : 1;
        m_lastRetryKey = key;
        if (m_retries > MaxRetries) {
            policy = OnError::Abort;
            m_retries = 0;
            m_lastRetryKey.clear();
        }
    }
    switch (mb::buttons(style)) {
    case mb::AbortRetryIgnore:
        return policy == OnError::Retry ? mb::Retry : policy == OnError::Ignore ? mb::Ignore : mb::Abort;
    case mb::RetryCancel:
        return policy == OnError::Retry ? mb::Retry : mb::Cancel;
    case mb::YesNo:
    case mb::YesNoCancel:
        return policy == OnError::Retry ? mb::Yes : mb::No;
    case mb::OkCancel:
        return policy == OnError::Abort ? mb::Cancel : mb::Ok;
    default:
        return mb::Ok;
    }
}

int TerminalOperator::messageBox(const QString& text, int style, const QString& title) {
    // A message with only OK is the command's own report, unless it is an error or a warning;
    // anything with a choice is a question.
    const int icon = mb::icon(style);
    if (icon != mb::Critical && icon != mb::Exclamation && mb::buttons(style) == mb::OkOnly) {
        print(m_out, title, text);
        return mb::Ok;
    }
    return prompt(text, style, title);
}

int TerminalOperator::errorPrompt(const QString& text, int style, const QString& title) {
    return prompt(text, style, title);
}

std::optional<QString> TerminalOperator::ask(const QString& prompt) {
    if (!m_interactive) return std::nullopt;
    m_err << prompt << QStringLiteral(" ") << Qt::flush;
    QString line;
    if (!m_in.readLineInto(&line)) return std::nullopt;
    return line;
}

std::optional<QString> TerminalOperator::askHidden(const QString& prompt) {
    if (!m_interactive) return std::nullopt;
    termios old {};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    auto answer = ask(prompt);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        m_err << Qt::endl;
    }
    return answer;
}

std::optional<QString> TerminalOperator::inputBox(const QString& prompt, const QString& title, const QString&) {
    return ask(title + QStringLiteral(": ") + prompt);
}

std::optional<QString> TerminalOperator::openFile(const QString& title, const QString& filter) {
    auto path = ask(title + QStringLiteral(" (") + filter.trimmed() + QStringLiteral("):"));
    if (path && path->trimmed().isEmpty()) return std::nullopt;
    return path ? std::optional<QString>(path->trimmed()) : std::nullopt;
}

bool TerminalOperator::connectionDialog(ConnectionValues& v) {
    if (!m_interactive) return false;
    m_err << QStringLiteral("Control de Acceso") << Qt::endl;
    auto field = [&](const QString& label, QString* target, bool hidden) {
        const QString prompt = hidden || target->isEmpty() ? label + QLatin1Char(':')
                                                           : label + QStringLiteral(" [") + *target + QStringLiteral("]:");
        const auto answer = hidden ? askHidden(prompt) : ask(prompt);
        if (!answer) return false;
        if (!answer->isEmpty() || hidden) *target = *answer;
        return true;
    };
    QString platform = QString::number(v.platform);
    if (!field(QStringLiteral("Usuario"), &v.user, false) || !field(QStringLiteral("Contraseña"), &v.password, true) ||
        !field(QStringLiteral("Base de Datos"), &v.dbName, false) || !field(QStringLiteral("Servidor"), &v.server, false) ||
        !field(QStringLiteral("Plataforma (0 SQL Server, 1 ORACLE, 2 PostgreSQL, 3 SQLite)"), &platform, false))
        return false;
    bool ok = false;
    const int p = platform.trimmed().toInt(&ok);
    v.platform = ok && p >= 0 && p <= 3 ? p : 0;
    return true;
}

StatusWindow& TerminalOperator::statusWindow() {
    if (!m_status) m_status = std::make_unique<TerminalStatusWindow>(progress(), m_cancelOffered);
    return *m_status;
}

QTextStream& TerminalOperator::progress() {
    if (!m_quiet) return m_out;
    if (!m_silent) m_silent = std::make_unique<DiscardingStream>();
    return m_silent->stream;
}

void TerminalOperator::showStepProgress(StepProgress& steps) {
    QTextStream& out = progress();
    out << QStringLiteral("Procesando ...") << Qt::endl;
    m_progressLink = std::make_unique<QObject>();
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    QObject::connect(&steps, &StepProgress::lineChanged, m_progressLink.get(), [&out, &steps, timer](int i) {
        const auto& line = steps.lines().at(i);
        if (line.state == 2 && line.rows >= 0) {
            // Rows of a long step: at most one line a second, so a million rows stay readable.
            if (timer->elapsed() < 1000) return;
            timer->restart();
            out << QStringLiteral("  ") << line.paso << QStringLiteral(": ") << line.rows << QStringLiteral(" rows")
                  << Qt::endl;
            return;
        }
        timer->restart();
        out << QStringLiteral("  ") << line.paso << QStringLiteral(": ") << line.stateText;
        if (line.state == 4 || line.state == 5)
            out << QStringLiteral("  [Progreso") << steps.progressLabel() << QStringLiteral("]");
        if (line.state == 5 && !line.detail.isEmpty()) out << QStringLiteral("  ") << line.detail;
        out << Qt::endl;
    });
}

void TerminalOperator::listLookup(LookupSession& session) {
    if (!m_interactive) {
        session.cancel();
        return;
    }
    m_err << QStringLiteral("Consulta...") << Qt::endl;
    QStringList headings;
    for (const auto& c : session.columns()) headings << c.name;
    m_err << QStringLiteral("   ") << headings.join(QStringLiteral(" | ")) << Qt::endl;
    for (int r = 0; r < session.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < session.columns().size(); ++c) cells << session.cell(r, c).trimmed();
        m_err << QStringLiteral("%1. ").arg(r + 1, 2) << cells.join(QStringLiteral(" | ")) << Qt::endl;
    }
    while (true) {
        const auto answer =
            ask(QStringLiteral("Rows to tick (numbers separated by blanks or commas, \"a\" all, "
                               "empty none, \"q\" cancels):"));
        if (!answer) break;
        const QString a = answer->trimmed();
        if (a.compare(QStringLiteral("q"), Qt::CaseInsensitive) == 0) break;
        QList<int> picked;
        bool valid = true;
        if (a.compare(QStringLiteral("a"), Qt::CaseInsensitive) == 0) {
            for (int r = 0; r < session.rowCount(); ++r) picked << r;
        } else {
            static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
            for (const QString& part : a.split(separators, Qt::SkipEmptyParts)) {
                bool ok = false;
                const int n = part.toInt(&ok);
                if (!ok || n < 1 || n > session.rowCount()) valid = false;
                else picked << n - 1;
            }
        }
        if (!valid) {
            m_err << QStringLiteral("  Choose numbers from 1 to %1.").arg(session.rowCount()) << Qt::endl;
            continue;
        }
        for (int r = 0; r < session.rowCount(); ++r) session.setTicked(r, picked.contains(r));
        session.accept();
        if (session.outcome() == LookupSession::Outcome::Accepted) return;
        break;
    }
    session.cancel();
}

void TerminalOperator::processEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    // While the cancel is offered a signal waits for the status window, which takes it as its button.
    if (!m_cancelOffered || interruption::timeLimitPassed()) interruption::check();
}

} // namespace kv
