#include "app/ErpCheck.h"
#include "Command.h"
#include "ErpSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    void define(CLI::App& command) override { m_format.define(command); }
    int execute(Context& ctx) override {
        const QString format = m_format.value(ctx);
        if (format.isEmpty()) return exitcode::Usage;
        if (!startSession(ctx, false, false)) return exitcode::Failed;
        int failed = 0;
        QJsonArray objects;
        for (const CheckLine& line : checkInstallation()) {
            if (format == QLatin1String("json"))
                objects.append(QJsonObject{{"object", line.object},
                                           {"ok", line.problem.isEmpty()},
                                           {"problem", line.problem.isEmpty() ? QJsonValue() : line.problem}});
            else ctx.out << line.text() << '\n';
            if (!line.problem.isEmpty()) ++failed;
        }
        if (format == QLatin1String("json"))
            ctx.out << QString::fromUtf8(QJsonDocument(QJsonObject{{"ok", failed == 0}, {"objects", objects}}).toJson());
        if (failed) ctx.err << "kvctl check: " << failed << " object(s) not ok\n";
        return failed ? exitcode::Failed : exitcode::Done;
    }

private:
    FormatOption m_format{{QStringLiteral("text"), QStringLiteral("json")}, {}};
};
} // namespace

std::unique_ptr<Command> makeCheck() {
    return std::make_unique<Check>();
}

} // namespace kv::cli
