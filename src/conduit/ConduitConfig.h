#pragma once

#include <optional>
#include <QList>
#include <QString>

namespace kv {

// The conduit configuration library: the handheld's conduit, the tables it carries and its
// enabled switch. The program calls three functions and reads each one's 32-bit result code.
//
// Result codes and when the file-backed library (FileConduitConfig) gives them:
//   0   success.
//   1   the handheld could not be found: never; registering needs no handheld. Only a scripted
//       library answers it.
//   2   the registry cannot be read or written: the registry file cannot be opened or read (e.g. a
//       folder stands in its place), the new file cannot be written, synced or renamed into place
//       (disk full, file size limit), or the registry lock is still held by another process after
//       a few seconds.
//   3   bad arguments: an empty conduit or table name, a name with control characters or with one
//       of the characters the registry file uses as separators ("|", "[", "]"), a malformed key
//       list, a transfer code other than 0, 4 or 5, an enable flag other than 0 or 1.
//   4   the library's installation is missing: the folder the registry lives in does not exist.
//   5   the conduit is not registered (AddUpdateTable, SetEnableStatus, and the readers).
//   6   the table is not registered (the table reader).
//   100 an uncoded failure: the registry file holds text the library does not understand, or
//       an unexpected exception inside the library.
namespace uc {
constexpr qint32 Ok = 0;
constexpr qint32 DeviceNotFound = 1;
constexpr qint32 RegistryAccess = 2;
constexpr qint32 BadArguments = 3;
constexpr qint32 NotInstalled = 4;
constexpr qint32 ConduitNotFound = 5;
constexpr qint32 TableNotFound = 6;
constexpr qint32 Uncoded = 100;
} // namespace uc

// Transfer codes of a registered table: what a sync does with it.
namespace transfer {
constexpr qint32 None = 0;         // the table is left untouched
constexpr qint32 ToHandheld = 4;   // the handheld's table becomes a copy of the store's
constexpr qint32 FromHandheld = 5; // the store's table becomes a copy of the handheld's
} // namespace transfer

// The conduit record of AddUpdateConduit, members in the library's order. A null QString stands
// for a null text pointer. Members 4 to 9 carry fixed values the library keeps no use for.
struct ConduitRecord {
    QString name{};         // 1 conduit name
    QString creator{};      // 2 four-character code
    qint32 creatorCode = 0; // 3 the four-character code packed into 32 bits
    QString text4{};        // 4 null
    QString text5{};        // 5 null
    qint32 number6 = 0;     // 6 1
    QString text7{};        // 7 null
    QString text8{};        // 8 null
    QString text9{};        // 9 null
};

// The table record of AddUpdateTable, members in the library's order.
struct TableRecord {
    QString name{};          // 1 table name
    qint32 transferCode = 0; // 2 see namespace transfer
    QString keySpec{};       // 3 key columns: "number:column" pairs separated by ","
    qint32 number4 = -1;     // 4 -1
    qint32 number5 = -1;     // 5 -1
    QString text6{};         // 6 empty text
    QString text7{};         // 7 empty text
};

// One key column of a key list.
struct KeyColumn {
    int number = 0;
    QString column;
    bool operator==(const KeyColumn&) const = default;
};

// The key columns of a key list; nullopt when it is malformed (empty, a pair without a
// number or column, a column with blanks or separators).
std::optional<QList<KeyColumn>> parseKeySpec(const QString& keys);

// What the library keeps of a registration, as the handheld side reads it back.
struct RegisteredTable {
    QString name{};
    qint32 transferCode = 0;
    QString keySpec{};
    bool operator==(const RegisteredTable&) const = default;
};

struct ConduitRegistration {
    QString name{};
    QString creator{};
    qint32 creatorCode = 0;
    bool enabled = false;
    QList<RegisteredTable> tables; // in registration order
    quint64 generation = 0;        // the registration's number: the sync records it
    qint32 device = 0;             // the device the program waits for; 0: any handheld
    bool unattended = false;       // no program waits: the sync records itself and ends it
};

class ConduitConfig {
public:
    virtual ~ConduitConfig() = default;
    virtual qint32 AddUpdateConduit(const ConduitRecord& conduit) = 0;
    virtual qint32 AddUpdateTable(const QString& conduit, const TableRecord& table) = 0;
    // flag 1 enables the conduit, 0 disables it.
    virtual qint32 SetEnableStatus(const QString& conduit, qint32 flag) = 0;
    // Starts a new registration of a registered conduit for the device waited for (0: any): the
    // conduit is switched off and gets the next generation, stored in *generation. A library
    // that keeps no generations answers 0 with generation 0.
    virtual qint32 BeginRegistration(const QString& conduit, qint32 device, quint64* generation) {
        (void)conduit;
        (void)device;
        *generation = 0;
        return 0;
    }
    // Marks the registration of that generation as one no program waits for (a send that did not
    // wait): the sync under it records itself in the history and switches the conduit off. A
    // newer registration is left as it is. A library that keeps no generations answers 0.
    virtual qint32 SetUnattended(const QString& conduit, quint64 generation) {
        (void)conduit;
        (void)generation;
        return 0;
    }
};

// The program-wide library: the file-backed one over the application folder unless another
// was installed (tests install scripted ones). Null restores the default.
ConduitConfig& conduitConfig();
void setConduitConfig(ConduitConfig* library);

} // namespace kv
