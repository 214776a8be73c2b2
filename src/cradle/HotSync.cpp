#include "cradle/HotSync.h"

#include "app/RunTimeError.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "conduit/SyncMonitor.h"
#include "cradle/HandheldDevice.h"
#include "cradle/SqliteFile.h"
#include "history/JobHistory.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <sys/stat.h>
#include <unistd.h>
#include <sqlite3.h>
#include <thread>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("hotsync");
const QString kStoreSchema = QStringLiteral("store");

[[noreturn]] void refuse(long number, const QString& text) {
    throw RunTimeError(number, text + QStringLiteral(" Nothing was copied."), kSource);
}

// The registered tables a sync copies, checked against the tables a handheld holds.
QList<TableCopy> plan(const ConduitRegistration& conduit, int* untouched) {
    QList<TableCopy> copies;
    *untouched = 0;
    for (const RegisteredTable& t : conduit.tables) {
        if (t.transferCode != transfer::ToHandheld && t.transferCode != transfer::FromHandheld) {
            ++*untouched;
            continue;
        }
        const StoreTable* table = findStoreTable(t.name);
        if (!table)
            refuse(syncerr::TablesMissing,
                   QStringLiteral("The conduit %1 carries the table %2, which is not one of the tables of "
                                  "a handheld.")
                       .arg(conduit.name, t.name));
        copies << TableCopy{table->name, t.transferCode, 0, t.keySpec, 0};
    }
    return copies;
}

ConduitRegistration readRegistration() {
    FileConduitConfig library;
    ConduitRegistration conduit;
    const qint32 code = library.ReadConduit(kConduitName, &conduit);
    if (code == uc::ConduitNotFound)
        refuse(syncerr::ConduitNotReady,
               QStringLiteral("The conduit %1 is not registered in %2: the program registers it when it "
                              "waits for a sync.")
                   .arg(kConduitName, library.registryPath()));
    if (code != uc::Ok)
        refuse(syncerr::ConduitNotReady,
               QStringLiteral("Cannot read the registration of the conduit %1 in %2 "
                              "(code %3: %4).")
                   .arg(kConduitName, library.registryPath())
                   .arg(code)
                   .arg(MensajeConducto(code)));
    if (!conduit.enabled)
        refuse(syncerr::ConduitNotReady,
               QStringLiteral("The conduit %1 is disabled: the program enables it only while it waits for a "
                              "sync.")
                   .arg(kConduitName));
    return conduit;
}

void requireFile(const QString& path, const QString& what, const QString& hint) {
    if (!QFileInfo(path).isFile())
        refuse(storeerr::FileNotFound,
               QStringLiteral("There is no %1 %2 (%3).").arg(what, QFileInfo(path).absoluteFilePath(), hint));
}

// Both files must keep a rollback journal: with it SQLite commits a transaction over attached
// files through a super-journal, all or nothing; a WAL file would commit on its own.
void requireRollbackJournal(const Database& db, const QString& schema, const QString& what) {
    const QString mode =
        db.value(QStringLiteral("PRAGMA %1.journal_mode = DELETE").arg(quoteIdentifier(schema))).toString();
    if (mode.compare(QStringLiteral("delete"), Qt::CaseInsensitive) != 0)
        refuse(syncerr::JournalMode,
               QStringLiteral("The %1 is in journal mode \"%2\" and cannot be switched back to a rollback "
                              "journal while another program has it open.")
                   .arg(what, mode));
    db.exec(QStringLiteral("PRAGMA %1.synchronous = FULL").arg(quoteIdentifier(schema)));
}

bool endedByBudget(const RunTimeError& e) {
    return e.number() == syncerr::TooMuchWork || e.number() == syncerr::Stopped;
}


