#pragma once

#include "conduit/ConduitConfig.h"

namespace kv {

// The configuration library over one text file in the application folder, "kvconduit.ini":
//
//   # comment lines and blank lines are allowed
//   [KVGMovil]
//   creator=KVGM
//   creatorCode=892809522
//   enabled=1
//   generation=7
//   device=2
//   unattended=1
//   table=TA_CATEGORIAS|4|1:IDCATEGORIA
//   table=MA_PRECIOS|4|0:IDLISTA,1:NOMBRE,2:IDARTICULO
//
// "unattended" is written only when set (a send that did not wait registered it). One section
// per conduit; its "table" lines are its tables in registration order: name,
// transfer code and key list separated by "|". Conduit and table names match without
// regard to case; an update keeps the table's place in the order.
//
// Every change rereads the file, writes the whole new text to a sibling file, syncs it and
// renames it over the old one while holding an flock on "kvconduit.lock": two processes never
// lose each other's changes, and a reader or a crash never sees half a file. Reading takes no
// lock. The file is written as UTF-8; text that is not valid UTF-8 is read as Windows-1252.
class FileConduitConfig : public ConduitConfig {
public:
    // With no folder, the application folder at the time of each call.
    explicit FileConduitConfig(QString folder = QString());

    static QString fileName() { return QStringLiteral("kvconduit.ini"); }
    QString registryPath() const;

    qint32 AddUpdateConduit(const ConduitRecord& conduit) override;
    qint32 AddUpdateTable(const QString& conduit, const TableRecord& table) override;
    qint32 SetEnableStatus(const QString& conduit, qint32 flag) override;
    qint32 BeginRegistration(const QString& conduit, qint32 device, quint64* generation) override;
    qint32 SetUnattended(const QString& conduit, quint64 generation) override;
    // The sync side, once a sync under an unattended registration copied: switches the conduit
    // off while the registration is still that generation's. Sets *ended when it did.
    qint32 EndUnattended(const QString& conduit, quint64 generation, bool* ended);

    // Readers for the handheld side and kvctl: 0 and the registration, or the failure code
    // (5 conduit not registered, 6 table not registered, 2, 4, 100 as for the changes).
    qint32 ReadConduit(const QString& conduit, ConduitRegistration* out) const;
    qint32 ReadTable(const QString& conduit, const QString& table, RegisteredTable* out) const;

private:
    QString folder() const;
    QString m_folder;
};

} // namespace kv
