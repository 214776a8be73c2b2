#pragma once

#include <QDialog>
#include <QMap>

class QLineEdit;
class QTabWidget;

namespace kv {

class DeviceParameters;

// "Parametros de Conexión PALM Nº n": edits one handheld's record of the settings file. Set
// pPalmNro, then show it modally; it loads when shown. Accept saves every field and reports the
// tile's new caption through tileCaptionChanged; Cancel writes nothing.
class frmParam : public QDialog {
    Q_OBJECT
public:
    explicit frmParam(QWidget* parent = nullptr);
    ~frmParam() override;

    int pPalmNro = 0;

    DeviceParameters& model() { return *m_model; }
    // The text field of an index (0, 3 ... 8); nullptr for the indices that do not exist.
    QLineEdit* txtfields(int index) const { return m_fields.value(index); }

Q_SIGNALS:
    // The console sets its selection button of the device (index device - 1) to this caption.
    void tileCaptionChanged(int device, const QString& caption);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focusNextField(QLineEdit* from);

    DeviceParameters* m_model;
    QList<QLineEdit*> m_order; // NOMBRE, REPARTO, CLIENTE, USUARIO, CONTRASEÑA, BASE DE DATOS, SERVIDOR
    QTabWidget* m_tabs = nullptr;
    QMap<int, QLineEdit*> m_fields;
    bool m_loaded = false;
};

} // namespace kv
