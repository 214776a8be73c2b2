#include "ErpSession.h"

#include "app/Cfg.h"
#include "app/Startup.h"
#include "data/DB_Dll.h"

namespace kv::cli {

bool startSession(Context& ctx, bool withStore, bool writeFiles) {
    resetProgramDatabases();
    program() = ProgramValues();
    if (!LeerParametrosInicio(ctx.launch, QString(), 3, writeFiles)) {
        ctx.err << "kvctl: no ERP connection was made (check --launch: @Server, @DbName, @Usuario, @Password, "
                   "@Motor)\n";
        return false;
    }
    if (withStore) {
        AbrirBaseLocal();
        if (!LocalDb().gCnn.state()) {
            ctx.err << "kvctl: the local sync store " << LocalDb().gDBName
                    << " could not be opened (create it with: kvctl store init PATH)\n";
            return false;
        }
    }
    return true;
}

int deviceArgument(const std::string& text, Context& ctx) {
    const QString given = fromStd(text);
    bool ok = false;
    const int n = given.toInt(&ok);
    const int count = deviceCount();
    if (!ok || n < 1 || n > count) {
        ctx.usage(QStringLiteral("device \"%1\" does not exist; devices are 1 to %2").arg(given).arg(count));
        return 0;
    }
    return n;
}

void defineDevice(CLI::App& command, std::string& device) {
    argument(command, "N", device, "the device number, 1 to the number of handhelds")->required();
}

} // namespace kv::cli
