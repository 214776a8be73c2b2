#include "app/AppHome.h"
#include "app/Interruption.h"
#include "Command.h"

namespace kv::cli {

int Context::usage(const QString& why) const {
    return cli->usageError(*command, why, err);
}

void TimeoutOption::define(CLI::App& command) {
    command.add_option("--timeout", seconds,
                       "end the command as timed out (exit 3) when it has not ended in SECONDS, whatever it "
                       "is doing: the export step or the document under way is rolled back")
        ->type_name("SECONDS");
}

std::optional<int> secondsValue(const std::string& text) {
    bool ok = false;
    const int n = fromStd(text).toInt(&ok);
    return ok && n >= 1 ? std::optional<int>(n) : std::nullopt;
}

bool TimeoutOption::apply(Context& ctx) const {
    if (seconds.empty()) return true;
    const std::optional<int> n = secondsValue(seconds);
    if (!n) {
        ctx.usage(QStringLiteral("--timeout needs a whole number of seconds from 1"));
        return false;
    }
    interruption::setTimeLimit(*n);
    return true;
}

void FormatOption::define(CLI::App& command) {
    command.add_option("--format", given, toStd(QStringLiteral("how to print: %1 (default %2)")
                                                    .arg(allowed.join(QStringLiteral(", ")), allowed.first())))
        ->type_name(toStd(allowed.join(QLatin1Char('|'))));
}

QString FormatOption::value(Context& ctx) const {
    const QString format = given.empty() ? allowed.first() : fromStd(given);
    if (allowed.contains(format)) return format;
    QString list = allowed.join(QStringLiteral(", "));
    list.replace(list.lastIndexOf(QStringLiteral(", ")), 2, QStringLiteral(" or "));
    ctx.usage(QStringLiteral("--format takes %1, not \"%2\"").arg(list, format));
    return QString();
}

void sayBusy(Context& ctx, const QString& command) {
    ctx.err << "kvctl " << command << ": another send or receive is under way in " << AppHome::folder()
            << "; nothing was done\n";
}

} // namespace kv::cli
