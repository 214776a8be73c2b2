#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <QByteArray>
#include <set>
#include <thread>

namespace kv::cradle {

class Exchange;

// One client connection, from the moment it is accepted until its socket is closed.
struct Connection {
    int fd = -1;
    QByteArray peer;
    bool tls = false;
    std::chrono::steady_clock::time_point opened;
    // Kept by the HTTP thread alone.
    int requests = 0;            // requests begun on it
    Exchange* current = nullptr; // the request under way
    // Guarded by the registry's lock.
    std::chrono::steady_clock::time_point deadline;
    bool suspended = false;      // its answer is being worked out: no deadline runs
    bool deadlinePassed = false; // the watchdog shut it down
};

// The open connections and their watchdog. Each connection has a deadline for sending a whole
// request, and again for taking its answer; the watchdog shuts down the socket of one that
// overruns it, however steadily it drips. A connection leaves the registry under the same lock
// before its descriptor is closed, so the watchdog never touches a descriptor reused since.
class Connections {
public:
    explicit Connections(std::chrono::seconds deadline);
    ~Connections();
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    void add(Connection* connection);
    void remove(Connection* connection);
    // A request may begin (or its answer go out) from now on: the deadline starts again.
    void restartDeadline(Connection* connection);
    void suspend(Connection* connection);
    // The answer is ready: the client has a deadline of its own again to take it.
    void resume(Connection* connection);
    bool deadlinePassed(Connection* connection);
    std::size_t size();

    // Starts the watchdog thread; `tick` runs on it about once a second.
    void startWatchdog(std::function<void()> tick);
    void stopWatchdog();

private:
    void watch();

    const std::chrono::seconds m_deadline;
    std::mutex m_mutex;
    std::set<Connection*> m_open;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::function<void()> m_tick;
    std::thread m_watchdog;
};

} // namespace kv::cradle
