#pragma once

#include <QList>
#include <QString>

namespace kv {

// One line of the installation check: an object and what is wrong with it (empty: ok).
struct CheckLine {
    QString object;
    QString problem;
    QString text() const; // "V_TA_Bancos: ok" or "V_MV_CPTE: missing column Fecha"
};

// Verifies, reading only, every ERP object the program reads or writes on the ERP connection
// (each export source and the columns it copies, the import's targets with every column the
// column maps assign, the configuration and users tables, the synonyms when the connected user
// is not an administrator), then the local sync store named in the settings and the
// application folder.
QList<CheckLine> checkInstallation();

} // namespace kv
