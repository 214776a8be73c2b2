#include "app/RunTimeError.h"
#include "Command.h"
#include "cradle/CradleTokens.h"
#include "cradle/net/CradleClient.h"
#include "cradle/PairingLink.h"

#include <optional>
#include <QUrl>
#include <unistd.h>

#include <QUrl>

namespace kv::cli {

namespace {

// A device number from 1, or a usage error. The ERP holds the number of devices; a token is made
// without it, so any number from 1.
std::optional<int> deviceNumber(Context& ctx, const std::string& text, int* status) {
    bool ok = false;
    const int device = fromStd(text).toInt(&ok);
    if (ok && device >= 1) return device;
    *status = ctx.usage(QStringLiteral("N is a device number from 1, not \"%1\"").arg(fromStd(text)));
    return std::nullopt;
}

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
        int status = 0;
        const std::optional<int> device = deviceNumber(ctx, m_device, &status);
        if (!device) return status;
        try {
            const QString token = cradle::CradleTokens().issue(*device, m_renew);
            ctx.out << token << '\n';
            ctx.err << "Device " << *device << "'s token for kvcradle; it is shown only this once.\n";
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

// The link (and its QR code) that pairs a phone's kvmovil with device N: it carries a new token.
class CradlePair : public Command {
public:
    QStringList words() const override { return {QStringLiteral("cradle"), QStringLiteral("pair")}; }
    QString summary() const override {
        return QStringLiteral("print the link that pairs a phone with device N, and its QR code: it makes the "
                              "device's token (a device that has one needs --renew, and a phone paired before "
                              "asks to be paired again)");
    }
    void define(CLI::App& command) override {
        argument(command, "N", m_device, "the device number, from 1")->required();
        command.add_option("--url", m_url, "the cradle's address as the phones reach it (default: the settings "
                                           "file's General/CradleUrl, else http://127.0.0.1:8790)")
            ->type_name("URL");
        command.add_flag("--renew", m_renew, "replace the device's token; the old one stops working at once");
    }
    int execute(Context& ctx) override {
        int status = 0;
        const std::optional<int> device = deviceNumber(ctx, m_device, &status);
        if (!device) return status;
        const QString url = m_url.empty() ? cradle::configuredCradleUrl() : fromStd(m_url).trimmed();
        const QUrl parsed(url, QUrl::StrictMode);
        if (!parsed.isValid() || (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")) ||
            parsed.host().isEmpty() || parsed.hasQuery() || parsed.hasFragment())
            return ctx.usage(QStringLiteral("--url needs an address such as https://cradle.local:8790, not \"%1\"").arg(url));
        QString link;
        try {
            link = cradle::newPairingLink(*device, m_renew, url);
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl cradle pair: " << e.description() << '\n';
            return exitcode::Failed;
        }
        ctx.out << link << '\n' << cradle::terminalQr(cradle::qrCode(link), ::isatty(STDOUT_FILENO) == 1);
        ctx.err << "Open the link on device " << *device << "'s phone, or scan the code; it carries the device's "
                   "token, shown only this once.\n";
        return exitcode::Done;
    }

private:
    std::string m_device;
    std::string m_url;
    bool m_renew = false;
};

class CradleStatus : public Command {
public:
    QStringList words() const override { return {QStringLiteral("cradle"), QStringLiteral("status")}; }
    QString summary() const override {
        return QStringLiteral("kvcradle's GET /status (the settings file's General/CradleUrl, else "
                              "http://127.0.0.1:8790)");
    }
    void define(CLI::App& command) override {
        command.add_option("--url", m_url, "the cradle's address instead of the settings file's")->type_name("URL");
    }
    int execute(Context& ctx) override {
        if (!m_url.empty() && !isCradleAddress(fromStd(m_url)))
            return ctx.usage(QStringLiteral("--url takes the cradle's address, http://HOST:PORT or https://HOST:PORT, "
                                            "not \"%1\"")
                                 .arg(fromStd(m_url)));
        const QString url = m_url.empty() ? cradle::configuredCradleUrl() : fromStd(m_url);
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
    list.push_back(std::make_unique<CradlePair>());
    list.push_back(std::make_unique<CradleStatus>());
    return list;
}

} // namespace kv::cli
