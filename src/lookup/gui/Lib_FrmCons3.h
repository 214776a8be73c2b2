#pragma once

#include <QDialog>
#include <QList>

class QComboBox;
class QFrame;
class QPushButton;
class QScrollBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv {

class LookupSession;

// "Consulta...": the list lookup's window over a loaded session. A search box above each
// column, the list with its tick boxes, and the three buttons; every action goes to the session
// and the window redraws from it. Sizes follow the session's twips at 15 to a pixel.
class Lib_FrmCons3 : public QDialog {
    Q_OBJECT
public:
    explicit Lib_FrmCons3(LookupSession& session, QWidget* parent = nullptr);
    ~Lib_FrmCons3() override;

    LookupSession& session() { return m_session; }

    // Escape and "&Cancelar".
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    void fillRows();
    void applyWidths();
    void layoutParts();
    QComboBox* searchBox(int k);
    int boxIndexOf(QObject* watched) const;
    int rowOf(QTreeWidgetItem* item) const;

    LookupSession& m_session;
    QWidget* m_picFields;
    QTreeWidget* m_list;
    QScrollBar* m_hScroll;
    QFrame* m_frame1;
    QPushButton* m_aceptar;
    QPushButton* m_cancelar;
    QPushButton* m_nueva;
    QList<QComboBox*> m_boxes;
    bool m_syncing = false; // the window is copying the session, not the person acting
};

} // namespace kv
