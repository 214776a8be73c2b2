#pragma once

#include "app/RunTimeError.h"

#include <QStringList>
#include <QVariant>

namespace kv {

// The service library's general functions: value conversions and the error routine that every
// procedure with a trap calls.

// Shows a trapped error to the operator and returns the answer: 4 retry the failing statement,
// 5 go on after it, anything else leave the procedure. A negative style means the default
// (critical icon, Abort / Retry / Ignore).
int TratarError(const RunTimeError& error, int style = -1, const QString& procedure = QString());
// Its text and title: "Ha ocurrido el siguiente error (N) DESCRIPTION", "PROCEDURE - Aviso al operador!!!".
QString TextoError(const RunTimeError& error);
QString TituloError(const QString& procedure);

// The folder with a path separator at the end; callers append file names to it.
QString CarpetaAplicacion(const QString& folder);

// The number at the start of the text, rounded half to even into 32 bits; blank or no number gives 0.
qint32 ValorEntero(const QString& text);
// The leading number of a text as the parse of a numeric literal reads it (no number gives 0).
double ValorNumerico(const QString& text);
// An amount written with either decimal separator ("12,5" or "12.5"); blank gives 0.
double ValorMoneda(const QString& text);

// Null becomes the empty text; any other value is returned unchanged.
QVariant ValorNoNulo(const QVariant& value);
// ValorNoNulo as text, the common use.
QString TextoNoNulo(const QVariant& value);

// The text without the given characters (each argument one character; empty ones are skipped).
QString QuitarCaracteres(const QString& text, const QString& c1, const QString& c2 = QString(),
                         const QString& c3 = QString());
// The text with every occurrence of one character replaced by another.
QString CambiarCaracter(const QString& text, const QString& find, const QString& replacement);

// The text fitted to the width: padded with blanks on the right or cut. Without a width
// (negative) the text is returned unchanged.
QString CodigoAncho(const QString& text, int width = -1);

// The advancing text for the status window's second line while a long job runs.
QString TextoAvance();

// Number of blank-separated words of a text.
int ContarPalabras(const QString& text);

// Field finder: index, in keyNames, of the field whose key name is the key (exact match after
// trimming, any letter case); `missing` when there is none.
int BuscarCampo(const QString& key, const QStringList& keyNames, int missing = -1);

} // namespace kv
