#include "conduit/FileConduitConfig.h"

#include "app/AppHome.h"
#include "app/AtomicFile.h"
#include "app/GeneralFunctions.h"
#include "app/RunTimeError.h"
#include "app/TextDecoding.h"

#include <functional>
#include <QFileInfo>
#include <optional>

namespace kv {

namespace {

const QString kLockName = QStringLiteral("kvconduit.lock");
// A change waits this long for another process's change before it reports the registry busy.
constexpr int kLockWaitMs = 5000;

struct Registry {
    QList<ConduitRegistration> conduits;

    ConduitRegistration* find(const QString& name) {
        for (auto& c : conduits)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) return &c;
        return nullptr;
    }
};

RegisteredTable* findTable(ConduitRegistration& conduit, const QString& name) {
    for (auto& t : conduit.tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

bool hasControl(const QString& text) {
    for (QChar c : text)
        if (c.category() == QChar::Other_Control) return true;
    return false;
}

// A name the file can hold as it is: a section header or the first field of a table line.
bool validName(const QString& name) {
    if (name.isEmpty() || name != name.trimmed() || hasControl(name)) return false;
    for (QChar c : name)
        if (c == QLatin1Char('|') || c == QLatin1Char('[') || c == QLatin1Char(']')) return false;
    return true;
}

bool validTransferCode(qint32 code) {
    return code == transfer::None || code == transfer::ToHandheld || code == transfer::FromHandheld;
}

bool parseInt(const QString& text, qint32* out) {
    bool ok = false;
    *out = text.toInt(&ok);
    return ok;
}

// The registry's text; nullopt when it holds something this library does not write.
std::optional<Registry> parse(const QString& text) {
    Registry r;
    ConduitRegistration* current = nullptr;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2);
            if (!validName(name) || r.find(name)) return std::nullopt;
            r.conduits.append(ConduitRegistration{name, QString(), 0, false, {}});
            current = &r.conduits.last();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!current || eq < 1) return std::nullopt;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("creator")) {
            current->creator = value;
        } else if (key == QLatin1String("creatorCode")) {
            if (!parseInt(value, &current->creatorCode)) return std::nullopt;
        } else if (key == QLatin1String("enabled")) {
            if (value != QLatin1String("0") && value != QLatin1String("1")) return std::nullopt;
            current->enabled = value == QLatin1String("1");
        } else if (key == QLatin1String("generation")) {
            bool ok = false;
            current->generation = value.toULongLong(&ok);
            if (!ok) return std::nullopt;
        } else if (key == QLatin1String("device")) {
            if (!parseInt(value, &current->device) || current->device < 0) return std::nullopt;
        } else if (key == QLatin1String("unattended")) {
            if (value != QLatin1String("0") && value != QLatin1String("1")) return std::nullopt;
            current->unattended = value == QLatin1String("1");
        } else if (key == QLatin1String("table")) {
            const QStringList f = value.split(QLatin1Char('|'));
            RegisteredTable t;
            if (f.size() != 3 || !validName(f[0]) || findTable(*current, f[0]) ||
                !parseInt(f[1], &t.transferCode) || !parseKeySpec(f[2]))
                return std::nullopt;
            t.name = f[0];
            t.keySpec = f[2];
            current->tables.append(t);
        } else {
            return std::nullopt;
        }
    }
    return r;
}

QByteArray format(const Registry& r) {
    QString text = QStringLiteral(
        "# kvcontrol conduit registry, written by the program: one [section] per conduit, then its\n"
        "# tables in registration order as table=NAME|TRANSFER CODE|KEY COLUMNS\n");
    for (const auto& c : r.conduits) {
        text += QStringLiteral("[%1]\ncreator=%2\ncreatorCode=%3\nenabled=%4\ngeneration=%5\ndevice=%6\n")
                    .arg(c.name, c.creator)
                    .arg(c.creatorCode)
                    .arg(c.enabled ? 1 : 0)
                    .arg(c.generation)
                    .arg(c.device);
        if (c.unattended) text += QStringLiteral("unattended=1\n");
        for (const auto& t : c.tables)
            text += QStringLiteral("table=%1|%2|%3\n").arg(t.name).arg(t.transferCode).arg(t.keySpec);
    }
    return text.toUtf8();
}

// Reads the whole file. Returns false on a read failure; a missing file is an empty registry.
bool readFile(const QString& path, QByteArray* out) {
    try {
        *out = FileVersion::contents(path, QStringLiteral("UCConfig"));
        return true;
    } catch (const RunTimeError&) {
        return false;
    }
}

qint32 load(const QString& folder, Registry* out) {
    if (!QFileInfo(folder).isDir()) return uc::NotInstalled;
    QByteArray bytes;
    if (!readFile(folder + FileConduitConfig::fileName(), &bytes)) return uc::RegistryAccess;
    auto parsed = parse(decodeText(bytes));
    if (!parsed) return uc::Uncoded;
    *out = std::move(*parsed);
    return uc::Ok;
}

