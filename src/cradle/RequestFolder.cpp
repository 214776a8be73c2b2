#include "cradle/RequestFolder.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace kv::cradle {

namespace {

const QString kPrefix = QStringLiteral("kvcradle-");

bool processAlive(qint64 pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

RequestFolder::RequestFolder()
    : m_dir(std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/') + kPrefix +
                                             QString::number(QCoreApplication::applicationPid()) +
                                             QStringLiteral("-XXXXXX"))) {}

RequestFolder::~RequestFolder() = default;

bool RequestFolder::isValid() const {
    return m_dir->isValid();
}

QString RequestFolder::errorString() const {
    return m_dir->errorString();
}

QString RequestFolder::filePath(const QString& name) const {
    return m_dir->filePath(name);
}

int RequestFolder::removeAbandoned() {
    static const QRegularExpression name(QStringLiteral("^kvcradle-(\\d+)-.{6}$"));
    QDir temp(QDir::tempPath());
    int removed = 0;
    for (const QString& entry : temp.entryList({kPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = name.match(entry);
        if (!m.hasMatch() || processAlive(m.captured(1).toLongLong())) continue;
        QDir folder(temp.filePath(entry));
        // Only our own: a folder of another user's is not ours to remove.
        if (QFileInfo(folder.path()).ownerId() != uint(::getuid())) continue;
        if (folder.removeRecursively()) ++removed;
    }
    return removed;
}

} // namespace kv::cradle
