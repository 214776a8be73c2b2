#pragma once

#include "app/Operator.h"

#include <QPointer>
#include <memory>

class QWidget;

namespace kv {

class StatusDialog;

// The operator of the console: real message boxes, dialogs and windows.
class WindowOperator : public Operator {
public:
    explicit WindowOperator(QWidget* parent = nullptr);
    ~WindowOperator() override;
    void setParent(QWidget* parent) { m_parent = parent; }
    // The console was closed while a command runs: a wait that has not seen its sync is
    // cancelled, and nothing more is shown, so the command ends and the program with it.
    void abandon();
    // The person turned a question down: cancelled the connection dialog or answered No. The
    // console's start-up tells a connection refused so from one that failed.
    bool declined() const { return m_declined; }

    int messageBox(const QString& text, int style, const QString& title) override;
    int errorPrompt(const QString& text, int style, const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText = QString()) override;
    std::optional<QString> openFile(const QString& title, const QString& filter) override;
    bool connectionDialog(ConnectionValues& values) override;
    StatusWindow& statusWindow() override;
    void showStepProgress(StepProgress& steps) override;
    // "Consulta...", modal.
    void listLookup(LookupSession& session) override;
    void processEvents() override;

    // "Desc |*.MDB|Other|*.x" -> "Desc (*.MDB *.mdb);;Other (*.x *.X)" (file names on Linux
    // differ by case; the filter should not).
    static QString qtFilter(const QString& classicFilter);

private:
    QPointer<QWidget> m_parent;
    bool m_abandoned = false;
    bool m_declined = false;
    std::unique_ptr<StatusWindow> m_status;
    QPointer<QWidget> m_progressWindow;
    StepProgress* m_progressModel = nullptr;
};

} // namespace kv
