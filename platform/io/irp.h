// I/O requests. A request carries one stack location for each device it
// passes on its way down a device stack. A sender fills the next location
// (function, parameters, file object), may set a completion routine there,
// and sends the request with callDriver, which makes that location the
// current one of the device it goes to and calls that device driver's
// dispatch routine. Whoever ends the request completes it; completion climbs
// back up the locations, running each sender's completion routine in turn,
// until a routine keeps the request ("more processing required") or the
// request leaves its top.
//
// A sender's completion routine never runs inside the call that sent the
// request. When the device below completes the request before that call has
// returned, completion stops there and goes on, once the call has returned,
// in a deferred procedure call: under a manual clock the next settle (or
// advance, or DPC flush) runs it, so a test knows when. The call then returns
// STATUS_PENDING: the outcome arrives with the completion routine.
#pragma once

#include "platform/io/device_capabilities.h"
#include "platform/io/device_object.h"
#include "platform/io/io_status_block.h"
#include "platform/io/pnp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/status.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace io {

class FileObject;

// Runs when completion leaves the location the routine was set in. device
// is the sender's (the device of the location above; null at the top).
// STATUS_MORE_PROCESSING_REQUIRED keeps the request with the sender, who may
// reuse it, free it or complete it again later; any other status lets
// completion climb on.
using CompletionRoutine = kernel::NTSTATUS (*)(DeviceObject* device, Irp* irp, void* context);

// Runs at dispatch level when the request is cancelled while it holds the
// routine; it must complete the request (normally with STATUS_CANCELLED).
using CancelRoutine = void (*)(DeviceObject* device, Irp* irp);

struct IoStackLocation {
    std::uint8_t majorFunction = 0;
    std::uint8_t minorFunction = 0;
    DeviceObject* deviceObject = nullptr; // the device the location was sent to
    FileObject* fileObject = nullptr;
    union Parameters {
        struct DeviceIoControl {
            std::uint32_t outputBufferLength;
            std::uint32_t inputBufferLength;
            std::uint32_t ioControlCode;
            void* type3InputBuffer;
        } deviceIoControl;
        struct Power {
            PowerStateType type;
            DevicePowerState state; // for type Device
        } power;
        struct StartDevice { // minorPnp::StartDevice
            const ResourceList* allocatedResources;
            const ResourceList* allocatedResourcesTranslated;
        } startDevice;
        struct QueryInterface { // minorPnp::QueryInterface
            const kernel::Guid* interfaceType;
            std::uint16_t size; // bytes of the caller's interface buffer
            std::uint16_t version;
            InterfaceHeader* interface;
            void* interfaceSpecificData;
        } queryInterface;
        struct DeviceCapabilities { // minorPnp::QueryCapabilities
            io::DeviceCapabilities* capabilities;
        } deviceCapabilities;
        struct Others {
            void* argument1;
            void* argument2;
            void* argument3;
            void* argument4;
        } others;
    } parameters{};

private:
    friend struct IrpAccess;
    CompletionRoutine completionRoutine_ = nullptr;
    void* completionContext_ = nullptr;
    std::uint8_t control_ = 0; // when the routine runs; pending returned
    int callsInProgress_ = 0;  // calls that sent the request here and have not returned
};

// Runs when completion leaves the top of a request that one of the
// platform's own senders (user-mode I/O, power requests) made; it owns the
// request from then on.
using TopCompletion = void (*)(Irp* irp, void* context);

class Irp {
public:
    IoStatusBlock ioStatus;
    // Buffered I/O: one block holding the input on the way down and the
    // output on the way back.
    void* systemBuffer = nullptr;

    std::int8_t stackCount() const { return stackCount_; }
    // Set once cancelIrp was called, until the request is reused.
    bool cancelled() const { return cancel_.load(); }
    // In a completion routine: whether the device below returned STATUS_PENDING
    // (marked the request pending) for it.
    bool pendingReturned() const { return pendingReturned_; }

    Irp(const Irp&) = delete;
    Irp& operator=(const Irp&) = delete;

private:
    friend struct IrpAccess;
    explicit Irp(std::int8_t stackCount);
    ~Irp() = default;

    IoStackLocation* locations_ = nullptr; // stackCount_ of them, after the request in its block
    const std::int8_t stackCount_;
    std::int8_t current_; // index of the current location; stackCount_ before sending
    bool pendingReturned_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<CancelRoutine> cancelRoutine_{nullptr};
    // under the request lock
    bool inFlight_ = false;     // sent and not yet back with its owner
    bool completing_ = false;   // completion under way (and not in a routine)
    std::int8_t parkedAt_ = -1; // where completion waits for a call to return
    TopCompletion topCompletion_ = nullptr;
    void* topContext_ = nullptr;
    kernel::Dpc completionDpc_;
};

// A request with stackSize locations (normally the target device's
// stackSize()), in non-paged pool. Null when the pool refuses it or the size
// is not 1 to 127. Up to dispatch level.
Irp* allocateIrp(std::int8_t stackSize);

// Freeing a request that is still in flight fails a check and frees nothing.
// Up to dispatch level.
void freeIrp(Irp* irp);

// Makes a request that is back with its owner new again for another send:
// no current location, no routines, not cancelled, ioStatus {status, 0}.
// Up to dispatch level; a request in flight fails a check and is left alone.
void reuseIrp(Irp* irp, kernel::NTSTATUS status);

// The location of the device that has the request; null before it is sent.
IoStackLocation* currentStackLocation(Irp* irp);
// The location the next send uses; null when none is left.
IoStackLocation* nextStackLocation(Irp* irp);

// To pass a received request down: copy the current location's function,
// parameters and file object to the next one (without its completion
// routine), or skip, so that the next send reuses the current location as
// it is, completion routine included.
void copyCurrentStackLocationToNext(Irp* irp);
void skipCurrentStackLocation(Irp* irp);

// Sets the routine in the next location: it runs when completion leaves
// that location with a success status (onSuccess), an error or warning
// (onError), or once the request was cancelled (onCancel).
void setCompletionRoutine(Irp* irp, CompletionRoutine routine, void* context, bool onSuccess,
                          bool onError, bool onCancel);

// For a dispatch routine that returns STATUS_PENDING: marks its location, so
// the sender's routine sees pendingReturned().
void markPending(Irp* irp);

// Sends the request to device: the next location becomes current and the
// driver's dispatch routine for its major function runs (a driver without
// one completes it with STATUS_INVALID_DEVICE_REQUEST). Returns the dispatch
// routine's status, or STATUS_PENDING when the request completed during the
// call (its completion goes on later, see above). A request without a
// location left fails a check and is not sent (STATUS_INVALID_PARAMETER).
// Up to dispatch level.
kernel::NTSTATUS callDriver(DeviceObject* device, Irp* irp);

// Completes the request with its ioStatus: completion climbs from the
// current location. Completing a request twice, or with a cancel routine
// still set, fails a check. Up to dispatch level.
void completeRequest(Irp* irp);

// Sets the routine that cancelIrp calls; returns the one set before. A
// driver completing a request it made cancellable first takes its routine
// back (null); when that returns null, a cancel has the request and will
// complete it. Up to dispatch level.
CancelRoutine setCancelRoutine(Irp* irp, CancelRoutine routine);

// Marks the request cancelled and, when it holds a cancel routine, takes it
// and runs it at dispatch level. Returns whether a routine ran. Only the
// request's owner (or the sender while it waits for its completion routine)
// may cancel it. Up to dispatch level.
bool cancelIrp(Irp* irp);

// Requests sent and not yet back with their owner.
std::size_t requestsInFlight();

} // namespace io
