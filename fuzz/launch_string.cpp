// The launch string: any text a calling program (or a person typing --launch) may pass.
#include "app/LaunchString.h"
#include "FuzzSupport.h"

using namespace kv;

namespace {

void checkValue(const QString& v) {
    KV_FUZZ_CHECK(!v.contains(QLatin1Char('=')), "a value never holds \"=\"");
    KV_FUZZ_CHECK(!v.contains(QLatin1Char(';')), "a value ends before the next \";\"");
    KV_FUZZ_CHECK(v == v.trimmed(), "a value is trimmed");
}

} // namespace

// Input: an optional key, a NUL byte, the launch string (without a NUL: the launch string alone).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [keyBytes, textBytes] = fuzz::split(fuzz::bytes(data, size));
    const QString text = QString::fromUtf8(textBytes);
    const LaunchValues v = readLaunchString(text);
    for (const QString* s : {&v.server, &v.dbName, &v.user, &v.password, &v.caja, &v.motor})
        checkValue(*s);
    NormalizarServidor(v.server);

    const QString absent = QStringLiteral("<absent>");
    if (!keyBytes.isEmpty()) {
        const QString found = launchValue(text, QString::fromUtf8(keyBytes), absent);
        if (found != absent) checkValue(found);
    }

    // What this program writes to start another is read back with the same values.
    const LaunchContext c{v.server, v.dbName, v.user, v.password, QStringLiteral("jefe"), v.caja, QString()};
    const LaunchValues back = readLaunchString(buildLaunchString(c, QStringLiteral("X")));
    KV_FUZZ_CHECK(back.server == v.server, "the server comes back");
    KV_FUZZ_CHECK(back.dbName == v.dbName, "the database comes back");
    KV_FUZZ_CHECK(back.user == v.user, "the user comes back");
    KV_FUZZ_CHECK(back.password == v.password, "the password comes back");
    KV_FUZZ_CHECK(back.caja == v.caja, "the cash register comes back");
    return 0;
}
