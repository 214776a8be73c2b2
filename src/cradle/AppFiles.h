#pragma once

#include "cradle/CradleService.h"

#include <QString>

namespace kv::cradle {

// The handheld web application's files, answered to GET /app/... from one folder. Only files
// inside that folder are ever answered, whatever the path says; nothing needs a token (the app
// holds no secret until it is paired).
class AppFiles {
public:
    explicit AppFiles(QString folder = QString());

    bool enabled() const { return !m_folder.isEmpty(); }
    // True for "/app" and every path under "/app/".
    static bool handles(const QByteArray& path);
    CradleAnswer answer(const QByteArray& path) const;

private:
    QString m_folder; // canonical, without a trailing slash; empty when there is no app to serve
};

} // namespace kv::cradle
