#include "app/ErpCheck.h"
#include "Command.h"
#include "ErpSession.h"

namespace kv::cli {

namespace {
class Check : public Command {
public:
    QStringList words() const override { return {QStringLiteral("check")}; }
    QString summary() const override {
        return QStringLiteral(
            "verify, reading only, every ERP object the program reads or writes, the store and the "
            "application folder: one line each, exit 0 only when all are ok");
    }
    int execute(const QStringList& args, Context& ctx) override {
        if (!args.isEmpty()) {
            ctx.err << "kvctl check: takes no arguments\n";
            return 2;
        }
        if (!startSession(ctx, false, false)) return 1;
        int failed = 0;
        for (const CheckLine& line : checkInstallation()) {
            ctx.out << line.text() << '\n';
            if (!line.problem.isEmpty()) ++failed;
        }
        if (failed) ctx.err << "kvctl check: " << failed << " object(s) not ok\n";
        return failed ? 1 : 0;
    }
};
} // namespace

std::unique_ptr<Command> makeCheck() {
    return std::make_unique<Check>();
}

} // namespace kv::cli
