#pragma once

#include <chrono>
#include <list>
#include <map>
#include <optional>
#include <QByteArray>
#include <QList>

namespace kv::cradle {

// Answers sent and awaiting the handheld's confirmation, by id, each with its deadline; and the
// last ones confirmed, so a confirmation repeated after its answer was lost is taken again. Not
// locked: the service that holds it guards it.
template <class Item>
class AwaitingConfirmation {
public:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        qint32 device = 0;
        Clock::time_point deadline;
        Item item;
    };
    static constexpr int kConfirmedKept = 32;

    void add(const QByteArray& id, Entry entry) { m_items[id] = std::move(entry); }
    bool empty() const { return m_items.empty(); }

    // The entry of `id`, taken out, when it is `device`'s.
    std::optional<Entry> take(const QByteArray& id, qint32 device) {
        const auto it = m_items.find(id);
        if (it == m_items.end() || it->second.device != device) return std::nullopt;
        Entry e = std::move(it->second);
        m_items.erase(it);
        return e;
    }

    std::list<std::pair<QByteArray, Entry>> takeOverdue(Clock::time_point now) {
        std::list<std::pair<QByteArray, Entry>> overdue;
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (it->second.deadline <= now) {
                overdue.emplace_back(it->first, std::move(it->second));
                it = m_items.erase(it);
            } else {
                ++it;
            }
        }
        return overdue;
    }

    std::optional<Clock::time_point> nextDeadline() const {
        std::optional<Clock::time_point> next;
        for (const auto& [id, e] : m_items)
            if (!next || e.deadline < *next) next = e.deadline;
        return next;
    }

    // `device` confirmed `id`, and was answered `answer`.
    void confirmed(const QByteArray& id, qint32 device, const QByteArray& answer) {
        m_confirmed.append({id, device, answer});
        while (m_confirmed.size() > kConfirmedKept)
            m_confirmed.removeFirst();
    }
    // What the confirmation answered, when `device` confirmed `id` lately.
    std::optional<QByteArray> confirmedAnswer(const QByteArray& id, qint32 device) const {
        for (const Confirmed& c : m_confirmed)
            if (c.id == id && c.device == device) return c.answer;
        return std::nullopt;
    }

private:
    struct Confirmed {
        QByteArray id;
        qint32 device;
        QByteArray answer;
    };
    std::map<QByteArray, Entry> m_items;
    QList<Confirmed> m_confirmed;
};

} // namespace kv::cradle
