#pragma once

#include <optional>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace kv {

// Sizes of the list lookup, in twips (15 to a pixel), kept apart from the widgets so the
// arithmetic is the same wherever the list is drawn.

// The saved widths of a table's columns in the column-widths file ("CONSULTASLEN.HXW"): lines
// of a table name and a widths list "w1|w2|...|" separated by a comma, either field possibly in
// double quotes. Later lines for the same table override earlier ones. A matching line that
// runs out of "|" before the last column, or a file that cannot be read, ends the reading: the
// widths read so far stay and the other columns keep nullopt.
QList<std::optional<double>> readColumnWidths(const QString& path, const QString& table, int columns);
// The same reading of the file's bytes.
QList<std::optional<double>> columnWidthsOf(QByteArrayView file, const QString& table, int columns);

// What the load computes from the column widths.
struct LookupSizes {
    QList<double> boxLeft;  // each search box stands over its column,
    QList<double> boxWidth; // 50 narrower than it
    double listWidth = 0;
    double picFieldsWidth = 0;
    double hScrollWidth = 0;
    int hScrollMax = 0;
    double formWidth = 0;
};
LookupSizes lookupSizes(const QList<double>& columnWidths, double screenWidth);

// Where the parts go when the dialog (outer height H, width W) changes size.
struct LookupGeometry {
    double picFieldsHeight = 0;
    double listHeight = 0;
    double picFieldsWidth = 0;
    double listWidth = 0;
    double frame1Top = 0;
    double frame1Width = 0;
    double hScrollTop = 0;
    double hScrollWidth = 0;
    double aceptarLeft = 0;
    double cancelarLeft = 0;
    double nuevaLeft = 0;
};
LookupGeometry lookupGeometry(double H, double W, double frame1Height, double hScrollHeight,
                              double cancelarWidth);

} // namespace kv
