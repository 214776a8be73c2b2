#pragma once

#include "console/LastSyncText.h"

#include <QFrame>

class QLabel;
class QToolBar;
class QToolButton;
class QAction;

namespace kv {

// One handheld's tile: the selection button with its caption, the data frame shown while the
// tile is selected, and the toolbar with the three commands, enabled only on the selected tile.
class DeviceTile : public QFrame {
    Q_OBJECT
public:
    DeviceTile(int index, QWidget* parent);

    int index() const { return m_index; }
    // "Móvil", CR LF and the display name, as the tile shows it.
    void setCaption(const QString& caption);
    QString caption() const { return m_caption; }
    // The device's last sync: when, under the selection button, and how it ended, beside the
    // commands; the tooltip of both says more.
    void setLastSync(const LastSyncText& text, const QString& tip);
    // Both on one line, as the operator reads them.
    QString lastSync() const;
    QList<QLabel*> lastSyncLabels() const { return {m_lastSync, m_lastOutcome}; }
    bool isSelected() const;
    void setSelected(bool on);
    void setCommandsEnabled(bool on);
    QToolButton* selectionButton() const { return m_button; }

Q_SIGNALS:
    void selectionClicked(int index, bool ticked);
    void commandTriggered(int index, const QString& key);

private:
    int m_index;
    QString m_caption;
    QToolButton* m_button;
    QFrame* m_data;
    QLabel* m_lastSync;
    QLabel* m_lastOutcome;
    QToolBar* m_toolbar;
};

} // namespace kv
