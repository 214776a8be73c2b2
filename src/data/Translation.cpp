#include "data/Translation.h"

#include "app/GeneralFunctions.h"
#include "app/RunTimeError.h"
#include "data/Dialect.h"

#include <functional>
#include <QDate>
#include <QHash>
#include <QRegularExpression>

namespace kv {

namespace {

const QString kSource = QStringLiteral("ORACLE_Dicc");

// Every occurrence of `find`, in any letter case, replaced by `with`, scanning from the left
// without overlaps (so two names sharing one blank count once). An empty `find` changes nothing.
QString replaceAll(const QString& text, const QString& find, const QString& with) {
    if (find.isEmpty()) return text;
    QString out;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(find, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(find, from, Qt::CaseInsensitive)) {
        out += QStringView(text).mid(from, at - from);
        out += with;
        from = at + find.size();
    }
    out += QStringView(text).mid(from);
    return out;
}

// Blanks only: the statement's other white space (line breaks) is part of its pieces.
QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// ---- literals ----

// A statement with its quoted literals set apart, so the rewrites see only the statement's own
// words. Text from outside (a client code, a document key, a search typed by the operator)
// stands in literals with its quotes doubled, and must come out exactly as it went in: a value
// that looks like a keyword, a bracket, a date or a quote never changes the statement around it.
// Each literal is replaced by a placeholder of private-use characters that no rewrite matches;
// an empty literal stays as it is (it holds nothing, and the empty-text rewrite looks for it).
class Literals {
public:
    // A quote never closed: error 5 when `strict`, else the rest of the text is one literal.
    Literals(const QString& sql, bool strict) {
        m_code.reserve(sql.size());
        for (qsizetype i = 0; i < sql.size();) {
            const QChar c = sql.at(i);
            if (c == kPlaceholderStart || c == kPlaceholderEnd) { // the placeholders' own characters
                m_code += placeholderFor(QString(c));
                ++i;
                continue;
            }
            if (c != kQuote) {
                m_code += c;
                ++i;
                continue;
            }
            qsizetype end = i + 1; // one past the closing quote
            for (;;) {
                const qsizetype close = sql.indexOf(kQuote, end);
                if (close < 0) {
                    if (strict)
                        throw RunTimeError(err::InvalidProcedureCall,
                                           QStringLiteral("Invalid procedure call or argument: a single quote "
                                                          "is not closed"),
                                           kSource);
                    end = sql.size();
                    break;
                }
                end = close + 1;
                if (end < sql.size() && sql.at(end) == kQuote) ++end; // a doubled quote inside
                else break;
            }
            const QString literal = sql.mid(i, end - i);
            m_code += literal == QLatin1String("''") ? literal : placeholderFor(literal);
            i = end;
        }
    }

    // The statement's words, each literal replaced by its placeholder.
    const QString& code() const { return m_code; }

    // The placeholder of a literal (its text with the quotes); the same text has the same one,
    // so a rewrite that looks for a repeated literal finds every occurrence.
    QString placeholderFor(const QString& literal) {
        qsizetype n = m_numbers.value(literal, -1);
        if (n < 0) {
            n = m_literals.size();
            m_literals << literal;
            m_numbers.insert(literal, n);
        }
        QString digits; // the number in base 16, one private-use character a digit
        do {
            digits.prepend(QChar(char16_t(0xE010 + n % 16)));
            n /= 16;
        } while (n > 0);
        return kPlaceholderStart + digits + kPlaceholderEnd;
    }

