#pragma once

#include "cradle/CradleService.h"

#include <atomic>
#include <functional>
#include <memory>
#include <QElapsedTimer>
#include <thread>

namespace kv::cradle {

class RequestFolder;
struct Connection;

// One request on a connection, from its request line to the last byte of its answer: its head,
// its body streamed into a file of its own folder (never held in memory), the answer worked out
// on a thread of its own, and what its log line says.
class Exchange {
public:
    Exchange(Connection& connection, QByteArray target);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    Connection& connection;
    const QByteArray target; // the request line's target, as sent
    QElapsedTimer clock;
    CradleHead head;
    bool headRead = false;
    qint64 bodyLimit = 0;
    qint64 bytesIn = 0;
    qint64 bytesOut = 0;
    bool queued = false;                 // the answer has been handed to the connection
    CradleAnswer answer;                 // the one queued
    QString dropReason;                  // why the connection had to be dropped, when it was
    std::optional<CradleAnswer> refusal; // decided on the head

    bool hasBody() const { return head.chunked || head.length.value_or(0) > 0; }
    // Makes the request's folder and the empty body file in it; false with the reason.
    bool openBody(QString* error);
    // Appends a piece of the body; false when it cannot be stored.
    bool writeBody(const char* data, std::size_t size);
    // The body file, closed (empty when the request has none).
    QString closeBody();

    // Runs `work` on a thread of its own, then `ready` on that thread.
    void startAnswer(std::function<CradleAnswer()> work, std::function<void()> ready);
    bool answering() const { return m_worker.joinable(); }
    bool answerReady() const { return m_ready.load(std::memory_order_acquire); }
    // The answer `work` gave, once ready; the thread is joined.
    CradleAnswer takeAnswer();

private:
    std::unique_ptr<RequestFolder> m_folder;
    QString m_bodyPath;
    int m_bodyFd = -1;
    std::thread m_worker;
    std::atomic<bool> m_ready{false};
    CradleAnswer m_worked;
};

} // namespace kv::cradle
