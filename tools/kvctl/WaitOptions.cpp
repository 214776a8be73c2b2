#include "app/AppHome.h"
#include "Command.h"

namespace kv::cli {

bool takeTimeout(QStringList& args, Context& ctx, const QString& command) {
    const int at = args.indexOf(QStringLiteral("--timeout"));
    if (at < 0) return true;
    bool ok = false;
    const int seconds = at + 1 < args.size() ? args.at(at + 1).toInt(&ok) : 0;
    if (!ok || seconds < 1) {
        ctx.err << "kvctl " << command << ": --timeout needs a whole number of seconds from 1\n";
        return false;
    }
    args.remove(at, 2);
    ctx.person.setWaitTimeout(seconds);
    return true;
}

void sayBusy(Context& ctx, const QString& command) {
    ctx.err << "kvctl " << command << ": another send or receive is under way in " << AppHome::folder()
            << "; nothing was done\n";
}

} // namespace kv::cli
