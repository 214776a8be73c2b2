#include "console/gui/FrmControl.h"

#include "app/Cfg.h"
#include "app/gui/PrepararFormulario.h"
#include "app/Startup.h"
#include "app/Trap.h"
#include "console/gui/DeviceTile.h"
#include "console/TileLayout.h"
#include "history/gui/FrmHistorial.h"
#include "settings/DeviceSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>

namespace kv {

namespace {
constexpr int kTwips = tiles::TwipsPerPixel;

QString tileCaption(int device) {
    return QStringLiteral("Móvil\r\n") + settings::deviceDisplayName(device);
}
} // namespace

FrmControl::FrmControl(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmControl"));
    setWindowTitle(QStringLiteral("Modulo de Control "));
    resize(640, 480);

    QMenu* menu = menuBar()->addMenu(QStringLiteral("Planilla de Control"));
    menu->setObjectName(QStringLiteral("MNU_Planilla_Control"));
    QAction* report = menu->addAction(QStringLiteral("Planilla de Control de Comprobantes"));
    report->setObjectName(QStringLiteral("MNU_ReportedeCPTES"));
    QAction* historial = menu->addAction(QStringLiteral("Historial"));
    historial->setObjectName(QStringLiteral("MNU_Historial"));
    connect(historial, &QAction::triggered, this, [this] { FrmHistorial(this).exec(); });
    menu->addSeparator()->setObjectName(QStringLiteral("MNU_Separador01"));
    QAction* quit = menu->addAction(QStringLiteral("Salir"));
    quit->setObjectName(QStringLiteral("MNU_Salir"));
    connect(report, &QAction::triggered, this, [] { MenuExes(QStringLiteral("shell:Rp_planilla_mov"), QString()); });
    connect(quit, &QAction::triggered, this, &QWidget::close);

    m_frame = new QWidget(this);
    m_frame->setObjectName(QStringLiteral("picFrame"));
    m_frame->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(m_frame);
    m_slide = new QWidget(m_frame);
    m_slide->setObjectName(QStringLiteral("picSlide"));
    m_slide->setAutoFillBackground(true);
    m_scroll = new QScrollBar(Qt::Vertical, m_frame);
    m_scroll->setObjectName(QStringLiteral("vsbSlide"));
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int v) {
        m_slide->move(m_slide->x(), -v / kTwips);
        m_frame->setFocus();
    });

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StBUser"));
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("StBUserPanel%1").arg(i + 1));
        bar->addPermanentWidget(m_panels[i], i == 0 ? 1 : 0);
    }
}

void FrmControl::load() {
    m_loading = true;
    Trap silent = Trap::silent();
    int count = 1;
    silent.step([&] { count = deviceCount(); });
    silent.step([&] { CrearTerminales(count); });
    silent.step([&] { PosicionaThumbs(); });
    silent.step([&] {
        QPalette p = m_slide->palette();
        p.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
        m_slide->setPalette(p);
        PrepararFormulario(this);
    });
    // The saved place, in twips, each value applied as soon as it is read.
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                          : QRect(0, 0, 1024, 768);
    silent.step([&] {
        if (const auto w = settings::readPosition(QStringLiteral("width"), float(width() * kTwips)))
            resize(int(*w / kTwips), height());
    });
    silent.step([&] {
        if (const auto h = settings::readPosition(QStringLiteral("Height"), float(height() * kTwips)))
            resize(width(), int(*h / kTwips));
    });
    silent.step([&] {
        const float centre = float((screen.width() / 2 - width() / 2) * kTwips);
        if (const auto l = settings::readPosition(QStringLiteral("left"), centre)) move(int(*l / kTwips), y());
    });
    silent.step([&] {
        const float centre = float((screen.height() / 2 - height() / 2) * kTwips);
        if (const auto t = settings::readPosition(QStringLiteral("top"), centre)) move(x(), int(*t / kTwips));
    });
    m_loading = false;
    silent.step([&] {
        m_panels[1]->setText(panelUsuario());
        m_panels[2]->setText(panelVersion());
    });
}

