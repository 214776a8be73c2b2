#include "lookup/LookupLayout.h"

#include "app/GeneralFunctions.h"
#include "app/TextDecoding.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <QFile>

namespace kv {

namespace {

// The fields of one line as a sequential-file read takes them: separated by commas, a field
// in double quotes runs to its closing quote, an unquoted one loses its surrounding blanks.
QStringList lineFields(const QString& line) {
    QStringList fields;
    qsizetype at = 0;
    while (at <= line.size()) {
        while (at < line.size() && line.at(at) == QLatin1Char(' '))
            ++at;
        QString field;
        if (at < line.size() && line.at(at) == QLatin1Char('"')) {
            const qsizetype close = line.indexOf(QLatin1Char('"'), at + 1);
            const qsizetype end = close < 0 ? line.size() : close;
            field = line.mid(at + 1, end - at - 1);
            at = line.indexOf(QLatin1Char(','), end);
        } else {
            const qsizetype comma = line.indexOf(QLatin1Char(','), at);
            field = line.mid(at, comma < 0 ? -1 : comma - at).trimmed();
            at = comma;
        }
        fields << field;
        if (at < 0) break;
        ++at;
    }
    return fields;
}

} // namespace

QList<std::optional<double>> readColumnWidths(const QString& path, const QString& table, int columns) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QList<std::optional<double>>(qMax(columns, 0));
    return columnWidthsOf(f.readAll(), table, columns);
}

QList<std::optional<double>> columnWidthsOf(QByteArrayView file, const QString& table, int columns) {
    QList<std::optional<double>> widths(qMax(columns, 0));
    const QStringList lines = decodeText(file).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty()) continue;
        const QStringList fields = lineFields(line);
        if (fields.value(0).compare(table, Qt::CaseInsensitive) != 0) continue;
        QString list = fields.value(1);
        for (int i = 0; i < columns; ++i) {
            const qsizetype bar = list.indexOf(QLatin1Char('|'));
            if (bar < 0) return widths; // a broken line ends the reading
            widths[i] = ValorMoneda(list.left(bar));
            list = list.mid(bar + 1);
        }
    }
    return widths;
}

LookupSizes lookupSizes(const QList<double>& columnWidths, double screenWidth) {
    LookupSizes s;
    double total = 0;
    for (double w : columnWidths) {
        s.boxLeft << total;
        s.boxWidth << w - 50;
        total += w;
    }
    s.listWidth = total + 360;
    s.picFieldsWidth = std::nearbyint(total) + 360;
    s.hScrollWidth = total;
    // The widths come from a file anyone can edit: however far below zero they add up, the scroll
    // range stays a number an int holds.
    const double scroll = std::nearbyint((s.picFieldsWidth + 480) * 0.6);
    s.hScrollMax =
        s.picFieldsWidth <= 32700 ? int(std::max(scroll, double(std::numeric_limits<int>::min()))) : 32700;
    s.formWidth = s.listWidth + 360 >= screenWidth ? screenWidth - 480 : s.listWidth + 280;
    return s;
}

LookupGeometry lookupGeometry(double H, double W, double frame1Height, double hScrollHeight,
                              double cancelarWidth) {
    LookupGeometry g;
    g.picFieldsHeight = H - frame1Height - 480;
    g.listHeight = g.picFieldsHeight - frame1Height - 600;
    g.picFieldsWidth = W - 120;
    g.listWidth = g.picFieldsWidth - 20;
    g.frame1Top = H - frame1Height - 420;
    g.frame1Width = W;
    g.hScrollTop = g.picFieldsHeight - hScrollHeight - 120;
    g.hScrollWidth = W - 120;
    g.aceptarLeft = 100;
    g.cancelarLeft = (g.frame1Width - cancelarWidth) / 2;
    g.nuevaLeft = g.frame1Width - (cancelarWidth + 150);
    return g;
}

} // namespace kv
