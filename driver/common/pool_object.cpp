#include "driver/common/pool_object.h"

#include <cstring>

void* CPoolObject::operator new(std::size_t size, kernel::PoolType poolType,
                                kernel::PoolTag tag) noexcept {
    void* block = kernel::allocatePool(poolType, size, tag);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}

void CPoolObject::operator delete(void* block) noexcept {
    if (block != nullptr) kernel::freePool(block);
}

void CPoolObject::operator delete(void* block, kernel::PoolType, kernel::PoolTag) noexcept {
    operator delete(block);
}
