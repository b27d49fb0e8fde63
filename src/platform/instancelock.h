#pragma once

#include <QString>

namespace vantora {

// A per-user marker that one ordinary instance owns for its lifetime, like a named mutex. It is an
// exclusive advisory lock on a file, so the system releases it when the owner ends in any way: the
// lock of a crashed instance counts as free.
class InstanceLock final
{
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when this process now owns the marker called name.
    bool tryAcquire(const QString &name);

    // The folder for per-user run-time markers: $XDG_RUNTIME_DIR, else the temporary folder.
    static QString runtimeDirectory();
    // A name made per user, e.g. for the local socket beside the lock.
    static QString userScopedName(const QString &name);

private:
    int m_fd = -1;
};

} // namespace vantora
