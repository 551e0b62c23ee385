// The on/off switching that every effect unit shares. The control side
// (passive level, no lock) raises the changed flag; the next Process takes
// it, starts a fade toward the value in force and performs the whole fade
// in that one block. The unit's lock guards its planes, its effect objects
// and the active value while a block runs; the flag words are changed only
// by atomic exchange or compare-exchange, because the control side touches
// them without the lock.
#pragma once

#include "platform/kernel/irql.h"
#include "platform/kernel/spin_lock.h"

#include <atomic>
#include <cstdint>

enum class EffectFade : std::int32_t {
    idle = 1,
    toWet = 2,
    toDry = 3,
};

class CEffectSwitch {
public:
    kernel::SpinLock& Lock() { return m_Lock; }

    // 0 to 1 only, so a flag raised twice before a block is taken once.
    void RaiseChanged() {
        std::int32_t expected = 0;
        m_lChanged.compare_exchange_strong(expected, 1);
    }
    bool TakeChanged() { return m_lChanged.exchange(0) != 0; }
    bool IsChangePending() const { return m_lChanged.load() != 0; }

    // The value in force; read and changed under the lock.
    std::uint32_t Active() const { return m_ulActive.load(std::memory_order_relaxed); }
    std::uint32_t ExchangeActive(std::uint32_t active) {
        return m_ulActive.exchange(active, std::memory_order_relaxed);
    }

    // A fade toward the set the active value selects.
    void StartFade() {
        m_lFade.store(
            static_cast<std::int32_t>(Active() != 0 ? EffectFade::toWet : EffectFade::toDry));
    }
    EffectFade TakeFade() {
        return static_cast<EffectFade>(
            m_lFade.exchange(static_cast<std::int32_t>(EffectFade::idle)));
    }
    EffectFade Fade() const { return static_cast<EffectFade>(m_lFade.load()); }

private:
    kernel::SpinLock m_Lock;
    std::atomic<std::int32_t> m_lChanged{0};
    std::atomic<std::uint32_t> m_ulActive{0};
    std::atomic<std::int32_t> m_lFade{static_cast<std::int32_t>(EffectFade::idle)};
};

// Holds a unit's lock for a scope with the in-stack queued calls, chosen by
// the level at entry: the stream engine calls at dispatch level, the control
// side at passive level.
class CEffectLockScope {
public:
    explicit CEffectLockScope(kernel::SpinLock& lock)
        : m_Lock(lock), m_bAtDispatch(kernel::currentIrql() >= kernel::Irql::Dispatch) {
        if (m_bAtDispatch)
            m_Lock.acquireAtDispatchLevel();
        else
            m_Handle.acquire(m_Lock);
    }
    ~CEffectLockScope() {
        if (m_bAtDispatch)
            m_Lock.releaseFromDispatchLevel();
        else
            m_Handle.release();
    }
    CEffectLockScope(const CEffectLockScope&) = delete;
    CEffectLockScope& operator=(const CEffectLockScope&) = delete;

private:
    kernel::SpinLock& m_Lock;
    kernel::QueuedSpinLockHandle m_Handle;
    const bool m_bAtDispatch;
};
