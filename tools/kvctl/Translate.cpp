#include "app/RunTimeError.h"
#include "Command.h"
#include "data/Translation.h"

namespace kv::cli {

namespace {

class Translate : public Command {
public:
    QStringList words() const override { return {QStringLiteral("translate")}; }
    QString arguments() const override { return QStringLiteral("--to TARGET [--admin] STATEMENT"); }
    QString summary() const override {
        return QStringLiteral("print STATEMENT as the data layer sends it to TARGET: oracle, sqlite, "
                              "postgresql (synonyms included) or synonyms alone (--admin: for an "
                              "administrator, without synonyms); opens no database");
    }

    int execute(const QStringList& args, Context& ctx) override {
        QString target;
        bool admin = false;
        QStringList words;
        bool optionsEnded = false;
        for (int i = 0; i < args.size(); ++i) {
            const QString& a = args.at(i);
            if (optionsEnded || !a.startsWith(QLatin1String("--"))) {
                words << a;
            } else if (a == QLatin1String("--")) {
                optionsEnded = true;
            } else if (a == QLatin1String("--admin")) {
                admin = true;
            } else if (a == QLatin1String("--to")) {
                if (i + 1 >= args.size()) return usage(ctx, QStringLiteral("--to needs a target"));
                target = args.at(++i);
            } else if (a.startsWith(QLatin1String("--to="))) {
                target = a.mid(5);
            } else {
                return usage(ctx, QStringLiteral("unknown option ") + a);
            }
        }
        // Words the shell split apart are one statement again, as typed.
        const QString statement = words.join(QLatin1Char(' '));
        const QString given = target;
        target = target.toLower();
        if (target.isEmpty()) return usage(ctx, QStringLiteral("say which translation with --to"));
        if (target != QLatin1String("oracle") && target != QLatin1String("sqlite") &&
            target != QLatin1String("postgresql") && target != QLatin1String("synonyms"))
            return usage(
                ctx,
                QStringLiteral("--to takes oracle, sqlite, postgresql or synonyms, not \"%1\"").arg(given));
        if (statement.isEmpty()) return usage(ctx, QStringLiteral("give the STATEMENT to translate"));

        try {
            QString sent;
            if (target == QLatin1String("synonyms"))
                sent = SS_TSinonimos(statement, admin);
            else
                sent = statementAsSent(statement, *engineForName(target), admin);
            ctx.out << sent << '\n';
            return 0;
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl translate: " << e.description() << '\n';
            return 1;
        }
    }

private:
    int usage(Context& ctx, const QString& reason) const {
        ctx.err << "kvctl translate: " << reason << "\nUsage: kvctl translate " << arguments() << '\n';
        return 2;
    }
};

} // namespace

std::unique_ptr<Command> makeTranslate() {
    return std::make_unique<Translate>();
}

} // namespace kv::cli
