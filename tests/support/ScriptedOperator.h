#pragma once

#include "app/Operator.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace kv::test {

// The person in tests: records everything the program shows and answers from a script.
// Unscripted questions get the answer a cautious person would give: OK to a message, Abort to an
// error prompt, No to a yes/no question, Cancel to an input box or file dialog.
class ScriptedOperator : public Operator {
public:
    struct Shown {
        QString kind; // "message", "error", "input", "file", "status", "lookup"
        QString title;
        QString text;
        int style = 0;
    };

    ScriptedOperator();
    ~ScriptedOperator() override;

    // Answers for message boxes and error prompts, taken in order.
    void answer(int code) { m_answers.push_back(code); }
    void answerAlways(int code) { m_always = code; }
    void answerInput(std::optional<QString> text) { m_inputs.push_back(std::move(text)); }
    void answerFile(std::optional<QString> path) { m_files.push_back(std::move(path)); }
    // Answers for the connection dialog: the values the person leaves in it, or nullopt to cancel.
    void answerConnection(std::optional<ConnectionValues> v) { m_connections.push_back(std::move(v)); }
    // What the connection dialog was shown with, one entry per showing.
    const QList<ConnectionValues>& connectionDialogs() const { return m_connectionShown; }
    // The status window reports a cancel request from the n-th showTexts call on (1-based).
    void cancelStatusAt(int call) { m_cancelAt = call; }
    // Called whenever the status window shows its texts (with the first line): lets a test act
    // in the middle of a long job.
    void onStatusTexts(std::function<void(const QString&)> f) { m_onStatus = std::move(f); }
    // Plays the person in the list lookup: ticks, types, presses F5, accepts or cancels through
    // the session. Without one, or when it leaves the session open, the lookup is cancelled.
    void onListLookup(std::function<void(LookupSession&)> f) { m_onLookup = std::move(f); }
    // Called on every processEvents; lets a test act "while the program waits".
    void onProcessEvents(std::function<void()> f) { m_onEvents = std::move(f); }
    // Called while an error prompt is open, before it is answered: lets a test act "while the
    // person reads it" (with the prompt's text).
    void onErrorPrompt(std::function<void(const QString&)> f) { m_onError = std::move(f); }

    const QList<Shown>& shown() const { return m_shown; }
    QList<Shown> shownOf(const QString& kind) const;
    QStringList messages() const; // "TITLE: TEXT" of every message box and error prompt
    void clear() { m_shown.clear(); }

    // Status window history.
    const QStringList& statusLog() const { return m_statusLog; }
    bool statusOpen() const { return m_statusOpen; }
    bool cancelOffered() const { return m_cancelOffered; }
    int statusShows() const { return m_statusShows; }

    int messageBox(const QString& text, int style, const QString& title) override;
    int errorPrompt(const QString& text, int style, const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText = QString()) override;
    std::optional<QString> openFile(const QString& title, const QString& filter) override;
    bool connectionDialog(ConnectionValues& values) override;
    StatusWindow& statusWindow() override;
    void showStepProgress(StepProgress& steps) override;
    void processEvents() override;
    // Recorded as "lookup" with the statement the lookup class handed over as its text.
    void listLookup(LookupSession& session) override;
    // The step list last shown, and how often one was shown.
    StepProgress* stepProgress() const { return m_steps; }
    int stepProgressShows() const { return m_stepShows; }

private:
    friend class ScriptedStatusWindow;
    int next(int fallback);

    std::deque<int> m_answers;
    std::optional<int> m_always;
    std::deque<std::optional<QString>> m_inputs;
    std::deque<std::optional<QString>> m_files;
    std::deque<std::optional<ConnectionValues>> m_connections;
    QList<ConnectionValues> m_connectionShown;
    QList<Shown> m_shown;
    QStringList m_statusLog;
    bool m_statusOpen = false;
    bool m_cancelOffered = false;
    int m_statusShows = 0;
    int m_cancelAt = 0;
    std::function<void()> m_onEvents;
    std::function<void(const QString&)> m_onError;
    std::function<void(const QString&)> m_onStatus;
    std::function<void(LookupSession&)> m_onLookup;
    StepProgress* m_steps = nullptr;
    int m_stepShows = 0;
    std::unique_ptr<StatusWindow> m_status;
};

// Installs a scripted operator for the lifetime of the object.
class ScopedOperator {
public:
    ScopedOperator() { setOperator(&person); }
    ~ScopedOperator() { setOperator(nullptr); }
    ScriptedOperator person;
};

} // namespace kv::test
