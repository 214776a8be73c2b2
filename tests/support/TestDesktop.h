#pragma once

#include <QString>
#include <sys/types.h>

namespace kv::test {

// An X server of the test's own (Xvfb, on a display number it picks itself) with a real window
// manager (openbox), so placement, decorations and maximising are those a person gets. Both are
// stopped when the object goes. ./test installs the packages (scripts/deps.sh).
class TestDesktop {
public:
    explicit TestDesktop(int width = 1280, int height = 900);
    ~TestDesktop();
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;

    bool available() const { return m_display >= 0; }
    QString display() const { return QStringLiteral(":%1").arg(m_display); }
    // Why it could not start, when it did not.
    const QString& failure() const { return m_failure; }

private:
    bool startServer(int width, int height);
    bool startWindowManager();
    void stop(pid_t& pid);

    pid_t m_server = -1;
    pid_t m_manager = -1;
    int m_display = -1;
    QString m_readyFile;
    QString m_failure;
};

} // namespace kv::test
