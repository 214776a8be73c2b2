#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kv {

// The status window: a caption, three text lines and a cancel button shown only while the
// cancel offer is on. It is not modal: the program keeps working and polls the cancel request.
class StatusDialog : public QDialog {
    Q_OBJECT
public:
    explicit StatusDialog(QWidget* parent = nullptr);
    void begin(const QString& caption);
    void setCancelOffered(bool on);
    void setTexts(const QString& first, const QString& second, const QString& third);
    // The cancel button was pressed while it was offered.
    bool cancelRequested() const;

protected:
    // The window's close button (and Escape) is the cancel button while it is offered, and
    // does nothing otherwise: the operation that opened the window closes it.
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    QLabel* m_lines[3];
    QPushButton* m_cancel;
    bool m_cancelRequested = false;
};

} // namespace kv
