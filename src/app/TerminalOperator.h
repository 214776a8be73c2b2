#pragma once

#include "app/Operator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>
#include <memory>

namespace kv {

// The operator of the command-line tools. A message box is printed as one line "TITLE: TEXT"
// (each carriage return of TEXT a line break); prompts are answered from the --on-error policy
// and never block on a terminal that is not there; questions are asked on standard input only
// when it is a terminal, otherwise they count as cancelled.
//
// A signal caught for the command (Interruption.h) is the status window's cancel button while
// the cancel is offered; anywhere else it, and the end of the command's time limit, stop the
// job where the terminal gets control: processEvents and the status window throw Interrupted.
//
// Error prompts, error and warning messages, and questions (each followed by the answer given),
// and what is asked on a terminal go to `err`, so `out` carries only what the command itself
// reports (its other messages, the status and step lines) and a script can read it whole.
class TerminalOperator : public Operator {
public:
    enum class OnError { Abort, Retry, Ignore };

    TerminalOperator(QTextStream& out, QTextStream& err, QTextStream& in, bool interactive);
    // Everything on one stream.
    TerminalOperator(QTextStream& out, QTextStream& in, bool interactive);
    ~TerminalOperator() override;

    void setOnError(OnError policy) { m_policy = policy; }
    // Quiet: no progress lines (the status window's texts, the steps of a send); messages,
    // prompts and errors are printed all the same.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    static bool parseOnError(const QString& text, OnError* policy);
    // How many times the retry policy repeats one failing prompt before it gives up.
    static constexpr int MaxRetries = 3;

    int messageBox(const QString& text, int style, const QString& title) override;
    int errorPrompt(const QString& text, int style, const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText = QString()) override;
    std::optional<QString> openFile(const QString& title, const QString& filter) override;
    bool connectionDialog(ConnectionValues& values) override;
    StatusWindow& statusWindow() override;
    void showStepProgress(StepProgress& steps) override;
    // The rows numbered on the terminal; the answer names the rows to tick ("a" all, empty
    // none, "q" cancels). Without a terminal the lookup counts as cancelled.
    void listLookup(LookupSession& session) override;
    void processEvents() override;

    // Reads one line with echo off (for passwords); nullopt when not interactive.
    std::optional<QString> askHidden(const QString& prompt);
    std::optional<QString> ask(const QString& prompt);

private:
    int answerFor(int style, const QString& key);
    // Where progress lines go: the terminal, or nowhere when quiet.
    QTextStream& progress();
    static void print(QTextStream& to, const QString& title, const QString& text);
    // Prints a prompt on `err` with the answer it got.
    int prompt(const QString& text, int style, const QString& title);

    QTextStream& m_out;
    QTextStream& m_err;
    QTextStream& m_in;
    bool m_interactive;
    OnError m_policy = OnError::Abort;
    bool m_quiet = false;
    QString m_lastRetryKey;
    int m_retries = 0;
    struct DiscardingStream;
    std::unique_ptr<DiscardingStream> m_silent;
    std::unique_ptr<StatusWindow> m_status;
    bool m_cancelOffered = false; // the status window's cancel is on: a signal is its button
    std::unique_ptr<QObject> m_progressLink; // owns the connections to the shown step list
};

} // namespace kv
