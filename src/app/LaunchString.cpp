#include "app/LaunchString.h"

#include "app/GeneralFunctions.h"

namespace kv {

QString launchValue(const QString& text, const QString& key, const QString& absent) {
    int from = 0;
    for (;;) {
        const int p = text.indexOf(key, from, Qt::CaseInsensitive);
        if (p < 0) return absent;
        int next = p + key.size();
        while (next < text.size() && text.at(next).isSpace()) ++next;
        if (next < text.size() && text.at(next) == QLatin1Char('=')) {
            const int start = p + key.size();
            const int end = text.indexOf(QLatin1Char(';'), start);
            if (end < 0) return QString();
            return QuitarCaracteres(text.mid(start, end - start), QStringLiteral("=")).trimmed();
        }
        from = p + 1;
    }
}

LaunchValues readLaunchString(const QString& text) {
    LaunchValues v;
    v.server = launchValue(text, QStringLiteral("@Server"));
    v.dbName = launchValue(text, QStringLiteral("@DbName"));
    v.user = launchValue(text, QStringLiteral("@Usuario"));
    v.password = launchValue(text, QStringLiteral("@Password"));
    v.caja = launchValue(text, QStringLiteral("@Caja"), QStringLiteral("1"));
    v.motor = launchValue(text, QStringLiteral("@Motor"));
    return v;
}

QString launchStringFromArguments(const QStringList& arguments) {
    return arguments.join(QLatin1Char(' '));
}

QString NormalizarServidor(const QString& server) {
    QString s = server;
    const int slash = s.indexOf(QLatin1Char('/'));
    if (slash >= 0) s = s.mid(slash + 1);
    const int colon = s.indexOf(QLatin1Char(':'));
    if (colon >= 0) s = s.left(colon);
    return s;
}

QString buildLaunchString(const LaunchContext& c, const QString& parametroAdicional) {
    QString s = QStringLiteral(" ; @server=") + c.server + QStringLiteral("; @dbname=") + c.dbName +
                QStringLiteral("; @usuario=") + c.user + QStringLiteral("; @Password=") + c.password +
                QStringLiteral("; @ParametroAdicional=") + parametroAdicional +
                QStringLiteral("; pexora@ ; @UsuarioLogeado = ") + c.loggedUser + QStringLiteral("; @Caja=") + c.caja +
                QStringLiteral(";");
    // Programs of the suite ignore keys they don't know; this one needs the engine when it is
    // not the default.
    if (!c.motor.isEmpty() && c.motor.compare(QStringLiteral("sqlserver"), Qt::CaseInsensitive) != 0)
        s += QStringLiteral(" @Motor=") + c.motor + QStringLiteral(";");
    return s;
}

} // namespace kv
