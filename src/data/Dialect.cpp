#include "data/Dialect.h"

#include <QRegularExpression>
#include <functional>

namespace kv::dialect {

namespace {

// The statement with every character inside a quoted literal replaced by \x01, so patterns
// match code only; positions stay those of the original text.
QString maskLiterals(const QString& sql) {
    QString masked = sql;
    bool inLiteral = false;
    for (int i = 0; i < masked.size(); ++i) {
        if (masked.at(i) == QLatin1Char('\'')) {
            inLiteral = !inLiteral; // a doubled quote closes and reopens: still literal text
            continue;
        }
        if (inLiteral) masked[i] = QChar(1);
    }
    return masked;
}

// Replaces every match of `re` found outside literals by replacement(match on the original).
QString replaceInCode(const QString& sql, const QRegularExpression& re,
                      const std::function<QString(const QRegularExpressionMatch&, const QString&)>& replacement) {
    const QString masked = maskLiterals(sql);
    QString out;
    int last = 0;
    auto it = re.globalMatch(masked);
    while (it.hasNext()) {
        const auto m = it.next();
        out += sql.mid(last, m.capturedStart() - last);
        out += replacement(m, sql);
        last = m.capturedEnd();
    }
    out += sql.mid(last);
    return out;
}

QString replaceWord(const QString& sql, const QString& pattern, const QString& with) {
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
    return replaceInCode(sql, re, [&](const QRegularExpressionMatch&, const QString&) { return with; });
}

} // namespace

QString toSqlite(const QString& sql) {
    QString s = sql;
    // [name] -> "name"
    s = replaceInCode(s, QRegularExpression(QStringLiteral(R"(\[([^\]\x01]*)\])")),
                      [](const QRegularExpressionMatch& m, const QString& orig) {
                          return QLatin1Char('"') + orig.mid(m.capturedStart(1), m.capturedLength(1)) +
                                 QLatin1Char('"');
                      });
    s = replaceWord(s, QStringLiteral(R"(\bDELETE\s+\*\s+FROM\b)"), QStringLiteral("DELETE FROM"));
    s = replaceWord(s, QStringLiteral(R"(\bISNULL\s*\()"), QStringLiteral("IFNULL("));
    s = replaceWord(s, QStringLiteral(R"(\bLEN\s*\()"), QStringLiteral("LENGTH("));

    // SELECT TOP n ... -> SELECT ... LIMIT n (the limit goes after ORDER BY, at the very end).
    static const QRegularExpression top(QStringLiteral(R"(\bSELECT\s+(DISTINCT\s+)?TOP\s+(\d+)\s+)"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QString masked = maskLiterals(s);
    const auto m = top.match(masked);
    if (m.hasMatch()) {
        const QString count = m.captured(2);
        QString head = s.left(m.capturedStart()) + QStringLiteral("SELECT ") +
                       (m.capturedLength(1) ? QStringLiteral("DISTINCT ") : QString());
        QString rest = s.mid(m.capturedEnd());
        while (rest.endsWith(QLatin1Char(';')) || rest.endsWith(QLatin1Char(' ')) || rest.endsWith(QLatin1Char('\n')) ||
               rest.endsWith(QLatin1Char('\r')))
            rest.chop(1);
        s = head + rest + QStringLiteral(" LIMIT ") + count;
    }
    return s;
}

} // namespace kv::dialect
