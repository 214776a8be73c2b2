#include "Command.h"

namespace kv::cli {

namespace {
class StoreInit : public Command {
public:
    QStringList words() const override { return {QStringLiteral("store"), QStringLiteral("init")}; }
    QString arguments() const override { return QStringLiteral("PATH"); }
    QString summary() const override { return QStringLiteral("create an empty local sync store (refuses an existing file)"); }
    int execute(const QStringList& args, Context& ctx) override {
        if (args.size() != 1) {
            ctx.err << "kvctl store init: give exactly one PATH\n";
            return 2;
        }
        ctx.err << "kvctl store init: not built yet\n";
        return 1;
    }
};
} // namespace

std::unique_ptr<Command> makeStoreInit() {
    return std::make_unique<StoreInit>();
}

} // namespace kv::cli
