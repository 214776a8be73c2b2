#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QTreeWidget;

namespace kv {

class StepProgress;

// The bar under the step list: the label stays readable where the bar covers it, because the
// bar inverts what lies under it instead of painting over it.
class ProgressPicture : public QWidget {
    Q_OBJECT
public:
    explicit ProgressPicture(QWidget* parent = nullptr);
    void setProgress(double percentage, const QString& label);
    double percentage() const { return m_percentage; }
    const QString& label() const { return m_label; }
    QSize sizeHint() const override { return {360, 22}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double m_percentage = 0;
    QString m_label;
};

// "Procesando ...": the export's steps with their states and the progress bar. Shown without a
// modal wait; it stays on screen after the export until the operator closes it.
class FrmStatus : public QDialog {
    Q_OBJECT
public:
    explicit FrmStatus(StepProgress& model, QWidget* parent = nullptr);

private:
    void rebuild();
    void refreshLine(int index);

    StepProgress& m_model;
    QTreeWidget* m_list;
    ProgressPicture* m_bar;
};

} // namespace kv
