#include "lookup/gui/Lib_FrmCons3.h"

#include "app/gui/FocusColour.h"
#include "app/gui/PrepararFormulario.h"
#include "lookup/LookupLayout.h"
#include "lookup/LookupSession.h"

#include <algorithm>
#include <cmath>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>

namespace kv {

namespace {

constexpr double TwipsPerPixel = 15;
// The sizes below are the window's outer ones: the frame and the caption add this much to the
// inside.
constexpr double FrameWidthTwips = 120;
constexpr double FrameHeightTwips = 420;
constexpr double Frame1Height = 600;
constexpr double ButtonWidth = 1335;
constexpr double ButtonHeight = 375;
constexpr double ButtonTop = 112;
constexpr double FormWidth = 8000;
constexpr double FormHeight = 6000;

int px(double twips) {
    return int(std::lround(twips / TwipsPerPixel));
}

double twips(int pixels) {
    return pixels * TwipsPerPixel;
}

} // namespace

Lib_FrmCons3::Lib_FrmCons3(LookupSession& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("Lib_FrmCons3"));
    setWindowTitle(QStringLiteral("Consulta..."));
    setModal(true);

    m_picFields = new QWidget(this);
    m_picFields->setObjectName(QStringLiteral("picFields"));
    m_list = new QTreeWidget(m_picFields);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(false); // the session keeps the order, so "list order" is one thing
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setStretchLastSection(false);
    m_list->installEventFilter(this);

    m_hScroll = new QScrollBar(Qt::Horizontal, this);
    m_hScroll->setObjectName(QStringLiteral("HScroll1"));
    m_frame1 = new QFrame(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, m_frame1);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    m_aceptar = button("CmdAceptar", QStringLiteral("&Aceptar"));
    m_aceptar->setDefault(true);
    m_cancelar = button("CmdCancelar", QStringLiteral("&Cancelar"));
    m_nueva = button("CmdNueva", QStringLiteral("&Nueva Busqueda"));
    const int buttonWidth = std::max({px(ButtonWidth), m_aceptar->sizeHint().width(),
                                      m_cancelar->sizeHint().width(), m_nueva->sizeHint().width()});
    for (QPushButton* b : {m_aceptar, m_cancelar, m_nueva})
        b->setGeometry(0, px(ButtonTop), buttonWidth, px(ButtonHeight));
    // However narrow the columns, the buttons stay reachable.
    setMinimumWidth(3 * buttonWidth + px(600));

    connect(m_aceptar, &QPushButton::clicked, this, [this] { m_session.accept(); });
    connect(m_cancelar, &QPushButton::clicked, this, [this] { m_session.cancel(); });
    connect(m_nueva, &QPushButton::clicked, this, [this] { m_session.nuevaBusqueda(); });
    connect(m_hScroll, &QScrollBar::valueChanged, this,
            [this](int v) { m_picFields->move(-px(v), m_picFields->y()); });
    connect(m_list->header(), &QHeaderView::sectionClicked, this,
            [this](int c) { m_session.clickHeading(c); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { m_session.accept(); });
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!m_syncing && column == 0 && (item->flags() & Qt::ItemIsUserCheckable))
            m_session.setTicked(rowOf(item), item->checkState(0) == Qt::Checked);
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_syncing && item) m_session.setSelectedRow(rowOf(item));
    });

    connect(&m_session, &LookupSession::loaded, this, &Lib_FrmCons3::rebuild);
    connect(&m_session, &LookupSession::rowsReordered, this, &Lib_FrmCons3::fillRows);
    connect(&m_session, &LookupSession::tickChanged, this, [this](int row, bool ticked) {
        if (QTreeWidgetItem* item = m_list->topLevelItem(row)) {
            m_syncing = true;
            item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
            m_syncing = false;
        }
    });
    connect(&m_session, &LookupSession::selectionChanged, this, [this](int row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        m_syncing = true;
        m_list->setCurrentItem(item);
        m_syncing = false;
        if (item) m_list->scrollToItem(item);
    });
    connect(&m_session, &LookupSession::searchTextChanged, this, [this](int box, const QString& text) {
        m_syncing = true;
        searchBox(box)->setEditText(text);
        m_syncing = false;
    });
    connect(&m_session, &LookupSession::focusSearchBoxRequested, this,
            [this](int box) { searchBox(box)->setFocus(); });
    connect(&m_session, &LookupSession::focusListRequested, this, [this] { m_list->setFocus(); });
    connect(&m_session, &LookupSession::finished, this,
            [this] { done(m_session.outcome() == LookupSession::Outcome::Accepted ? Accepted : Rejected); });

    resize(px(FormWidth - FrameWidthTwips), px(FormHeight - FrameHeightTwips));
    rebuild();
}

