// A lock over a kernel mutex, embedded by value in its owner (the adapter,
// every stream engine, the vendor effect control, the ASIO state). For the
// passive-level paths only: set-up, power and ASIO requests; the streaming
// path uses spin locks. The mutex is recursive for the thread that holds it.
#pragma once

#include "platform/kernel/mutex.h"

class CMutexLock final {
public:
    CMutexLock() = default;
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

    bool Lock();         // waits without time-out; true
    bool LockShared();   // no shared mode: false
    bool Unlock();       // true
    bool UnlockShared(); // false
    bool TryLock();      // true when the mutex was free or already the caller's
    bool TryUnlock();    // true

private:
    kernel::Mutex m_Mutex;
};

// Holds a CMutexLock for a scope.
class CMutexLockScope {
public:
    explicit CMutexLockScope(CMutexLock& lock) : m_Lock(lock) { m_Lock.Lock(); }
    ~CMutexLockScope() { m_Lock.Unlock(); }
    CMutexLockScope(const CMutexLockScope&) = delete;
    CMutexLockScope& operator=(const CMutexLockScope&) = delete;

private:
    CMutexLock& m_Lock;
};
