#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace kv {

// The step list of the export: one line per step with its state, and the progress bar that
// advances each time a step finishes. Windows and the terminal show it; the runner drives it.
class StepProgress : public QObject {
    Q_OBJECT
public:
    // The export always has this many steps; the bar is measured against it, not the list.
    static constexpr int FixedSteps = 13;

    struct Line {
        QString paso;  // key and "Paso" text
        int state = 1; // icon and state code 1..5
        QString stateText;
        qint64 rows = -1; // rows copied so far while the step runs (-1: none reported)
        QString detail;   // why the step failed, for the operator
    };

    explicit StepProgress(QObject* parent = nullptr);

    // Adds a line in state 1; a description already listed empties the list first (a new run).
    void AgregarPaso(const QString& paso);
    // Sets the state of the first line whose description is exactly `paso`; code 4 moves the bar.
    void StatusPaso(const QString& paso, int status);
    // Rows copied so far by the running step (shown beside its state).
    void setRowsCopied(const QString& paso, qint64 rows);
    // Why a step failed (shown with its line).
    void setDetail(const QString& paso, const QString& detail);
    // Empties the list (what loading the window does).
    void clear();

    const QList<Line>& lines() const { return m_lines; }
    double percentage() const { return m_percentage; }
    // The bar's label: caption, a blank, the percentage rounded without leading zeros, "%".
    QString progressLabel() const;

    static QString stateText(int status);
    // (position * 100) / 13 with the product taken as a 16-bit integer.
    static double percentageFor(int position);
    // "###" of a percentage: rounded, no leading zeros, 0 gives no digits.
    static QString formatPercent(double percentage);

Q_SIGNALS:
    void cleared();
    void lineAdded(int index);
    void lineChanged(int index);
    void progressChanged(double percentage, const QString& label);

private:
    Line* find(const QString& paso, int* index);
    QList<Line> m_lines;
    double m_percentage = 0;
};

} // namespace kv
