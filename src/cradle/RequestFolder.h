#pragma once

#include <memory>
#include <QString>

class QTemporaryDir;

namespace kv::cradle {

// An owner-only folder for one request's files (the uploaded handheld, the journals SQLite writes
// beside it, the answer), under the temporary folder and named for this process
// ("kvcradle-PID-XXXXXX"), removed with everything in it when the folder object goes.
class RequestFolder {
public:
    RequestFolder();
    ~RequestFolder();
    RequestFolder(const RequestFolder&) = delete;
    RequestFolder& operator=(const RequestFolder&) = delete;

    bool isValid() const;
    QString errorString() const;
    QString filePath(const QString& name) const;

    // Removes the folders that a cradle which is gone (killed, the machine stopped) left behind;
    // another running cradle's folders stay. The number removed.
    static int removeAbandoned();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

} // namespace kv::cradle
