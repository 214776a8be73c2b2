#pragma once

#include <cstdio>
#include <cstdlib>
#include <QByteArrayView>
#include <QString>

// A broken promise of a reader: printed and turned into a crash, so libFuzzer keeps the input.
#define KV_FUZZ_CHECK(condition, what)                                                                       \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "broken: %s (%s)\n", what, #condition);                                     \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace kv::fuzz {

inline QByteArrayView bytes(const uint8_t* data, size_t size) {
    return QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Splits the input at its first NUL byte: a name (or a second text) before it, the text after.
inline std::pair<QByteArrayView, QByteArrayView> split(QByteArrayView in) {
    const qsizetype nul = in.indexOf('\0');
    if (nul < 0) return {QByteArrayView(), in};
    return {in.first(nul), in.sliced(nul + 1)};
}

} // namespace kv::fuzz
