#include "app/ErpCheck.h"

#include "app/AppHome.h"
#include "data/DB_Dll.h"
#include "data/TypedValue.h"
#include "export/ExportTasks.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "sync/ImportTargets.h"

#include <QFileInfo>

namespace kv {

namespace {

void addColumns(QList<ObjectColumns>& list, const QString& object,
                const QList<QPair<QString, ColumnUse>>& columns) {
    ObjectColumns* entry = nullptr;
    for (ObjectColumns& o : list)
        if (o.object.compare(object, Qt::CaseInsensitive) == 0) entry = &o;
    if (!entry) {
        list.append({object, {}});
        entry = &list.last();
    }
    for (const auto& c : columns) {
        bool known = false;
        for (const auto& have : entry->columns)
            known |= have.first.compare(c.first, Qt::CaseInsensitive) == 0;
        if (!known) entry->columns.append(c);
    }
}

QList<QPair<QString, ColumnUse>> anyOf(const QStringList& names) {
    QList<QPair<QString, ColumnUse>> list;
    for (const QString& n : names)
        list.append({n, ColumnUse::Any});
    return list;
}

// Every object with the columns the program names in it, export sources first.
QList<ObjectColumns> objectsToCheck(bool admin) {
    QList<ObjectColumns> list;
    for (const ExportStep& step : exportSteps()) {
        const QString object = sourceObjectOf(step);
        if (object.isEmpty()) continue;
        QStringList columns;
        if (step.position == 13)
            columns << QStringLiteral("ZONA"); // the zones are grouped from it
        else
            for (const ColumnCopy& c : step.columns)
                columns << c.source;
        if (step.position == 11) // the client filters and the price lists they use
            columns << QStringLiteral("IDVENDEDOR") << QStringLiteral("IDVENDEDOR1")
                    << QStringLiteral("IDVENDEDOR2") << QStringLiteral("IDVENDEDOR3")
                    << QStringLiteral("IDVENDEDOR4") << QStringLiteral("IDVENDEDOR5");
        if (step.position == 12) columns << QStringLiteral("TIPOLISTA");
        addColumns(list, object, anyOf(columns));
    }
    for (const ObjectColumns& o : importObjects())
        addColumns(list, o.object, o.columns);
    addColumns(list, QStringLiteral("ta_configuracion"),
               anyOf({QStringLiteral("CLAVE"), QStringLiteral("VALOR"), QStringLiteral("valoraux")}));
    addColumns(list, QStringLiteral("ta_usuarios"),
               anyOf({QStringLiteral("nombre"), QStringLiteral("Administrador")}));
    if (!admin)
        for (const char* s : {"SS_MA_CUENTAS", "SS_V_TA_DEPOSITO", "SS_MV_ASIENTOS", "SS_V_TA_FAMILIAS",
                              "SS_V_TA_CAJAS", "SS_AC_CUENTASDIARIO", "SS_AC_CUENTAS_DIARIO_CCOSTO"})
            addColumns(list, QLatin1String(s), {});
    return list;
}

QString problemsOf(const ObjectColumns& o) {
    DB_Dll& erp = ErpDb();
    Recordset rs;
    try {
        // No row is read; the statement takes the same road as the program's own.
        rs.open(
            erp.SS_TSinonimos(QStringLiteral("SELECT * FROM ") + o.object + QStringLiteral(" WHERE 1 = 0")),
            erp.gCnn);
    } catch (const RunTimeError& e) {
        return QStringLiteral("missing (") + e.description().simplified() + QLatin1Char(')');
    }
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
        parts << (missing.size() == 1 ? QStringLiteral("missing column ")
                                      : QStringLiteral("missing columns ")) +
                     missing.join(QStringLiteral(", "));
    if (!wrong.isEmpty()) parts << QStringLiteral("wrong type: ") + wrong.join(QStringLiteral(", "));
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString CheckLine::text() const {
    return object + QStringLiteral(": ") + (problem.isEmpty() ? QStringLiteral("ok") : problem);
}

QList<CheckLine> checkInstallation() {
    QList<CheckLine> lines;
    for (const ObjectColumns& o : objectsToCheck(ErpDb().gEsAdmin))
        lines << CheckLine{o.object, problemsOf(o)};

    const QString store = settings::storePath();
    QString storeProblem;
    try {
        QStringList gaps;
        for (const StoreGap& g : verifyStore(store))
            gaps << g.text();
        if (!gaps.isEmpty()) storeProblem = QStringLiteral("lacks ") + gaps.join(QStringLiteral(", "));
    } catch (const RunTimeError& e) {
        storeProblem = e.description();
    }
    lines << CheckLine{QStringLiteral("store ") + store, storeProblem};

    const QFileInfo folder(AppHome::folder());
    lines << CheckLine{QStringLiteral("application folder ") + folder.filePath(),
                       folder.isDir() && folder.isWritable() ? QString()
                                                             : QStringLiteral("not a writable folder")};
    return lines;
}

} // namespace kv
