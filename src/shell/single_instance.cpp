#include "single_instance.h"

namespace shop {

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath), lock_(new QLockFile(lockPath))
{
    // Only a dead owner makes a lock stale, however old it is.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (held_)
        lock_->unlock();
}

bool SingleInstance::acquire()
{
    if (!held_)
        held_ = lock_->tryLock(0);
    return held_;
}

} // namespace shop
