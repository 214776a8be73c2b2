// The column-widths file of the lookup lists, and the sizes computed from what it holds.
#include "FuzzSupport.h"
#include "lookup/LookupLayout.h"

using namespace kv;

// Input: one byte for the number of columns, the table name, a NUL byte, the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int columns = data[0] % 40;
    const auto [tableBytes, file] = fuzz::split(fuzz::bytes(data + 1, size - 1));
    const QString table =
        tableBytes.isEmpty() ? QStringLiteral("VT_CLIENTES") : QString::fromUtf8(tableBytes);
    const QList<std::optional<double>> widths = columnWidthsOf(file, table, columns);
    KV_FUZZ_CHECK(widths.size() == columns, "one width per column");
    QList<double> used;
    for (const auto& w : widths)
        used << w.value_or(1200);
    lookupSizes(used, 15360);
    return 0;
}
