#include "app/gui/StatusDialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

StatusDialog::StatusDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmStatusWindow"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 3; ++i) {
        m_lines[i] = new QLabel(this);
        m_lines[i]->setObjectName(QStringLiteral("lblLinea%1").arg(i + 1));
        m_lines[i]->setMinimumWidth(380);
        m_lines[i]->setAlignment(Qt::AlignCenter);
        layout->addWidget(m_lines[i]);
    }
    m_cancel = new QPushButton(QStringLiteral("&Cancelar"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancelar"));
    m_cancel->hide();
    layout->addWidget(m_cancel, 0, Qt::AlignCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelRequested = true; });
}

void StatusDialog::begin(const QString& caption) {
    setWindowTitle(caption);
    m_cancelRequested = false;
    for (QLabel* l : m_lines) l->clear();
    show();
    raise();
}

void StatusDialog::setCancelOffered(bool on) {
    m_cancel->setVisible(on);
    if (!on) m_cancelRequested = false;
}

void StatusDialog::setTexts(const QString& first, const QString& second, const QString& third) {
    m_lines[0]->setText(first);
    m_lines[1]->setText(second);
    m_lines[2]->setText(third);
    repaint();
}

void StatusDialog::closeEvent(QCloseEvent* e) {
    if (m_cancel->isVisible()) m_cancelRequested = true;
    e->ignore();
}

void StatusDialog::reject() {
    if (m_cancel->isVisible()) m_cancelRequested = true;
}

bool StatusDialog::cancelRequested() const {
    return m_cancel->isVisible() && m_cancelRequested;
}

} // namespace kv
