#include "data/Privileges.h"

#include "data/Dialect.h"

namespace kv {

using dialect::literal;

namespace {

// Oracle grants an object's privilege to the user, to PUBLIC or to an enabled role, or a system
// privilege covers every object; a synonym is judged by the object it names.
QString oracleGrant(const QString& object, const QString& privilege, const QString& systemPrivilege) {
    const QString name = literal(object.toUpper());
    const QString target = QStringLiteral("COALESCE((SELECT MAX(TABLE_NAME) FROM ALL_SYNONYMS WHERE SYNONYM_NAME = %1 "
                                          "AND OWNER IN (USER, 'PUBLIC')), %1)")
                               .arg(name);
    const QString p = literal(privilege);
    return QStringLiteral("SELECT CASE WHEN EXISTS (SELECT 1 FROM USER_OBJECTS WHERE OBJECT_NAME = %1) "
                          "OR EXISTS (SELECT 1 FROM ALL_TAB_PRIVS WHERE TABLE_NAME = %1 AND PRIVILEGE = %2 "
                          "AND GRANTEE IN (USER, 'PUBLIC')) "
                          "OR EXISTS (SELECT 1 FROM ROLE_TAB_PRIVS WHERE TABLE_NAME = %1 AND PRIVILEGE = %2) "
                          "OR EXISTS (SELECT 1 FROM SESSION_PRIVS WHERE PRIVILEGE = %3) "
                          "THEN 1 ELSE 0 END, NULL FROM DUAL")
        .arg(target, p, literal(systemPrivilege));
}

} // namespace

QString insertPrivilegeStatement(Engine e, const QString& name) {
    switch (e) {
    case Engine::PostgreSql: {
        const QString n = literal(name);
        // An identity column needs nothing more; a serial one needs USAGE on its sequence.
        return QStringLiteral("SELECT CASE WHEN has_table_privilege(%1, 'INSERT') THEN 1 ELSE 0 END, "
                              "(SELECT string_agg(s, ', ') FROM (SELECT pg_get_serial_sequence(%1, attname) AS s "
                              "FROM pg_attribute WHERE attrelid = %1::regclass AND attnum > 0 AND NOT attisdropped "
                              "AND attidentity = '') q WHERE s IS NOT NULL AND NOT has_sequence_privilege(s, 'USAGE'))")
            .arg(n);
    }
    case Engine::SqlServer:
        return QStringLiteral("SELECT CASE WHEN HAS_PERMS_BY_NAME(%1, 'OBJECT', 'INSERT') = 1 THEN 1 ELSE 0 END, NULL")
            .arg(literal(name));
    case Engine::Oracle:
        return oracleGrant(name, QStringLiteral("INSERT"), QStringLiteral("INSERT ANY TABLE"));
    case Engine::Sqlite:
    case Engine::Jet:
        break;
    }
    return QString();
}

QString importLockPrivilegeStatement(Engine e) {
    if (e != Engine::Oracle) return QString();
    return oracleGrant(QStringLiteral("DBMS_LOCK"), QStringLiteral("EXECUTE"), QStringLiteral("EXECUTE ANY PROCEDURE"));
}

} // namespace kv
