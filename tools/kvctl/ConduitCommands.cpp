#include "app/Interruption.h"
#include "app/Trap.h"
#include "Command.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "conduit/HotSyncWait.h"
#include "conduit/WaitLock.h"

#include <functional>

namespace kv::cli {

namespace {

QStringList conduitWords(const char* action) {
    return {QStringLiteral("conduit"), QLatin1String(action)};
}

class ConduitShow : public Command {
public:
    QStringList words() const override { return conduitWords("show"); }
    QString summary() const override {
        return QStringLiteral("the conduit's switch and its tables with transfer code and key columns");
    }
    int execute(Context& ctx) override {
        FileConduitConfig library;
        ConduitRegistration c;
        const qint32 code = library.ReadConduit(kConduitName, &c);
        if (code == uc::ConduitNotFound) {
            ctx.err << "kvctl conduit show: the conduit " << kConduitName << " is not registered in "
                    << library.registryPath() << '\n';
            return exitcode::Failed;
        }
        if (code != uc::Ok) {
            ctx.err << "kvctl conduit show: cannot read " << library.registryPath() << " (code " << code
                    << ": " << MensajeConducto(code) << ")\n";
            return exitcode::Failed;
        }
        ctx.out << c.name << '\t' << (c.enabled ? "enabled" : "disabled") << '\n';
        for (const RegisteredTable& t : c.tables)
            ctx.out << t.name << '\t' << t.transferCode << '\t' << t.keySpec << '\n';
        return exitcode::Done;
    }
};

// register-send, register-receive and disable: the procedure under the error treatment; the
// status is non-zero when it reported a failure code or was left.
class ConduitChange : public Command {
public:
    ConduitChange(const char* action, const char* procedureName, QString summary, std::function<int()> procedure)
        : m_action(action), m_procedureName(procedureName), m_summary(std::move(summary)),
          m_procedure(std::move(procedure)) {}
    QStringList words() const override { return conduitWords(m_action); }
    QString summary() const override { return m_summary; }
    int execute(Context& ctx) override {
        // Under another program's wait a registration would take its sync away from it, and the
        // conduit switched off would leave it waiting for a sync every press is refused.
        const auto waiting = TomarEspera(QLatin1String(m_procedureName));
        if (!waiting) {
            sayBusy(ctx, name());
            return exitcode::Failed;
        }
        int failures = 0;
        Trap trap = Trap::prompting(QString());
        trap.step([&] { failures = m_procedure(); });
        if (trap.left()) {
            ctx.err << "kvctl " << name() << ": " << trap.leavingError()->description() << '\n';
            return exitcode::Failed;
        }
        if (failures > 0) {
            ctx.err << "kvctl " << name() << ": the conduit library reported " << failures << " failure(s)\n";
            return exitcode::Failed;
        }
        return exitcode::Done;
    }

private:
    const char* m_action;
    const char* m_procedureName;
    QString m_summary;
    std::function<int()> m_procedure;
};

class ConduitWait : public Command {
public:
    QStringList words() const override { return conduitWords("wait"); }
    QString summary() const override {
        return QStringLiteral("register for sending, wait for the handheld's sync (Ctrl-C cancels), disable");
    }
    void define(CLI::App& command) override {
        m_timeout.define(command);
    }
    int execute(Context& ctx) override {
        const interruption::CatchSignals signals;
        if (!m_timeout.apply(ctx)) return exitcode::Usage;
        const auto waiting = TomarEspera(QStringLiteral("EsperarHotSync"));
        if (!waiting) {
            sayBusy(ctx, name());
            return exitcode::Failed;
        }
        switch (EsperarHotSync()) {
        case WaitOutcome::Completed:
            return exitcode::Done;
        case WaitOutcome::Cancelled:
            ctx.err << "kvctl conduit wait: cancelled before the sync began\n";
            return exitcode::Cancelled;
        case WaitOutcome::Left:
            ctx.err << "kvctl conduit wait: ended by an error\n";
            return exitcode::Failed;
        }
        return exitcode::Failed;
    }

private:
    TimeoutOption m_timeout;
};

} // namespace

std::vector<std::unique_ptr<Command>> makeConduitCommands() {
    std::vector<std::unique_ptr<Command>> list;
    list.push_back(std::make_unique<ConduitShow>());
    list.push_back(std::make_unique<ConduitChange>(
        "register-send", "RegistrarConducto",
        QStringLiteral("register the conduit's tables for sending to the handheld and enable it"),
        [] { return RegistrarConducto(false); }));
    list.push_back(std::make_unique<ConduitChange>(
        "register-receive", "RegistrarConducto",
        QStringLiteral("register the document tables for receiving from the handheld and enable it"),
        [] { return RegistrarConducto(true); }));
    list.push_back(std::make_unique<ConduitChange>(
        "disable", "DesactivarConducto", QStringLiteral("switch the conduit off"), [] { return DesactivarConducto(); }));
    list.push_back(std::make_unique<ConduitWait>());
    return list;
}

} // namespace kv::cli
