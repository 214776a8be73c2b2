#pragma once

#include "TestEnv.h"

#include <QString>

namespace kv::test {

// A fresh application folder with the lookup map file start-up writes, and a small ERP database
// in a file, connected as the program's ERP database: clients (VT_CLIENTES, one of them taken
// off), vendors (V_TA_VENDEDORES), a view of zones with bookkeeping fields (V_TA_ZONAS) and the
// configuration table. The lookup class is created anew on its next use.
//
// Listed by the lookups' statements:
//   clients  Arbol Verde C006, Garcia Hnos C001, Gardel SA C002, Lopez y Cia C003, O'Hara Ltda C004
//   vendors  Ana Juarez V04, Juan Perez V01, Julia Gomez V02, Pedro Ruiz V03
class LookupErp {
public:
    LookupErp();
    ~LookupErp();
    LookupErp(const LookupErp&) = delete;
    LookupErp& operator=(const LookupErp&) = delete;

    // A configuration value; set it before the lookup class is first used to reach its creation.
    void setConfig(const QString& key, const QString& value);
    QString mapPath() const;

    TempHome home;
};

} // namespace kv::test
