#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace shop {

// Lets one copy of the program run per program folder. The lock file holds
// the owner's process id, so a lock left by a copy that crashed is taken
// over instead of blocking every later start.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath);
    ~SingleInstance();

    // True when this copy now holds the lock (or already held it).
    bool acquire();
    bool held() const { return held_; }
    QString path() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

} // namespace shop
