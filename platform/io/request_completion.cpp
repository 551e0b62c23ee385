// Sending requests down a device stack and completing them: completion
// climbs the locations, and stops where a call that sent the request has not
// returned yet, so that a sender's completion routine never runs inside its
// own call; the call, once it returns, has the rest run by the request's
// deferred procedure call (or, for the platform's own senders, right there).
#include "platform/io/irp.h"
#include "platform/io/irp_access.h"
#include "platform/io/request_send.h"
#include "platform/kernel/check.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/test_checks.h"

#include <string>

namespace io {
namespace {

std::size_t inFlightCount = 0; // under the request lock
std::size_t inFlightAtTestStart = 0;

bool atMostDispatch(const char* what) { return kernel::requireIrql(kernel::Irql::Dispatch, what); }

bool routineRuns(IoStackLocation& left, const Irp& irp) {
    const std::uint8_t control = IrpAccess::control(left);
    if (IrpAccess::completionRoutine(left) == nullptr) return false;
    if (irp.cancelled() && (control & IrpAccess::invokeOnCancel) != 0) return true;
    return (control & (kernel::succeeded(irp.ioStatus.status) ? IrpAccess::invokeOnSuccess
                                                              : IrpAccess::invokeOnError)) != 0;
}

// Climbs from the current location, with completion under way, until a
// routine keeps the request, a call still in progress holds it, or it leaves
// its top.
void climb(Irp& irp) {
    std::unique_lock lock(requestLock());
    for (;;) {
        const int at = IrpAccess::current(irp);
        if (at >= irp.stackCount()) break;
        IoStackLocation& left = IrpAccess::location(irp, at);
        if (IrpAccess::callsInProgress(left) > 0) {
            IrpAccess::parkedAt(irp) = static_cast<std::int8_t>(at);
            return;
        }
        IrpAccess::current(irp) = static_cast<std::int8_t>(at + 1);
        const bool pending = (IrpAccess::control(left) & IrpAccess::pendingMarked) != 0;
        IrpAccess::pendingReturned(irp) = pending;
        const CompletionRoutine routine =
            routineRuns(left, irp) ? IrpAccess::completionRoutine(left) : nullptr;
        void* const context = IrpAccess::completionContext(left);
        IoStackLocation* const above =
            at + 1 < irp.stackCount() ? &IrpAccess::location(irp, at + 1) : nullptr;
        left = IoStackLocation{};
        if (routine == nullptr) {
            if (pending && above != nullptr) IrpAccess::control(*above) |= IrpAccess::pendingMarked;
            continue;
        }
        // The routine has the request while it runs: it may send it again,
        // reuse, free or complete it, and then keeps it.
        IrpAccess::completing(irp) = false;
        setInFlight(irp, false);
        lock.unlock();
        const kernel::NTSTATUS kept =
            routine(above != nullptr ? above->deviceObject : nullptr, &irp, context);
        if (kept == kernel::STATUS_MORE_PROCESSING_REQUIRED) return;
        lock.lock();
        IrpAccess::completing(irp) = true;
        setInFlight(irp, true);
    }
    IrpAccess::completing(irp) = false;
    setInFlight(irp, false);
    const TopCompletion top = IrpAccess::topCompletion(irp);
    void* const topContext = IrpAccess::topContext(irp);
    lock.unlock();
    if (top != nullptr)
        top(&irp, topContext);
    else
        kernel::failCheck("request completed past its top with no completion routine keeping it");
}

std::string requestsLeftPending() {
    const std::size_t now = requestsInFlight();
    if (now <= inFlightAtTestStart) return {};
    return std::to_string(now - inFlightAtTestStart) + " I/O request(s) still pending";
}

const kernel::TestCheckRegistrar requestsCheck({"I/O requests",
                                                [] { inFlightAtTestStart = requestsInFlight(); },
                                                requestsLeftPending});

} // namespace

std::mutex& requestLock() {
    static std::mutex* lock = new std::mutex; // completions may run while the program ends
    return *lock;
}

void setInFlight(Irp& irp, bool inFlight) {
    if (IrpAccess::inFlight(irp) == inFlight) return;
    IrpAccess::inFlight(irp) = inFlight;
    if (inFlight)
        ++inFlightCount;
    else
        --inFlightCount;
}

std::size_t requestsInFlight() {
    std::lock_guard guard(requestLock());
    return inFlightCount;
}

void continueCompletion(kernel::Dpc&, void* irp, void*, void*) { climb(*static_cast<Irp*>(irp)); }

void setTopCompletion(Irp* irp, TopCompletion completion, void* context) {
    std::lock_guard guard(requestLock());
    IrpAccess::topCompletion(*irp) = completion;
    IrpAccess::topContext(*irp) = context;
}

kernel::NTSTATUS sendRequest(DeviceObject* device, Irp* irp, SendRoutine routine, void* context,
                             CompletedDuringCall completed, bool* finished) {
    if (finished != nullptr) *finished = false;
    if (!atMostDispatch("request send")) return kernel::STATUS_UNSUCCESSFUL;
    if (device == nullptr || irp == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::unique_lock lock(requestLock());
    const int at = IrpAccess::current(*irp) - 1;
    if (IrpAccess::completing(*irp)) {
        lock.unlock();
        kernel::failCheck("request sent while it is being completed");
        return kernel::STATUS_INVALID_PARAMETER;
    }
    if (at < 0) {
        lock.unlock();
        kernel::failCheck("request sent with no stack location left");
        return kernel::STATUS_INVALID_PARAMETER;
    }
    IrpAccess::current(*irp) = static_cast<std::int8_t>(at);
    IoStackLocation& location = IrpAccess::location(*irp, at);
    location.deviceObject = device;
    ++IrpAccess::callsInProgress(location);
    setInFlight(*irp, true);
    lock.unlock();

    const kernel::NTSTATUS status = routine(context, device, irp);

    // Completion cannot climb past this location while the call is in
    // progress, so the request is still there to look at.
    lock.lock();
    const bool completedHere = IrpAccess::parkedAt(*irp) == at;
    const bool goOn = --IrpAccess::callsInProgress(location) == 0 && completedHere;
    if (goOn) IrpAccess::parkedAt(*irp) = -1;
    lock.unlock();
    if (!completedHere && status != kernel::STATUS_PENDING)
        kernel::failCheck("dispatch routine returned without completing the request or "
                          "returning STATUS_PENDING");
    if (!goOn) return completedHere ? kernel::STATUS_PENDING : status;
    if (completed == CompletedDuringCall::FinishHere) {
        climb(*irp);
        if (finished != nullptr) *finished = true;
        return status;
    }
    kernel::queueDpc(IrpAccess::completionDpc(*irp), nullptr, nullptr);
    return kernel::STATUS_PENDING;
}

kernel::NTSTATUS dispatchToDriver(void*, DeviceObject* device, Irp* irp) {
    const std::uint8_t function = currentStackLocation(irp)->majorFunction;
    const DispatchRoutine routine =
        function < major::count ? device->driver()->majorFunction[function] : nullptr;
    if (routine != nullptr) return routine(device, irp);
    irp->ioStatus = {kernel::STATUS_INVALID_DEVICE_REQUEST, 0};
    completeRequest(irp);
    return kernel::STATUS_INVALID_DEVICE_REQUEST;
}

kernel::NTSTATUS callDriver(DeviceObject* device, Irp* irp) {
    return sendRequest(device, irp, dispatchToDriver, nullptr, CompletedDuringCall::GoOnLater);
}

void completeRequest(Irp* irp) {
    if (!atMostDispatch("request completion")) return;
    if (IrpAccess::cancelRoutine(*irp).exchange(nullptr) != nullptr)
        kernel::failCheck("request completed with its cancel routine still set");
    {
        std::lock_guard guard(requestLock());
        if (!kernel::check(!IrpAccess::completing(*irp), "request completed twice")) return;
        IrpAccess::completing(*irp) = true;
    }
    climb(*irp);
}

} // namespace io
