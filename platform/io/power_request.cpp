#include "platform/io/power_request.h"

#include "platform/io/irp.h"
#include "platform/io/request_send.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/test_checks.h"

#include <mutex>
#include <new>

namespace io {
namespace {

constexpr kernel::PoolTag powerTag = kernel::poolTag("PoRq");

struct PowerHost {
    PowerRequestRoutine routine = nullptr;
    void* context = nullptr;
};

struct InstalledHost {
    std::mutex lock;
    PowerHost host;

    static InstalledHost& instance() {
        static InstalledHost* installed = new InstalledHost;
        return *installed;
    }
};

// What the driver asked, kept until its request completes.
struct PowerRequest {
    DeviceObject* device; // referenced
    DevicePowerState state;
    PowerCompletion completion;
    void* context;
};

kernel::NTSTATUS toHost(void* host, DeviceObject* device, Irp* irp) {
    const auto* installed = static_cast<const PowerHost*>(host);
    return installed->routine(installed->context, device, irp);
}

void powerDone(Irp* irp, void* context) {
    auto* request = static_cast<PowerRequest*>(context);
    const IoStatusBlock outcome = irp->ioStatus;
    freeIrp(irp);
    request->completion(request->device, minorPower::SetPower, request->state, request->context,
                        outcome);
    dereferenceDevice(request->device);
    kernel::freePoolWithTag(request, powerTag);
}

const kernel::TestCheckRegistrar
    hostCheck({"power request routine", [] { setPowerRequestRoutine(nullptr, nullptr); }, nullptr});

} // namespace

void setPowerRequestRoutine(PowerRequestRoutine routine, void* hostContext) {
    InstalledHost& installed = InstalledHost::instance();
    std::lock_guard guard(installed.lock);
    installed.host = {routine, hostContext};
}

kernel::NTSTATUS requestDevicePowerState(DeviceObject* device, DevicePowerState state,
                                         PowerCompletion completion, void* context) {
    if (!kernel::requireIrql(kernel::Irql::Dispatch, "power request"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (device == nullptr || completion == nullptr || state < DevicePowerState::D0 ||
        state > DevicePowerState::D3)
        return kernel::STATUS_INVALID_PARAMETER;
    PowerHost host;
    {
        InstalledHost& installed = InstalledHost::instance();
        std::lock_guard guard(installed.lock);
        host = installed.host;
    }
    if (host.routine == nullptr) return kernel::STATUS_NOT_SUPPORTED;

    // The request travels from the top of the device's stack, with one
    // location more for the host.
    DeviceObject* top = getAttachedDeviceReference(device);
    const int stackSize = top->stackSize() + 1;
    dereferenceDevice(top);
    Irp* irp = stackSize <= INT8_MAX ? allocateIrp(static_cast<std::int8_t>(stackSize)) : nullptr;
    void* block = irp != nullptr ? kernel::allocatePool(kernel::PoolType::NonPagedNx,
                                                        sizeof(PowerRequest), powerTag)
                                 : nullptr;
    if (block == nullptr) {
        if (irp != nullptr) freeIrp(irp);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    referenceDevice(device);
    auto* request = new (block) PowerRequest{device, state, completion, context};
    irp->ioStatus = {kernel::STATUS_NOT_SUPPORTED, 0};
    IoStackLocation* next = nextStackLocation(irp);
    next->majorFunction = major::Power;
    next->minorFunction = minorPower::SetPower;
    next->parameters.power = {PowerStateType::Device, state};
    setTopCompletion(irp, powerDone, request);
    sendRequest(device, irp, toHost, &host, CompletedDuringCall::GoOnLater);
    return kernel::STATUS_PENDING;
}

} // namespace io