Lib_FrmCons3::~Lib_FrmCons3() = default;

QComboBox* Lib_FrmCons3::searchBox(int k) {
    while (m_boxes.size() <= k) {
        const int index = int(m_boxes.size());
        auto* box = new QComboBox(m_picFields);
        box->setObjectName(QStringLiteral("CmbSearch%1").arg(index));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setToolTip(QStringLiteral("F5 realiza nueva busqueda"));
        // The box keeps the focus and hands its keys to its line; clicks land on the line.
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
        paintFocus(box, false);
        paintFocus(box->lineEdit(), false);
        connect(box, &QComboBox::editTextChanged, this, [this, index](const QString& text) {
            if (!m_syncing) m_session.setSearchText(index, text);
        });
        if (!m_boxes.isEmpty()) setTabOrder(m_boxes.last(), box);
        m_boxes.append(box);
    }
    return m_boxes.at(k);
}

int Lib_FrmCons3::boxIndexOf(QObject* watched) const {
    for (int k = 0; k < m_boxes.size(); ++k)
        if (m_boxes.at(k) == watched || m_boxes.at(k)->lineEdit() == watched) return k;
    return -1;
}

int Lib_FrmCons3::rowOf(QTreeWidgetItem* item) const {
    return m_list->indexOfTopLevelItem(item);
}

void Lib_FrmCons3::rebuild() {
    m_syncing = true;
    const auto& columns = m_session.columns();
    m_list->clear();
    QStringList headings;
    for (const auto& c : columns)
        headings << c.name;
    m_list->setColumnCount(qMax(1, int(headings.size())));
    m_list->setHeaderLabels(headings);
    const int boxes = qMax(1, int(columns.size()));
    for (int k = 0; k < qMax(boxes, int(m_boxes.size())); ++k) {
        QComboBox* box = searchBox(k);
        box->setVisible(k < boxes);
        box->setEditText(m_session.searchText(k));
    }
    m_syncing = false;
    fillRows();
    applyWidths();
    PrepararFormulario(this, false);
}

