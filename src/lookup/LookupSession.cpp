#include "lookup/LookupSession.h"

#include "app/AppHome.h"
#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "app/Trap.h"
#include "data/DB_Dll.h"
#include "lookup/LookupLayout.h"

#include <algorithm>
#include <numeric>

namespace kv {

namespace {
constexpr int MaxLetters = 60;         // the widest column, in capital X letters
constexpr long BoxAlreadyExists = 360; // a search box kept from an earlier load
const QString Caption = QStringLiteral("Consulta...");
} // namespace

LookupSession::LookupSession(QObject* parent) : QObject(parent) {}
LookupSession::~LookupSession() = default;

QString LookupSession::tableNameOf(const QString& sql) {
    const qsizetype from = sql.indexOf(QStringLiteral("from"), 0, Qt::CaseInsensitive);
    // The name starts after "from " (or, without one, at the fourth character) and ends at the
    // next blank.
    const qsizetype start = from < 0 ? 3 : from + 4;
    const qsizetype end = sql.indexOf(QLatin1Char(' '), start + 1);
    return sql.mid(start, end < 0 ? -1 : end - start).trimmed();
}

QString LookupSession::searchStatement(const QString& sql, const QString& base, const QString& field,
                                       const QString& text, bool like, QString* shown) {
    QString head = base;
    QString trailing;
    if (sql.contains(QStringLiteral("order"), Qt::CaseInsensitive)) {
        const qsizetype orderBy = sql.indexOf(QStringLiteral("order by"), 0, Qt::CaseInsensitive);
        if (orderBy >= 0) {
            trailing = sql.mid(orderBy);
            head = sql.left(orderBy);
        }
    }
    const QString searched = like ? text : CambiarCaracter(text, QStringLiteral("*"), QStringLiteral("%"));
    if (shown) *shown = searched;
    // The typed text is a literal: doubling its apostrophes keeps a name such as O'Hara searchable
    // and the statement whole.
    const QString literal = QString(searched).replace(QLatin1Char('\''), QStringLiteral("''"));
    const QString condition = like ? field + QStringLiteral(" like '%") + literal + QStringLiteral("%' ")
                                   : field + QStringLiteral(" like '") + literal + QStringLiteral("%' ");
    const QString joint = sql.contains(QStringLiteral("where"), Qt::CaseInsensitive)
                              ? QStringLiteral(" and ")
                              : QStringLiteral(" where ");
    return head + joint + condition + trailing;
}

void LookupSession::load() {
    Trap trap = Trap::prompting(QStringLiteral("FORM_LOAD"));
    Recordset rs;
    // Each step runs under the load's trap; leaving it keeps what was built so far.
    const bool built = [&] {
        if (!trap.step([&] {
                Valores = QStringList();
                m_rows.clear();
                m_selected = -1;
            }))
            return false;
        if (!trap.step([&] {
                if (m_starting.isEmpty()) m_given = SQL;
                SQL += QLatin1Char(' ');
            }))
            return false;
        if (!trap.step([&] { m_table = tableNameOf(SQL); })) return false;
        if (!trap.step([&] {
                if (m_starting.isEmpty()) m_starting = SQL;
                m_base = SQL;
            }))
            return false;
        if (!trap.step([&] {
                ErpDb().reopenIfLost(); // a server restarted since the last command
                ErpDb().AbrirRecordset(SQL, rs, nullptr, cursor::ForwardOnly, lock::ReadOnly, -1, true);
            }))
            return false;
        if (!trap.step([&] { encolumnar(rs); }) || !leer(rs)) return false;
        if (!trap.step([&] {
                if (OrdenarPorLwv) m_sorted = true;
                if (m_sorted) sortRows();
            }))
            return false;
        return trap.step([&] { ErpDb().CierraRecordset(rs); });
    }();
    if (built) {
        const auto saved = readColumnWidths(AppHome::file(QStringLiteral("CONSULTASLEN.HXW")), m_table,
                                            int(m_columns.size()));
        for (int i = 0; i < m_columns.size(); ++i)
            m_columns[i].savedWidth = saved.value(i);
    }
    Q_EMIT loaded();
}

void LookupSession::encolumnar(Recordset& rs) {
    // A failure other than a kept box ends the column building after showing what went wrong.
    Trap trap([](const RunTimeError& e) {
        if (e.number() == BoxAlreadyExists) return mb::Ignore;
        op().messageBox(e.description(), mb::OkOnly, Caption);
        return mb::Abort;
    });
    int count = 0;
    if (!trap.step([&] {
            m_columns.clear();
            count = rs.fields().count();
        }))
        return;
    for (int f = 0; f < count; ++f) {
        if (!trap.step([&] {
                const Field& field = rs.fields().item(f);
                if (f >= m_boxes.size()) m_boxes.append(Box{});
                m_boxes[f].field = field.name();
                m_columns.append(Column{field.name(), field.definedSize(),
                                        qBound(0, field.definedSize(), MaxLetters), std::nullopt});
            }))
            return;
    }
}

bool LookupSession::leer(Recordset& rs) {
    Trap trap([](const RunTimeError& e) {
        return e.number() == err::ItemNotFound ? mb::Ignore : TratarError(e, -1, QStringLiteral("FORM_LOAD"));
    });
    bool empty = false;
    if (!trap.step([&] { empty = rs.bof(); })) return false;
    if (empty) return true;
    // Rows start ticked when the returned column is not in the statement: nothing could be
    // compared with the values to preselect.
    const bool tickAll = rs.fields().indexOf(CampoDevuelto) < 0;
    bool more = true;
    while (more) {
        if (!trap.step([&] { more = !rs.eof(); })) return false;
        if (!more) break;
        const bool added = trap.step([&] {
            Row row;
            row.text = TextoNoNulo(rs.fields().item(0).value()).trimmed();
            for (int i = 1; i < rs.fields().count(); ++i)
                row.subItems << CodigoAncho(TextoNoNulo(rs.fields().item(i).value()));
            row.ticked = tickAll;
            m_rows.append(row);
        });
        if (!added) return false;
        bool moved = false;
        if (!trap.step([&] {
                rs.moveNext();
                moved = true;
            }))
            return false;
        if (!moved) break; // a record set that cannot move on would repeat the same row
    }
    return true;
}

void LookupSession::sortRows() {
    QList<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const int c = cell(a, m_sortColumn).compare(cell(b, m_sortColumn), Qt::CaseInsensitive);
        return m_ascending ? c < 0 : c > 0;
    });
    QList<Row> sorted;
    sorted.reserve(m_rows.size());
    int selected = -1;
    for (int i = 0; i < order.size(); ++i) {
        sorted.append(m_rows.at(order.at(i)));
        if (order.at(i) == m_selected) selected = i;
    }
    m_rows = sorted;
    m_selected = selected;
}

