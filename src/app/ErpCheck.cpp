#include "app/ErpCheck.h"

#include "app/AppHome.h"
#include "app/Cfg.h"
#include "data/DB_Dll.h"
#include "data/Privileges.h"
#include "data/Translation.h"
#include "data/TypedValue.h"
#include "export/CopyPlan.h"
#include "export/ExportTasks.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "sync/DocumentImport.h"
#include "sync/GroupImport.h"
#include "sync/ImportTargets.h"

#include <QDir>
#include <QFileInfo>
#include <functional>

namespace kv {

namespace {

// One object of the ERP and what the program does with it: the statements it sends there, the
// columns it names, whether the receive adds rows to it.
struct CheckedObject {
    QString object;
    QList<QPair<QString, ColumnUse>> columns;
    // Each opens a record set exactly as the send or the receive opens it (the same text through
    // the same translation); the columns are looked for in the first one's.
    QList<std::function<void(Recordset&)>> reads;
    bool written = false;
};

CheckedObject& entryFor(QList<CheckedObject>& list, const QString& object) {
    for (CheckedObject& o : list)
        if (o.object.compare(object, Qt::CaseInsensitive) == 0) return o;
    list.append({object, {}, {}, false});
    return list.last();
}

void addColumns(CheckedObject& entry, const QList<QPair<QString, ColumnUse>>& columns) {
    for (const auto& c : columns) {
        bool known = false;
        for (const auto& have : entry.columns) known |= have.first.compare(c.first, Qt::CaseInsensitive) == 0;
        if (!known) entry.columns.append(c);
    }
}

QList<QPair<QString, ColumnUse>> anyOf(const QStringList& names) {
    QList<QPair<QString, ColumnUse>> list;
    for (const QString& n : names) list.append({n, ColumnUse::Any});
    return list;
}

// No row is read: the send's own statement, as the engine receives it, inside a query that
// keeps its columns and none of its rows.
void openNoRows(const QString& sent, Recordset& rs) {
    rs.open(QStringLiteral("SELECT * FROM (%1) KV_CHECK WHERE 1 = 0").arg(sent), ErpDb().gCnn, cursor::ForwardOnly,
            lock::ReadOnly, -1, false);
}

// A statement as the program writes it, opened the way the receive opens it, its markers bound.
std::function<void(Recordset&)> asTheReceiveOpens(const QString& statement) {
    return [statement](Recordset& rs) {
        ErpDb().AbrirConsulta(statement, QVariantList(statement.count(QLatin1Char('?')), QString()), rs);
    };
}

// What the send and the receive run besides their record sets: the configuration values they
// read, the duplicate tests and the sheet number.
void addImportReads(QList<CheckedObject>& list) {
    entryFor(list, QStringLiteral("V_MV_CPTE")).reads.append([](Recordset&) {
        ExisteComprobante(QStringLiteral("NP"), QStringLiteral("0000"), QStringLiteral("00000000"), QStringLiteral("X"));
    });
    // A group's documents are tested in one statement; two of them stand for any number.
    entryFor(list, QStringLiteral("V_MV_CPTE")).reads.append(asTheReceiveOpens(existingStatement(QStringLiteral("V_MV_CPTE"), 2)));
    entryFor(list, QStringLiteral("GM_V_MV_PLANILLA_CAB")).reads.append([](Recordset&) {
        ExistePlanilla(QStringLiteral("NP"), QStringLiteral("0000"), QStringLiteral("00000000"), QStringLiteral("X"));
        NuevaPlanilla();
    });
    entryFor(list, QStringLiteral("GM_V_MV_PLANILLA_CAB"))
        .reads.append(asTheReceiveOpens(existingStatement(QStringLiteral("GM_V_MV_PLANILLA_CAB"), 2)));
    entryFor(list, QStringLiteral("ta_configuracion")).reads.append([](Recordset&) {
        CfgValue(QStringLiteral("GM_CANT_DISPOSITIVOS"));
        CfgValue(QStringLiteral("GM_UsaPlanillaControl"));
    });
}

// Every object with the columns the program names in it, export sources first.
QList<CheckedObject> objectsToCheck(const Connection& erp, bool admin) {
    QList<CheckedObject> list;
    for (const ExportStep& step : exportSteps()) {
        const QString object = sourceObjectOf(step);
        if (object.isEmpty()) continue;
        QStringList columns;
        if (step.position == 13)
            columns << QStringLiteral("ZONA"); // the zones are grouped from it
        else
            for (const ColumnCopy& c : step.columns) columns << c.source;
        if (step.position == 11) // the client filters and the price lists they use
            columns << QStringLiteral("IDVENDEDOR") << QStringLiteral("IDVENDEDOR1") << QStringLiteral("IDVENDEDOR2")
                    << QStringLiteral("IDVENDEDOR3") << QStringLiteral("IDVENDEDOR4") << QStringLiteral("IDVENDEDOR5");
        if (step.position == 12) columns << QStringLiteral("TIPOLISTA");
        CheckedObject& entry = entryFor(list, object);
        addColumns(entry, anyOf(columns));
        const QString sent = copySourceText(step, QString(), QString(), erp);
        entry.reads.append([sent](Recordset& rs) { openNoRows(sent, rs); });
    }
    for (const ObjectColumns& o : importObjects()) {
        CheckedObject& entry = entryFor(list, o.object);
        addColumns(entry, o.columns);
        entry.reads.append(asTheReceiveOpens(o.statement));
        entry.written |= o.written;
    }
    const auto plain = [&](const QString& object, const QStringList& columns) {
        CheckedObject& entry = entryFor(list, object);
        addColumns(entry, anyOf(columns));
        const QString sent = statementAsSent(QStringLiteral("SELECT * FROM ") + object, *erp.engine(), admin);
        entry.reads.prepend([sent](Recordset& rs) { openNoRows(sent, rs); });
    };
    plain(QStringLiteral("ta_configuracion"), {QStringLiteral("CLAVE"), QStringLiteral("VALOR"), QStringLiteral("valoraux")});
    plain(QStringLiteral("ta_usuarios"), {QStringLiteral("nombre"), QStringLiteral("Administrador")});
    addImportReads(list);
    if (!admin)
        for (const char* s : {"SS_MA_CUENTAS", "SS_V_TA_DEPOSITO", "SS_MV_ASIENTOS", "SS_V_TA_FAMILIAS", "SS_V_TA_CAJAS",
                              "SS_AC_CUENTASDIARIO", "SS_AC_CUENTAS_DIARIO_CCOSTO"})
            plain(QLatin1String(s), {});
    return list;
}

QString columnProblems(const CheckedObject& o, Recordset& rs) {
    QStringList missing, wrong;
    for (const auto& [name, use] : o.columns) {
        const int i = rs.fields().indexOf(name);
        if (i < 0) {
            missing << name;
            continue;
        }
        const int type = rs.fields().item(i).typeId();
        if (use == ColumnUse::Date && type != QMetaType::QDate && type != QMetaType::QDateTime)
            wrong << name + QStringLiteral(" (not a date)");
        else if (use == ColumnUse::Number && !isNumberType(type) && type != QMetaType::Bool)
            wrong << name + QStringLiteral(" (not a number)");
    }
    QStringList parts;
    if (!missing.isEmpty())
        parts << (missing.size() == 1 ? QStringLiteral("missing column ") : QStringLiteral("missing columns ")) +
                     missing.join(QStringLiteral(", "));
    if (!wrong.isEmpty()) parts << QStringLiteral("wrong type: ") + wrong.join(QStringLiteral(", "));
    return parts.join(QStringLiteral("; "));
}

// An SQLite ERP is written where it lies: the file, and its folder for the journal beside it.
QString fileWriteProblem(const QString& path) {
    const QFileInfo file(path);
    if (!file.isWritable()) return QStringLiteral("cannot be written: the ERP file %1 is read-only").arg(path);
    if (!QFileInfo(file.absolutePath()).isWritable())
        return QStringLiteral("cannot be written: the folder of the ERP file %1 is read-only (its journal is written "
                              "there)")
            .arg(path);
    return QString();
}

// A one-row answer of a privilege statement: empty when granted, else what is missing.
QString privilegeProblem(const QString& statement, const QString& refused) {
    Recordset rs;
    rs.open(statement, ErpDb().gCnn, cursor::ForwardOnly, lock::ReadOnly, -1, false);
    if (rs.eof()) return refused;
    QStringList problems;
    if (rs[0].value().toInt() != 1) problems << refused;
    const QString more = rs[1].value().toString().trimmed();
    if (!more.isEmpty()) problems << QStringLiteral("no USAGE on the sequence ") + more;
    return problems.join(QStringLiteral("; "));
}

QString writeProblem(const CheckedObject& o) {
    DB_Dll& erp = ErpDb();
    const Engine e = *erp.gCnn.engine();
    if (e == Engine::Sqlite) return fileWriteProblem(erp.gDBName);
    const QString name = erp.gCnn.driver().quoteName(erp.gCnn.database(), o.object);
    return privilegeProblem(insertPrivilegeStatement(e, name),
                            QStringLiteral("no permission to add rows (INSERT) for user %1").arg(erp.gUsuario));
}

QString problemsOf(const CheckedObject& o) {
    Recordset first;
    try {
        for (qsizetype i = 0; i < o.reads.size(); ++i) {
            Recordset rs;
            o.reads[i](i == 0 ? first : rs);
        }
    } catch (const RunTimeError& e) {
        return QStringLiteral("missing (") + e.description().simplified() + QLatin1Char(')');
    }
    QStringList parts;
    if (first.state()) parts << columnProblems(o, first);
    if (o.written) {
        try {
            parts << writeProblem(o);
        } catch (const RunTimeError& e) {
            parts << QStringLiteral("its permissions could not be read (") + e.description().simplified() +
                         QLatin1Char(')');
        }
    }
    parts.removeAll(QString());
    return parts.join(QStringLiteral("; "));
}

// The import's named lock, where taking it needs a grant (Oracle's DBMS_LOCK).
QList<CheckLine> lockLines() {
    const QString statement = importLockPrivilegeStatement(*ErpDb().gCnn.engine());
    if (statement.isEmpty()) return {};
    QString problem;
    try {
        problem = privilegeProblem(statement, QStringLiteral("no permission to run it (EXECUTE): the receive could not "
                                                             "take the import lock"));
    } catch (const RunTimeError& e) {
        problem = QStringLiteral("its permissions could not be read (") + e.description().simplified() + QLatin1Char(')');
    }
    return {CheckLine{QStringLiteral("DBMS_LOCK"), problem}};
}

QString storeProblemOf(const QString& store) {
    try {
        QStringList gaps;
        for (const StoreGap& g : verifyStore(store)) gaps << g.text();
        if (!gaps.isEmpty()) return QStringLiteral("lacks ") + gaps.join(QStringLiteral(", "));
    } catch (const RunTimeError& e) {
        return e.description();
    }
    if (!QFileInfo(store).isWritable()) return QStringLiteral("cannot be written: the file is read-only");
    return QString();
}

} // namespace

QString CheckLine::text() const {
    return object + QStringLiteral(": ") + (problem.isEmpty() ? QStringLiteral("ok") : problem);
}

QList<CheckLine> checkInstallation() {
    QList<CheckLine> lines;
    for (const CheckedObject& o : objectsToCheck(ErpDb().gCnn, ErpDb().gEsAdmin)) lines << CheckLine{o.object, problemsOf(o)};
    lines << lockLines();

    const QString store = settings::storePath();
    lines << CheckLine{QStringLiteral("store ") + store, storeProblemOf(store)};

    const QFileInfo folder(AppHome::folder());
    lines << CheckLine{QStringLiteral("application folder ") + folder.filePath(),
                       folder.isDir() && folder.isWritable() ? QString() : QStringLiteral("not a writable folder")};
    return lines;
}

} // namespace kv
