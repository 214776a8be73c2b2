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
    QString arguments() const override { return QStringLiteral("PATH"); }
    QString summary() const override {
        return QStringLiteral("create an empty local sync store (refuses an existing file)");
    }
    int execute(const QStringList& args, Context& ctx) override {
        if (args.size() != 1) {
            ctx.err << "kvctl store init: give exactly one PATH\n";
            return 2;
        }
        try {
            createStore(args.first());
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl store init: " << e.description() << '\n';
            return 1;
        }
        const QList<StoreTable>& tables = storeTables();
        ctx.out << "Created the local sync store " << QFileInfo(args.first()).absoluteFilePath() << " with "
                << tables.size() << " empty tables:\n";
        for (const StoreTable& t : tables)
            ctx.out << "  " << t.name.leftJustified(16) << ' ' << kindName(t.kind).leftJustified(10)
                    << " key " << t.keySpec << '\n';
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeStoreInit() {
    return std::make_unique<StoreInit>();
}

} // namespace kv::cli
