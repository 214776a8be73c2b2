#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace kv::history {

// Tells an open window that the history changed, whoever wrote it (this program, kvctl, kvcradle):
// the file is watched where SQLite rewrites it in place, and its folder for a file that is created,
// removed or replaced. A burst of writes (a job's record, its journal coming and going) is told
// once, SettleMs after its first change; nothing is read while nothing changes.
class HistoryWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int SettleMs = 250;

    explicit HistoryWatch(QObject* parent = nullptr);

Q_SIGNALS:
    void changed();

private:
    void watchFile();

    QString m_path;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};

} // namespace kv::history