void Lib_FrmCons3::fillRows() {
    m_syncing = true;
    m_list->clear();
    QList<QTreeWidgetItem*> items;
    for (const auto& row : m_session.rows()) {
        auto* item = new QTreeWidgetItem(QStringList{row.text} + row.subItems);
        Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        if (m_session.CheckBoxes) {
            flags |= Qt::ItemIsUserCheckable;
            item->setCheckState(0, row.ticked ? Qt::Checked : Qt::Unchecked);
        }
        item->setFlags(flags);
        items << item;
    }
    m_list->addTopLevelItems(items);
    if (QTreeWidgetItem* current = m_list->topLevelItem(m_session.selectedRow()))
        m_list->setCurrentItem(current);
    if (m_session.sorted())
        m_list->header()->setSortIndicator(
            m_session.sortColumn(), m_session.sortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_list->header()->setSortIndicatorShown(m_session.sorted());
    m_syncing = false;
}

void Lib_FrmCons3::applyWidths() {
    const auto& columns = m_session.columns();
    QList<double> widths;
    for (int i = 0; i < columns.size(); ++i) {
        const auto& c = columns.at(i);
        const int pixels = c.savedWidth
                               ? px(*c.savedWidth)
                               : fontMetrics().horizontalAdvance(QString(c.letters, QLatin1Char('X')));
        m_list->header()->resizeSection(i, pixels);
        widths << (c.savedWidth ? *c.savedWidth : twips(pixels));
    }
    const double screenWidth = twips(screen() ? screen()->geometry().width() : 1024);
    const LookupSizes s = lookupSizes(widths, screenWidth);
    for (int k = 0; k < s.boxLeft.size(); ++k)
        searchBox(k)->setGeometry(px(s.boxLeft.at(k)), 0, qMax(0, px(s.boxWidth.at(k))),
                                  searchBox(k)->sizeHint().height());
    if (s.boxLeft.isEmpty())
        searchBox(0)->setGeometry(0, 0, px(ButtonWidth), searchBox(0)->sizeHint().height());
    m_list->resize(px(s.listWidth), m_list->height());
    m_picFields->resize(px(s.picFieldsWidth), m_picFields->height());
    m_hScroll->resize(px(s.hScrollWidth), m_hScroll->height());
    m_hScroll->setMaximum(s.hScrollMax);
    resize(qMax(minimumWidth(), px(s.formWidth - FrameWidthTwips)), height());
    // The parts follow the window even when its width stays or it is not shown yet.
    layoutParts();
}

void Lib_FrmCons3::layoutParts() {
    const double H = twips(height()) + FrameHeightTwips;
    const double W = twips(width()) + FrameWidthTwips;
    const int boxHeight = searchBox(0)->sizeHint().height();
    const int scrollHeight = m_hScroll->sizeHint().height();
    const LookupGeometry g =
        lookupGeometry(H, W, Frame1Height, twips(scrollHeight), twips(m_cancelar->width()));
    m_picFields->setGeometry(m_picFields->x(), 0, px(g.picFieldsWidth), px(g.picFieldsHeight));
    m_list->setGeometry(0, boxHeight, qMax(0, px(g.listWidth)), qMax(0, px(g.listHeight)));
    // The frame reaches the right edge of the inside; the outer width would only be clipped.
    m_frame1->setGeometry(0, px(g.frame1Top), width(), px(Frame1Height));
    m_hScroll->setGeometry(0, px(g.hScrollTop), qMax(0, px(g.hScrollWidth)), scrollHeight);
    m_aceptar->move(px(g.aceptarLeft), m_aceptar->y());
    m_cancelar->move(px(g.cancelarLeft), m_cancelar->y());
    m_nueva->move(px(g.nuevaLeft), m_nueva->y());
}

void Lib_FrmCons3::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutParts();
}

void Lib_FrmCons3::reject() {
    m_session.cancel();
}

void Lib_FrmCons3::closeEvent(QCloseEvent* event) {
    event->accept();
    m_session.closeBox();
}

bool Lib_FrmCons3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int code = vk::fromQtKey(key->key(), key->modifiers() & Qt::KeypadModifier);
        if (code == vk::Space && m_session.CheckBoxes) return false; // the list ticks the row itself
        return m_session.listKey(code);
    }
    const int box = boxIndexOf(watched);
    if (box < 0) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        m_session.focusSearchBox(box);
        // &HFFFF00: cyan, written blue-green-red.
        paintFocus(m_boxes.at(box), true);
        paintFocus(m_boxes.at(box)->lineEdit(), true);
        break;
    case QEvent::FocusOut:
        paintFocus(m_boxes.at(box), false);
        paintFocus(m_boxes.at(box)->lineEdit(), false);
        break;
    case QEvent::MouseButtonPress:
        if (watched == m_boxes.at(box)->lineEdit()) m_session.clickSearchBox(box);
        break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (m_session.searchBoxKey(box, vk::fromQtKey(key->key(), key->modifiers() & Qt::KeypadModifier)))
            return true;
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kv
