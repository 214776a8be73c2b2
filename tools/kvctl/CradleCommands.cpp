#include "app/RunTimeError.h"
#include "app/SettingsFile.h"
#include "Command.h"
#include "cradle/CradleTokens.h"
#include "cradle/net/CradleClient.h"
#include "settings/DeviceSettings.h"

#include <QUrl>

namespace kv::cli {

namespace {

// The network cradle's address when the settings file names none ([General] CradleUrl).
const QString kDefaultCradle = QStringLiteral("http://127.0.0.1:8790");

bool isCradleAddress(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

class CradleToken : public Command {
public:
    QStringList words() const override { return {QStringLiteral("cradle"), QStringLiteral("token")}; }
    QString summary() const override {
        return QStringLiteral("make device N's token for the network cradle (printed once; only its hash is "
                              "kept); --renew replaces it");
    }
    void define(CLI::App& command) override {
        argument(command, "N", m_device, "the device number, from 1")->required();
        command.add_flag("--renew", m_renew, "replace the device's token; the old one stops working at once");
    }
    int execute(Context& ctx) override {
        // The ERP holds the number of devices; a token is made without it, so any number from 1.
        bool ok = false;
        const int device = fromStd(m_device).toInt(&ok);
        if (!ok || device < 1) return ctx.usage(QStringLiteral("N is a device number from 1, not \"%1\"").arg(fromStd(m_device)));
        try {
            const QString token = cradle::CradleTokens().issue(device, m_renew);
            ctx.out << token << '\n';
            ctx.err << "Device " << device << "'s token for kvcradle; it is shown only this once.\n";
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl cradle token: " << e.description() << '\n';
            return exitcode::Failed;
        }
        return exitcode::Done;
    }

private:
    std::string m_device;
    bool m_renew = false;
};

class CradleStatus : public Command {
public:
    QStringList words() const override { return {QStringLiteral("cradle"), QStringLiteral("status")}; }
    QString summary() const override {
        return QStringLiteral("kvcradle's GET /status (the settings file's General/CradleUrl, else %1)")
            .arg(kDefaultCradle);
    }
    void define(CLI::App& command) override {
        command.add_option("--url", m_url, "the cradle's address instead of the settings file's")->type_name("URL");
    }
    int execute(Context& ctx) override {
        if (!m_url.empty() && !isCradleAddress(fromStd(m_url)))
            return ctx.usage(QStringLiteral("--url takes the cradle's address, http://HOST:PORT or https://HOST:PORT, "
                                            "not \"%1\"")
                                 .arg(fromStd(m_url)));
        const QString url = m_url.empty()
                                ? LeerIni(settings::File, settings::General, QStringLiteral("CradleUrl"), kDefaultCradle)
                                : fromStd(m_url);
        try {
            ctx.out << cradle::CradleClient(QUrl(url.trimmed())).status();
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl cradle status: " << e.description() << '\n';
            return exitcode::Failed;
        }
        return exitcode::Done;
    }

private:
    std::string m_url;
};

} // namespace

std::vector<std::unique_ptr<Command>> makeCradleCommands() {
    std::vector<std::unique_ptr<Command>> list;
    list.push_back(std::make_unique<CradleToken>());
    list.push_back(std::make_unique<CradleStatus>());
    return list;
}

} // namespace kv::cli
