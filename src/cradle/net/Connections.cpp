#include "cradle/net/Connections.h"

#include <sys/socket.h>

namespace kv::cradle {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLook = std::chrono::milliseconds(200);
constexpr auto kTick = std::chrono::seconds(1);

} // namespace

Connections::Connections(std::chrono::seconds deadline) : m_deadline(deadline) {}

Connections::~Connections() {
    stopWatchdog();
}

void Connections::add(Connection* c) {
    const std::lock_guard lock(m_mutex);
    c->deadline = Clock::now() + m_deadline;
    m_open.insert(c);
}

void Connections::remove(Connection* c) {
    const std::lock_guard lock(m_mutex);
    m_open.erase(c);
}

void Connections::restartDeadline(Connection* c) {
    const std::lock_guard lock(m_mutex);
    c->deadline = Clock::now() + m_deadline;
}

void Connections::suspend(Connection* c) {
    const std::lock_guard lock(m_mutex);
    c->suspended = true;
}

void Connections::resume(Connection* c) {
    const std::lock_guard lock(m_mutex);
    c->suspended = false;
    c->deadline = Clock::now() + m_deadline;
}

bool Connections::deadlinePassed(Connection* c) {
    const std::lock_guard lock(m_mutex);
    return c->deadlinePassed;
}

std::size_t Connections::size() {
    const std::lock_guard lock(m_mutex);
    return m_open.size();
}

void Connections::startWatchdog(std::function<void()> tick) {
    m_tick = std::move(tick);
    m_stopping = false;
    m_watchdog = std::thread([this] { watch(); });
}

void Connections::stopWatchdog() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_watchdog.joinable()) m_watchdog.join();
}

void Connections::watch() {
    Clock::time_point nextTick = Clock::now() + kTick;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, kLook, [this] { return m_stopping; });
        if (m_stopping) break;
        const Clock::time_point now = Clock::now();
        for (Connection* c : m_open) {
            if (c->suspended || c->deadlinePassed || now < c->deadline) continue;
            if (c->fd < 0) continue;
            c->deadlinePassed = true;
            // The HTTP thread sees the end of the stream and closes the connection itself.
            ::shutdown(c->fd, SHUT_RDWR);
        }
        if (now >= nextTick && m_tick) {
            nextTick = now + kTick;
            lock.unlock();
            m_tick();
            lock.lock();
        }
    }
}

} // namespace kv::cradle
