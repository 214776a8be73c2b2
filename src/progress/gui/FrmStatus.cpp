#include "progress/gui/FrmStatus.h"

#include "progress/StepProgress.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kv {

namespace {
// Twips as the window's design measured them, at 15 twips a pixel.
int twips(int t) {
    return t / 15;
}

QIcon stateIcon(int state) {
    QStyle* s = QApplication::style();
    switch (state) {
    case 1: return s->standardIcon(QStyle::SP_MediaPause);
    case 2: return s->standardIcon(QStyle::SP_MediaPlay);
    case 3: return s->standardIcon(QStyle::SP_MediaStop);
    case 4: return s->standardIcon(QStyle::SP_DialogApplyButton);
    case 5: return s->standardIcon(QStyle::SP_MessageBoxCritical);
    default: return QIcon();
    }
}
} // namespace

ProgressPicture::ProgressPicture(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picProgreso"));
    setMinimumHeight(20);
}

void ProgressPicture::setProgress(double percentage, const QString& label) {
    m_percentage = percentage;
    m_label = label;
    repaint();
}

void ProgressPicture::paintEvent(QPaintEvent*) {
    QImage img(size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(Qt::black);
    p.drawText(img.rect(), Qt::AlignCenter, m_label);
    // Not-XOR with the bar colour: text under the bar comes out in the inverse colour.
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    const int w = int(width() * qBound(0.0, m_percentage, 100.0) / 100.0);
    p.fillRect(QRect(0, 0, w, height()), QColor(0, 0, 255));
    p.end();
    QPainter(this).drawImage(0, 0, img);
}

FrmStatus::FrmStatus(StepProgress& model, QWidget* parent) : QDialog(parent), m_model(model) {
    setObjectName(QStringLiteral("FrmStatus"));
    setWindowTitle(QStringLiteral("Procesando ..."));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("Lvw1"));
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QString(), QStringLiteral("Paso"), QStringLiteral("Estado")});
    m_list->setColumnWidth(0, twips(500));
    m_list->setColumnWidth(1, twips(2500));
    m_list->setColumnWidth(2, twips(2000));
    m_list->header()->setStretchLastSection(true);
    m_list->setMinimumWidth(twips(500 + 2500 + 2000) + 24);
    m_list->setMinimumHeight(300);
    auto* caption = new QLabel(QStringLiteral("Progreso"), this);
    caption->setObjectName(QStringLiteral("Label1"));
    m_bar = new ProgressPicture(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(caption);
    layout->addWidget(m_bar);

    connect(&m_model, &StepProgress::cleared, this, &FrmStatus::rebuild);
    connect(&m_model, &StepProgress::lineAdded, this, [this](int i) {
        auto* item = new QTreeWidgetItem(m_list);
        Q_UNUSED(item);
        refreshLine(i);
    });
    connect(&m_model, &StepProgress::lineChanged, this, &FrmStatus::refreshLine);
    connect(&m_model, &StepProgress::progressChanged, this,
            [this](double pct, const QString& label) { m_bar->setProgress(pct, label); });
    rebuild();
    m_bar->setProgress(m_model.percentage(), m_model.percentage() > 0 ? m_model.progressLabel() : QString());
}

void FrmStatus::rebuild() {
    m_list->clear();
    for (int i = 0; i < m_model.lines().size(); ++i) {
        new QTreeWidgetItem(m_list);
        refreshLine(i);
    }
}

void FrmStatus::refreshLine(int index) {
    QTreeWidgetItem* item = m_list->topLevelItem(index);
    if (!item || index >= m_model.lines().size()) return;
    const auto& line = m_model.lines().at(index);
    item->setIcon(0, stateIcon(line.state));
    item->setText(1, line.paso);
    QString state = line.stateText;
    if (line.state == 2 && line.rows >= 0) state += QStringLiteral(" (%1 filas)").arg(line.rows);
    item->setText(2, state);
    item->setToolTip(2, line.detail);
    m_list->repaint();
    repaint();
}

} // namespace kv
