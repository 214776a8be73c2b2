// The lookup map file: fixed records as another workstation or an editor left them.
#include "app/LookupMapFile.h"
#include "FuzzSupport.h"
#include "lookup/Lib_ClsCons3.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView file = fuzz::bytes(data, size);
    bool partial = false;
    const QList<LookupMapRecord> records = parseLookupMap(file, &partial);
    KV_FUZZ_CHECK(records.size() == qsizetype(size) / LookupMapRecordSize, "every whole record is read");
    KV_FUZZ_CHECK(partial == (size % LookupMapRecordSize != 0), "a cut record is reported");
    for (const LookupMapRecord& r : records) {
        KV_FUZZ_CHECK(r.name.size() == 100 && r.source.size() == 100, "fields keep their widths");
        KV_FUZZ_CHECK(r.columns.size() == 500 && r.extra.size() == 500, "fields keep their widths");
        // A record written back reads the same.
        const QList<LookupMapRecord> back = parseLookupMap(encodeLookupRecord(r));
        KV_FUZZ_CHECK(back.size() == 1, "an encoded record is one record");
        KV_FUZZ_CHECK(back[0].name.trimmed() == r.name.trimmed() && back[0].source == r.source &&
                          back[0].columns.trimmed() == r.columns.trimmed() && back[0].extra == r.extra,
                      "a record written back reads the same");
        statementFromMap(r, 1000);
        findLookupRecord(records, r.source);
    }
    return 0;
}
