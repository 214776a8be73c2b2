#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace kv {

class Connection;
class Recordset;

// Cursor and lock types the program uses.
namespace cursor {
constexpr int ForwardOnly = 0;
constexpr int Dynamic = 2;
} // namespace cursor
namespace lock {
constexpr int ReadOnly = 1;
constexpr int Optimistic = 3;
} // namespace lock

// One column of a record set, read on the current row.
class Field {
public:
    Field(Recordset* owner, int index, QString name, int definedSize, int typeId = 0)
        : m_owner(owner), m_index(index), m_name(std::move(name)), m_definedSize(definedSize), m_typeId(typeId) {}
    const QString& name() const { return m_name; }
    // The value on the current row; a null QVariant is Null. Reading at BOF or EOF fails (3021).
    QVariant value() const;
    // Assigns the value on the row being added (AddNew).
    void setValue(const QVariant& v);
    int definedSize() const { return m_definedSize; }
    // The column's value type as the engine reports it (QMetaType id; 0 when unknown).
    int typeId() const { return m_typeId; }

private:
    Recordset* m_owner;
    int m_index;
    QString m_name;
    int m_definedSize;
    int m_typeId;
};

// Column positions by name: as written, and without regard to case (the first of a name wins).
struct ColumnIndex {
    explicit ColumnIndex(const QStringList& names);
    QHash<QString, int> exact;
    QHash<QString, int> folded;
};

class Fields {
public:
    int count() const { return int(m_items.size()); }
    // By ordinal (0-based) or by name without regard to case; an unknown one fails with 3265.
    Field& item(int index) const;
    Field& item(const QString& name) const;
    int indexOf(const QString& name) const; // -1 when absent

private:
    friend class Recordset;
    std::vector<std::unique_ptr<Field>> m_items;
    std::shared_ptr<const ColumnIndex> m_index;
};

// A record set over a statement or a bare table name, its rows read when it opens (the
// statement is freed at once: client-side); a record set opened with
// the optimistic lock on a table or a one-row query over one (SELECT TOP 1 * FROM X) can add
// rows: AddNew, assignments by name, Update.
class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // The statement passes the engine's dialect translation unless `translate` is false (the
    // caller already sent it through the Oracle translation, or chose not to).
    void open(const QString& source, Connection& connection, int cursorType = cursor::ForwardOnly,
              int lockType = lock::ReadOnly, int options = -1, bool translate = true);
    // Runs a statement prepared (and bound) by the caller, reads all its rows and frees it, so
    // the same prepared statement can run again for the next value. `source`, when given, is the
    // statement as the program wrote it (what AddNew reads its table from, with the optimistic
    // lock).
    void open(QSqlQuery& prepared, Connection& connection, int lockType = lock::ReadOnly,
              const QString& source = QString());
    // A record set over rows held in memory (the table list of a schema query); `index`, when
    // given, is the names' index, shared by record sets opened on the same columns.
    void openRows(const QStringList& names, const QList<QVariantList>& rows,
                  std::shared_ptr<const ColumnIndex> index = nullptr);
    int state() const { return m_open ? 1 : 0; }
    void close();

    bool bof() const;
    bool eof() const;
    void moveFirst();
    void moveNext();
    // The current row's place (0: the first; the row count at EOF), and a move back to a place
    // read before: the rows are all held, so any of them can be read again.
    int position() const { return m_rowIndex; }
    void moveTo(int position);

    Fields& fields();
    Field& operator[](const QString& name) { return fields().item(name); }
    Field& operator[](int index) { return fields().item(index); }
    QVariant value(const QString& name) { return fields().item(name).value(); }

    void addNew();
    void setValue(const QString& name, const QVariant& v) { fields().item(name).setValue(v); }
    void update();
    // While deferred, Update keeps the row instead of writing it; flushInserts writes the kept
    // rows in their order, as few multi-row INSERTs as the engine's parameter limit allows (one
    // round trip for many rows on a server), and dropInserts forgets them.
    void setDeferred(bool deferred) { m_deferred = deferred; }
    void flushInserts();
    void dropInserts() { m_queued.clear(); }

    const QString& source() const { return m_source; }
    int cursorType() const { return m_cursorType; }
    int lockType() const { return m_lockType; }

private:
    friend class Field;
    friend class Connection;
    void requireOpen() const;
    QVariant currentValue(int index) const;
    void assign(int index, const QVariant& v);
    void fetch();
    void execute();
    // Reads the rows; the column descriptions of a prepared statement are read once per
    // connection (they cannot change while it stays prepared).
    void readAll(QSqlQuery& query, bool prepared = false);
    void buildFields(const QStringList& names, const QList<int>& sizes, const QList<int>& types = {},
                     std::shared_ptr<const ColumnIndex> index = nullptr);

    Connection* m_connection = nullptr;
    QList<QVariantList> m_rows; // every row, read when the record set opens
    int m_rowIndex = -1;
    bool m_open = false;
    bool m_bof = true;
    bool m_eof = true;
    QVariantList m_current;
    Fields m_fields;
    QString m_source;
    QString m_statement;
    QString m_table; // where AddNew inserts; empty when the source is not one table
    bool m_translate = true;
    int m_cursorType = cursor::ForwardOnly;
    int m_lockType = lock::ReadOnly;
    bool m_adding = false;
    QVariantList m_pending;
    QList<bool> m_assigned;
    QHash<QList<bool>, QString> m_inserts; // the INSERT for each set of assigned columns
    struct Queued {
        QList<bool> assigned;
        QVariantList values; // the assigned ones, as bound
    };
    bool m_deferred = false;
    QList<Queued> m_queued;
    void writeRows(const QList<bool>& assigned, const QVariantList& values, int rows);
};

// True when the value is Null (an invalid or a null-typed QVariant).
inline bool isNull(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

} // namespace kv
