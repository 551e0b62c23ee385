#include "platform/io/irp.h"

#include "platform/io/irp_access.h"
#include "platform/kernel/check.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <new>

namespace io {
namespace {

constexpr kernel::PoolTag irpTag = kernel::poolTag("Irp ");

// The locations follow the request in its pool block.
constexpr std::size_t locationsOffset = (sizeof(Irp) + alignof(IoStackLocation) - 1) /
                                        alignof(IoStackLocation) * alignof(IoStackLocation);

bool atMostDispatch(const char* what) { return kernel::requireIrql(kernel::Irql::Dispatch, what); }

} // namespace

Irp::Irp(std::int8_t stackCount)
    : stackCount_(stackCount), current_(stackCount), completionDpc_(continueCompletion, this) {}

Irp* IrpAccess::make(void* block, std::int8_t stackCount) {
    Irp* irp = new (block) Irp(stackCount);
    auto* locations =
        reinterpret_cast<IoStackLocation*>(static_cast<std::uint8_t*>(block) + locationsOffset);
    for (int i = 0; i < stackCount; ++i) new (&locations[i]) IoStackLocation;
    irp->locations_ = locations;
    return irp;
}

Irp* allocateIrp(std::int8_t stackSize) {
    if (!atMostDispatch("request allocation") || stackSize < 1) return nullptr;
    void* block = kernel::allocatePool(
        kernel::PoolType::NonPagedNx,
        locationsOffset + std::size_t(stackSize) * sizeof(IoStackLocation), irpTag);
    if (block == nullptr) return nullptr;
    return IrpAccess::make(block, stackSize);
}

void freeIrp(Irp* irp) {
    if (!atMostDispatch("request free") || !kernel::check(irp != nullptr, "free of a null request"))
        return;
    {
        std::lock_guard guard(requestLock());
        if (!kernel::check(!busy(*irp), "request freed while in flight")) return;
    }
    IrpAccess::destroy(*irp);
    kernel::freePoolWithTag(irp, irpTag);
}

void reuseIrp(Irp* irp, kernel::NTSTATUS status) {
    if (!atMostDispatch("request reuse")) return;
    std::lock_guard guard(requestLock());
    if (!kernel::check(!busy(*irp), "request reused while in flight")) return;
    for (int i = 0; i < irp->stackCount(); ++i) IrpAccess::location(*irp, i) = IoStackLocation{};
    IrpAccess::current(*irp) = irp->stackCount();
    IrpAccess::pendingReturned(*irp) = false;
    IrpAccess::cancel(*irp) = false;
    IrpAccess::cancelRoutine(*irp) = nullptr;
    IrpAccess::topCompletion(*irp) = nullptr;
    IrpAccess::topContext(*irp) = nullptr;
    irp->ioStatus = {status, 0};
    irp->systemBuffer = nullptr;
}

IoStackLocation* currentStackLocation(Irp* irp) {
    const int at = IrpAccess::current(*irp);
    return at < irp->stackCount() ? &IrpAccess::location(*irp, at) : nullptr;
}

IoStackLocation* nextStackLocation(Irp* irp) {
    const int at = IrpAccess::current(*irp);
    return at > 0 ? &IrpAccess::location(*irp, at - 1) : nullptr;
}

void copyCurrentStackLocationToNext(Irp* irp) {
    IoStackLocation* current = currentStackLocation(irp);
    IoStackLocation* next = nextStackLocation(irp);
    if (!kernel::check(current != nullptr && next != nullptr,
                       "request location copied without a current and a next one"))
        return;
    *next = IoStackLocation{};
    next->majorFunction = current->majorFunction;
    next->minorFunction = current->minorFunction;
    next->fileObject = current->fileObject;
    next->parameters = current->parameters;
}

void skipCurrentStackLocation(Irp* irp) {
    if (!kernel::check(currentStackLocation(irp) != nullptr,
                       "request location skipped before the request was sent"))
        return;
    ++IrpAccess::current(*irp);
}

void setCompletionRoutine(Irp* irp, CompletionRoutine routine, void* context, bool onSuccess,
                          bool onError, bool onCancel) {
    IoStackLocation* next = nextStackLocation(irp);
    if (!kernel::check(next != nullptr, "completion routine set with no location left")) return;
    IrpAccess::completionRoutine(*next) = routine;
    IrpAccess::completionContext(*next) = context;
    IrpAccess::control(*next) = static_cast<std::uint8_t>(
        (onSuccess ? IrpAccess::invokeOnSuccess : 0) | (onError ? IrpAccess::invokeOnError : 0) |
        (onCancel ? IrpAccess::invokeOnCancel : 0));
}

void markPending(Irp* irp) {
    std::lock_guard guard(requestLock()); // completion may read it on another thread
    IoStackLocation* current = currentStackLocation(irp);
    if (!kernel::check(current != nullptr, "request marked pending before it was sent")) return;
    IrpAccess::control(*current) |= IrpAccess::pendingMarked;
}

CancelRoutine setCancelRoutine(Irp* irp, CancelRoutine routine) {
    if (!atMostDispatch("cancel routine setting")) return nullptr;
    return IrpAccess::cancelRoutine(*irp).exchange(routine);
}

bool cancelIrp(Irp* irp) {
    if (!atMostDispatch("request cancel")) return false;
    IrpAccess::cancel(*irp) = true;
    const CancelRoutine routine = IrpAccess::cancelRoutine(*irp).exchange(nullptr);
    if (routine == nullptr) return false;
    DeviceObject* device = nullptr;
    {
        std::lock_guard guard(requestLock());
        if (const IoStackLocation* current = currentStackLocation(irp))
            device = current->deviceObject;
    }
    kernel::IrqlScope atDispatch(kernel::Irql::Dispatch);
    routine(device, irp);
    return true;
}

} // namespace io