void FrmControl::CrearTerminales(int cuantas) {
    Trap trap = Trap::prompting(QStringLiteral("CrearTerminales"));
    for (int k = 0; k < cuantas; ++k) {
        DeviceTile* tile = nullptr;
        if (!trap.step([&] { tile = new DeviceTile(k, m_slide); })) return;
        if (!tile) continue;
        m_tiles << tile;
        connect(tile, &DeviceTile::selectionClicked, this, &FrmControl::onSelection);
        connect(tile, &DeviceTile::commandTriggered, this, &FrmControl::runCommand);
        if (!trap.step([&] { tile->setCaption(tileCaption(k + 1)); })) return;
        tile->show();
    }
}

void FrmControl::PosicionaThumbs() {
    if (isMinimized()) return;
    if (const auto snapped = tiles::snapToMinimum(size())) {
        resize(*snapped); // raises a resize of its own, which lays the window out
        return;
    }
    const int frameW = m_frame->width() * kTwips;
    const int frameH = m_frame->height() * kTwips;
    const int barW = m_scroll->sizeHint().width() * kTwips;
    m_scroll->setGeometry(m_frame->width() - m_scroll->sizeHint().width(), 0, m_scroll->sizeHint().width(),
                          m_frame->height());
    const auto layout = tiles::layOut(frameW, frameH, barW, m_tiles.size());
    if (!layout) return; // no column fits: the tiles keep their places
    for (int i = 0; i < m_tiles.size(); ++i)
        m_tiles[i]->move(layout->positions[i].x() / kTwips, layout->positions[i].y() / kTwips);
    m_slide->setGeometry(0, 0, layout->slide.width() / kTwips, layout->slide.height() / kTwips);
    m_scroll->setValue(0);
    m_scroll->setMaximum(layout->scrollMaximum);
    m_scroll->setEnabled(layout->scrollEnabled);
    if (layout->scrollEnabled) {
        m_scroll->setSingleStep(layout->smallChange);
        m_scroll->setPageStep(layout->largeChange);
    }
    update();
}

void FrmControl::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    Trap::silent().step([&] { PosicionaThumbs(); });
    // The resize Qt delivers when the loaded window is first shown (no old size) belongs to
    // the load: it saves nothing, as no resize during the load does.
    if (!m_loading && !isMinimized() && e->oldSize().isValid()) savePosition();
}

void FrmControl::savePosition() {
    Trap silent = Trap::silent();
    silent.step([&] { settings::writePosition(QStringLiteral("left"), float(x() * kTwips)); });
    silent.step([&] { settings::writePosition(QStringLiteral("top"), float(y() * kTwips)); });
    silent.step([&] { settings::writePosition(QStringLiteral("width"), float(width() * kTwips)); });
    silent.step([&] { settings::writePosition(QStringLiteral("Height"), float(height() * kTwips)); });
}

void FrmControl::onSelection(int index, bool ticked) {
    DeviceTile* t = tile(index);
    if (!t) return;
    t->setSelected(ticked);
    if (!ticked) return;
    for (DeviceTile* other : m_tiles)
        if (other != t && other->isSelected()) other->setSelected(false);
    if (m_busy) t->setCommandsEnabled(false);
}

int FrmControl::selectedIndex() const {
    for (const DeviceTile* t : m_tiles)
        if (t->isSelected()) return t->index();
    return -1;
}

void FrmControl::refreshCaption(int device) {
    if (DeviceTile* t = tile(device - 1)) t->setCaption(tileCaption(device));
}

void FrmControl::runCommand(int tileIndex, const QString& key) {
    if (m_busy || !m_handler) return;
    // While a command runs the interface stays alive, but no second command can start.
    m_busy = true;
    for (DeviceTile* t : m_tiles) t->setCommandsEnabled(false);
    m_handler(key, tileIndex + 1);
    m_busy = false;
    for (DeviceTile* t : m_tiles) t->setCommandsEnabled(true);
    if (m_closing) QCoreApplication::quit();
}

void FrmControl::closeEvent(QCloseEvent* e) {
    if (!m_busy) {
        QMainWindow::closeEvent(e);
        return;
    }
    // Nothing may go on in a program no one sees: the command gives up and the program ends
    // as soon as it has returned.
    m_closing = true;
    hide();
    e->ignore();
    Q_EMIT abandoned();
}

} // namespace kv
