#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace kv {

// Text files brought from an older workstation are in Windows-1252; the ones this program
// writes are UTF-8. Reading decodes line by line: a line that is valid UTF-8 is read as UTF-8,
// any other line as Windows-1252, so a file edited by both keeps every name readable
// ("PARAMETROS PALM Nº 3", "CONTRASEÑA"). UTF-8 byte-order marks at the start are dropped.
QString decodeText(QByteArrayView bytes);

// Windows-1252: its own characters in 0x80-0x9F, Latin-1 everywhere else; the five codes that
// the code page leaves undefined map to the control characters of the same number.
QString fromWindows1252(QByteArrayView bytes);

// The Windows-1252 code of one character; nullopt for a character the code page cannot hold.
std::optional<quint8> toWindows1252(QChar c);

} // namespace kv
