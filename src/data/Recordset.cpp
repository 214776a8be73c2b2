#include "data/Recordset.h"

#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/TypedValue.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <utility>

namespace kv {

namespace {

[[noreturn]] void raise(long number, const QString& text) {
    throw RunTimeError(number, text, QStringLiteral("Recordset"));
}

// A bare table name ("MV_CPTE", "[V_MA_Precios]", "dbo.X") rather than a statement.
bool isBareName(const QString& s) {
    static const QRegularExpression re(QStringLiteral(R"(^[\w\[\]"\.]+$)"));
    return re.match(s).hasMatch();
}

QString unquoteName(QString n) {
    n = n.trimmed();
    if ((n.startsWith(QLatin1Char('[')) && n.endsWith(QLatin1Char(']'))) ||
        (n.startsWith(QLatin1Char('"')) && n.endsWith(QLatin1Char('"'))))
        n = n.mid(1, n.size() - 2);
    return n;
}

// The one table a "SELECT [TOP n] * FROM X [WHERE ...]" statement reads, or empty.
QString singleTableOf(const QString& statement) {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*SELECT\s+(?:TOP\s+\d+\s+)?\*\s+FROM\s+([\w\[\]"\.]+)\s*(?:WHERE\b.*)?$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(statement);
    return m.hasMatch() ? unquoteName(m.captured(1)) : QString();
}

} // namespace

QVariant Field::value() const {
    return m_owner->currentValue(m_index);
}

void Field::setValue(const QVariant& v) {
    m_owner->assign(m_index, v);
}

Field& Fields::item(int index) const {
    if (index < 0 || index >= count())
        raise(err::ItemNotFound, err::textOf(err::ItemNotFound));
    return *m_items[size_t(index)];
}

ColumnIndex::ColumnIndex(const QStringList& names) {
    for (int i = 0; i < names.size(); ++i) {
        const QString key = names.at(i).trimmed().toCaseFolded();
        if (!folded.contains(key)) folded.insert(key, i);
    }
    for (int i = names.size() - 1; i >= 0; --i) exact.insert(names.at(i), i); // the first wins
}

int Fields::indexOf(const QString& name) const {
    if (!m_index) return -1;
    const auto it = m_index->exact.constFind(name);
    if (it != m_index->exact.constEnd()) return *it;
    return m_index->folded.value(name.trimmed().toCaseFolded(), -1);
}

Field& Fields::item(const QString& name) const {
    const int i = indexOf(name);
    if (i < 0)
        raise(err::ItemNotFound, err::textOf(err::ItemNotFound) + QStringLiteral(" (%1)").arg(name));
    return *m_items[size_t(i)];
}

Recordset::Recordset() = default;

Recordset::~Recordset() {
    close();
}

void Recordset::requireOpen() const {
    if (!m_open) raise(err::ObjectClosed, err::textOf(err::ObjectClosed));
}

void Recordset::open(const QString& source, Connection& connection, int cursorType, int lockType, int,
                     bool translate) {
    if (m_open) raise(err::ObjectOpen, err::textOf(err::ObjectOpen));
    const QString s = source.trimmed();
    m_source = source;
    m_cursorType = cursorType;
    m_lockType = lockType;
    m_translate = translate;
    if (isBareName(s)) {
        m_table = unquoteName(s);
        m_statement = QStringLiteral("SELECT * FROM ") + s;
    } else {
        m_table = singleTableOf(s);
        m_statement = s;
    }
    m_connection = &connection;
    connection.requireOpen();
    execute();
    m_connection->attach(this);
    m_open = true;
}

void Recordset::open(QSqlQuery& prepared, Connection& connection, int lockType, const QString& source) {
    if (m_open) raise(err::ObjectOpen, err::textOf(err::ObjectOpen));
    connection.requireOpen();
    m_source = source.isEmpty() ? prepared.lastQuery() : source;
    m_statement = prepared.lastQuery();
    m_table = singleTableOf(m_source);
    m_cursorType = lockType == lock::ReadOnly ? cursor::ForwardOnly : cursor::Dynamic;
    m_lockType = lockType;
    m_connection = &connection;
    connection.requireIdle();
    StatementGuard guard(connection);
    if (!prepared.exec()) {
        m_connection = nullptr;
        connection.fail(prepared);
    }
    readAll(prepared, true); // before the savepoint is released: that statement would discard the rows
    guard.succeeded();
    m_connection->attach(this);
    m_open = true;
}

// Client-side, as the program asks of its connections: the statement runs, every row is read,
// and the statement is freed before anything else runs on the connection (a driver without
// multiple active statements refuses a second statement while one has unread results).
void Recordset::execute() {
    m_connection->requireIdle(); // before the guard, whose savepoint is a statement too
    StatementGuard guard(*m_connection);
    QSqlQuery query(m_connection->database());
    query.setForwardOnly(true);
    const EngineDriver& drv = m_connection->driver();
    if (!drv.exec(query, m_translate ? drv.translate(m_statement) : m_statement,
                  m_connection->statementTimeout()))
        m_connection->fail(query);
    readAll(query); // before the savepoint is released: that statement would discard the rows
    guard.succeeded();
}

void Recordset::readAll(QSqlQuery& query, bool prepared) {
    Connection::Columns* known = prepared ? &m_connection->m_columns[query.lastQuery()] : nullptr;
    if (!known || known->names.isEmpty()) {
        Connection::Columns c;
        const QSqlRecord rec = query.record();
        const EngineDriver& drv = m_connection->driver();
        for (int i = 0; i < rec.count(); ++i) {
            c.names << rec.fieldName(i);
            c.sizes << drv.definedSize(query, i);
            c.types << drv.valueType(query, i);
        }
        c.index = std::make_shared<const ColumnIndex>(c.names);
        if (!known) known = &c;
        else *known = c;
        buildFields(known->names, known->sizes, known->types, known->index);
    } else {
        buildFields(known->names, known->sizes, known->types, known->index);
    }
    m_rows.clear();
    const int n = m_fields.count();
    while (query.next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i) {
            const QVariant v = query.value(i);
            row.append(isNull(v) ? QVariant() : v);
        }
        m_rows.append(std::move(row));
    }
    const QSqlError e = query.lastError();
    query.finish();
    if (e.isValid()) m_connection->fail(e);
    m_rowIndex = -1;
    m_adding = false;
    fetch();
    m_bof = m_eof;
}

void Recordset::openRows(const QStringList& names, const QList<QVariantList>& rows,
                         std::shared_ptr<const ColumnIndex> index) {
    close();
    m_rows = rows;
    m_source.clear();
    m_table.clear();
    buildFields(names, QList<int>(names.size(), 0), {}, std::move(index));
    m_open = true;
    m_rowIndex = -1;
    fetch();
    m_bof = m_eof;
}

void Recordset::buildFields(const QStringList& names, const QList<int>& sizes, const QList<int>& types,
                            std::shared_ptr<const ColumnIndex> index) {
    m_fields.m_items.clear();
    m_inserts.clear();
    for (int i = 0; i < names.size(); ++i)
        m_fields.m_items.push_back(std::make_unique<Field>(this, i, names.at(i), sizes.value(i), types.value(i)));
    m_fields.m_index = index ? std::move(index) : std::make_shared<const ColumnIndex>(names);
}

// Moves to the next row; sets EOF after the last.
void Recordset::fetch() {
    ++m_rowIndex;
    m_current.clear();
    if (m_rowIndex < m_rows.size()) {
        m_current = m_rows.at(m_rowIndex);
        m_eof = false;
    } else {
        m_eof = true;
    }
}

void Recordset::close() {
    if (m_connection) m_connection->detach(this);
    m_rows.clear();
    m_current.clear();
    m_fields.m_items.clear();
    m_connection = nullptr;
    m_open = false;
    m_bof = m_eof = true;
    m_adding = false;
}

bool Recordset::bof() const {
    requireOpen();
    return m_bof;
}

bool Recordset::eof() const {
    requireOpen();
    return m_eof && !m_adding;
}

void Recordset::moveFirst() {
    requireOpen();
    m_adding = false;
    if (m_rowIndex == 0 && !m_eof) return;
    if (m_bof && m_eof) return; // an empty record set stays where it is
    m_rowIndex = -1;
    fetch();
}

void Recordset::moveNext() {
    requireOpen();
    if (m_adding) {
        m_adding = false;
        return;
    }
    if (m_eof)
        raise(err::NoCurrentRecord, err::textOf(err::NoCurrentRecord));
    fetch();
    m_bof = false;
}

void Recordset::moveTo(int position) {
    requireOpen();
    if (position < 0 || position > m_rows.size())
        raise(err::NoCurrentRecord, err::textOf(err::NoCurrentRecord));
    m_adding = false;
    m_rowIndex = position - 1;
    fetch();
    m_bof = m_rows.isEmpty();
}

Fields& Recordset::fields() {
    requireOpen();
    return m_fields;
}

QVariant Recordset::currentValue(int index) const {
    requireOpen();
    if (m_adding) return m_pending.value(index);
    if (m_eof || m_current.isEmpty())
        raise(err::NoCurrentRecord, err::textOf(err::NoCurrentRecord));
    return m_current.value(index);
}

void Recordset::addNew() {
    requireOpen();
    if (m_lockType == lock::ReadOnly || m_table.isEmpty())
        raise(err::NotSupported, QStringLiteral("Current Recordset does not support updating. This may be a "
                                                "limitation of the provider, or of the selected locktype."));
    m_pending = QVariantList(m_fields.count());
    m_assigned = QList<bool>(m_fields.count(), false);
    m_adding = true;
}

void Recordset::assign(int index, const QVariant& v) {
    requireOpen();
    if (!m_adding)
        raise(err::NotSupported,
              QStringLiteral("Only a row added with AddNew can be assigned (field %1).").arg(m_fields.item(index).name()));
    const Field& f = m_fields.item(index);
    m_pending[index] = valueForColumn(v, f.typeId(), f.name());
    m_assigned[index] = true;
}

void Recordset::update() {
    requireOpen();
    if (!m_adding) return;
    const EngineDriver& drv = m_connection->driver();
    QVariantList values;
    for (int i = 0; i < m_fields.count(); ++i)
        if (m_assigned[i]) values.append(drv.bindable(m_pending[i]));
    if (m_deferred) m_queued.append({m_assigned, std::move(values)});
    else writeRows(m_assigned, values, 1);
    // The added row becomes the current one, with the values as assigned.
    m_current = m_pending;
    m_adding = false;
    m_eof = false;
    m_bof = false;
}

// One INSERT of `rows` rows of the same assigned columns, their values in `values` row after row.
void Recordset::writeRows(const QList<bool>& assigned, const QVariantList& values, int rows) {
    const EngineDriver& drv = m_connection->driver();
    auto headIt = m_inserts.constFind(assigned);
    if (headIt == m_inserts.constEnd()) {
        QSqlDatabase db = m_connection->database();
        QStringList columns;
        for (int i = 0; i < m_fields.count(); ++i)
            if (assigned[i]) columns << drv.quoteName(db, m_fields.item(i).name());
        QString table;
        for (const QString& part : m_table.split(QLatin1Char('.')))
            table += (table.isEmpty() ? QString() : QStringLiteral(".")) + drv.quoteName(db, part);
        headIt = m_inserts.insert(assigned, columns.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                                              : QStringLiteral("INSERT INTO %1 (%2) VALUES ")
                                                                    .arg(table, columns.join(QLatin1Char(','))));
    }
    const int perRow = rows > 0 ? int(values.size()) / rows : 0;
    QString sql = *headIt;
    if (perRow > 0) {
        QString marks = QStringLiteral("(?") + QStringLiteral(",?").repeated(perRow - 1) + QLatin1Char(')');
        sql.reserve(sql.size() + rows * (marks.size() + 1));
        for (int r = 0; r < rows; ++r) sql += (r ? QStringLiteral(",") : QString()) + marks;
    }
    m_connection->requireIdle();
    StatementGuard guard(*m_connection);
    QSqlQuery& q = m_connection->preparedStatement(sql);
    for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
    if (!q.exec()) m_connection->fail(q);
    q.finish();
    guard.succeeded();
}

void Recordset::flushInserts() {
    requireOpen();
    const QList<Queued> queued = std::exchange(m_queued, {});
    const EngineDriver& drv = m_connection->driver();
    for (qsizetype first = 0; first < queued.size();) {
        const Queued& head = queued.at(first);
        const int most = head.values.isEmpty() ? 1 : drv.rowsPerInsert(int(head.values.size()));
        qsizetype end = first + 1;
        while (end < queued.size() && end - first < most && queued.at(end).assigned == head.assigned) ++end;
        // Whole statements of the largest size are prepared once; a shorter rest is a
        // statement of its own.
        QVariantList values;
        values.reserve((end - first) * head.values.size());
        for (qsizetype r = first; r < end; ++r) values.append(queued.at(r).values);
        writeRows(head.assigned, values, int(end - first));
        first = end;
    }
}

} // namespace kv
