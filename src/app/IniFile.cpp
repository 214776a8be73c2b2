#include "app/IniFile.h"

#include "app/RunTimeError.h"
#include "app/TextDecoding.h"

namespace kv {

namespace {

const QLatin1Char kQuote('"');

// Names compare after trimming, without regard to letter case.
QString fold(const QString& name) {
    return name.trimmed().toCaseFolded();
}

std::optional<QString> sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return std::nullopt;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

struct Entry {
    QString key;
    qsizetype valueStart; // first character of the value after the blanks that follow "="
};

bool startsLikeNoEntry(const QString& trimmed) {
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
           trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char('['));
}

std::optional<Entry> entry(const QString& line) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return std::nullopt;
    const QString key = line.left(eq).trimmed();
    if (key.isEmpty() || startsLikeNoEntry(key)) return std::nullopt;
    qsizetype start = eq + 1;
    while (start < line.size() && line.at(start).isSpace())
        ++start;
    return Entry{key, start};
}

QString parseValue(const QString& line, qsizetype start) {
    QString v = line.mid(start).trimmed();
    if (v.size() >= 2 && v.startsWith(kQuote) && v.endsWith(kQuote)) v = v.mid(1, v.size() - 2);
    return v;
}

// Quotes keep what reading would otherwise strip: blanks at the ends, or enclosing quotes.
QString formatValue(const QString& v) {
    const bool quote = v != v.trimmed() || (v.size() >= 2 && v.startsWith(kQuote) && v.endsWith(kQuote));
    return quote ? kQuote + v + kQuote : v;
}

bool hasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

[[noreturn]] void refuse(const QString& description) {
    throw RunTimeError(err::InvalidProcedureCall, description);
}

bool isBinary(QChar c) {
    return (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\r')) || c.unicode() == 0x7F ||
           c == QChar::ReplacementCharacter;
}

// See IniDocument::damage. `lines` are the decoded lines, the last one without its break when
// `endsWithBreak` is false.
QString damageOf(const QStringList& lines, bool endsWithBreak) {
    bool blank = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        for (const QChar c : lines.at(i))
            if (isBinary(c))
                return QStringLiteral("line %1 holds binary data (character %2), not text")
                    .arg(i + 1)
                    .arg(QStringLiteral("0x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')));
        if (!lines.at(i).trimmed().isEmpty()) blank = false;
    }
    if (blank) return QStringLiteral("it holds no settings at all (it is empty)");
    if (endsWithBreak) return QString();
    const QString last = lines.last().trimmed();
    const bool comment = last.startsWith(QLatin1Char(';')) || last.startsWith(QLatin1Char('#'));
    if (last.isEmpty() || comment || sectionName(last) || entry(last)) return QString();
    return QStringLiteral("its last line \"%1\" is cut off").arg(last.left(40));
}

} // namespace

IniDocument IniDocument::parse(QByteArrayView bytes) {
    IniDocument doc;
    QList<QByteArray> raw;
    if (const auto utf16 = utf16Mark(bytes)) {
        // Decoded whole; an unchanged line encodes back to the bytes it came from.
        doc.m_encoding = *utf16 == QStringConverter::Utf16LE ? Encoding::Utf16LE : Encoding::Utf16BE;
        doc.m_head = bytes.first(2).toByteArray();
        const QStringList lines = decodeText(bytes).split(QLatin1Char('\n'));
        for (const QString& line : lines) raw << doc.encode(line);
        doc.m_lines = lines;
    } else {
        // Every mark at the start: an editor may add one to a file that had one already.
        while (bytes.sliced(doc.m_head.size()).startsWith("\xEF\xBB\xBF")) doc.m_head += "\xEF\xBB\xBF";
        const QByteArrayView body = bytes.sliced(doc.m_head.size());
        doc.m_encoding = isUtf8(body) ? Encoding::Utf8 : Encoding::Windows1252;
        // '\n' never occurs inside a UTF-8 sequence: each line decodes on its own.
        for (const QByteArrayView line : QByteArray::fromRawData(body.data(), body.size()).split('\n')) {
            raw << line.toByteArray();
            doc.m_lines << decodeLine(line);
        }
    }
    // The break that ends the file leaves an empty last piece.
    doc.m_endsWithBreak = doc.m_lines.last().isEmpty();
    if (doc.m_endsWithBreak) {
        doc.m_lines.removeLast();
        raw.removeLast();
    }
    doc.m_damage = damageOf(doc.m_lines, doc.m_endsWithBreak);
    for (QByteArray& r : raw) doc.m_raw << std::move(r);
    const bool hasBreak = doc.m_lines.size() > 1 || (doc.m_lines.size() == 1 && doc.m_endsWithBreak);
    doc.m_crlf = hasBreak && doc.m_lines.first().endsWith(QLatin1Char('\r'));
    // In a CR LF file the CR is part of the line break. In an LF file a CR at a line's end is
    // the line's own (a line pasted from elsewhere): it stays, and names and values never hold
    // it (they are trimmed).
    if (doc.m_crlf)
        for (QString& line : doc.m_lines)
            if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    doc.index();
    return doc;
}

QByteArray IniDocument::encode(const QString& line) const {
    switch (m_encoding) {
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        QStringEncoder encoder(m_encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return encoder.encode(line);
    }
    case Encoding::Windows1252: {
        bool complete = false;
        const QByteArray bytes = windows1252Bytes(line, &complete);
        return complete ? bytes : line.toUtf8();
    }
    case Encoding::Utf8: break;
    }
    return line.toUtf8();
}

void IniDocument::index() {
    m_sections.clear();
    m_sectionByName.clear();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString& line = m_lines.at(i);
        if (const auto name = sectionName(line)) {
            if (!m_sections.isEmpty()) m_sections.last().end = i;
            m_sections.append(Section{i, m_lines.size(), {}});
            const QString folded = fold(*name);
            if (!m_sectionByName.contains(folded)) m_sectionByName.insert(folded, m_sections.size() - 1);
        } else if (!m_sections.isEmpty()) {
            if (const auto e = entry(line)) {
                auto& keys = m_sections.last().keys;
                const QString folded = fold(e->key);
                if (!keys.contains(folded)) keys.insert(folded, i);
            }
        }
    }
}

