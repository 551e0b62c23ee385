// Registration on a component's callback object, as the HAL and the stream
// engines offer it to their listeners.
#pragma once

#include "platform/kernel/callback_object.h"
#include "platform/kernel/status.h"

// The handle of a new registration on the object: STATUS_INVALID_PARAMETER
// without a function or a handle, STATUS_UNSUCCESSFUL without an object or
// when the registration is refused (the handle is null then).
inline kernel::NTSTATUS RegisterOnCallbackObject(kernel::CallbackObject* object,
                                                 kernel::CallbackFunction function, void* context,
                                                 kernel::CallbackRegistration** handle) {
    if (handle == nullptr || function == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *handle = nullptr;
    if (object == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *handle = kernel::registerCallback(*object, function, context);
    return *handle != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

// Null is ignored; always STATUS_SUCCESS.
inline kernel::NTSTATUS UnregisterFromCallbackObject(kernel::CallbackRegistration* handle) {
    if (handle != nullptr) kernel::unregisterCallback(handle);
    return kernel::STATUS_SUCCESS;
}
