#include "app/RunTimeError.h"
#include "DemoErp.h"

namespace kv::erp {

namespace {

[[noreturn]] void malformed(const QString& why) {
    throw RunTimeError(erperr::InvalidOptions,
                       QStringLiteral("connection string: %1 (expected key=value pairs such as "
                                      "\"host=localhost port=5432 user=erp dbname=erp\")")
                           .arg(why),
                       QStringLiteral("kverp"));
}

QString quotedValue(QString v) {
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

} // namespace

// The libpq grammar: pairs separated by blanks, blanks allowed around "=", a value either a run
// of non-blank characters or single-quoted; a backslash takes the next character as it is.
ConnInfo parseConnInfo(const QString& text) {
    ConnInfo info;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && text.at(i).isSpace())
            ++i;
    };
    for (skipBlanks(); i < n; skipBlanks()) {
        const qsizetype keyStart = i;
        while (i < n && !text.at(i).isSpace() && text.at(i) != QLatin1Char('='))
            ++i;
        const QString key = text.mid(keyStart, i - keyStart);
        skipBlanks();
        if (i >= n || text.at(i) != QLatin1Char('='))
            malformed(QStringLiteral("\"%1\" has no value").arg(key));
        if (key.isEmpty()) malformed(QStringLiteral("a value without a key"));
        ++i;
        skipBlanks();
        QString value;
        const bool quoted = i < n && text.at(i) == QLatin1Char('\'');
        if (quoted) ++i;
        bool closed = !quoted;
        for (; i < n; ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('\\') && i + 1 < n) {
                value += text.at(++i);
            } else if (quoted && c == QLatin1Char('\'')) {
                ++i;
                closed = true;
                break;
            } else if (!quoted && c.isSpace()) {
                break;
            } else {
                value += c;
            }
        }
        if (!closed) malformed(QStringLiteral("the value of \"%1\" has no closing quote").arg(key));

        const QString k = key.toLower();
        if (k == QLatin1String("host"))
            info.host = value;
        else if (k == QLatin1String("hostaddr")) {
            if (info.host.isEmpty()) info.host = value;
        } else if (k == QLatin1String("port")) {
            bool ok = false;
            const int port = value.toInt(&ok);
            if (!ok || port <= 0 || port > 65535)
                malformed(QStringLiteral("port \"%1\" is no port number").arg(value));
            info.port = value;
        } else if (k == QLatin1String("dbname"))
            info.dbname = value;
        else if (k == QLatin1String("user"))
            info.user = value;
        else if (k == QLatin1String("password"))
            info.password = value;
        else
            info.options << k + QLatin1Char('=') + quotedValue(value);
    }
    return info;
}

bool ConnInfo::hasOption(const QString& key) const {
    for (const QString& o : options)
        if (o.startsWith(key.toLower() + QLatin1Char('='))) return true;
    return false;
}

QString ConnInfo::describe() const {
    QStringList parts;
    if (!host.isEmpty()) parts << QStringLiteral("host=") + host;
    if (!port.isEmpty()) parts << QStringLiteral("port=") + port;
    if (!user.isEmpty()) parts << QStringLiteral("user=") + user;
    if (!dbname.isEmpty()) parts << QStringLiteral("dbname=") + dbname;
    return parts.join(QLatin1Char(' '));
}

} // namespace kv::erp
