#pragma once

#include <QDialog>

class QComboBox;
class QTreeWidget;

namespace kv {

// "Historial": the sends and receives recorded, newest first, in a list that can be narrowed to
// one device. A view over the history file; it never writes to it.
class FrmHistorial : public QDialog {
    Q_OBJECT
public:
    explicit FrmHistorial(QWidget* parent = nullptr);

    // Reads the history again for the device chosen (0: every device).
    void reload();
    void setDevice(int device);
    int device() const;

    QTreeWidget* list() const { return m_list; }
    QComboBox* deviceFilter() const { return m_devices; }

private:
    void fillDevices();

    QComboBox* m_devices;
    QTreeWidget* m_list;
};

} // namespace kv
