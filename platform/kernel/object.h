// Reference-counted kernel objects (threads, callback objects). They live in
// the pool under their own tags, so a reference that is never given back
// shows in the pool ledger like any other leak.
#pragma once

#include "platform/kernel/pool.h"

#include <cstdint>
#include <new>
#include <utility>

namespace kernel {

class Object {
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

protected:
    Object() = default; // one reference, the creator's
    virtual ~Object() = default;

private:
    friend void referenceObject(Object& object);
    friend void dereferenceObject(Object& object);
    friend bool referenceObjectIfAlive(Object& object);
    std::int32_t references_ = 1;
};

void referenceObject(Object& object);
// Dropping the last reference destroys the object and frees its block.
void dereferenceObject(Object& object);
// Takes a reference unless the last one is already gone (for name lookups).
bool referenceObjectIfAlive(Object& object);

namespace detail {

// Constructs a kernel object in a block of its own tag; null when the pool refuses.
template <class T, class... Args> T* newPoolObject(PoolTag tag, Args&&... args) {
    void* block = allocatePool(PoolType::NonPagedNx, sizeof(T), tag);
    if (block == nullptr) return nullptr;
    return new (block) T(std::forward<Args>(args)...);
}

} // namespace detail

} // namespace kernel
