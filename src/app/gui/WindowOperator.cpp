#include "app/gui/WindowOperator.h"

#include "app/gui/FrmAcceso.h"
#include "app/gui/StatusDialog.h"
#include "lookup/gui/Lib_FrmCons3.h"
#include "progress/gui/FrmStatus.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kv {

namespace {

class WindowStatus : public StatusWindow {
public:
    WindowStatus(QWidget* parent, const bool& abandoned)
        : m_dialog(new StatusDialog(parent)), m_abandoned(abandoned) {}
    ~WindowStatus() override { delete m_dialog; }
    void open(const QString& caption, bool) override {
        m_offered = false;
        if (!m_abandoned) m_dialog->begin(caption);
    }
    void offerCancel(bool on) override {
        m_offered = on;
        m_dialog->setCancelOffered(on);
    }
    bool showTexts(const QString& a, const QString& b, const QString& c) override {
        m_dialog->setTexts(a, b, c);
        // With the console closed no one is left to wait for: the offered cancel is pressed.
        return m_dialog->cancelRequested() || (m_abandoned && m_offered);
    }
    void close() override { m_dialog->hide(); }

private:
    QPointer<StatusDialog> m_dialog;
    const bool& m_abandoned;
    bool m_offered = false;
};

QString lineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

WindowOperator::WindowOperator(QWidget* parent) : m_parent(parent) {}
WindowOperator::~WindowOperator() = default;

void WindowOperator::abandon() {
    m_abandoned = true;
    if (m_status) m_status->close();
}

int WindowOperator::messageBox(const QString& text, int style, const QString& title) {
    // The console was closed: nothing more is shown, and a question is answered as its window
    // box would (a prompt leaves).
    if (m_abandoned)
        return mb::buttons(style) == mb::OkOnly             ? mb::Ok
               : mb::buttons(style) == mb::AbortRetryIgnore ? mb::Abort
                                                            : mb::Cancel;
    QMessageBox box(m_parent);
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setWindowTitle(title);
    box.setText(lineBreaks(text));
    switch (mb::icon(style)) {
    case mb::Critical: box.setIcon(QMessageBox::Critical); break;
    case mb::Question: box.setIcon(QMessageBox::Question); break;
    case mb::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case mb::Information: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    QList<Choice> choices;
    switch (mb::buttons(style)) {
    case mb::OkCancel: choices = {{QMessageBox::Ok, mb::Ok}, {QMessageBox::Cancel, mb::Cancel}}; break;
    case mb::AbortRetryIgnore:
        choices = {{QMessageBox::Abort, mb::Abort}, {QMessageBox::Retry, mb::Retry}, {QMessageBox::Ignore, mb::Ignore}};
        break;
    case mb::YesNoCancel:
        choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}, {QMessageBox::Cancel, mb::Cancel}};
        break;
    case mb::YesNo: choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}}; break;
    case mb::RetryCancel: choices = {{QMessageBox::Retry, mb::Retry}, {QMessageBox::Cancel, mb::Cancel}}; break;
    default: choices = {{QMessageBox::Ok, mb::Ok}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const auto& c : choices) buttons |= c.button;
    box.setStandardButtons(buttons);
    box.setDefaultButton(choices.first().button);
    const int pressed = box.exec();
    int answer = 0;
    for (const auto& c : choices)
        if (pressed == c.button) answer = c.answer;
    // Closed with Escape or the window box: the answer of the last button (Cancel, No, Ignore...).
    if (answer == 0)
        answer = choices.size() == 1 ? mb::Ok : mb::buttons(style) == mb::AbortRetryIgnore ? mb::Abort : choices.last().answer;
    if (answer == mb::No) m_declined = true;
    return answer;
}

int WindowOperator::errorPrompt(const QString& text, int style, const QString& title) {
    return messageBox(text, style, title);
}

std::optional<QString> WindowOperator::inputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? std::optional<QString>(answer) : std::nullopt;
}

QString WindowOperator::qtFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString t = p.trimmed();
            patterns << t;
            if (t.toLower() != t) patterns << t.toLower();
            else if (t.toUpper() != t) patterns << t.toUpper();
        }
        filters << parts.at(i).trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> WindowOperator::openFile(const QString& title, const QString& filter) {
    const QString path = QFileDialog::getOpenFileName(m_parent, title, QString(), qtFilter(filter));
    return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
}

bool WindowOperator::connectionDialog(ConnectionValues& values) {
    FrmAcceso dialog(m_parent);
    dialog.setValues(values);
    dialog.exec();
    if (!dialog.Aceptar) {
        m_declined = true;
        return false;
    }
    values = dialog.values();
    return true;
}

StatusWindow& WindowOperator::statusWindow() {
    if (!m_status) m_status = std::make_unique<WindowStatus>(m_parent, m_abandoned);
    return *m_status;
}

void WindowOperator::showStepProgress(StepProgress& steps) {
    // One window per step list: a second export reuses it, as the list itself is reused.
    if (!m_progressWindow || m_progressModel != &steps) {
        delete m_progressWindow;
        m_progressWindow = new FrmStatus(steps, m_parent);
        m_progressModel = &steps;
    }
    m_progressWindow->show();
    m_progressWindow->raise();
    QApplication::processEvents();
}

void WindowOperator::listLookup(LookupSession& session) {
    // Over the dialog that asked for it (the device parameters), else over the console.
    QWidget* modal = QApplication::activeModalWidget();
    Lib_FrmCons3 dialog(session, modal ? modal : m_parent.data());
    dialog.exec();
}

void WindowOperator::processEvents() {
    QApplication::processEvents();
}

} // namespace kv
