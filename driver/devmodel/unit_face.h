// A feature unit's access interface, found once when a control binds. The
// unit holds its controls in its item list and outlives their use, so the
// control keeps the pointer without a reference.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

template <class Face>
kernel::NTSTATUS FindUnitFace(kernel::IUnknown* unit, const kernel::Guid& id, Face** face) {
    *face = nullptr;
    if (unit == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    void* found = nullptr;
    const kernel::NTSTATUS status = unit->QueryInterface(id, &found);
    if (!kernel::succeeded(status)) return status;
    *face = static_cast<Face*>(found);
    (*face)->Release();
    return kernel::STATUS_SUCCESS;
}