const IniDocument::Section* IniDocument::section(const QString& name) const {
    const auto it = m_sectionByName.constFind(fold(name));
    return it == m_sectionByName.cend() ? nullptr : &m_sections.at(*it);
}

std::optional<QString> IniDocument::value(const QString& sectionName, const QString& key) const {
    const Section* s = section(sectionName);
    if (!s) return std::nullopt;
    const auto it = s->keys.constFind(fold(key));
    if (it == s->keys.cend()) return std::nullopt;
    const QString& line = m_lines.at(*it);
    return parseValue(line, entry(line)->valueStart);
}

namespace {

enum class NameKind { Section, Key };

// A name the layout can hold: not empty, no line break, not the character that ends it (and,
// for a key, no start that makes its line something else).
void checkName(NameKind kindOf, const QString& name) {
    const bool key = kindOf == NameKind::Key;
    const QString kind = key ? QStringLiteral("key") : QStringLiteral("section");
    if (name.isEmpty()) refuse(QStringLiteral("The settings %1 name is empty").arg(kind));
    const auto cannot = [&](const QString& why) {
        refuse(QStringLiteral("The settings %1 name \"%2\" cannot be stored: %3").arg(kind, name, why));
    };
    const QLatin1Char ending = key ? QLatin1Char('=') : QLatin1Char(']');
    if (name.contains(ending)) cannot(QStringLiteral("it contains \"%1\"").arg(ending));
    if (hasLineBreak(name)) cannot(QStringLiteral("it contains a line break"));
    if (key && startsLikeNoEntry(name)) cannot(QStringLiteral("it starts with \"[\", \";\" or \"#\""));
}

} // namespace

void IniDocument::checkEntry(const QString& section, const QString& key, const QString& value) {
    checkName(NameKind::Section, section.trimmed());
    checkName(NameKind::Key, key.trimmed());
    if (hasLineBreak(value))
        refuse(QStringLiteral("The value of settings key \"%1\" cannot be stored: it contains a line break")
                   .arg(key.trimmed()));
}

void IniDocument::setValue(const QString& sectionName, const QString& key, const QString& value) {
    checkEntry(sectionName, key, value);
    const QString newEntry = key.trimmed() + QLatin1Char('=') + formatValue(value);
    const Section* s = section(sectionName);
    if (!s) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty()) insertLine(m_lines.size(), QString());
        insertLine(m_lines.size(), QLatin1Char('[') + sectionName.trimmed() + QLatin1Char(']'));
        insertLine(m_lines.size(), newEntry);
    } else if (const auto it = s->keys.constFind(fold(key)); it != s->keys.cend()) {
        // Keep the line's own spelling of the key and its spacing around "="; an empty value
        // leaves no blanks behind it, which would read the same and keep the old line's bytes.
        QString& line = m_lines[*it];
        const QString formatted = formatValue(value);
        QString head = line.left(entry(line)->valueStart);
        if (formatted.isEmpty())
            while (head.endsWith(QLatin1Char(' ')) || head.endsWith(QLatin1Char('\t'))) head.chop(1);
        line = head + formatted;
        m_raw[*it].reset();
    } else {
        qsizetype at = s->end;
        while (at > s->header + 1 && m_lines.at(at - 1).trimmed().isEmpty())
            --at;
        insertLine(at, newEntry);
    }
    index();
}

void IniDocument::insertLine(qsizetype at, const QString& line) {
    m_lines.insert(at, line);
    m_raw.insert(at, std::nullopt);
}

QByteArray IniDocument::bytes() const {
    const QByteArray lineBreak = encode(QStringLiteral("\n"));
    const QString cr = m_crlf ? QStringLiteral("\r") : QString();
    QByteArray out = m_head;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const std::optional<QByteArray>& raw = m_raw.at(i);
        out += raw ? *raw : encode(m_lines.at(i) + cr);
        // A last line read without its break keeps going without one.
        if (i + 1 < m_lines.size() || m_endsWithBreak || !raw) out += lineBreak;
    }
    return out;
}

} // namespace kv
