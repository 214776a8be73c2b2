#include "app/TextDecoding.h"

#include <optional>
#include <QStringDecoder>

namespace kv {

namespace {

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

// The UTF-8 reading of the bytes, or nothing when they are not valid UTF-8.
std::optional<QString> utf8(QByteArrayView bytes) {
    // Stateless: a sequence cut off at the end counts as an error instead of waiting for more.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

} // namespace

QString fromWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

std::optional<quint8> toWindows1252(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return quint8(u);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == u) return quint8(0x80 + i);
    return std::nullopt;
}

QByteArray windows1252Bytes(const QString& text, bool* complete) {
    QByteArray bytes;
    bytes.reserve(text.size());
    bool all = true;
    for (const QChar c : text) {
        const auto code = toWindows1252(c);
        all = all && code;
        bytes.append(code ? char(*code) : '?');
    }
    if (complete) *complete = all;
    return bytes;
}

bool isUtf8(QByteArrayView bytes) {
    return utf8(bytes).has_value();
}

std::optional<QStringConverter::Encoding> utf16Mark(QByteArrayView bytes) {
    if (bytes.startsWith("\xFF\xFE")) return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF")) return QStringConverter::Utf16BE;
    return std::nullopt;
}

QString decodeLine(QByteArrayView line) {
    const auto decoded = utf8(line);
    return decoded ? *decoded : fromWindows1252(line);
}

QString decodeText(QByteArrayView bytes) {
    if (const auto utf16 = utf16Mark(bytes)) {
        QStringDecoder decoder(*utf16);
        return decoder.decode(bytes.sliced(2));
    }
    // Every mark at the start: an editor may add one to a file that had one already.
    while (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (auto whole = utf8(bytes)) return *whole;
    // Not UTF-8 as a whole: decide line by line. '\n' never occurs inside a UTF-8 sequence, so
    // cutting there keeps every valid line valid.
    QString text;
    text.reserve(bytes.size());
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        text += decodeLine(bytes.sliced(start, end - start));
        start = end;
    }
    return text;
}

} // namespace kv
