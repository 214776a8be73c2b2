#include "data/LockStatements.h"

#include "data/Dialect.h"

namespace kv {

using dialect::literal;

QString lockTimeoutStatement(Engine e, int seconds) {
    const qint64 ms = qint64(qMax(0, seconds)) * 1000;
    switch (e) {
    case Engine::PostgreSql:
        return QStringLiteral("SET lock_timeout = %1").arg(ms);
    case Engine::SqlServer:
        return QStringLiteral("SET LOCK_TIMEOUT %1").arg(ms);
    case Engine::Sqlite:
    case Engine::Jet:
        return QStringLiteral("PRAGMA busy_timeout = %1").arg(ms);
    case Engine::Oracle:
        break;
    }
    return QString();
}

QString tryLockStatement(Engine e, const QString& name) {
    switch (e) {
    case Engine::PostgreSql:
        return QStringLiteral("SELECT CASE WHEN pg_try_advisory_lock(hashtext(%1)) THEN 1 ELSE 0 END").arg(literal(name));
    case Engine::SqlServer:
        return QStringLiteral("SET NOCOUNT ON; DECLARE @r INT; EXEC @r = sp_getapplock @Resource = %1, "
                              "@LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; "
                              "SELECT CASE WHEN @r >= 0 THEN 1 ELSE 0 END")
            .arg(literal(name));
    case Engine::Oracle:
        // 0: granted, 4: this session holds it already, 1: another session holds it.
        return QStringLiteral("DECLARE h VARCHAR2(128); r INTEGER; BEGIN DBMS_LOCK.ALLOCATE_UNIQUE(%1, h); "
                              "r := DBMS_LOCK.REQUEST(h, DBMS_LOCK.X_MODE, 0, FALSE); "
                              "IF r = 1 THEN RAISE_APPLICATION_ERROR(-%2, 'import lock held by another session'); "
                              "ELSIF r NOT IN (0, 4) THEN RAISE_APPLICATION_ERROR(-20902, 'DBMS_LOCK.REQUEST ' || r); "
                              "END IF; END;")
            .arg(literal(name))
            .arg(kOracleLockBusy);
    case Engine::Sqlite:
    case Engine::Jet:
        break;
    }
    return QString();
}

QString unlockStatement(Engine e, const QString& name) {
    switch (e) {
    case Engine::PostgreSql:
        return QStringLiteral("SELECT pg_advisory_unlock(hashtext(%1))").arg(literal(name));
    case Engine::SqlServer:
        return QStringLiteral("EXEC sp_releaseapplock @Resource = %1, @LockOwner = 'Session'").arg(literal(name));
    case Engine::Oracle:
        return QStringLiteral("DECLARE h VARCHAR2(128); r INTEGER; BEGIN DBMS_LOCK.ALLOCATE_UNIQUE(%1, h); "
                              "r := DBMS_LOCK.RELEASE(h); END;")
            .arg(literal(name));
    case Engine::Sqlite:
    case Engine::Jet:
        break;
    }
    return QString();
}

bool isLockTimeout(Engine e, const ProviderError& error) {
    switch (e) {
    case Engine::Sqlite:
    case Engine::Jet: {
        // SQLITE_BUSY and SQLITE_LOCKED, with or without their extended codes.
        const int primary = error.nativeError & 0xFF;
        return primary == 5 || primary == 6;
    }
    case Engine::PostgreSql:
        // 55P03 lock_not_available; through ODBC the state may be the driver's, the text is the server's.
        return error.sqlState == QLatin1String("55P03") ||
               error.description.contains(QLatin1String("due to lock timeout"));
    case Engine::SqlServer:
        return error.nativeError == 1222; // Lock request time out period exceeded
    case Engine::Oracle:
        return error.nativeError == 54 || error.nativeError == 30006 || error.nativeError == 4021;
    }
    return false;
}

QString lockedDescription(Engine e, int waitedSeconds, const QString& engineText) {
    const QString what = e == Engine::Jet ? QStringLiteral("the local sync store") : QStringLiteral("the ERP database");
    return QStringLiteral("%1 is locked by another program: waited %2 s for it (LockTimeout in CN000pr.INI, "
                          "section \"General\") - %3")
        .arg(what)
        .arg(waitedSeconds)
        .arg(engineText.trimmed());
}

} // namespace kv
