// The settings file: whatever bytes the file holds (another workstation's encoding, an editor's
// slip, a broken disk).
#include "app/IniFile.h"
#include "app/RunTimeError.h"
#include "app/TextDecoding.h"
#include "FuzzSupport.h"

#include <QStringList>

using namespace kv;

namespace {

// Every section and key name the text could hold, as the reader would cut them out.
QList<QPair<QString, QString>> candidateNames(const QString& text) {
    QList<QPair<QString, QString>> names;
    QString section;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            section = t.mid(1, t.indexOf(QLatin1Char(']')) - 1);
            continue;
        }
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq > 0) names.append({section, t.left(eq)});
        if (names.size() > 64) break;
    }
    return names;
}

} // namespace

// Input: the file's bytes; after a NUL byte, "section\x01key\x01value" to write into it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [fileBytes, writeBytes] = fuzz::split(fuzz::bytes(data, size));
    const QByteArrayView file =
        writeBytes.isEmpty() || fileBytes.isEmpty() ? fuzz::bytes(data, size) : fileBytes;
    IniDocument doc = IniDocument::parse(file);

    // A file rewritten reads back the same: a write never changes the other settings.
    const QByteArray written = doc.toUtf8();
    const IniDocument again = IniDocument::parse(written);
    for (const auto& [section, key] : candidateNames(decodeText(file)))
        KV_FUZZ_CHECK(doc.value(section, key) == again.value(section, key), "a rewrite keeps every value");
    KV_FUZZ_CHECK(again.toUtf8() == written, "a second rewrite changes nothing");

    if (fileBytes.isEmpty() || writeBytes.isEmpty()) return 0;
    const QStringList parts = QString::fromUtf8(writeBytes).split(QChar(1));
    if (parts.size() != 3) return 0;
    try {
        doc.setValue(parts[0], parts[1], parts[2]);
    } catch (const RunTimeError&) {
        return 0; // refused: names or a value the layout cannot hold
    }
    KV_FUZZ_CHECK(doc.value(parts[0], parts[1]) == parts[2], "a value written is read back");
    const IniDocument reread = IniDocument::parse(doc.toUtf8());
    KV_FUZZ_CHECK(reread.value(parts[0], parts[1]) == parts[2], "a value written is read back from the file");
    return 0;
}
