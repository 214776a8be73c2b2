#include "history/gui/FrmHistorial.h"

#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "history/JobHistory.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kv {

FrmHistorial::FrmHistorial(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmHistorial"));
    setWindowTitle(QStringLiteral("Historial de Envíos y Recepciones"));
    resize(900, 420);

    m_devices = new QComboBox(this);
    m_devices->setObjectName(QStringLiteral("cboMovil"));
    auto* label = new QLabel(QStringLiteral("&Móvil:"), this);
    label->setObjectName(QStringLiteral("lblMovil"));
    label->setBuddy(m_devices);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstHistorial"));
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels(history::historyColumnTitles());
    m_list->header()->setStretchLastSection(true);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Cerrar"));
    close->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdCerrar"));
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* filter = new QHBoxLayout;
    filter->addWidget(label);
    filter->addWidget(m_devices);
    filter->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(m_list);
    layout->addWidget(close);

    fillDevices();
    connect(m_devices, &QComboBox::currentIndexChanged, this, &FrmHistorial::reload);
    reload();
}

void FrmHistorial::fillDevices() {
    m_devices->addItem(QStringLiteral("(Todos)"), 0);
    QList<int> devices;
    try {
        devices = history::historyDevices();
    } catch (const RunTimeError&) {
        // reload() tells the operator why the list is empty.
    }
    for (int d : devices)
        m_devices->addItem(QStringLiteral("Nº %1").arg(d), d);
}

int FrmHistorial::device() const {
    return m_devices->currentData().toInt();
}

void FrmHistorial::setDevice(int device) {
    const int i = m_devices->findData(device);
    m_devices->setCurrentIndex(i < 0 ? 0 : i);
}

void FrmHistorial::reload() {
    m_list->clear();
    history::Filter filter;
    if (device() > 0) filter.device = device();
    QList<history::Record> records;
    try {
        records = history::readHistory(filter);
    } catch (const RunTimeError& e) {
        op().messageBox(QStringLiteral("No se pudo leer el historial de envíos y recepciones.\r\r") +
                            e.description(),
                        mb::Information, QStringLiteral("Aviso al Usuario"));
        return;
    }
    // Newest first: the job the operator just ran is the one looked for.
    for (auto it = records.crbegin(); it != records.crend(); ++it) {
        auto* item = new QTreeWidgetItem(m_list, history::historyColumns(*it));
        item->setToolTip(5, item->text(5));
    }
    for (int c = 0; c < m_list->columnCount() - 1; ++c)
        m_list->resizeColumnToContents(c);
}

} // namespace kv
