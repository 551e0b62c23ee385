// Named callback objects. A component creates (or opens) one by name, others
// register functions on it, and a notify calls every registered function
// synchronously, in the order of registration, at dispatch level. Unregistering
// waits for a call of that function still in flight, so after it returns the
// function is never called again and its context may go.
#pragma once

#include "platform/kernel/object.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

#include <cstddef>
#include <string>
#include <utility>

namespace kernel {

using CallbackFunction = void (*)(void* context, void* argument1, void* argument2);

struct CallbackRegistration; // the handle a registration returns

class CallbackObject final : public Object {
private:
    friend struct CallbackObjectAccess;
    friend NTSTATUS createCallbackObject(CallbackObject** object, const UnicodeString& name,
                                         bool create, bool allowMultiple);

    CallbackObject(std::u16string key, bool allowMultiple)
        : key_(std::move(key)), allowMultiple_(allowMultiple) {}
    ~CallbackObject() override;

    const std::u16string key_; // upper case; empty for an unnamed object
    const bool allowMultiple_;
    // under the kernel's lock
    CallbackRegistration* first_ = nullptr;
    CallbackRegistration* last_ = nullptr;
};

// Opens the object of that name (names compare without regard to case), or
// creates it when there is none and create is set (STATUS_OBJECT_NAME_NOT_FOUND
// otherwise). allowMultiple applies to a new object: without it, only one
// function may be registered at a time. An empty name creates an unnamed
// object. The caller owns one reference (dereferenceObject); the name stays
// known while the object lives. Passive level only.
NTSTATUS createCallbackObject(CallbackObject** object, const UnicodeString& name, bool create,
                              bool allowMultiple);

// Null when the pool refuses the registration, or when the object takes one
// function only and has it. The registration holds a reference to the object.
// Passive level only.
CallbackRegistration* registerCallback(CallbackObject& object, CallbackFunction function,
                                       void* context);

// Removes the registration and waits for its call in flight, if any (which
// must be below dispatch level, unless it is the function's own call).
void unregisterCallback(CallbackRegistration* registration);

void notifyCallback(CallbackObject& object, void* argument1, void* argument2);

// Registrations made and not yet freed, on every object.
std::size_t callbackRegistrations();

} // namespace kernel