QString LookupSession::cell(int row, int column) const {
    if (row < 0 || row >= m_rows.size()) return QString();
    const Row& r = m_rows.at(row);
    return column == 0 ? r.text : r.subItems.value(column - 1);
}

void LookupSession::setTicked(int row, bool ticked) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).ticked == ticked) return;
    m_rows[row].ticked = ticked;
    Q_EMIT tickChanged(row, ticked);
}

int LookupSession::tickedCount() const {
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row& r) { return r.ticked; }));
}

void LookupSession::setSelectedRow(int row) {
    if (row < -1 || row >= m_rows.size() || row == m_selected) return;
    m_selected = row;
    Q_EMIT selectionChanged(row);
}

QString LookupSession::searchText(int box) const {
    return box >= 0 && box < m_boxes.size() ? m_boxes.at(box).text : QString();
}

QString LookupSession::searchField(int box) const {
    return box >= 0 && box < m_boxes.size() ? m_boxes.at(box).field : QString();
}

int LookupSession::Busqueda(int column, const QString& text) const {
    for (int i = 0; i < m_rows.size(); ++i)
        if (cell(i, column - 1).trimmed().startsWith(text, Qt::CaseInsensitive)) return i + 1;
    return 0;
}

int LookupSession::IndiceColumna(const QString& heading) const {
    const QString name = heading.trimmed();
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).name.trimmed().compare(name, Qt::CaseInsensitive) == 0) return i + 1;
    return 0;
}

void LookupSession::setSearchText(int box, const QString& text) {
    if (box < 0 || box >= m_boxes.size()) return;
    m_boxes[box].text = text;
    clickSearchBox(box);
}

void LookupSession::setBoxText(int box, const QString& text) {
    if (box < 0 || box >= m_boxes.size()) return;
    const bool changed = m_boxes.at(box).text != text;
    m_boxes[box].text = text;
    if (!changed) return;
    Q_EMIT searchTextChanged(box, text);
    clickSearchBox(box);
}

void LookupSession::clickSearchBox(int box) {
    const int found = Busqueda(box + 1, searchText(box).trimmed());
    if (found > 0) setSelectedRow(found - 1);
}

void LookupSession::focusSearchBox(int box) {
    if (box >= 0 && box < m_boxes.size()) m_currentBox = box;
}

bool LookupSession::searchBoxKey(int box, int keyCode) {
    switch (keyCode) {
    case vk::F5:
        nuevaBusquedaEnCaja(box);
        return true;
    case vk::Down:
    case vk::Up:
    case vk::PageDown:
    case vk::PageUp:
        Q_EMIT focusListRequested();
        return true;
    default:
        return false;
    }
}

