#pragma once

#include <cmath>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <string_view>

namespace kv::erp {

// The sample data's own generator (SplitMix64): the same seed gives the same rows on every
// platform and compiler, which std::rand and the standard distributions do not promise.
// Each entity draws from its own stream (seed, stream name, index), so the rows of one object
// do not change when the size of another one does, and any row can be made on its own.
class Rng {
public:
    Rng(quint64 seed, std::string_view stream, quint64 index = 0) {
        quint64 h = 14695981039346656037ull; // FNV-1a over the stream name
        for (char c : stream)
            h = (h ^ quint8(c)) * 1099511628211ull;
        // Mixed, not added: with state = base + index * step, stream i + 1 would replay stream i
        // one draw later.
        m_state = mix(mix(mix(seed) ^ h) ^ mix(index + 0x632BE59BD9B4E019ull));
    }

    quint64 next() {
        m_state += 0x9E3779B97F4A7C15ull;
        return mix(m_state);
    }
    // 0 <= r < n (n > 0).
    int below(int n) { return int((unsigned __int128)next() * quint64(n) >> 64); }
    // lo <= r <= hi.
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    // 0 <= r < 1, with all 53 bits of a double.
    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    bool chance(double p) { return unit() < p; }
    template <typename T> const T& pick(const QList<T>& list) { return list.at(below(int(list.size()))); }
    // A digit string of the given length.
    QString digits(int count) {
        QString s;
        for (int i = 0; i < count; ++i)
            s += QChar(u'0' + below(10));
        return s;
    }

private:
    static quint64 mix(quint64 z) {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    quint64 m_state;
};

// An amount rounded to cents, as the ERP shows prices.
inline double cents(double amount) {
    return std::round(amount * 100.0) / 100.0;
}

} // namespace kv::erp
