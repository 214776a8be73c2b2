#pragma once

#include "app/LookupMapFile.h"

#include <optional>
#include <QStringList>
#include <QVariant>

namespace kv {

// The statement a lookup shows and the column it is ordered and searched by.
struct LookupStatement {
    QString sql;
    QString searchColumn;
    // The map record names a single column: the lookup must be configured before it is shown.
    bool needsConfiguring = false;
};

// Row limit of every lookup statement from the "TopConsArt" value: its leading number, 1000
// when there is none or it is 0, rounded half to even.
qint32 lookupRowLimit(const QString& topConsArt);
// A map field as the lookups compare it: without the codes 0 and 255 that fill old records, trimmed.
QString lookupMapText(const QString& field);
// The first record whose source is the table or view (trimmed, any letter case).
std::optional<LookupMapRecord> findLookupRecord(const QList<LookupMapRecord>& records, const QString& name);
// The statement a map record gives.
LookupStatement statementFromMap(const LookupMapRecord& record, qint32 top);
// The statement built from a view's own fields, in the order the view gives them: the bookkeeping
// fields are left out and a description or name goes first and orders the list.
LookupStatement statementFromFields(const QString& view, const QStringList& fieldNames, qint32 top);

// The lookup query class: builds the statement for a table or view, shows the list lookup
// through the operator and keeps the values of the rows picked.
class Lib_ClsCons3 {
public:
    // The program-wide instance, created on first use: it takes the lookup settings start-up
    // left in program() and reads the display options from the configuration table.
    static Lib_ClsCons3& instance();
    // Drops the instance, so the next use creates it again (tests; a fresh start).
    static void reset();

    bool gUsarMascarasConsultas = false;
    QString gRutaMascaraConsultas;
    QString gConnString;
    QString CampoDevuelto; // column returned for each ticked row; emptied after a lookup
    bool Checks = false;   // tick boxes; reset after a lookup
    // The values of the rows picked in the last lookup, in list order; nullopt when it was
    // cancelled; an empty list before the first lookup.
    std::optional<QStringList> Valores = QStringList();
    QVariant ValorDevuelto;
    QString MuestraStock;
    QVariant StkNivel1, StkNivel2, StkNivel3, StkNivel4;
    bool usaConsultaLike() const { return m_usaConsultaLike; }

    // Lets the operator pick rows of the table or view; the result is left in Valores.
    void ConsultaSearch(const QString& SQL);
    // The statement ConsultaSearch shows for the table or view.
    LookupStatement ArmarSentencia(const QString& SQL);

private:
    Lib_ClsCons3();
    LookupStatement statementFromView(const QString& SQL, qint32 top);

    bool m_usaConsultaLike = false;
};

} // namespace kv
