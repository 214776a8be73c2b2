#include "history/HistoryWatch.h"

#include "history/JobHistory.h"

#include <QFileInfo>

namespace kv::history {

HistoryWatch::HistoryWatch(QObject* parent) : QObject(parent), m_path(historyPath()) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        watchFile();
        Q_EMIT changed();
    });
    // Started by the first change and left running by the next ones, so a steady stream of
    // writes still refreshes every SettleMs instead of never.
    const auto touched = [this] {
        if (!m_settle.isActive()) m_settle.start();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, touched);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, touched);
    m_watcher.addPath(QFileInfo(m_path).absolutePath());
    watchFile();
}

void HistoryWatch::watchFile() {
    // A file replaced by a rename, or removed, drops out of the watch; a new one is taken up.
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path)) m_watcher.addPath(m_path);
}

} // namespace kv::history
