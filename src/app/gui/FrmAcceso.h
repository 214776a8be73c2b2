#pragma once

#include "app/Operator.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace kv {

// "Control de Acceso": asks the operator for the ERP connection. It only collects the answer;
// the data layer fills it, shows it and reads it back.
class FrmAcceso : public QDialog {
    Q_OBJECT
public:
    explicit FrmAcceso(QWidget* parent = nullptr);

    // True once "Aceptar" was pressed; closing with the window's box leaves it as it was.
    bool Aceptar = false;

    void setValues(const ConnectionValues& v);
    ConnectionValues values() const;

private:
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_dbName;
    QLineEdit* m_server;
    QComboBox* m_platform;
};

} // namespace kv
