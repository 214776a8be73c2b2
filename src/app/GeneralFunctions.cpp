#include "app/GeneralFunctions.h"

#include "app/Operator.h"
#include "data/TypedValue.h"

#include <QDir>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace kv {

QString TextoError(const RunTimeError& error) {
    return QStringLiteral("Ha ocurrido el siguiente error (%1) %2").arg(error.number()).arg(error.description().trimmed());
}

QString TituloError(const QString& procedure) {
    return procedure.trimmed().isEmpty() ? QStringLiteral("Aviso al operador!!!")
                                         : procedure.trimmed() + QStringLiteral(" - Aviso al operador!!!");
}

int TratarError(const RunTimeError& error, int style, const QString& procedure) {
    return op().errorPrompt(TextoError(error), style < 0 ? mb::Critical + mb::AbortRetryIgnore : style,
                            TituloError(procedure));
}

QString CarpetaAplicacion(const QString& folder) {
    QString f = QDir::fromNativeSeparators(folder);
    if (!f.endsWith(QLatin1Char('/'))) f += QLatin1Char('/');
    return f;
}

double ValorNumerico(const QString& text) {
    static const QRegularExpression leading(
        QStringLiteral(R"(^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))"));
    const auto m = leading.match(text);
    if (!m.hasMatch()) return 0.0;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
    // Too large for a double ("1e999"): the largest one, so integer reads clamp instead of reading 0.
    if (std::isinf(v))
        return v > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
    return ok ? v : 0.0;
}

qint32 ValorEntero(const QString& text) {
    const double v = std::nearbyint(ValorNumerico(text)); // default rounding: half to even
    if (v >= static_cast<double>(std::numeric_limits<qint32>::max())) return std::numeric_limits<qint32>::max();
    if (v <= static_cast<double>(std::numeric_limits<qint32>::min())) return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(v);
}

double ValorMoneda(const QString& text) {
    // Only the number at the start is looked at; what follows it may hold other separators.
    static const QRegularExpression leading(QStringLiteral(R"(^\s*[+-]?[\d.,]*)"));
    QString number = leading.match(text).captured(0);
    // The separator written last is the decimal one and the other groups thousands ("1.234,56",
    // "1,234.56"); one that appears more than once only groups ("1.234.567").
    const QChar comma(QLatin1Char(',')), point(QLatin1Char('.'));
    const QChar decimal = number.lastIndexOf(comma) > number.lastIndexOf(point) ? comma : point;
    const QChar grouping = decimal == comma ? point : comma;
    number.remove(grouping);
    if (number.count(decimal) > 1) number.remove(decimal);
    return ValorNumerico(number.replace(decimal, point));
}

QVariant ValorNoNulo(const QVariant& value) {
    // The empty text, never a null QString: a driver would bind that as Null again.
    if (value.isNull() || !value.isValid()) return QStringLiteral("");
    return boundValue(value);
}

QString TextoNoNulo(const QVariant& value) {
    return ValorNoNulo(value).toString();
}

QString QuitarCaracteres(const QString& text, const QString& c1, const QString& c2, const QString& c3) {
    QString r = text;
    for (const QString* c : {&c1, &c2, &c3})
        if (!c->isEmpty()) r.remove(c->at(0));
    return r;
}

QString CambiarCaracter(const QString& text, const QString& find, const QString& replacement) {
    if (find.isEmpty()) return text;
    QString r = text;
    return r.replace(find.at(0), replacement.isEmpty() ? QString() : QString(replacement.at(0)));
}

QString CodigoAncho(const QString& text, int width) {
    if (width < 0) return text;
    if (text.size() >= width) return text.left(width);
    return text + QString(width - text.size(), QLatin1Char(' '));
}

QString TextoAvance() {
    static int tick = 0;
    tick = (tick % 10) + 1;
    return QStringLiteral("Procesando") + QString(tick, QLatin1Char('.'));
}

int ContarPalabras(const QString& text) {
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size();
}

int BuscarCampo(const QString& key, const QStringList& keyNames, int missing) {
    const QString k = key.trimmed();
    for (int i = 0; i < keyNames.size(); ++i)
        if (keyNames.at(i).trimmed().compare(k, Qt::CaseInsensitive) == 0) return i;
    return missing;
}

} // namespace kv
