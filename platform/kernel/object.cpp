#include "platform/kernel/object.h"

#include "platform/kernel/check.h"
#include "platform/kernel/interlocked.h"
#include "platform/kernel/pool.h"

namespace kernel {

void referenceObject(Object& object) {
    check(interlockedIncrement(object.references_) > 1, "reference taken on a destroyed object");
}

void dereferenceObject(Object& object) {
    const std::int32_t left = interlockedDecrement(object.references_);
    if (!check(left >= 0, "object dereferenced more often than referenced")) return;
    if (left > 0) return;
    void* block = dynamic_cast<void*>(&object);
    object.~Object();
    freePool(block);
}

bool referenceObjectIfAlive(Object& object) {
    std::int32_t count = interlockedRead(object.references_);
    while (count > 0) {
        const std::int32_t seen = interlockedCompareExchange(object.references_, count + 1, count);
        if (seen == count) return true;
        count = seen;
    }
    return false;
}

} // namespace kernel