// Runs one change under the lock: the edit returns a failure code or 0 to have the result written.
qint32 change(const QString& folder, const std::function<qint32(Registry&)>& edit) {
    try {
        if (!QFileInfo(folder).isDir()) return uc::NotInstalled;
        std::optional<FileLock> lock;
        try {
            lock.emplace(folder + kLockName, QStringLiteral("UCConfig"), kLockWaitMs);
        } catch (const RunTimeError&) {
            return uc::RegistryAccess;
        }
        Registry r;
        if (const qint32 code = load(folder, &r); code != uc::Ok) return code;
        if (const qint32 code = edit(r); code != uc::Ok) return code;
        try {
            writeFileAtomically(folder + FileConduitConfig::fileName(), format(r), 0644, QStringLiteral("UCConfig"));
        } catch (const RunTimeError&) {
            return uc::RegistryAccess;
        }
        return uc::Ok;
    } catch (...) {
        return uc::Uncoded;
    }
}

} // namespace

FileConduitConfig::FileConduitConfig(QString folder) : m_folder(std::move(folder)) {}

QString FileConduitConfig::folder() const {
    return m_folder.isEmpty() ? AppHome::folder() : CarpetaAplicacion(m_folder);
}

QString FileConduitConfig::registryPath() const {
    return folder() + fileName();
}

qint32 FileConduitConfig::AddUpdateConduit(const ConduitRecord& conduit) {
    if (!validName(conduit.name) || hasControl(conduit.creator)) return uc::BadArguments;
    return change(folder(), [&](Registry& r) {
        ConduitRegistration* c = r.find(conduit.name);
        if (!c) {
            r.conduits.append(ConduitRegistration{conduit.name, QString(), 0, false, {}});
            c = &r.conduits.last();
        }
        c->name = conduit.name;
        c->creator = conduit.creator.trimmed();
        c->creatorCode = conduit.creatorCode;
        return uc::Ok;
    });
}

qint32 FileConduitConfig::AddUpdateTable(const QString& conduit, const TableRecord& table) {
    if (!validName(conduit) || !validName(table.name) || !parseKeySpec(table.keySpec) ||
        !validTransferCode(table.transferCode))
        return uc::BadArguments;
    return change(folder(), [&](Registry& r) {
        ConduitRegistration* c = r.find(conduit);
        if (!c) return uc::ConduitNotFound;
        const RegisteredTable entry{table.name, table.transferCode, table.keySpec};
        if (RegisteredTable* t = findTable(*c, table.name))
            *t = entry;
        else
            c->tables.append(entry);
        return uc::Ok;
    });
}

qint32 FileConduitConfig::SetEnableStatus(const QString& conduit, qint32 flag) {
    if (!validName(conduit) || (flag != 0 && flag != 1)) return uc::BadArguments;
    return change(folder(), [&](Registry& r) {
        ConduitRegistration* c = r.find(conduit);
        if (!c) return uc::ConduitNotFound;
        c->enabled = flag == 1;
        return uc::Ok;
    });
}

qint32 FileConduitConfig::BeginRegistration(const QString& conduit, qint32 device, quint64* generation) {
    *generation = 0;
    if (!validName(conduit) || device < 0) return uc::BadArguments;
    return change(folder(), [&](Registry& r) {
        ConduitRegistration* c = r.find(conduit);
        if (!c) return uc::ConduitNotFound;
        c->enabled = false; // no sync runs on a half-made registration
        c->generation += 1;
        c->device = device;
        c->unattended = false;
        *generation = c->generation;
        return uc::Ok;
    });
}

qint32 FileConduitConfig::SetUnattended(const QString& conduit, quint64 generation) {
    if (!validName(conduit)) return uc::BadArguments;
    return change(folder(), [&](Registry& r) {
        ConduitRegistration* c = r.find(conduit);
        if (!c) return uc::ConduitNotFound;
        if (c->generation == generation) c->unattended = true;
        return uc::Ok;
    });
}

qint32 FileConduitConfig::EndUnattended(const QString& conduit, quint64 generation, bool* ended) {
    *ended = false;
    if (!validName(conduit)) return uc::BadArguments;
    return change(folder(), [&](Registry& r) {
        ConduitRegistration* c = r.find(conduit);
        if (!c) return uc::ConduitNotFound;
        if (c->generation == generation && c->unattended) {
            c->enabled = false;
            c->unattended = false;
            *ended = true;
        }
        return uc::Ok;
    });
}

qint32 FileConduitConfig::ReadConduit(const QString& conduit, ConduitRegistration* out) const {
    try {
        Registry r;
        if (const qint32 code = load(folder(), &r); code != uc::Ok) return code;
        const ConduitRegistration* c = r.find(conduit);
        if (!c) return uc::ConduitNotFound;
        *out = *c;
        return uc::Ok;
    } catch (...) {
        return uc::Uncoded;
    }
}

qint32 FileConduitConfig::ReadTable(const QString& conduit, const QString& table,
                                    RegisteredTable* out) const {
    ConduitRegistration c;
    if (const qint32 code = ReadConduit(conduit, &c); code != uc::Ok) return code;
    const RegisteredTable* t = findTable(c, table);
    if (!t) return uc::TableNotFound;
    *out = *t;
    return uc::Ok;
}

} // namespace kv
