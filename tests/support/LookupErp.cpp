#include "LookupErp.h"

#include "app/Cfg.h"
#include "app/LookupMapFile.h"
#include "app/Startup.h"
#include "data/DB_Dll.h"
#include "ErpFile.h"
#include "lookup/Lib_ClsCons3.h"

namespace kv::test {

LookupErp::LookupErp() {
    resetProgramDatabases();
    Lib_ClsCons3::reset();
    const QString erp = home.file(QStringLiteral("erp.db"));
    makeSqliteDatabase(
        erp,
        {
            QStringLiteral("CREATE TABLE VT_CLIENTES (RAZON_SOCIAL VARCHAR(200), CODIGO VARCHAR(15), "
                           "CONTACTO VARCHAR(60), Dada_De_Baja INTEGER)"),
            QStringLiteral("INSERT INTO VT_CLIENTES VALUES ('Lopez y Cia', 'C003', 'Marta', 0), "
                           "('Garcia Hnos', 'C001', 'Ana', 0), ('O''Hara Ltda', 'C004', 'Sean', 0), "
                           "('Baja SRL', 'C005', 'Pablo', 1), ('Gardel SA', 'C002', 'Luis', 0), "
                           "('Arbol Verde', 'C006', 'Rosa', 0)"),
            QStringLiteral("CREATE TABLE V_TA_VENDEDORES (NOMBRE VARCHAR(50), IDVENDEDOR VARCHAR(10))"),
            QStringLiteral("INSERT INTO V_TA_VENDEDORES VALUES ('Pedro Ruiz', 'V03'), ('Juan Perez', 'V01'), "
                           "('Ana Juarez', 'V04'), ('Julia Gomez', 'V02')"),
            QStringLiteral("CREATE TABLE TA_ZONAS (ID INTEGER, CODIGO VARCHAR(10), NOMBRE VARCHAR(200), "
                           "FECHAHORA_GRABACION DATETIME)"),
            QStringLiteral("INSERT INTO TA_ZONAS VALUES (1, 'Z1', 'Norte', '2026-01-02 10:00:00'), "
                           "(2, 'Z2', 'Centro', '2026-01-02 10:00:00')"),
            QStringLiteral(
                "CREATE VIEW V_TA_ZONAS AS SELECT ID, CODIGO, NOMBRE, FECHAHORA_GRABACION FROM TA_ZONAS"),
            QStringLiteral("CREATE TABLE ta_configuracion (CLAVE VARCHAR(50), VALOR VARCHAR(255), VALORAUX "
                           "VARCHAR(255))"),
        });
    configTableName() = QStringLiteral("ta_configuracion");
    ProgramValues& p = program();
    p = ProgramValues();
    p.usarMascarasConsultas = true;
    p.rutaMascaraConsultas = mapPath();
    GrabarMapaConsultas(mapPath());
    connectErpFile(erp);
}

LookupErp::~LookupErp() {
    Lib_ClsCons3::reset();
    resetProgramDatabases();
    program() = ProgramValues();
}

void LookupErp::setConfig(const QString& key, const QString& value) {
    QString v = value;
    ErpDb().gCnn.execute(QStringLiteral("INSERT INTO ta_configuracion (CLAVE, VALOR) VALUES ('%1', '%2')")
                             .arg(key, v.replace(QLatin1Char('\''), QStringLiteral("''"))));
}

QString LookupErp::mapPath() const {
    return home.file(QStringLiteral("consultas.hxw"));
}

} // namespace kv::test
