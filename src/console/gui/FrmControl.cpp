#include "console/gui/FrmControl.h"

#include "app/Cfg.h"
#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "app/Startup.h"
#include "app/Trap.h"
#include "app/gui/PrepararFormulario.h"
#include "console/LastSyncText.h"
#include "console/TileLayout.h"
#include "console/WindowPlacement.h"
#include "console/gui/DeviceTile.h"
#include "history/JobHistory.h"
#include "history/gui/FrmHistorial.h"
#include "settings/DeviceSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QWheelEvent>

namespace kv {

namespace {
constexpr int kTwips = tiles::TwipsPerPixel;
// Beside the four position keys: 2 when the console was left maximised (the form's window
// state), 0 otherwise.
const QString kWindowState = QStringLiteral("WindowState");
constexpr int kMaximised = 2;
// A resize is saved once the window manager has also moved the window (maximising resizes, then
// moves): the place saved is the one the window ends up with.
constexpr int kSaveDelayMs = 250;

QString tileCaption(int device) {
    return QStringLiteral("Móvil\r\n") + settings::deviceDisplayName(device);
}
} // namespace

FrmControl::FrmControl(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmControl"));
    setWindowTitle(QStringLiteral("Modulo de Control "));

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
    // The wheel anywhere over the tiles scrolls them a row at a time.
    m_frame->installEventFilter(this);
    m_scroll->installEventFilter(this);
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] {
        if (!isMinimized()) savePosition();
    });

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StBUser"));
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("StBUserPanel%1").arg(i + 1));
        bar->addPermanentWidget(m_panels[i], i == 0 ? 1 : 0);
    }
    resize(tiles::designSize(m_scroll->sizeHint().width(),
                             menuBar()->sizeHint().height() + bar->sizeHint().height()));
}

void FrmControl::load() {
    m_loading = true;
    Trap silent = Trap::silent();
    int count = 1;
    silent.step([&] { count = deviceCount(); });
    silent.step([&] {
        const QString notice = deviceLimitNotice(count);
        count = shownDevices(count);
        if (!notice.isEmpty()) op().messageBox(notice, mb::Exclamation, QStringLiteral("Aviso al Usuario"));
    });
    silent.step([&] { CrearTerminales(count); });
    silent.step([&] { refreshLastSyncs(); });
    // Jobs of this console, of kvctl or of kvcradle: every write shows on the tiles.
    if (!m_history) {
        m_history = new history::HistoryWatch(this);
        connect(m_history, &history::HistoryWatch::changed, this, &FrmControl::refreshLastSyncs);
    }
    silent.step([&] { layOutNow(); });
    silent.step([&] {
        QPalette p = m_slide->palette();
        p.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
        m_slide->setPalette(p);
        PrepararFormulario(this);
    });
    // The saved place, in twips, each value applied as soon as it is read; by default the window
    // is centred on the screen's available area.
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
        const float centre = float((screen.x() + (screen.width() - width()) / 2) * kTwips);
        if (const auto l = settings::readPosition(QStringLiteral("left"), centre)) move(int(*l / kTwips), y());
    });
    silent.step([&] {
        const float centre = float((screen.y() + (screen.height() - height()) / 2) * kTwips);
        if (const auto t = settings::readPosition(QStringLiteral("top"), centre)) move(x(), int(*t / kTwips));
    });
    silent.step([&] { placeOnScreen(); });
    silent.step([&] {
        if (settings::readPosition(kWindowState, 0) == float(kMaximised)) setWindowState(Qt::WindowMaximized);
    });
    silent.step([&] { layOutNow(); });
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
        // Every part of a tile passes the wheel on to the tile area.
        tile->installEventFilter(this);
        for (QWidget* part : tile->findChildren<QWidget*>()) part->installEventFilter(this);
        connect(tile, &DeviceTile::selectionClicked, this, &FrmControl::onSelection);
        connect(tile, &DeviceTile::commandTriggered, this, &FrmControl::runCommand);
        if (!trap.step([&] { tile->setCaption(tileCaption(k + 1)); })) return;
        tile->show();
    }
}

void FrmControl::layOutNow() {
    // A hidden window gets no resize events: its layout is run here, so the console is laid out
    // before it is first shown.
    if (QLayout* l = layout()) {
        l->invalidate();
        l->activate();
    }
    PosicionaThumbs();
}

void FrmControl::placeOnScreen() {
    QList<QRect> screens;
    for (const QScreen* s : QGuiApplication::screens()) screens << s->availableGeometry();
    // Before it is first shown the window's decorations are not known: room is left for a
    // title bar and a border.
    constexpr int border = 8;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect frame(pos(), size().grownBy(QMargins(0, 0, 2 * border, titleBar + border)));
    const QRect placed = ontoScreens(frame, screens, titleBar);
    if (placed.topLeft() != pos()) move(placed.topLeft());
}

void FrmControl::PosicionaThumbs() {
    if (isMinimized()) return;
    if (const auto snapped = tiles::snapToMinimum(size())) {
        resize(*snapped); // raises a resize of its own, which lays the window out
        if (!isVisible() && size() == *snapped) layOutNow(); // (a hidden window gets none)
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
    if (!m_loading && !isMinimized() && e->oldSize().isValid()) m_saveTimer.start();
}

void FrmControl::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    if (m_saveTimer.isActive()) m_saveTimer.start(); // the move that completes a resize
}

void FrmControl::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    // Maximised or restored: saved even when the size stays (a restored size as large as the
    // maximised one brings no resize).
    if (e->type() == QEvent::WindowStateChange && !m_loading && isVisible() && !isMinimized()) m_saveTimer.start();
}

bool FrmControl::eventFilter(QObject* watched, QEvent* e) {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (e->type() == QEvent::Wheel && widget && (widget == m_frame || m_frame->isAncestorOf(widget))) {
        m_wheel += static_cast<QWheelEvent*>(e)->angleDelta().y();
        const int rows = m_wheel / QWheelEvent::DefaultDeltasPerStep;
        m_wheel -= rows * QWheelEvent::DefaultDeltasPerStep;
        if (rows && m_scroll->isEnabled()) m_scroll->setValue(m_scroll->value() - rows * m_scroll->singleStep());
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void FrmControl::savePosition() {
    Trap silent = Trap::silent();
    // A maximised window keeps the place it is restored to: the screen-sized one would reopen
    // restored over the whole screen, its frame off it.
    if (!isMaximized()) {
        silent.step([&] { settings::writePosition(QStringLiteral("left"), float(x() * kTwips)); });
        silent.step([&] { settings::writePosition(QStringLiteral("top"), float(y() * kTwips)); });
        silent.step([&] { settings::writePosition(QStringLiteral("width"), float(width() * kTwips)); });
        silent.step([&] { settings::writePosition(QStringLiteral("Height"), float(height() * kTwips)); });
    }
    silent.step([&] { settings::writePosition(kWindowState, isMaximized() ? kMaximised : 0); });
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

void FrmControl::refreshLastSyncs() {
    QMap<int, history::Record> last;
    try {
        for (const history::Record& r : history::lastSyncs()) last.insert(r.device, r);
    } catch (const RunTimeError&) {
        return; // being rewritten, or broken: the next change tries again
    }
    for (DeviceTile* t : m_tiles) {
        const auto found = last.constFind(t->index() + 1);
        const history::Record* r = found == last.constEnd() ? nullptr : &*found;
        t->setLastSync(lastSyncText(r), r ? history::historyColumns(*r).last() : QString());
    }
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
    if (m_saveTimer.isActive()) {
        m_saveTimer.stop();
        savePosition();
    }
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
