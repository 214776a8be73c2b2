#include "console/gui/DeviceTile.h"

#include "console/TileLayout.h"

#include <QAction>
#include <QLabel>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>

namespace kv {

namespace {
QRect twipsRect(int left, int top, int width, int height) {
    const int t = tiles::TwipsPerPixel;
    return QRect(left / t, top / t, width / t, height / t);
}
} // namespace

DeviceTile::DeviceTile(int index, QWidget* parent) : QFrame(parent), m_index(index) {
    setObjectName(QStringLiteral("OptThumb%1").arg(index));
    setFrameShape(QFrame::StyledPanel);
    setGeometry(twipsRect(0, 0, tiles::TileWidth, tiles::TileHeight));

    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("OptThumb1_%1").arg(index));
    m_button->setCheckable(true);
    m_button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_button->setIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    m_button->setIconSize(QSize(32, 32));
    m_button->setGeometry(twipsRect(120, 240, 1575, 1455));
    connect(m_button, &QToolButton::clicked, this, [this](bool ticked) { Q_EMIT selectionClicked(m_index, ticked); });

    m_data = new QFrame(this);
    m_data->setObjectName(QStringLiteral("FrmDatos%1").arg(index));
    m_data->setFrameShape(QFrame::StyledPanel);
    m_data->setGeometry(twipsRect(1695, 240, 2655, 1455));
    const struct {
        const char* name;
        const char* text;
        int left, top;
    } labels[] = {{"lblTxtInicio", "Ultima Sync.", 120, 0},  {"lblTxtFin", "Bateria:", 120, 360},
                  {"lbltxtMinutos", "..", 120, 720},        {"lbltxtImporte", "..", 120, 1080},
                  {"lblHoraInicio", "", 1300, 0},          {"lblHoraFin", "", 1300, 360},
                  {"lblMinutos", "", 1300, 720},           {"lblImporte", ".", 1300, 1080}};
    for (const auto& l : labels) {
        auto* label = new QLabel(QString::fromUtf8(l.text), m_data);
        label->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(l.name)).arg(index));
        label->setGeometry(twipsRect(l.left, l.top, 1200, 360));
    }
    m_data->hide();

    // Shown on every tile, selected or not: the operator sees at a glance which handheld is behind.
    // The whole sentence is wider than a tile; its outcome goes beside the commands.
    m_lastSync = new QLabel(this);
    m_lastSync->setObjectName(QStringLiteral("lblUltimaSync%1").arg(index));
    m_lastSync->setGeometry(twipsRect(120, 1710, 4215, 315));
    m_lastOutcome = new QLabel(this);
    m_lastOutcome->setObjectName(QStringLiteral("lblResultadoSync%1").arg(index));
    m_lastOutcome->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* l : {m_lastSync, m_lastOutcome}) l->setTextFormat(Qt::PlainText);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("TbOpciones%1").arg(index));
    m_toolbar->setGeometry(twipsRect(120, 2040, 4215, 330));
    m_toolbar->setIconSize(QSize(16, 16));
    const struct {
        const char* key;
        const char* tip;
        QStyle::StandardPixmap icon;
    } buttons[] = {{"PROPIEDADES", "PROPIEDADES", QStyle::SP_FileDialogDetailedView},
                   {"HOTSYNC-PALM", "Enviar Datos PALM", QStyle::SP_ArrowUp},
                   {"HOTSYNC-PC", "Enviar Datos PC", QStyle::SP_ArrowDown}};
    // Every button says what it does: a toolbar of icons alone would leave the operator guessing.
    for (const auto& b : buttons) {
        QAction* a = m_toolbar->addAction(style()->standardIcon(b.icon), QString());
        a->setObjectName(QLatin1String(b.key));
        a->setData(QLatin1String(b.key));
        a->setToolTip(QString::fromUtf8(b.tip));
        connect(a, &QAction::triggered, this, [this, a] { Q_EMIT commandTriggered(m_index, a->data().toString()); });
        // Reachable with Tab while the tile is selected (the toolbar is disabled otherwise).
        if (QWidget* button = m_toolbar->widgetForAction(a)) button->setFocusPolicy(Qt::TabFocus);
    }
    m_toolbar->setEnabled(false);
    // The toolbar keeps the room its buttons need; the rest of its row is the outcome's.
    const QRect bar = m_toolbar->geometry();
    m_toolbar->resize(std::min(bar.width(), m_toolbar->sizeHint().width()), bar.height());
    m_lastOutcome->setGeometry(QRect(QPoint(m_toolbar->geometry().right() + 1, bar.top()), bar.bottomRight()));
}

void DeviceTile::setCaption(const QString& caption) {
    m_caption = caption;
    QString shown = caption;
    // The name as written: an "&" in it is a character, not a keyboard shortcut.
    m_button->setText(shown.replace(QLatin1Char('&'), QStringLiteral("&&")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // A long name is cut on the tile; the tooltip shows it whole, as written: a name that reads
    // like markup ("<b>x</b>") is shown as its characters, never rendered.
    const QString name = caption.section(QStringLiteral("\r\n"), 1);
    m_button->setToolTip(Qt::mightBeRichText(name)
                             ? QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(name.toHtmlEscaped())
                             : name);
}

void DeviceTile::setLastSync(const LastSyncText& text, const QString& tip) {
    m_lastSync->setText(text.when);
    m_lastOutcome->setText(text.outcome);
    // A reason from a handheld or the ERP, shown as its characters.
    const QString shown =
        tip.isEmpty() ? QString() : QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(tip.toHtmlEscaped());
    for (QLabel* l : {m_lastSync, m_lastOutcome}) l->setToolTip(shown);
}

QString DeviceTile::lastSync() const {
    return LastSyncText{m_lastSync->text(), m_lastOutcome->text()}.line();
}

bool DeviceTile::isSelected() const {
    return m_button->isChecked();
}

void DeviceTile::setSelected(bool on) {
    m_button->setChecked(on);
    m_data->setVisible(on);
    m_toolbar->setEnabled(on);
}

void DeviceTile::setCommandsEnabled(bool on) {
    m_toolbar->setEnabled(on && isSelected());
}

} // namespace kv
