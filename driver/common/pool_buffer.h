// A block of pool memory owned for a scope or by an object: freed by the
// destructor under the tag it was taken with. Empty when the pool refused it.
#pragma once

#include "platform/kernel/pool.h"

#include <cstddef>
#include <utility>

class CPoolBuffer {
public:
    CPoolBuffer() = default;
    CPoolBuffer(kernel::PoolType poolType, std::size_t bytes, kernel::PoolTag tag)
        : m_pBlock(kernel::allocatePool(poolType, bytes, tag)), m_Tag(tag),
          m_Bytes(m_pBlock != nullptr ? bytes : 0) {}
    ~CPoolBuffer() {
        if (m_pBlock != nullptr) kernel::freePoolWithTag(m_pBlock, m_Tag);
    }
    CPoolBuffer(CPoolBuffer&& other) noexcept
        : m_pBlock(std::exchange(other.m_pBlock, nullptr)), m_Tag(other.m_Tag),
          m_Bytes(std::exchange(other.m_Bytes, 0)) {}
    CPoolBuffer& operator=(CPoolBuffer&& other) noexcept {
        std::swap(m_pBlock, other.m_pBlock);
        std::swap(m_Tag, other.m_Tag);
        std::swap(m_Bytes, other.m_Bytes);
        return *this;
    }

    bool IsValid() const { return m_pBlock != nullptr; }
    std::size_t Size() const { return m_Bytes; }
    template <class T = void> T* Get() const { return static_cast<T*>(m_pBlock); }

private:
    void* m_pBlock = nullptr;
    kernel::PoolTag m_Tag = 0;
    std::size_t m_Bytes = 0;
};
