#include "sync/GroupImport.h"

#include "app/GeneralFunctions.h"
#include "app/RunTimeError.h"
#include "data/DB_Dll.h"
#include "data/Recordset.h"
#include "sync/ImportTargets.h"

#include <QSet>

namespace kv {

namespace {

// A text as the engines may compare it at the most generous: without trailing spaces or regard to
// case. Two of the group's keys alike this way are never in one group, so a row the engine
// returns belongs to exactly one of them.
QString loose(const QVariant& v) {
    QString s = v.toString();
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1) == QLatin1Char(' ')) --end;
    return s.left(end).toCaseFolded();
}

QString marks(int count, const QString& one, const QString& between) {
    QStringList all;
    for (int i = 0; i < count; ++i) all << one;
    return all.join(between);
}

QVariantList rowOf(Recordset& rs) {
    QVariantList row;
    const int n = rs.fields().count();
    row.reserve(n);
    for (int i = 0; i < n; ++i) row.append(rs.fields().item(i).value());
    return row;
}

QStringList columnsOf(Recordset& rs) {
    QStringList names;
    for (int i = 0; i < rs.fields().count(); ++i) names << rs.fields().item(i).name();
    return names;
}

[[noreturn]] void unlike() {
    throw RunTimeError(err::ProviderError, QStringLiteral("a group's rows did not match its documents"));
}

// The duplicate test of every document at once: the same comparison as one document's, joined by OR.
void readExisting(SyncRunState& run, const QList<DocumentKey>& written, GroupReads& g) {
    const QString view = run.planillaMode ? QStringLiteral("GM_V_MV_PLANILLA_CAB") : QStringLiteral("V_MV_CPTE");
    QVariantList values;
    QHash<QString, int> byKey;
    for (int i = 0; i < written.size(); ++i) {
        const QString tc = CodigoAncho(written[i].tc, 4);
        const QString id = written[i].sucursal + written[i].numero + written[i].letra;
        values << tc << id;
        byKey.insert(loose(tc) + QChar(0) + loose(id), i);
    }
    g.exists = QList<bool>(written.size(), false);
    DB_Dll& erp = ErpDb();
    Recordset rs;
    erp.AbrirConsulta(QStringLiteral("SELECT TC, IDCOMPROBANTE FROM ") + view + QStringLiteral(" WHERE ") +
                          marks(int(written.size()), QStringLiteral("(TC = ? AND IDCOMPROBANTE = ?)"), QStringLiteral(" OR ")),
                      values, rs);
    for (; !rs.eof(); rs.moveNext()) {
        const auto it = byKey.constFind(loose(rs.fields().item(0).value()) + QChar(0) + loose(rs.fields().item(1).value()));
        if (it == byKey.constEnd()) unlike();
        g.exists[*it] = true;
    }
    rs.close();
}

// Every client of the group in one lookup, with the columns one document's lookup reads.
void readClients(const QStringList& codes, GroupReads& g) {
    QHash<QString, QString> byLoose;
    for (const QString& c : codes)
        if (byLoose.contains(loose(c))) unlike();
        else byLoose.insert(loose(c), c);
    QString sql = importStatement("VT_CLIENTES");
    sql.chop(QStringLiteral("= ?").size());
    sql += QStringLiteral("IN (") + marks(int(codes.size()), QStringLiteral("?"), QStringLiteral(",")) + QLatin1Char(')');
    Recordset rs;
    ErpDb().AbrirConsulta(sql, QVariantList(codes.cbegin(), codes.cend()), rs);
    g.clientColumns = columnsOf(rs);
    g.clientIndex = std::make_shared<const ColumnIndex>(g.clientColumns);
    const int code = rs.fields().indexOf(QStringLiteral("CTACODIGO"));
    for (; !rs.eof(); rs.moveNext()) {
        const auto it = byLoose.constFind(loose(rs.fields().item(code).value()));
        if (it == byLoose.constEnd() || g.clients.contains(*it)) unlike(); // two clients for one code
        g.clients.insert(*it, rowOf(rs));
    }
    rs.close();
}

