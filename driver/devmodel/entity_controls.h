// Creating an entity's control items: each takes the next node id (the
// HAL's child count), is bound to its entity, and joins the HAL's child list
// and the entity's item list, which then hold it.
#pragma once

#include "driver/common/object_model.h"
#include "driver/devmodel/uac_entity.h"

#include <utility>

template <class Control, class Bind, class... Args>
kernel::NTSTATUS AddEntityControl(CUacEntity& entity, CAudioHal& hal, kernel::PoolTag tag,
                                  Bind bind, Args&&... args) {
    Control* control = nullptr;
    kernel::NTSTATUS status =
        CreateDriverObject<Control>(&control, nullptr, kernel::PoolType::NonPagedNx, tag,
                                    hal.GetChildCount(), std::forward<Args>(args)...);
    if (!kernel::succeeded(status)) return status;
    status = bind(*control);
    if (kernel::succeeded(status)) status = hal.AddChildObject(control);
    if (kernel::succeeded(status)) status = entity.AddItem(control);
    control->NonDelegatingRelease();
    return status;
}
