#pragma once

#include <QString>
#include <optional>

namespace kv {

class LookupSession;
class StepProgress;

// Message-box styles and answers, with the values of the classic message-box API the program's
// procedures were written against (styles add up: 18 = 16 critical + 2 abort-retry-ignore).
namespace mb {
constexpr int OkOnly = 0;
constexpr int OkCancel = 1;
constexpr int AbortRetryIgnore = 2;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int RetryCancel = 5;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;

constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Abort = 3;
constexpr int Retry = 4;
constexpr int Ignore = 5;
constexpr int Yes = 6;
constexpr int No = 7;

inline int buttons(int style) { return style & 7; }
inline int icon(int style) { return style & 0x70; }
// The word for an answer, as the error log writes it ("Reintentar", "Ignorar", "Abortar",
// "Cancelar", "Sí", "No"); empty for any other value.
QString answerWord(int answer);
} // namespace mb

// The status window: a caption, three text lines and a cancel button shown while the cancel
// offer is on. showTexts returns the operator's cancel request.
class StatusWindow {
public:
    virtual ~StatusWindow() = default;
    virtual void open(const QString& caption, bool option) = 0;
    virtual void offerCancel(bool on) = 0;
    virtual bool showTexts(const QString& first, const QString& second, const QString& third = QString()) = 0;
    virtual void close() = 0;
};

// What the connection dialog shows and returns. platform: 0 "SQL Server", 1 "ORACLE",
// 2 "PostgreSQL", 3 "SQLite".
struct ConnectionValues {
    QString dbName;
    QString server;
    QString user;
    QString password;
    int platform = 0;
};

// Everything the program asks or tells a person goes through this interface: windows in the
// console, the terminal in kvctl, a scripted person in tests.
class Operator {
public:
    virtual ~Operator() = default;

    // A modal message box; returns the answer (mb::Ok ... mb::No).
    virtual int messageBox(const QString& text, int style, const QString& title) = 0;
    // The error prompt of the error treatment: returns 4 retry, 5 ignore, anything else leaves.
    virtual int errorPrompt(const QString& text, int style, const QString& title) = 0;
    // Input box; nullopt when cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText = QString()) = 0;
    // Open-file dialog; nullopt when cancelled.
    virtual std::optional<QString> openFile(const QString& title, const QString& filter) = 0;
    // The connection dialog: shows the values, lets the person change them; false when cancelled.
    virtual bool connectionDialog(ConnectionValues& values) = 0;
    virtual StatusWindow& statusWindow() = 0;
    // The step progress window over the given steps: shown without a modal wait, left open.
    virtual void showStepProgress(StepProgress& steps) = 0;
    // The modal list lookup over a loaded session: the person ticks rows, searches and ends it
    // with the session's accept, cancel or close; returning with none of them counts as cancel.
    virtual void listLookup(LookupSession& session) = 0;
    // Let the interface process its pending events (keeps windows alive during waits). The
    // terminal's throws Interrupted here when a signal or the command's time limit stopped it.
    virtual void processEvents() = 0;
};

// The program-wide operator. Until one is installed, a silent one answers every prompt with
// Abort and every message with OK, so core code never blocks on a person who is not there.
Operator& op();
void setOperator(Operator* op);

} // namespace kv
