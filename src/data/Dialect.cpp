#include "data/Dialect.h"

#include "app/RunTimeError.h"

#include <functional>
#include <QHash>
#include <QRegularExpression>

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

using Replacement = std::function<QString(const QRegularExpressionMatch&, const QString&)>;

// Replaces every match of `re` found outside literals by replacement(match, original text).
QString replaceInCode(const QString& sql, const QRegularExpression& re, const Replacement& replacement) {
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

QString replaceWord(const QString& sql, const QRegularExpression& re, const QString& with) {
    return replaceInCode(sql, re, [&](const QRegularExpressionMatch&, const QString&) { return with; });
}

// The patterns are compiled once: every statement the program opens passes through here.
QRegularExpression word(const char* pattern) {
    return QRegularExpression(QLatin1String(pattern), QRegularExpression::CaseInsensitiveOption);
}
const QRegularExpression& deleteStar() {
    static const QRegularExpression re = word(R"(\bDELETE\s+\*\s+FROM\b)");
    return re;
}
const QRegularExpression& lenCall() {
    static const QRegularExpression re = word(R"(\bLEN\s*\()");
    return re;
}
const QRegularExpression& isnullCall() {
    static const QRegularExpression re = word(R"(\bISNULL\s*\()");
    return re;
}
const QRegularExpression& likeWord() {
    static const QRegularExpression re = word(R"(\bLIKE\b)");
    return re;
}
const QRegularExpression& bracketed() {
    static const QRegularExpression re(QStringLiteral(R"(\[([^\]\x01]*)\])"));
    return re;
}

// Index just after the parenthesis that closes the one at `open`, or -1 (literals skipped).
int closingParenthesis(const QString& masked, int open) {
    int depth = 0;
    for (int i = open; i < masked.size(); ++i) {
        if (masked.at(i) == QLatin1Char('(')) ++depth;
        else if (masked.at(i) == QLatin1Char(')') && --depth == 0) return i + 1;
    }
    return -1;
}

// NAME(a, b) -> newName(b, a): functions whose arguments come in the other order.
QString swapArguments(const QString& sql, const QString& name, const QString& newName) {
    static QHash<QString, QRegularExpression> compiled;
    if (!compiled.contains(name))
        compiled.insert(name, QRegularExpression(QStringLiteral(R"(\b%1\s*\()").arg(name), QRegularExpression::CaseInsensitiveOption));
    const QRegularExpression& re = compiled[name];
    if (!sql.contains(name, Qt::CaseInsensitive)) return sql;
    QString s = sql;
    int from = 0;
    for (;;) {
        const QString masked = maskLiterals(s);
        const auto m = re.match(masked, from);
        if (!m.hasMatch()) return s;
        const int open = m.capturedEnd() - 1;
        const int end = closingParenthesis(masked, open);
        if (end < 0) return s;
        // The top-level comma between the two arguments.
        int depth = 0, comma = -1;
        for (int i = open + 1; i < end - 1; ++i) {
            const QChar c = masked.at(i);
            if (c == QLatin1Char('(')) ++depth;
            else if (c == QLatin1Char(')')) --depth;
            else if (c == QLatin1Char(',') && depth == 0) {
                comma = i;
                break;
            }
        }
        if (comma < 0) {
            from = end;
            continue;
        }
        const QString first = s.mid(open + 1, comma - open - 1).trimmed();
        const QString second = s.mid(comma + 1, end - 1 - comma - 1).trimmed();
        const QString call = newName + QLatin1Char('(') + second + QStringLiteral(", ") + first + QLatin1Char(')');
        s = s.left(m.capturedStart()) + call + s.mid(end);
        from = m.capturedStart() + call.size();
    }
}

[[noreturn]] void untranslatableTop(const QString& why) {
    throw RunTimeError(err::InvalidProcedureCall,
                       QStringLiteral("Invalid procedure call or argument: ") + why,
                       QStringLiteral("Dialect"));
}

// SELECT [DISTINCT] TOP n ... -> SELECT [DISTINCT] ... LIMIT n, the limit closing the query the
// TOP belongs to: the whole statement, or the subquery in parentheses around it. What LIMIT
// cannot say (TOP n PERCENT, WITH TIES, a TOP over a UNION) fails with error 5 rather than
// sending a statement that means something else.
QString topToLimit(const QString& sql) {
    static const QRegularExpression top(
        QStringLiteral(
            R"(\bSELECT\s+(?:DISTINCT\s+)?(TOP\s*(?:\(\s*(\d+)\s*\)|(\d+))(\s+PERCENT\b|\s+WITH\s+TIES\b)?\s*))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression anyTop(QStringLiteral(R"(\bSELECT\s+(?:DISTINCT\s+)?TOP\b)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression setOperator(QStringLiteral(R"(\b(?:UNION|EXCEPT|INTERSECT)\b)"),
                                                QRegularExpression::CaseInsensitiveOption);
    QString s = sql;
    for (;;) {
        const QString masked = maskLiterals(s);
        const auto m = top.match(masked);
        if (!m.hasMatch()) {
            if (anyTop.match(masked).hasMatch())
                untranslatableTop(QStringLiteral("a TOP without a row count"));
            return s;
        }
        if (m.hasCaptured(4)) untranslatableTop(QStringLiteral("TOP ...") + m.captured(4).toUpper());
        const QString count = m.hasCaptured(2) ? m.captured(2) : m.captured(3);
        // The parenthesis that encloses the TOP's query, if any, and the one that closes it.
        int open = -1;
        for (int i = int(m.capturedStart()) - 1, depth = 0; i >= 0; --i) {
            if (masked.at(i) == QLatin1Char(')'))
                ++depth;
            else if (masked.at(i) == QLatin1Char('(') && depth-- == 0) {
                open = i;
                break;
            }
        }
        int end = open >= 0 ? closingParenthesis(masked, open) - 1 : int(s.size());
        if (open >= 0 && end < 0) untranslatableTop(QStringLiteral("an unbalanced parenthesis"));
        if (open < 0)
            while (end > 0 && (s.at(end - 1) == QLatin1Char(';') || s.at(end - 1).isSpace()))
                --end;
        const int bodyStart = int(m.capturedEnd(1));
        // A set operator at the TOP's own level would take the limit for the whole set.
        for (auto it = setOperator.globalMatch(masked.mid(bodyStart, end - bodyStart)); it.hasNext();) {
            const auto op = it.next();
            const QString before = masked.mid(bodyStart, op.capturedStart());
            if (before.count(QLatin1Char('(')) == before.count(QLatin1Char(')')))
                untranslatableTop(QStringLiteral("a TOP before ") + op.captured(0).toUpper());
        }
        QString body = s.mid(bodyStart, end - bodyStart);
        while (!body.isEmpty() && body.back().isSpace())
            body.chop(1);
        // The limit closes the statement; what followed it (a ";") is dropped.
        s = s.left(m.capturedStart(1)) + body + QStringLiteral(" LIMIT ") + count +
            (open >= 0 ? s.mid(end) : QString());
    }
}

// What both file and server engines share.
QString common(const QString& sql, const Replacement& bracketedName) {
    QString s = sql.contains(QLatin1Char('[')) ? replaceInCode(sql, bracketed(), bracketedName) : sql;
    s = replaceWord(s, deleteStar(), QStringLiteral("DELETE FROM"));
    s = replaceWord(s, lenCall(), QStringLiteral("LENGTH("));
    return topToLimit(s);
}

QString bracketInner(const QRegularExpressionMatch& m, const QString& orig) {
    return orig.mid(m.capturedStart(1), m.capturedLength(1));
}

} // namespace

QString toSqlite(const QString& sql) {
    QString s = common(sql, [](const QRegularExpressionMatch& m, const QString& orig) {
        return QLatin1Char('"') + bracketInner(m, orig) + QLatin1Char('"');
    });
    s = replaceWord(s, isnullCall(), QStringLiteral("IFNULL("));
    return swapArguments(s, QStringLiteral("CHARINDEX"), QStringLiteral("INSTR"));
}

QString toPostgres(const QString& sql) {
    static const QRegularExpression plainName(QStringLiteral(R"(^[A-Za-z_][A-Za-z0-9_]*$)"));
    QString s = common(sql, [](const QRegularExpressionMatch& m, const QString& orig) {
        const QString name = bracketInner(m, orig);
        return plainName.match(name).hasMatch() ? name : QLatin1Char('"') + name.toLower() + QLatin1Char('"');
    });
    s = replaceWord(s, isnullCall(), QStringLiteral("COALESCE("));
    s = replaceWord(s, likeWord(), QStringLiteral("ILIKE"));
    return swapArguments(s, QStringLiteral("CHARINDEX"), QStringLiteral("STRPOS"));
}

} // namespace kv::dialect
