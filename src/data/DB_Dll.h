#pragma once

#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/Recordset.h"

#include <QDateTime>
#include <optional>

namespace kv {

// The data-access object: one connection and the properties it is built from, the query
// helpers, the dialect and synonym translations, and the data layer's own error treatment.
// The program keeps two: the ERP one and the local sync store one (ErpDb(), LocalDb()).
class DB_Dll {
public:
    DB_Dll();
    ~DB_Dll();

    // Public state, read and written directly by the program's procedures.
    bool gOpenFlag = false;
    Connection gCnn;
    QString gProveedor;
    QString gServidor;
    QString gDBName;
    QString gUsuario;
    QString gUserPassWord;
    bool gEsAdmin = false;
    QString gConnString;
    QString gExtended;
    QString gLogErr;
    // The ERP engine: SQL Server unless the launch string ("@Motor") or the connection dialog
    // chose another; a "#" in the server always means Oracle.
    Engine gMotor = Engine::SqlServer;

    static QString pSQLOLEDB() { return ProviderSqlServer; }
    static QString pJETOLEDB40() { return ProviderJet; }

    void OpenServerADODB(bool PideParametrosSQL = false, int lCursor = 3, const QString& ConnString = QString(),
                         bool ValidaAdmin = true);
    void OpenLocalADODB(const QString& ConnString = QString(), const QString& CadenaID = QStringLiteral("User Id"),
                        const QString& CadenaPWD = QStringLiteral("Password"));
    void ArmarConexion();
    void PedirParametros();

    void AbrirRecordset(QString& SentenciaSQL, Recordset& Lrcs, Connection* ConexionActiva = nullptr,
                        int CursorType = cursor::ForwardOnly, int LockType = lock::ReadOnly, int Options = -1,
                        bool ConvOracle = true);
    // AbrirRecordset's steps with the failure thrown to the caller's own error treatment: for
    // procedures in which an Abort must end the procedure, not only the open.
    void openRecordset(const QString& sentencia, Recordset& Lrcs, Connection* ConexionActiva = nullptr,
                       int CursorType = cursor::ForwardOnly, int LockType = lock::ReadOnly);
    // Convenience for a statement held in a temporary.
    void AbrirRecordset(const QString& sentencia, Recordset& Lrcs, Connection* ConexionActiva = nullptr,
                        int CursorType = cursor::ForwardOnly, int LockType = lock::ReadOnly);
    // A query with `?` markers, its translations done and the statement prepared once per
    // connection, run with `values` bound in order: a value read from the handheld reaches the
    // engine exactly as read, whatever characters it holds.
    // With the optimistic lock, a one-table query gives a record set that can add rows.
    void AbrirConsulta(const QString& SentenciaSQL, const QVariantList& values, Recordset& Lrcs,
                       Connection* ConexionActiva = nullptr, int LockType = lock::ReadOnly);
    void CierraRecordset(Recordset& LrcsTemp);
    QString DatosTabla(const QString& Tabla, const QString& ValorBuscado, const QString& CampoDevuelto,
                       const QString& Campo = QStringLiteral("Codigo"), int Tipodato = 8,
                       const QString& Condicion = QString(), bool UsaTrim = true);
    bool ExisteTablaDB(const QString& Tabla);

    QString SS_TSinonimos(const QString& SQL) const;
    QString ORACLE_Dicc(const QString& Valor) const;

    // At the start of a command: a connection whose server went away since the last command (a
    // restart) is opened again, so the command runs as after a fresh start. Throws when it cannot
    // be opened, with the reason.
    void reopenIfLost();

    // Shows a trapped error, logs the answer, returns it (0 without asking for error number 0).
    int TratamientoErrores(const RunTimeError& CodErr, int Botones = 18,
                           const std::optional<QString>& Rutina = std::nullopt);

    // The engine the ERP connection goes to: Oracle when the connection string names it (a "#"
    // server builds such a string), otherwise gMotor.
    Engine engineForServer() const;

private:
    void openServerConnection();
    void validateAdministrator();
    bool BuscarBase();
};

// The program-wide data-access objects, created on first use.
DB_Dll& ErpDb();
DB_Dll& LocalDb();
// Drops both (tests; a fresh start).
void resetProgramDatabases();

// One line of the error log, without its line end.
QString errorLogLine(const QDateTime& at, const QString& rutina, const QString& mensaje, const QString& answerWord);
// The text with passwords of connection strings blanked, so no log or message carries one.
QString withoutPasswords(const QString& text);

} // namespace kv
