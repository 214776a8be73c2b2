#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace kv {

// One handheld's parameter record as the parameters dialog edits it: the texts of its fields,
// the rule that keeps only one of the vendor and client filters, the lookups that fill them,
// and loading and saving through the settings file. The dialog is a thin view over it.
class DeviceParameters : public QObject {
    Q_OBJECT
public:
    // The dialog's fields in index order; each edits one key of the device section.
    struct FieldDef {
        int index;
        QString key;
    };
    static const QList<FieldDef>& fields();
    static constexpr int Reparto = 0;
    static constexpr int Cliente = 3;
    static constexpr int Nombre = 8;

    explicit DeviceParameters(QObject* parent = nullptr);

    int pPalmNro = 0;

    // "Parametros de Conexión PALM Nº" followed by the number.
    static QString caption(int device);
    // The console tile's caption after a save: "Móvil", CR LF and the name the settings file
    // gives (NOMBRE trimmed, "Nº " and the number when it is not stored or stored empty).
    static QString tileCaption(int device);

    QString text(int index) const;
    // Every change of a field's text, typed or set by the program: a filter that is not blank
    // empties the other one.
    void setText(int index, const QString& text);

    // Fills every field from the settings file, lowest index first.
    void TomarDatos(int& device);
    // Writes every field as shown, untrimmed.
    void GuardarDatos(int& device);

    // The "..." lookups: both filters are emptied, then the picked codes are joined with ",".
    void ConsultaVendedor();
    void ConsultaCliente();

    // Accept: save, then report the tile's new caption.
    void Aceptar();

Q_SIGNALS:
    void textChanged(int index, const QString& text);
    // The console's selection button of the device (index device - 1) takes this caption.
    void tileCaptionChanged(int device, const QString& caption);

private:
    void consulta(int target, const QString& campo, const QString& view);
    int fieldFor(const QString& key) const;

    QList<QString> m_texts;
};

} // namespace kv
