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
// comments, blank lines and lines this program does not understand exactly as they were.
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

    std::optional<QString> value(const QString& section, const QString& key) const;
    // Replaces the key's line, or adds the key at the end of its section, or adds the section
    // at the end of the file. Throws RunTimeError for names or a value the layout cannot hold.
    void setValue(const QString& section, const QString& key, const QString& value);
    // The check setValue makes, for callers that want to refuse bad input before anything else.
    static void checkEntry(const QString& section, const QString& key, const QString& value);

    // UTF-8, with the line breaks the file had (LF for a new file).
    QByteArray toUtf8() const;

private:
    struct Section {
        qsizetype header = 0;           // line of "[name]"
        qsizetype end = 0;              // one past its last line
        QHash<QString, qsizetype> keys; // folded key name -> line of the first entry
    };

    void index();
    const Section* section(const QString& name) const;

    QStringList m_lines;
    bool m_crlf = false;
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionByName; // folded name -> first section with it
};

} // namespace kv