// A write past the growth limit fails as a full disk. With more free space on the disk than the
// limit, it was the limit: the handheld's own indexes or rows asked for that much.
bool pastGrowthLimit(const Database& db, qint64 room) {
    return (db.lastErrorCode() & 0xff) == SQLITE_FULL &&
           QStorageInfo(QFileInfo(db.path()).absolutePath()).bytesAvailable() > room;
}

// A document table of the handheld: a send keeps what the store does not hold.
bool keepsDocuments(const TableCopy& copy) {
    return CodigoTransferencia(copy.table, true) == transfer::FromHandheld;
}

// "s.A IS t.A AND s.B IS t.B" over the registered key columns.
QString sameKey(const TableCopy& copy, const QString& target) {
    QStringList terms;
    for (const KeyColumn& k : parseKeySpec(copy.keySpec).value_or(QList<KeyColumn>{}))
        terms << QStringLiteral("s.%1 IS %2.%1").arg(quoteIdentifier(k.column), target);
    if (terms.isEmpty())
        refuse(syncerr::ConduitNotReady, QStringLiteral("The table %1 has no key columns.").arg(copy.table));
    return terms.join(QStringLiteral(" AND "));
}

} // namespace

// Empties the destination's table and fills it with the source's rows, column by column by name.
qint64 copyTable(const Database& db, TableCopy& copy, qint64 room) {
    const StoreTable& table = *findStoreTable(copy.table);
    const bool toHandheld = copy.transferCode == transfer::ToHandheld;
    const QString from = quoteIdentifier(toHandheld ? kStoreSchema : QStringLiteral("main"));
    const QString to = quoteIdentifier(toHandheld ? QStringLiteral("main") : kStoreSchema);
    QStringList columns;
    for (const StoreColumn& c : table.columns)
        columns << quoteIdentifier(c.name);
    const QString list = columns.join(QStringLiteral(", "));
    const QString name = quoteIdentifier(table.name);
    try {
        if (toHandheld && keepsDocuments(copy)) {
            // Documents captured since the last receive have not reached the store yet: only the
            // rows the store holds are replaced.
            db.exec(QStringLiteral("DELETE FROM %1.%2 WHERE EXISTS (SELECT 1 FROM %3.%2 AS s WHERE %4)")
                        .arg(to, name, from, sameKey(copy, to + QLatin1Char('.') + name)));
            copy.kept = db.value(QStringLiteral("SELECT COUNT(*) FROM %1.%2").arg(to, name)).toLongLong();
        } else {
            db.exec(QStringLiteral("DELETE FROM %1.%2").arg(to, name));
        }
        db.exec(QStringLiteral("INSERT INTO %1.%2 (%3) SELECT %3 FROM %4.%2").arg(to, name, list, from));
    } catch (const RunTimeError& e) {
        if (endedByBudget(e)) throw;
        const QString copying =
            QStringLiteral("Cannot copy %1 (%2): ").arg(table.name, directionText(copy.transferCode));
        if (pastGrowthLimit(db, room))
            refuse(
                syncerr::ContentRefused,
                copying +
                    QStringLiteral("the files would grow past %1 bytes, twice the two together.").arg(room));
        refuse(e.number(), copying + db.lastError() + QLatin1Char('.'));
    }
    return db.changes() + copy.kept;
}

