// Reference-counted kernel objects (threads, callback objects). They live in
// the pool under their own tags, so a reference that is never given back
// shows in the pool ledger like any other leak.
#pragma once

#include <cstdint>

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
// Dropping the last reference destroys the object and frees its pool block.
void dereferenceObject(Object& object);
// Takes a reference unless the last one is already gone (for name lookups).
bool referenceObjectIfAlive(Object& object);

} // namespace kernel