// The group's lines from the store, each document's in the order its own query gives them.
void readLines(const QStringList& keys, GroupReads& g) {
    Recordset rs;
    LocalDb().AbrirConsulta(QStringLiteral("SELECT * FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL IN (") +
                                marks(int(keys.size()), QStringLiteral("?"), QStringLiteral(",")) + QLatin1Char(')'),
                            QVariantList(keys.cbegin(), keys.cend()), rs);
    g.lineColumns = columnsOf(rs);
    g.lineIndex = std::make_shared<const ColumnIndex>(g.lineColumns);
    const int key = rs.fields().indexOf(QStringLiteral("MV_CPTE_DET_TSNL"));
    for (; !rs.eof(); rs.moveNext()) {
        const QVariant v = rs.fields().item(key).value();
        if (v.typeId() != QMetaType::QString) continue; // no text key equals it
        g.lines[v.toString()].append(rowOf(rs));
    }
    rs.close();
}

template <class F>
void eachTarget(SyncRunState& run, Recordset& newDoc, Recordset& newSheet, F&& f) {
    for (Recordset* rs : {&newDoc, &newSheet})
        if (rs->state()) f(*rs);
    for (const std::shared_ptr<Recordset>& rs : std::as_const(run.lineTargets))
        if (rs && rs->state()) f(*rs);
}

} // namespace

GroupReads readGroup(SyncRunState& run, Recordset& docs, int most) {
    GroupReads g;
    g.first = docs.position();
    QList<DocumentKey> written;
    QStringList keys;
    QStringList codes;
    QSet<QString> seen;
    QSet<QString> seenCodes;
    struct Back {
        Recordset& docs;
        int row;
        ~Back() { docs.moveTo(row); }
    } back{docs, g.first};
    for (; g.count < most && !docs.eof(); docs.moveNext()) {
        const QVariant keyValue = docs.value(QStringLiteral("MV_CPTE_TSNL"));
        if (isNull(keyValue)) break;
        const QString key = keyValue.toString();
        if (unusableKey(key)) break;
        const DocumentKey w = writtenKey(run, docs, splitKey(key));
        const QString id = loose(CodigoAncho(w.tc, 4)) + QChar(0) + loose(w.sucursal + w.numero + w.letra);
        if (seen.contains(id)) break;
        QString code;
        if (!run.planillaMode) {
            const QVariant c = docs.value(QStringLiteral("MV_CPTE_IDCLIENTE"));
            if (isNull(c)) break;
            code = c.toString();
        }
        seen.insert(id);
        written << w;
        keys << key;
        if (!run.planillaMode && !seenCodes.contains(code)) {
            seenCodes.insert(code);
            codes << code;
        }
        ++g.count;
    }
    if (g.count < 2) return g;
    readExisting(run, written, g);
    if (!run.planillaMode) readClients(codes, g);
    readLines(keys, g);
    return g;
}

void openGroupClient(const GroupReads& group, const QString& code, Recordset& client) {
    const auto it = group.clients.constFind(code);
    if (it == group.clients.constEnd()) throw RunTimeError(err::NoCurrentRecord, err::textOf(err::NoCurrentRecord));
    client.openRows(group.clientColumns, {*it}, group.clientIndex);
}

void writeKeptRows(SyncRunState& run, Recordset& newDoc, Recordset& newSheet) {
    eachTarget(run, newDoc, newSheet, [](Recordset& rs) { rs.flushInserts(); });
}

void stopKeepingRows(SyncRunState& run, Recordset& newDoc, Recordset& newSheet) {
    eachTarget(run, newDoc, newSheet, [](Recordset& rs) {
        rs.dropInserts();
        rs.setDeferred(false);
    });
}

} // namespace kv