    // Calls f(placeholder, literal) for each placeholder in `code`, in order, and returns the
    // code with each placeholder replaced by what f returns. One pass: nothing a literal holds
    // is ever read as a placeholder.
    QString map(const QString& code, const std::function<QString(const QString&, const QString&)>& f) const {
        QString out;
        out.reserve(code.size());
        for (qsizetype i = 0; i < code.size(); ++i) {
            if (code.at(i) != kPlaceholderStart) {
                out += code.at(i);
                continue;
            }
            const qsizetype start = i;
            qsizetype n = 0;
            while (++i < code.size() && code.at(i) != kPlaceholderEnd)
                n = n * 16 + (code.at(i).unicode() - 0xE010);
            out += f(code.mid(start, i + 1 - start), m_literals.at(n));
        }
        return out;
    }
    // The statement again, each literal back in its place.
    QString restore(const QString& code) const {
        return map(code, [](const QString&, const QString& literal) { return literal; });
    }

private:
    static constexpr QChar kQuote = QLatin1Char('\'');
    static constexpr QChar kPlaceholderStart = QChar(0xE000);
    static constexpr QChar kPlaceholderEnd = QChar(0xE001);

    QString m_code;
    QStringList m_literals;
    QHash<QString, qsizetype> m_numbers;
};

// ---- synonyms ----

struct Redirection {
    const char* object;
    const char* synonym;
    int contexts; // how many of kContexts apply, from the first
};

// Applied in this order. AC_CUENTASDIARIO's contexts want a blank or a period right after the
// name, so they never take the longer AC_CUENTASDIARIO_CCOSTO, which gets its own synonym.
constexpr Redirection kRedirections[] = {
    {"MA_CUENTAS", "SS_MA_CUENTAS", 6},
    {"V_TA_DEPOSITO", "SS_V_TA_DEPOSITO", 5},
    {"MV_ASIENTOS", "SS_MV_ASIENTOS", 5},
    {"V_TA_FAMILIAS", "SS_V_TA_FAMILIAS", 5},
    {"V_TA_CAJAS", "SS_V_TA_CAJAS", 5},
    {"AC_CUENTASDIARIO", "SS_AC_CUENTASDIARIO", 5},
    {"AC_CUENTASDIARIO_CCOSTO", "SS_AC_CUENTAS_DIARIO_CCOSTO", 5},
};

// The character before and after a name that make it an object reference. A name behind the
// "@Admin_" marker has "_" before it, so no context takes it.
constexpr char kContexts[][2] = {{' ', ' '}, {'(', ' '}, {' ', '.'}, {'(', '.'}, {',', '.'}, {'{', '.'}};

const QString kAdminMarker = QStringLiteral("@Admin_");

// ---- Oracle ----

// TOP n becomes a ROWNUM condition placed before any GROUP BY or ORDER BY clause.
// Worked on the statement's words (its literals set apart), with p the first "top" in any letter case.
QString rowLimit(const QString& valor) {
    const qsizetype p = valor.indexOf(QLatin1String("top"), 0, Qt::CaseInsensitive);
    const QString head = valor.left(p);
    const QString rest = trimBlanks(valor.mid(p + 3));
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    if (blank < 0)
        throw RunTimeError(err::InvalidProcedureCall,
                           QStringLiteral("Invalid procedure call or argument: the row count after TOP "
                                          "is not followed by a blank"),
                           kSource);
    const QString count = rest.left(blank);
    QString body = rest.mid(blank + 1);

    QString grouping;
    QString ordering;
    const qsizetype group = valor.indexOf(QLatin1String(" GROUP BY "), 0, Qt::CaseInsensitive);
    const qsizetype order = valor.indexOf(QLatin1String("ORDER BY "), 0, Qt::CaseInsensitive);
    if (group >= 0)
        grouping = valor.mid(group);
    else if (order >= 0)
        ordering = valor.mid(order);

    const QString limit = (valor.contains(QLatin1String(" WHERE "), Qt::CaseInsensitive)
                               ? QStringLiteral(" AND ROWNUM <= ")
                               : QStringLiteral(" WHERE ROWNUM <= ")) +
                          count;
    body = replaceAll(body, trimBlanks(grouping), QStringLiteral(" "));
    body = replaceAll(body, trimBlanks(ordering), QStringLiteral(" "));

    const QLatin1Char b(' ');
    return head + b + body + b + limit + b + grouping + b + ordering;
}

// The workstation's regional setting is day/month/year. A quoted text is a date when it is, with
// nothing around it:
//   d/m/yyyy or dd/mm/yyyy, also with "-" or "." as the separator (one separator throughout);
//   the same with a two-digit year: 00-29 is 2000-2029, 30-99 is 1930-1999;
//   yyyy-mm-dd (month and day with one or two digits);
// and the day, month and year make a real calendar date (31/02/2024 is not one) with a year from
// 100 on. Times, month names and dates without a year are not taken as dates.
QDate regionalDate(const QString& text) {
    static const QRegularExpression dayFirst(
        QStringLiteral("^([0-9]{1,2})([/.-])([0-9]{1,2})\\2([0-9]{4}|[0-9]{2})$"));
    static const QRegularExpression yearFirst(QStringLiteral("^([0-9]{4})-([0-9]{1,2})-([0-9]{1,2})$"));
    int day = 0;
    int month = 0;
    int year = 0;
    if (const auto m = dayFirst.match(text); m.hasMatch()) {
        day = m.captured(1).toInt();
        month = m.captured(3).toInt();
        year = m.captured(4).toInt();
        if (m.capturedLength(4) == 2) year += year < 30 ? 2000 : 1900;
    } else if (const auto m = yearFirst.match(text); m.hasMatch()) {
        year = m.captured(1).toInt();
        month = m.captured(2).toInt();
        day = m.captured(3).toInt();
    } else {
        return QDate();
    }
    if (year < 100) return QDate();
    return QDate(year, month, day); // invalid when the day does not exist in that month
}

// Each quoted date becomes TO_DATE, every occurrence of it at once; a literal that merely holds
// a date among other text is not a date. A date already inside TO_DATE(..., 'DD/MM/YYYY') is
// wrapped twice and folded back to one.
QString dateLiterals(const QString& code, Literals& literals) {
    const QString format = literals.placeholderFor(QStringLiteral("'DD/MM/YYYY'"));
    QString s = literals.map(code, [&](const QString& placeholder, const QString& literal) {
        const QDate date = regionalDate(literal.mid(1, literal.size() - 2));
        if (!date.isValid()) return placeholder;
        const QString normal = QStringLiteral("'%1/%2/%3'")
                                   .arg(date.day(), 2, 10, QLatin1Char('0'))
                                   .arg(date.month(), 2, 10, QLatin1Char('0'))
                                   .arg(date.year(), 4, 10, QLatin1Char('0'));
        return QStringLiteral("TO_DATE(") + literals.placeholderFor(normal) + QLatin1Char(',') + format +
               QLatin1Char(')');
    });
    const QString nested = QStringLiteral("TO_DATE(TO_DATE(");
    while (s.contains(nested, Qt::CaseInsensitive)) {
        s = replaceAll(s, nested, QStringLiteral("TO_DATE("));
        const QString doubled = format + QStringLiteral("),") + format + QLatin1Char(')');
        s = replaceAll(s, doubled, format + QLatin1Char(')'));
    }
    return s;
}

// After the first "WHERE ", comparisons with the empty text test for Null (Oracle stores
// an empty text as Null).
QString emptyTextComparisons(const QString& s) {
    const qsizetype where = s.indexOf(QLatin1String("WHERE "), 0, Qt::CaseInsensitive);
    if (where < 0) return s;
    QString tail = s.mid(where);
    tail = replaceAll(tail, QStringLiteral("= ''"), QStringLiteral(" IS NULL "));
    tail = replaceAll(tail, QStringLiteral("=''"), QStringLiteral(" IS NULL "));
    return s.left(where) + tail;
}

// Style 103 of a conversion to text is Oracle's day/month/year format. Only a 103 whose
// nearest "(" to the left opens TO_CHAR counts; one inside a nested call is left as it is.
QString dateStyle103(QString s) {
    const QString number = QStringLiteral("103");
    const QString toChar = QStringLiteral("TO_CHAR(");
    for (qsizetype at = s.indexOf(number); at >= 0; at = s.indexOf(number, at + 3)) {
        const qsizetype paren = s.lastIndexOf(QLatin1Char('('), at);
        if (paren >= toChar.size() - 1 && QStringView(s)
                                                  .mid(paren - (toChar.size() - 1), toChar.size())
                                                  .compare(toChar, Qt::CaseInsensitive) == 0)
            s.replace(at, number.size(), QStringLiteral("'DD/MM/YYYY'"));
    }
    return s;
}

} // namespace

QString SS_TSinonimos(const QString& sql, bool esAdmin) {
    // Object names and markers are words of the statement, never text inside its literals.
    const Literals literals(sql, false);
    if (esAdmin) return literals.restore(replaceAll(literals.code(), kAdminMarker, QString()));
    QString s = literals.code();
    for (const Redirection& r : kRedirections) {
        const QString object = QLatin1String(r.object);
        const QString synonym = QLatin1String(r.synonym);
        for (int c = 0; c < r.contexts; ++c) {
            const QChar before = QLatin1Char(kContexts[c][0]);
            const QChar after = QLatin1Char(kContexts[c][1]);
            s = replaceAll(s, before + object + after, before + synonym + after);
        }
    }
    s = replaceAll(s, QStringLiteral("@Admin_MA_CUENTAS"), QStringLiteral("MA_CUENTAS"));
    return literals.restore(replaceAll(s, kAdminMarker, QString()));
}

QString ORACLE_Dicc(const QString& valor, const QString& connString) {
    if (!connString.contains(QLatin1String("ORACLE"), Qt::CaseInsensitive)) return valor;
    // A bare column or table name: only the length function has another name.
    if (ContarPalabras(valor) <= 1)
        return valor.compare(QLatin1String("LEN"), Qt::CaseInsensitive) == 0 ? QStringLiteral("LENGTH")
                                                                             : valor;

    // The rewrites work on the statement's words; literals come back as they were, dates as TO_DATE.
    Literals literals(valor, true);
    QString s = literals.code();
    if (s.contains(QLatin1String("top "), Qt::CaseInsensitive)) s = rowLimit(s);

    for (int blanks = 0; blanks <= 4; ++blanks)
        s = replaceAll(s, QStringLiteral(" LEN") + QString(blanks, QLatin1Char(' ')) + QLatin1Char('('),
                       QStringLiteral(" LENGTH("));

    s.replace(QLatin1Char('['), QLatin1Char('"'));
    s.replace(QLatin1Char(']'), QLatin1Char('"'));

    s = dateLiterals(s, literals);

    s = replaceAll(s, QStringLiteral("Charindex"), QStringLiteral("InStr"));

    s = replaceAll(s, QStringLiteral("CONVERT(NVARCHAR,"), QStringLiteral("TO_CHAR("));
    s = replaceAll(s, QStringLiteral("CONVERT(INT,"), QStringLiteral("TO_NUMBER("));

    s = emptyTextComparisons(s);
    s = dateStyle103(s);

    s = replaceAll(s, QStringLiteral("SUBSTRING("), QStringLiteral("SUBSTR("));
    s = replaceAll(s, QStringLiteral("ISNULL("), QStringLiteral("NVL("));
    return literals.restore(s);
}

QString dialectFor(Engine engine, const QString& sql) {
    switch (engine) {
    case Engine::Oracle:
        return ORACLE_Dicc(sql, QStringLiteral("Provider=OraOLEDB.Oracle.1"));
    case Engine::PostgreSql:
        return dialect::toPostgres(sql);
    case Engine::Sqlite:
    case Engine::Jet:
        return dialect::toSqlite(sql);
    case Engine::SqlServer:
        break;
    }
    return sql;
}

QString statementAsSent(const QString& sql, Engine engine, bool esAdmin) {
    return dialectFor(engine, SS_TSinonimos(sql, esAdmin));
}

} // namespace kv