void LookupSession::nuevaBusquedaEnCaja(int box) {
    if (box < 0 || box >= m_boxes.size()) return;
    Trap trap = Trap::silent();
    QString shown;
    trap.step([&] {
        m_lastSearch =
            searchStatement(SQL, m_base, searchField(box), searchText(box), CfgUsaConsultaLIKE, &shown);
    });
    trap.step([&] { setBoxText(box, shown); });
    trap.step([&] { SQL = m_lastSearch; });
    trap.step([&] { setBoxText(box, QString()); });
    trap.step([&] { m_base = SQL; });
    trap.step([&] { load(); });
}

void LookupSession::nuevaBusqueda() {
    Trap trap = Trap::silent();
    trap.step([&] { SQL = m_starting; });
    trap.step([&] { load(); });
    trap.step([&] {
        m_currentBox = 0;
        Q_EMIT focusSearchBoxRequested(0);
    });
}

bool LookupSession::listKey(int keyCode) {
    if (keyCode == vk::Return) {
        accept();
        return true;
    }
    const bool character = (keyCode >= 47 && keyCode <= 93) || (keyCode >= 97 && keyCode <= 125);
    if (!character && keyCode != vk::Back) return false;
    QString text = searchText(m_currentBox);
    // Backspace takes the last character back instead of adding a control character.
    if (keyCode == vk::Back)
        text.chop(1);
    else
        text += QChar(keyCode);
    setBoxText(m_currentBox, text);
    Q_EMIT focusSearchBoxRequested(m_currentBox);
    return true;
}

void LookupSession::clickHeading(int column) {
    if (column < 0 || column >= m_columns.size()) return;
    m_sortColumn = column;
    m_ascending = !m_ascending;
    m_sorted = true;
    sortRows();
    Q_EMIT rowsReordered();
}

void LookupSession::accept() {
    Trap trap = Trap::prompting(QStringLiteral("CmdAceptar_Click"));
    if (CheckBoxes) {
        const bool done = trap.step([&] {
            if (!CampoDevuelto.isEmpty()) return;
            if (m_columns.isEmpty())
                throw RunTimeError(35600, QStringLiteral("Index out of bounds"), Caption);
            CampoDevuelto = m_columns.first().name;
        }) && trap.step([&] {
            const int k = IndiceColumna(CampoDevuelto);
            QStringList values = Valores.value_or(QStringList());
            for (int i = 0; i < m_rows.size(); ++i)
                if (m_rows.at(i).ticked) values << (k == 0 ? QString() : cell(i, k - 1));
            Valores = values;
        });
        if (!done) return;
    } else {
        // Without tick boxes the selected row is the one picked.
        if (!trap.step([&] {
                const int k = IndiceColumna(CampoDevuelto);
                ValorDevuelto = k == 0 ? QString() : cell(m_selected, k - 1);
            }))
            return;
    }
    finish(Outcome::Accepted);
}

void LookupSession::cancel() {
    ValorDevuelto = QString();
    CamposDevueltos.reset();
    Valores.reset();
    finish(Outcome::Cancelled);
}

void LookupSession::closeBox() {
    m_rows.clear();
    m_selected = -1;
    finish(Outcome::Closed);
}

void LookupSession::finish(Outcome outcome) {
    m_outcome = outcome;
    Q_EMIT finished();
}

namespace vk {

int fromQtKey(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 96 + (qtKey - Qt::Key_0);
        switch (qtKey) {
        case Qt::Key_Asterisk:
            return 106;
        case Qt::Key_Plus:
            return 107;
        case Qt::Key_Minus:
            return 109;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 110;
        case Qt::Key_Slash:
            return 111;
        default:
            break;
        }
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace:
        return Back;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Return;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return Space;
    case Qt::Key_PageUp:
        return PageUp;
    case Qt::Key_PageDown:
        return PageDown;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return Up;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return Down;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Help:
        return 47;
    case Qt::Key_Meta:
        return 91;
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_Semicolon:
        return 186;
    case Qt::Key_Equal:
        return 187;
    case Qt::Key_Comma:
        return 188;
    case Qt::Key_Minus:
        return 189;
    case Qt::Key_Period:
        return 190;
    case Qt::Key_Slash:
        return 191;
    case Qt::Key_QuoteLeft:
        return 192;
    case Qt::Key_BracketLeft:
        return 219;
    case Qt::Key_Backslash:
        return 220;
    case Qt::Key_BracketRight:
        return 221;
    case Qt::Key_Apostrophe:
        return 222;
    default:
        return 0;
    }
}

} // namespace vk

} // namespace kv
