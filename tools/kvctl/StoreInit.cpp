#include "app/RunTimeError.h"
#include "Command.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <QFileInfo>

namespace kv::cli {

namespace {
// Creates an empty local sync store. Touches no ERP database: the store is filled by a send.
class StoreInit : public Command {
public:
    QStringList words() const override { return {QStringLiteral("store"), QStringLiteral("init")}; }
    QString summary() const override {
        return QStringLiteral("create an empty local sync store (refuses an existing file)");
    }
    void define(CLI::App& command) override {
        argument(command, "PATH", m_path, "the store's file; it must not exist")->required();
    }
    int execute(Context& ctx) override {
        const QString path = fromStd(m_path);
        try {
            createStore(path);
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl store init: " << e.description() << '\n';
            return exitcode::Failed;
        }
        const QList<StoreTable>& tables = storeTables();
        ctx.out << "Created the local sync store " << QFileInfo(path).absoluteFilePath() << " with "
                << tables.size() << " empty tables:\n";
        for (const StoreTable& t : tables)
            ctx.out << "  " << t.name.leftJustified(16) << ' ' << kindName(t.kind).leftJustified(10)
                    << " key " << t.keySpec << '\n';
        return exitcode::Done;
    }

private:
    std::string m_path;
};
} // namespace

std::unique_ptr<Command> makeStoreInit() {
    return std::make_unique<StoreInit>();
}

} // namespace kv::cli
