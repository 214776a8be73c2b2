#include "settings/DeviceParameters.h"

#include "app/GeneralFunctions.h"
#include "app/Trap.h"
#include "lookup/Lib_ClsCons3.h"
#include "settings/DeviceSettings.h"

namespace kv {

const QList<DeviceParameters::FieldDef>& DeviceParameters::fields() {
    static const QList<FieldDef> defs{
        {Reparto, settings::Reparto}, {Cliente, settings::Cliente}, {4, settings::Usuario},
        {5, settings::Contrasena},    {6, settings::BaseDeDatos},   {7, settings::Servidor},
        {Nombre, settings::Nombre},
    };
    return defs;
}

DeviceParameters::DeviceParameters(QObject* parent) : QObject(parent), m_texts(Nombre + 1) {}

QString DeviceParameters::caption(int device) {
    return QStringLiteral("Parametros de Conexión PALM Nº") + QString::number(device);
}

QString DeviceParameters::tileCaption(int device) {
    return QStringLiteral("Móvil\r\n") + settings::deviceDisplayName(device);
}

int DeviceParameters::fieldFor(const QString& key) const {
    QStringList keys;
    for (const FieldDef& f : fields())
        keys << f.key;
    const int i = BuscarCampo(key, keys);
    return i < 0 ? -1 : fields().at(i).index;
}

QString DeviceParameters::text(int index) const {
    return m_texts.value(index);
}

void DeviceParameters::setText(int index, const QString& text) {
    if (index < 0 || index >= m_texts.size() || m_texts.at(index) == text) return;
    m_texts[index] = text;
    Q_EMIT textChanged(index, text);
    // A device carries either vendors' or clients' data, never both.
    if (text.trimmed().isEmpty()) return;
    if (index == fieldFor(settings::Reparto))
        setText(fieldFor(settings::Cliente), QString());
    else if (index == fieldFor(settings::Cliente))
        setText(fieldFor(settings::Reparto), QString());
}

void DeviceParameters::TomarDatos(int& device) {
    Trap trap = Trap::silent();
    for (const FieldDef& f : fields())
        trap.step([&] { setText(f.index, settings::readDevice(device, f.key)); });
}

void DeviceParameters::GuardarDatos(int& device) {
    Trap trap = Trap::silent();
    for (const FieldDef& f : fields())
        trap.step([&] { settings::writeDevice(device, f.key, text(f.index)); });
}

void DeviceParameters::consulta(int target, const QString& campo, const QString& view) {
    setText(fieldFor(settings::Reparto), QString());
    setText(fieldFor(settings::Cliente), QString());
    Lib_ClsCons3& lookup = Lib_ClsCons3::instance();
    lookup.CampoDevuelto = campo;
    lookup.Checks = true;
    lookup.ConsultaSearch(view);
    if (!lookup.Valores) return;
    for (const QString& value : *lookup.Valores)
        setText(target, text(target).isEmpty() ? value : text(target) + QLatin1Char(',') + value);
}

void DeviceParameters::ConsultaVendedor() {
    consulta(fieldFor(settings::Reparto), QStringLiteral("IdVendedor"), QStringLiteral("V_TA_VENDEDORES"));
}

void DeviceParameters::ConsultaCliente() {
    consulta(fieldFor(settings::Cliente), QStringLiteral("CODIGO"), QStringLiteral("VT_CLIENTES"));
}

void DeviceParameters::Aceptar() {
    GuardarDatos(pPalmNro);
    Q_EMIT tileCaptionChanged(pPalmNro, tileCaption(pPalmNro));
}

} // namespace kv
