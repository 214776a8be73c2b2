#pragma once

#include <optional>
#include <QObject>
#include <QStringList>
#include <QVariant>

namespace kv {

class Recordset;

// The list lookup ("Consulta..."): runs a statement on the ERP database, holds its columns and
// rows with their ticks, the search box above each column, positioning by typed text, the F5
// searches and the result. The dialog and the terminal are thin views over it; every action a
// person can take is a member here, so tests drive it without a window.
class LookupSession : public QObject {
    Q_OBJECT
public:
    explicit LookupSession(QObject* parent = nullptr);
    ~LookupSession() override;

    // Set by the lookup class before the list is loaded.
    QString SQL;                     // the statement shown; replaced by each new search
    QString CampoDevuelto;           // heading of the column returned for each ticked row
    bool CheckBoxes = false;         // tick boxes on the rows
    bool CfgUsaConsultaLIKE = false; // F5 searches anywhere in the column, not only at its start
    bool OrdenarPorLwv = false;      // the list sorts its rows itself
    // Handed over with every lookup; this list makes no use of them.
    QString FiltroInicial;
    QString ValoresDefault;
    bool UsaCantidades = false;
    QString CampoBusqueda;
    QString ConnString;
    QString MuestraStock;
    QVariantList StkNiveles;

    // Results. Valores: the values of the ticked rows after Accept, the empty list a load leaves,
    // nullopt after Cancel.
    std::optional<QStringList> Valores = QStringList();
    std::optional<QStringList> CamposDevueltos;
    std::optional<QStringList> Cantidades;
    QVariant ValorDevuelto;

    enum class Outcome { Open, Accepted, Cancelled, Closed };
    Outcome outcome() const { return m_outcome; }

    struct Column {
        QString name;
        int definedSize = 0;
        int letters = 0;                  // width as this many capital X letters (at most 60)
        std::optional<double> savedWidth; // twips, from the column-widths file
    };
    struct Row {
        QString text;         // the first field, trimmed
        QStringList subItems; // the further fields, as read
        bool ticked = false;
    };

    // Runs SQL and rebuilds columns and rows (ticks are lost). Failures go to the error prompt
    // ("FORM_LOAD"); whatever was built before a failure the operator gives up on stays.
    void load();

    const QList<Column>& columns() const { return m_columns; }
    const QList<Row>& rows() const { return m_rows; }
    int rowCount() const { return int(m_rows.size()); }
    // A row's value in a 0-based column: its text for column 0, the sub-item otherwise.
    QString cell(int row, int column) const;
    void setTicked(int row, bool ticked);
    int tickedCount() const;
    int selectedRow() const { return m_selected; } // -1 when none
    void setSelectedRow(int row);

    // Search box k stands above column k; box 0 exists even without columns.
    int searchBoxCount() const { return int(m_boxes.size()); }
    QString searchText(int box) const;
    QString searchField(int box) const;
    int currentSearchBox() const { return m_currentBox; }
    // A box's text changed (typed or set): positions the list on the first row that starts with it.
    void setSearchText(int box, const QString& text);
    // A click on a box positions the list again.
    void clickSearchBox(int box);
    // A box received the focus: it becomes the one keys typed in the list go to.
    void focusSearchBox(int box);
    // A key pressed in box k (Windows key code): F5 searches the database; the arrow and page
    // keys send the focus to the list. Returns whether the key was used.
    bool searchBoxKey(int box, int keyCode);
    // F5 in box k: adds the box's condition to the statement and loads again.
    void nuevaBusquedaEnCaja(int box);
    // "&Nueva Busqueda": back to the starting statement.
    void nuevaBusqueda();
    // A key pressed in the list (Windows key code). Returns whether the list must not handle it.
    bool listKey(int keyCode);
    // A click on a column heading: sort by it, reversing the order.
    void clickHeading(int column);
    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_ascending; }
    bool sorted() const { return m_sorted; }

    void accept();
    void cancel();
    void closeBox();

    // 1-based index of the row whose value in 1-based column starts with the text, 0 when none.
    int Busqueda(int column, const QString& text) const;
    // 1-based index of the column whose heading is the name (trimmed, any case), 0 when none.
    int IndiceColumna(const QString& heading) const;

    QString startingStatement() const { return m_starting; }
    QString givenStatement() const { return m_given; }
    QString lastSearchStatement() const { return m_lastSearch; }
    QString tableName() const { return m_table; }

    // The statement of an F5 search: the condition on the field inserted before the trailing
    // ORDER BY part of `sql`. `base` is the statement as last loaded, used when `sql` has an
    // "order" without "order by". `shown` receives the box text the search used.
    static QString searchStatement(const QString& sql, const QString& base, const QString& field,
                                   const QString& text, bool like, QString* shown = nullptr);
    // The table a statement reads, as the column-widths file names it.
    static QString tableNameOf(const QString& sql);

Q_SIGNALS:
    void loaded();
    void rowsReordered();
    void tickChanged(int row, bool ticked);
    void selectionChanged(int row);
    void searchTextChanged(int box, const QString& text);
    void focusSearchBoxRequested(int box);
    void focusListRequested();
    void finished();

private:
    struct Box {
        QString field;
        QString text;
    };
    void encolumnar(Recordset& rs);
    bool leer(Recordset& rs);
    void sortRows();
    void setBoxText(int box, const QString& text);
    void finish(Outcome outcome);

    QList<Column> m_columns;
    QList<Row> m_rows;
    QList<Box> m_boxes{Box{}};
    int m_selected = -1;
    int m_currentBox = 0;
    int m_sortColumn = 0;
    bool m_ascending = true;
    bool m_sorted = false;
    QString m_given;
    QString m_starting;
    QString m_base;
    QString m_table;
    QString m_lastSearch;
    Outcome m_outcome = Outcome::Open;
};

// Windows key codes the list and its boxes react to.
namespace vk {
constexpr int Back = 8;
constexpr int Return = 13;
constexpr int Space = 32;
constexpr int PageUp = 33;
constexpr int PageDown = 34;
constexpr int Up = 38;
constexpr int Down = 40;
constexpr int F5 = 116;
// The Windows key code of a Qt key (0 when it has none); `keypad` for keys of the number pad.
int fromQtKey(int qtKey, bool keypad);
} // namespace vk

} // namespace kv
