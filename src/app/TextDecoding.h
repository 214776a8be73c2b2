#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <optional>

namespace kv {

// Text files brought from an older workstation are in Windows-1252; the ones this program
// writes are UTF-8. Reading decodes line by line: a line that is valid UTF-8 is read as UTF-8,
// any other line as Windows-1252, so a file edited by both keeps every name readable
// ("PARAMETROS PALM Nº 3", "CONTRASEÑA"). UTF-8 byte-order marks at the start are dropped. A
// file that starts with a UTF-16 byte-order mark (as some Windows editors save) is read as UTF-16.
QString decodeText(QByteArrayView bytes);
// One line of a file already split at its breaks: UTF-8 when it is valid UTF-8, else
// Windows-1252. Unlike decodeText it never takes the line's first bytes for a mark.
QString decodeLine(QByteArrayView line);
// Whether the bytes are valid UTF-8 throughout.
bool isUtf8(QByteArrayView bytes);
// The UTF-16 byte-order mark the bytes start with ("\xFF\xFE" little-endian, "\xFE\xFF"
// big-endian); nullopt when there is none.
std::optional<QStringConverter::Encoding> utf16Mark(QByteArrayView bytes);

// Windows-1252: its own characters in 0x80-0x9F, Latin-1 everywhere else; the five codes that
// the code page leaves undefined map to the control characters of the same number.
QString fromWindows1252(QByteArrayView bytes);

// The Windows-1252 code of one character; nullopt for a character the code page cannot hold.
std::optional<quint8> toWindows1252(QChar c);
// The text in Windows-1252, a character the code page cannot hold written as "?"; `complete`,
// when given, tells whether every character could be held.
QByteArray windows1252Bytes(const QString& text, bool* complete = nullptr);

} // namespace kv
