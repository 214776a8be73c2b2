#pragma once

#include "data/DB_Dll.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <algorithm>
#include <gtest/gtest.h>

namespace kv::test {

// One value as text, independent of how the engine handed it over: numbers (a currency column
// read as a decimal, a double, an integer, or a numeric text such as the ERP's IVA codes) by
// their value, texts as they are. Equal texts mean the copy kept the value, whatever type it was
// converted to.
inline QString canonical(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QStringLiteral("<null>");
    switch (v.metaType().id()) {
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return QString::number(v.toDouble(), 'g', 12);
    default: return v.toString();
    }
}

// The rows of a query in canonical form, each row its values joined by "|", sorted (so two
// engines' collations do not matter and duplicates still count).
inline QStringList canonicalRows(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    QStringList rows;
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i) values << canonical(q.value(i));
        rows << values.join(QLatin1Char('|'));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Plain connections to the program's ERP (as the data-access object names it) and to a store
// file, independent of the program's own objects.
class Databases {
public:
    Databases() = default;
    ~Databases() {
        for (const QString& n : m_names) {
            QSqlDatabase::database(n, false).close();
            QSqlDatabase::removeDatabase(n);
        }
    }
    QSqlDatabase erp() {
        if (m_erp.isEmpty()) {
            m_erp = add(ErpDb().gMotor == Engine::PostgreSql ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"));
            QSqlDatabase db = QSqlDatabase::database(m_erp, false);
            if (ErpDb().gMotor == Engine::PostgreSql) {
                const QStringList server = ErpDb().gServidor.split(QLatin1Char(','));
                db.setHostName(server.value(0));
                db.setPort(server.value(1).toInt());
                db.setUserName(ErpDb().gUsuario);
            }
            db.setDatabaseName(ErpDb().gDBName);
            EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        }
        return QSqlDatabase::database(m_erp, false);
    }
    QSqlDatabase file(const QString& path) {
        const QString name = add(QStringLiteral("QSQLITE"));
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        return db;
    }

private:
    QString add(const QString& driver) {
        const QString name = QStringLiteral("check_") + QUuid::createUuid().toString(QUuid::Id128);
        QSqlDatabase::addDatabase(driver, name);
        m_names << name;
        return name;
    }
    QStringList m_names;
    QString m_erp;
};

} // namespace kv::test
