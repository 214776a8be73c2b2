#pragma once

#include "conduit/ConduitConfig.h"

#include <QList>
#include <QString>

namespace kv {

// Registration of the handheld's conduit "KVGMovil" right before a wait for a sync, and its
// switch-off afterwards: the conduit is enabled only while the program waits.

inline const QString kConduitName = QStringLiteral("KVGMovil");

// One table the conduit carries, with the key columns the conduit matches rows by.
struct ConduitTable {
    QString name;
    QString keySpec;
};

// The sixteen tables in registration order.
const QList<ConduitTable>& TablasConducto();

// The four characters' ANSI (Windows-1252) codes packed into 32 bits, the first character in the
// high byte; missing characters count as zero bytes. A character Windows-1252 cannot hold counts
// as "?". The bit pattern is the result, so a first code above 127 gives a negative number.
qint32 CodigoNumerico(const QString& text);

// Sending: 4 for every table. Receiving: 5 for the three document tables, 0 for the others.
qint32 CodigoTransferencia(const QString& table, bool receive);

ConduitRecord RegistroConducto();
TableRecord RegistroTabla(const ConduitTable& table, bool receive);

// The operator's message for a failure code of the library; empty for success (any other code).
QString MensajeConducto(qint32 code);

// Registers the conduit and its sixteen tables with the codes of the direction, then enables it.
// Each failing table is reported to the operator and the rest go on. Errors the library raises
// go to the caller. Returns how many failures were reported. The registration is a new
// generation for the device waited for (0: any handheld), stored in *generation when given: the
// sync records it, and only a sync under it ends this wait. The conduit stays off while its
// tables are rewritten, so no sync runs on half a registration.
int RegistrarConducto(bool receive, qint32 device = 0, quint64* generation = nullptr);

// Registers the conduit for sending to the device as RegistrarConducto does, for a send that
// does not wait: no program waits for the sync, so the registration is marked unattended and the
// device's next sync records itself and switches the conduit off. Returns the failures reported.
int RegistrarEnvioSinEspera(qint32 device);

// Disables the conduit; a failure is reported to the operator. Returns how many failures were
// reported (0 or 1).
int DesactivarConducto();

} // namespace kv
