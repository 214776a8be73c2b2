#include "cradle/AppFiles.h"

#include <QDir>
#include <QFileInfo>

namespace kv::cradle {

namespace {

QByteArray contentType(const QString& suffix) {
    static const QList<std::pair<QString, QByteArray>> types{
        {QStringLiteral("html"), "text/html; charset=utf-8"},
        {QStringLiteral("js"), "text/javascript; charset=utf-8"},
        {QStringLiteral("mjs"), "text/javascript; charset=utf-8"},
        {QStringLiteral("css"), "text/css; charset=utf-8"},
        {QStringLiteral("wasm"), "application/wasm"},
        {QStringLiteral("json"), "application/json"},
        {QStringLiteral("webmanifest"), "application/manifest+json"},
        {QStringLiteral("png"), "image/png"},
        {QStringLiteral("svg"), "image/svg+xml"},
        {QStringLiteral("ico"), "image/x-icon"},
        {QStringLiteral("txt"), "text/plain; charset=utf-8"}};
    for (const auto& [ext, type] : types)
        if (suffix.compare(ext, Qt::CaseInsensitive) == 0) return type;
    return "application/octet-stream";
}

CradleAnswer notFound() {
    return CradleService::refusal(404, QStringLiteral("not-found"),
                                  QStringLiteral("The handheld application has no such file."));
}

} // namespace

AppFiles::AppFiles(QString folder) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) m_folder = QFileInfo(folder).canonicalFilePath();
}

bool AppFiles::handles(const QByteArray& path) {
    return path == "/app" || path.startsWith("/app/");
}

CradleAnswer AppFiles::answer(const QByteArray& path) const {
    if (!enabled())
        return CradleService::refusal(404, QStringLiteral("no-app"),
                                      QStringLiteral("This cradle serves no handheld application."));
    if (path == "/app") {
        CradleAnswer moved = CradleService::refusal(308, QStringLiteral("moved"), QStringLiteral("/app/"));
        moved.headers.emplaceBack("Location", "/app/");
        return moved;
    }
    QString relative = QString::fromUtf8(path.mid(int(qstrlen("/app/"))));
    if (relative.isEmpty() || relative.endsWith(QLatin1Char('/'))) relative += QStringLiteral("index.html");
    for (const QString& part : relative.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") || part.startsWith(QLatin1Char('.')))
            return notFound();
    const QFileInfo file(m_folder + QLatin1Char('/') + relative);
    // A link inside the folder pointing out of it is not followed out.
    if (!file.isFile() || !file.canonicalFilePath().startsWith(m_folder + QLatin1Char('/'))) return notFound();
    CradleAnswer a;
    a.contentType = contentType(file.suffix());
    a.file = file.canonicalFilePath();
    // The service worker keeps the application for offline use; the browser asks each time so a
    // new version reaches the phones at their next visit online.
    a.headers.emplaceBack("Cache-Control", "no-cache");
    a.headers.emplaceBack("X-Content-Type-Options", "nosniff");
    a.headers.emplaceBack("Content-Security-Policy",
                      "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; "
                      "img-src 'self' data:; connect-src 'self'; frame-ancestors 'none'");
    a.outcome = QStringLiteral("app file");
    return a;
}

} // namespace kv::cradle
