#pragma once

#include "history/HistoryWatch.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>

class QLabel;
class QScrollBar;

namespace kv {

class DeviceTile;

// The console, "Modulo de Control ": one tile per handheld in a scrolling area, the menu and
// the status bar. The toolbar commands go to the handler the program installs.
class FrmControl : public QMainWindow {
    Q_OBJECT
public:
    // key ("PROPIEDADES", "HOTSYNC-PALM", "HOTSYNC-PC", any case) and device number (from 1).
    using CommandHandler = std::function<void(const QString& key, int device)>;

    explicit FrmControl(QWidget* parent = nullptr);

    void setCommandHandler(CommandHandler h) { m_handler = std::move(h); }
    // Load: tiles, layout, saved position, status bar.
    void load();

    int tileCount() const { return m_tiles.size(); }
    DeviceTile* tile(int index) const { return m_tiles.value(index); }
    // The selected tile's index, or -1.
    int selectedIndex() const;
    // Rewrites a device's tile caption from the settings file (after its parameters changed).
    void refreshCaption(int device);
    // Rewrites every tile's last sync from the history; a history that cannot be read leaves
    // them as they were.
    void refreshLastSyncs();
    // Runs a toolbar command for a tile; the other commands are blocked while it runs.
    void runCommand(int tileIndex, const QString& key);
    bool busy() const { return m_busy; }

    QScrollBar* scrollBar() const { return m_scroll; }
    QWidget* tileArea() const { return m_slide; }

Q_SIGNALS:
    // The console was closed while a command runs: the command is to give up its wait, and the
    // program ends when it returns.
    void abandoned();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void CrearTerminales(int cuantas);
    void PosicionaThumbs();
    void layOutNow();
    void placeOnScreen();
    void savePosition();
    void onSelection(int index, bool ticked);

    QWidget* m_frame;
    QWidget* m_slide;
    QScrollBar* m_scroll;
    QLabel* m_panels[3];
    QList<DeviceTile*> m_tiles;
    bool m_loading = false;
    bool m_busy = false;
    bool m_closing = false; // closed while a command ran
    int m_wheel = 0; // wheel turn not yet a whole row
    QTimer m_saveTimer;
    history::HistoryWatch* m_history = nullptr;
    CommandHandler m_handler;
};

} // namespace kv