namespace {

// A send that did not wait registered this sync: no program records it or switches the conduit
// off, so the sync does both (the switch only while the registration is still its own).
void endUnattended(const ConduitRegistration& conduit, const SyncResult& result) {
    bool ended = false;
    FileConduitConfig().EndUnattended(kConduitName, conduit.generation, &ended);
    QList<history::TableRows> tables;
    for (const TableCopy& c : result.copies) tables << history::TableRows{c.table, c.rows, false};
    history::recordSyncWithoutWait(conduit.device, tables);
}

void checkDevice(const ConduitRegistration& conduit, qint32 device, SyncResult& result) {
    if (conduit.device == 0) return;
    if (device == 0) {
        result.note =
            QStringLiteral("The handheld has no device number (it was made before handhelds carried "
                           "one); it is taken as device %1.")
                .arg(conduit.device);
        return;
    }
    if (device != conduit.device)
        refuse(syncerr::WrongDevice,
               QStringLiteral("This handheld is device %1, but the program waits for device %2's sync; put "
                              "device %2's handheld in the cradle.")
                   .arg(device)
                   .arg(conduit.device));
}

// The handheld's bytes as its connection sees them, into `copy` (created beside it, with the
// handheld's permissions). The bytes come through the connection that holds the lock: opening
// the file another way would drop this process's locks on it (POSIX locks belong to the process).
void writeImage(const Database& handheld, QTemporaryFile& copy) {
    if (!copy.open())
        refuse(storeerr::CannotOpen, QStringLiteral("Cannot make a copy of the handheld beside it (%1).")
                                         .arg(copy.errorString()));
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(handheld.handle(), "main", &size, 0);
    if (!image) handheld.fail(QStringLiteral("Cannot read the handheld"));
    const bool written = copy.write(reinterpret_cast<const char*>(image), qint64(size)) == qint64(size) &&
                         copy.flush();
    sqlite3_free(image);
    struct stat status {};
    if (written && ::stat(QFile::encodeName(handheld.path()).constData(), &status) == 0)
        ::fchmod(copy.handle(), status.st_mode & 07777);
    const QString problem = copy.errorString();
    copy.close();
    if (!written)
        refuse(storeerr::CannotOpen,
               QStringLiteral("Cannot make a copy of the handheld beside it (%1); the handheld was left as it "
                              "was.")
                   .arg(problem));
}

// Puts the synced copy in the handheld's place, durably.
void replaceFile(QTemporaryFile& copy, const QString& handheldPath) {
    const QByteArray from = QFile::encodeName(copy.fileName());
    const QByteArray to = QFile::encodeName(QFileInfo(handheldPath).absoluteFilePath());
    if (::rename(from.constData(), to.constData()) != 0)
        refuse(storeerr::CannotOpen, QStringLiteral("Cannot put the synced copy in the handheld's place: %1.")
                                         .arg(QString::fromLocal8Bit(std::strerror(errno))));
    copy.setAutoRemove(false);
    const int folder = ::open(QFile::encodeName(QFileInfo(handheldPath).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

// Removes what a killed sync left beside the handheld (its copy and the copy's journals). Only
// once the store has been opened: its own journal, rolled back then, may need the copy's
// super-journal to know whether the killed sync committed.
void removeLeftCopies(const QString& handheldPath, const QString& ours) {
    const QFileInfo handheld(handheldPath);
    QDir folder = handheld.absoluteDir();
    for (const QString& name : folder.entryList({handheld.fileName() + QStringLiteral(".kvsync-*")}, QDir::Files))
        if (!folder.filePath(name).startsWith(ours)) folder.remove(name);
}

} // namespace

std::unique_ptr<const Database> openHandheld(const QString& path, std::chrono::seconds workBudget) {
    try {
        return std::make_unique<const Database>(path, QStringLiteral("handheld"), Trust::Untrusted,
                                                workBudget);
    } catch (const RunTimeError& e) {
        if (endedByBudget(e)) throw;
        refuse(e.number(), e.description());
    }
}

// A copy moves at most the other file's rows into a file, and the doubling leaves room for
// indexes and pages of another size.
qint64 growthRoom(const QString& handheldPath, const QString& storePath) {
    return 2 * (QFileInfo(handheldPath).size() + QFileInfo(storePath).size()) + (1 << 20);
}

void attachStore(const Database& handheld, const QString& storePath, qint64 room) {
    {
        Statement attach(handheld, QStringLiteral("ATTACH DATABASE ? AS %1").arg(quoteIdentifier(kStoreSchema)));
        attach.bind(1, storePath);
        attach.run();
    }
    handheld.limitGrowth(QStringLiteral("main"), room);
    handheld.limitGrowth(kStoreSchema, room);
    requireRollbackJournal(handheld, QStringLiteral("main"), QStringLiteral("handheld"));
    requireRollbackJournal(handheld, kStoreSchema, QStringLiteral("local sync store"));
}

QString directionText(qint32 transferCode) {
    return transferCode == transfer::FromHandheld ? QStringLiteral("handheld -> store")
                                                  : QStringLiteral("store -> handheld");
}

struct PreparedSync::State {
    SyncLock lock;
    ConduitRegistration conduit;
    SyncResult result;
    std::unique_ptr<const Database> db;
    std::unique_ptr<Transaction> transaction;
    bool over = false;
};

PreparedSync::PreparedSync(std::unique_ptr<State> state) : m(std::move(state)) {}

PreparedSync::~PreparedSync() {
    if (m && !m->over) drop();
}

const SyncResult& PreparedSync::result() const {
    return m->result;
}

std::unique_ptr<PreparedSync> PreparedSync::prepare(const QString& handheldPath, qint32 device,
                                                    std::chrono::seconds workBudget) {
    std::optional<SyncLock> lock = SyncLock::tryTake();
    if (!lock)
        refuse(syncerr::SyncUnderWay,
               QStringLiteral("Another sync is under way (it holds the sync lock in the application folder); "
                              "try again when it has ended."));

    SyncResult result;
    const ConduitRegistration conduit = readRegistration();
    result.copies = plan(conduit, &result.untouched);

    const QString storePath = settings::storePath();
    requireFile(handheldPath, QStringLiteral("handheld"), QStringLiteral("kvhandheld init creates one"));
    requireFile(storePath, QStringLiteral("local sync store"),
                QStringLiteral("the settings file names it under General/BaseDeDatos; kvctl store init "
                               "creates one"));
    result.handheld = QFileInfo(handheldPath).absoluteFilePath();
    result.store = QFileInfo(storePath).absoluteFilePath();
    if (QFileInfo(handheldPath).canonicalFilePath() == QFileInfo(storePath).canonicalFilePath())
        refuse(syncerr::SameFile,
               QStringLiteral("The handheld %1 is the local sync store itself.").arg(result.handheld));

    {
        // Opening the store on its own first also rolls back what a killed sync left in it.
        const Database store(storePath, QStringLiteral("local sync store"));
        if (const StoreProblem problem = storeProblems(store)) refuse(problem.number, problem.text);
        const bool handsOut = std::any_of(result.copies.begin(), result.copies.end(), [](const TableCopy& c) {
            return c.transferCode == transfer::ToHandheld;
        });
        if (handsOut && sendIncomplete(store.handle()))
            refuse(syncerr::SendIncomplete,
                   QStringLiteral("The local sync store's last send did not complete, so it may hold emptied "
                                  "or partial tables; no handheld gets it until a send completes (kvctl send "
                                  "N)."));
    }
    std::unique_ptr<const Database> db = openHandheld(handheldPath, workBudget);
    if (const StoreProblem problem = storeProblems(*db)) refuse(problem.number, problem.text);
    const qint32 carried = handheldDevice(*db);
    if (device > 0 && carried > 0 && carried != device)
        refuse(syncerr::WrongDevice,
               QStringLiteral("This handheld is device %1, but it syncs as device %2.").arg(carried).arg(device));
    checkDevice(conduit, device > 0 ? device : carried, result);

    const qint64 room = growthRoom(result.handheld, result.store);
    attachStore(*db, result.store, room);

    // From here on the sync counts for the wait that registered it, copied or refused.
    result.sequence = lock->began(conduit.generation);
    auto transaction = std::make_unique<Transaction>(*db);
    for (TableCopy& copy : result.copies)
        copy.rows = copyTable(*db, copy, room);
    auto state = std::unique_ptr<State>(
        new State{std::move(*lock), conduit, std::move(result), std::move(db), std::move(transaction), false});
    return std::unique_ptr<PreparedSync>(new PreparedSync(std::move(state)));
}

void PreparedSync::writeAnswer(const QString& path) {
    // The handheld as this connection sees it, uncommitted copy included: its pages are read
    // through the connection's own cache, which holds what the commit would write.
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(m->db->handle(), "main", &size, 0);
    if (!image) m->db->fail(QStringLiteral("Cannot read the handheld after the copy"));
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
                         file.write(reinterpret_cast<const char*>(image), qint64(size)) == qint64(size) &&
                         file.flush();
    sqlite3_free(image);
    if (!written)
        throw RunTimeError(storeerr::CannotOpen,
                           QStringLiteral("Cannot keep the handheld's answer: %1").arg(file.errorString()),
                           kSource);
    m->lock.answered();
}

const SyncResult& PreparedSync::commit(const std::function<void()>& beforeCounting) {
    // One commit for both files: SQLite writes a super-journal naming both journals and deletes
    // it as the commit point, so a crash at any moment leaves both copied or neither.
    try {
        m->transaction->commit();
    } catch (const RunTimeError& e) {
        const QString reason = m->db->lastError();
        drop();
        if (endedByBudget(e)) throw;
        refuse(e.number(), QStringLiteral("Cannot complete the sync: %1.").arg(reason));
    }
    if (beforeCounting) {
        try {
            beforeCounting();
        } catch (const RunTimeError&) {
            m->over = true;
            m->lock.ended(false);
            throw;
        }
    }
    m->over = true;
    m->lock.ended(true);
    if (m->conduit.unattended) endUnattended(m->conduit, m->result);
    // The lock is released after the commit: a program that waits for the sync to end finds the
    // copied tables in place.
    m->lock.release();
    return m->result;
}

void PreparedSync::drop() {
    if (m->over) return;
    m->over = true;
    m->transaction.reset(); // rolls back
    m->db.reset();
    m->lock.ended(false);
    m->lock.release();
}

SyncResult hotSync(const QString& handheldPath, int holdSeconds,
                   const std::function<void(const QString&)>& progress, qint32 device,
                   std::chrono::seconds workBudget) {
    requireFile(handheldPath, QStringLiteral("handheld"), QStringLiteral("kvhandheld init creates one"));
    if (QFileInfo(handheldPath).canonicalFilePath() == QFileInfo(settings::storePath()).canonicalFilePath())
        refuse(syncerr::SameFile, QStringLiteral("The handheld %1 is the local sync store itself.")
                                      .arg(QFileInfo(handheldPath).absoluteFilePath()));
    // The sync works on a copy beside the handheld and puts it in the handheld's place only when
    // it has committed: a sync that fails half way (a full disk, a kill) leaves the handheld file
    // as it was, with nothing beside it that it needs. Meanwhile the handheld's write lock keeps
    // captures out, so none is written to the file being replaced.
    const std::unique_ptr<const Database> opened = openHandheld(handheldPath, workBudget);
    const Database& original = *opened;
    Transaction hold(original);
    QTemporaryFile copy(QFileInfo(handheldPath).absoluteFilePath() + QStringLiteral(".kvsync-XXXXXX"));
    writeImage(original, copy);

    std::unique_ptr<PreparedSync> sync = PreparedSync::prepare(copy.fileName(), device, workBudget);
    removeLeftCopies(handheldPath, copy.fileName());
    if (holdSeconds > 0) {
        if (progress)
            progress(QStringLiteral("Copied %1 tables; the sync completes in %2 s.")
                         .arg(sync->result().copies.size())
                         .arg(holdSeconds));
        std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
    }
    SyncResult result = sync->commit([&] { replaceFile(copy, handheldPath); });
    result.handheld = original.path();
    return result;
}

} // namespace kv::cradle
