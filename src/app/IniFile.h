#pragma once

#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace kv {

// One settings file held as its lines, so a change rewrites only the line it concerns and keeps
// every other line (comments, blank lines, lines this program does not understand) byte for byte.
//
// Layout: a "[section]" line opens a section and the "key=value" lines after it belong to it.
// Names are matched without regard to letter case, as the Windows workstation did. Blanks around
// names and values are not part of them; a value enclosed in double quotes loses the quotes,
// which is how a value with blanks at its ends is kept. Lines starting with ";" or "#" are
// comments. When a section or a key appears twice, the first one counts, for reading and for
// writing. Lines before the first section belong to no section.
class IniDocument {
public:
    // Never fails: text it cannot make sense of is kept as plain lines.
    static IniDocument parse(QByteArrayView bytes);

    // Why the bytes cannot be the settings file the program wrote, empty when they can: nothing
    // but byte-order marks and blanks (a file emptied by a crash or a full disk), binary data
    // (control characters a text never holds), or a last line cut off before its end (no line
    // break, and neither an entry, a section nor a comment). Values read from such a file would
    // silently lose what the lost part held.
    QString damage() const { return m_damage; }

    std::optional<QString> value(const QString& section, const QString& key) const;
    // Replaces the key's line, or adds the key at the end of its section, or adds the section
    // at the end of the file. Throws RunTimeError for names or a value the layout cannot hold.
    void setValue(const QString& section, const QString& key, const QString& value);
    // The check setValue makes, for callers that want to refuse bad input before anything else.
    static void checkEntry(const QString& section, const QString& key, const QString& value);

    // The file's bytes: every line setValue did not touch exactly as read, the others in the
    // file's own encoding (UTF-16 stays UTF-16; a Windows-1252 file stays Windows-1252 unless a
    // new line holds a character the code page lacks, which is then written as UTF-8, as a
    // mixed file is read) with the file's line breaks (LF for a new file).
    QByteArray bytes() const;

private:
    enum class Encoding { Utf8, Windows1252, Utf16LE, Utf16BE };
    QByteArray encode(const QString& line) const;
    void insertLine(qsizetype at, const QString& line);

    struct Section {
        qsizetype header = 0;           // line of "[name]"
        qsizetype end = 0;              // one past its last line
        QHash<QString, qsizetype> keys; // folded key name -> line of the first entry
    };

    void index();
    const Section* section(const QString& name) const;

    QStringList m_lines;
    // Per line its bytes as read, without the "\n" that ends it; null for a line written here.
    QList<std::optional<QByteArray>> m_raw;
    QByteArray m_head;              // byte-order marks before the first line
    bool m_endsWithBreak = true;    // the last line read had its "\n"
    Encoding m_encoding = Encoding::Utf8;
    bool m_crlf = false;
    QString m_damage;
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionByName; // folded name -> first section with it
};

} // namespace kv
