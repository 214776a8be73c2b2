#include "progress/StepProgress.h"

#include <cmath>

namespace kv {

StepProgress::StepProgress(QObject* parent) : QObject(parent) {}

QString StepProgress::stateText(int status) {
    switch (status) {
    case 1: return QStringLiteral("En Espera");
    case 2: return QStringLiteral("En Ejecución");
    case 3: return QStringLiteral("Inactivo");
    case 4: return QStringLiteral("Finalizado");
    case 5: return QStringLiteral("Error");
    default: return QString();
    }
}

double StepProgress::percentageFor(int position) {
    const qint16 product = static_cast<qint16>(position * 100);
    return double(product) / FixedSteps;
}

QString StepProgress::formatPercent(double percentage) {
    const long rounded = std::lround(percentage);
    return rounded == 0 ? QString() : QString::number(rounded);
}

void StepProgress::clear() {
    m_lines.clear();
    Q_EMIT cleared();
}

void StepProgress::AgregarPaso(const QString& paso) {
    for (const Line& l : m_lines)
        if (l.paso == paso) {
            clear();
            break;
        }
    m_lines.append(Line{paso, 1, stateText(1), -1, QString()});
    Q_EMIT lineAdded(m_lines.size() - 1);
}

void StepProgress::StatusPaso(const QString& paso, int status) {
    for (int i = 0; i < m_lines.size(); ++i) {
        Line& l = m_lines[i];
        if (l.paso != paso) continue;
        l.state = status;
        if (status >= 1 && status <= 5) l.stateText = stateText(status);
        if (status == 4) {
            m_percentage = percentageFor(i + 1);
            Q_EMIT progressChanged(m_percentage, progressLabel());
        }
        Q_EMIT lineChanged(i);
        return;
    }
}

StepProgress::Line* StepProgress::find(const QString& paso, int* index) {
    for (int i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].paso == paso) {
            *index = i;
            return &m_lines[i];
        }
    return nullptr;
}

void StepProgress::setRowsCopied(const QString& paso, qint64 rows) {
    int i = -1;
    if (Line* l = find(paso, &i)) {
        l->rows = rows;
        Q_EMIT lineChanged(i);
    }
}

void StepProgress::setDetail(const QString& paso, const QString& detail) {
    int i = -1;
    if (Line* l = find(paso, &i)) l->detail = detail;
}

QString StepProgress::progressLabel() const {
    return QStringLiteral(" ") + formatPercent(m_percentage) + QStringLiteral("%");
}

} // namespace kv
