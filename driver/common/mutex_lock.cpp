#include "driver/common/mutex_lock.h"

bool CMutexLock::Lock() {
    m_Mutex.acquire(kernel::Timeout::infinite());
    return true;
}

bool CMutexLock::LockShared() { return false; }

bool CMutexLock::Unlock() {
    m_Mutex.release();
    return true;
}

bool CMutexLock::UnlockShared() { return false; }

bool CMutexLock::TryLock() {
    return m_Mutex.acquire(kernel::Duration::zero()) == kernel::STATUS_SUCCESS;
}

bool CMutexLock::TryUnlock() { return Unlock(); }
