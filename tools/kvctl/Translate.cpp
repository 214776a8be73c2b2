#include "app/RunTimeError.h"
#include "Command.h"
#include "data/Translation.h"

namespace kv::cli {

namespace {

class Translate : public Command {
public:
    QStringList words() const override { return {QStringLiteral("translate")}; }
    QString summary() const override {
        return QStringLiteral("print STATEMENT as the data layer sends it to TARGET: oracle, sqlite, "
                              "postgresql (synonyms included) or synonyms alone (--admin: for an "
                              "administrator, without synonyms); opens no database");
    }
    void define(CLI::App& command) override {
        command.add_option("--to", m_target, "oracle, sqlite, postgresql or synonyms")->type_name("TARGET");
        command.add_flag("--admin", m_admin, "as an administrator sees it: without synonyms");
        argument(command, "STATEMENT", m_words, "the statement; words the shell split apart are joined again");
    }

    int execute(Context& ctx) override {
        QStringList words;
        for (const std::string& w : m_words) words << fromStd(w);
        // Words the shell split apart are one statement again, as typed.
        const QString statement = words.join(QLatin1Char(' '));
        const QString given = fromStd(m_target);
        const QString target = given.toLower();
        if (target.isEmpty()) return ctx.usage(QStringLiteral("say which translation with --to"));
        if (target != QLatin1String("oracle") && target != QLatin1String("sqlite") &&
            target != QLatin1String("postgresql") && target != QLatin1String("synonyms"))
            return ctx.usage(
                QStringLiteral("--to takes oracle, sqlite, postgresql or synonyms, not \"%1\"").arg(given));
        if (statement.isEmpty()) return ctx.usage(QStringLiteral("give the STATEMENT to translate"));

        try {
            QString sent;
            if (target == QLatin1String("synonyms"))
                sent = SS_TSinonimos(statement, m_admin);
            else
                sent = statementAsSent(statement, *engineForName(target), m_admin);
            ctx.out << sent << '\n';
            return exitcode::Done;
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl translate: " << e.description() << '\n';
            return exitcode::Failed;
        }
    }

private:
    std::string m_target;
    bool m_admin = false;
    std::vector<std::string> m_words;
};

} // namespace

std::unique_ptr<Command> makeTranslate() {
    return std::make_unique<Translate>();
}

} // namespace kv::cli
