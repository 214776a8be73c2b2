#include "app/RunTimeError.h"
#include "app/SettingsFile.h"
#include "Command.h"
#include "cradle/CradleTokens.h"
#include "cradle/net/CradleClient.h"
#include "settings/DeviceSettings.h"

namespace kv::cli {

namespace {

// The network cradle's address when the settings file names none ([General] CradleUrl).
const QString kDefaultCradle = QStringLiteral("http://127.0.0.1:8790");

class CradleToken : public Command {
public:
    QStringList words() const override { return {QStringLiteral("cradle"), QStringLiteral("token")}; }
    QString arguments() const override { return QStringLiteral("N [--renew]"); }
    QString summary() const override {
        return QStringLiteral("make device N's token for the network cradle (printed once; only its hash is "
                              "kept); --renew replaces it");
    }
    int execute(const QStringList& arguments, Context& ctx) override {
        QStringList args = arguments;
        const bool renew = args.removeAll(QStringLiteral("--renew")) > 0;
        bool ok = false;
        const int device = args.value(0).toInt(&ok);
        if (args.size() != 1 || !ok || device < 1) {
            ctx.err
                << "kvctl cradle token: usage: kvctl cradle token N [--renew] (N a device number from 1)\n";
            return 2;
        }
        try {
            const QString token = cradle::CradleTokens().issue(device, renew);
            ctx.out << token << '\n';
            ctx.err << "Device " << device << "'s token for kvcradle; it is shown only this once.\n";
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl cradle token: " << e.description() << '\n';
            return 1;
        }
        return 0;
    }
};

class CradleStatus : public Command {
public:
    QStringList words() const override { return {QStringLiteral("cradle"), QStringLiteral("status")}; }
    QString arguments() const override { return QStringLiteral("[--url URL]"); }
    QString summary() const override {
        return QStringLiteral("kvcradle's GET /status (the settings file's General/CradleUrl, else %1)")
            .arg(kDefaultCradle);
    }
    int execute(const QStringList& args, Context& ctx) override {
        QString url = LeerIni(settings::File, settings::General, QStringLiteral("CradleUrl"), kDefaultCradle);
        if (args.size() == 2 && args[0] == QLatin1String("--url"))
            url = args[1];
        else if (!args.isEmpty()) {
            ctx.err << "kvctl cradle status: usage: kvctl cradle status [--url URL]\n";
            return 2;
        }
        try {
            ctx.out << cradle::CradleClient(QUrl(url.trimmed())).status();
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl cradle status: " << e.description() << '\n';
            return 1;
        }
        return 0;
    }
};

} // namespace

std::vector<std::unique_ptr<Command>> makeCradleCommands() {
    std::vector<std::unique_ptr<Command>> list;
    list.push_back(std::make_unique<CradleToken>());
    list.push_back(std::make_unique<CradleStatus>());
    return list;
}

} // namespace kv::cli
