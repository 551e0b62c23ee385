#include "platform/io/user_process.h"

#include "platform/io/device_interface.h"
#include "platform/io/file_object.h"
#include "platform/io/io_control_code.h"
#include "platform/io/irp.h"
#include "platform/io/request_send.h"
#include "platform/io/user_event.h"
#include "platform/io/user_mapping.h"
#include "platform/kernel/check.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/test_checks.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <utility>

namespace io {

struct EventObjectAccess {
    static EventObject* make(void* block, kernel::EventType type, bool signalled) {
        return new (block) EventObject(type, signalled);
    }
};

namespace {

constexpr kernel::PoolTag eventTag = kernel::poolTag("UsEv");
constexpr kernel::PoolTag controlTag = kernel::poolTag("UsIo");
constexpr std::uint32_t handleStep = 4;

struct HandleEntry {
    FileObject* file = nullptr; // referenced
    // set aside at open, so that closing never fails
    Irp* cleanupRequest = nullptr;
    Irp* closeRequest = nullptr;
    EventObject* event = nullptr; // referenced
};

struct PendingControl;

} // namespace

struct UserProcess::State {
    std::map<std::uint32_t, HandleEntry> handles;
    std::set<PendingControl*> pending;
};

namespace {

// A device control request of a process on its way: where its outcome goes.
// The system buffer follows it in its pool block.
struct PendingControl {
    std::set<PendingControl*>* processPending; // the process's list; null once it ended
    void* output;
    std::uint32_t outputLength;
    IoStatusBlock* ioStatus;
    EventObject* event; // referenced, or null
    FileObject* file;   // referenced
};

constexpr std::size_t systemBufferOffset = (sizeof(PendingControl) + 15) / 16 * 16;

// Guards every process's handles and pending requests, and the pending
// requests' way back.
std::mutex& userLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::size_t handlesOpen = 0;                            // under the user lock
std::map<const DeviceObject*, std::size_t> filesOpenOn; // under the user lock
std::size_t handlesAtTestStart = 0;

thread_local UserProcess* threadProcess = nullptr;

// The process is the thread's current one while its request is in a driver.
class CurrentProcessScope {
public:
    explicit CurrentProcessScope(UserProcess* process)
        : previous_(std::exchange(threadProcess, process)) {}
    ~CurrentProcessScope() { threadProcess = previous_; }
    CurrentProcessScope(const CurrentProcessScope&) = delete;
    CurrentProcessScope& operator=(const CurrentProcessScope&) = delete;

private:
    UserProcess* previous_;
};

bool atPassiveLevel(const char* what) { return kernel::requireIrql(kernel::Irql::Passive, what); }

// Sends a request of the process to the file's device; a request completed
// during the call is finished before this returns.
bool sendForProcess(UserProcess* process, Irp* irp, TopCompletion completion, void* context,
                    kernel::NTSTATUS* returned) {
    setTopCompletion(irp, completion, context);
    CurrentProcessScope scope(process);
    bool finished = false;
    IoStackLocation* next = nextStackLocation(irp);
    *returned = sendRequest(next->fileObject->device(), irp, dispatchToDriver, nullptr,
                            CompletedDuringCall::FinishHere, &finished);
    return finished;
}

// A dispatch routine returns the status it completed the request with, or
// STATUS_PENDING (as when it passed the request on).
void expectSameStatus(kernel::NTSTATUS returned, kernel::NTSTATUS completed) {
    kernel::check(returned == completed || returned == kernel::STATUS_PENDING,
                  "dispatch routine returned another status than it completed the request with");
}

void prepare(Irp* irp, std::uint8_t majorFunction, FileObject* file) {
    IoStackLocation* next = nextStackLocation(irp);
    next->majorFunction = majorFunction;
    next->fileObject = file;
}

struct WaitedOutcome {
    kernel::Event done{kernel::EventType::Notification, false};
    kernel::NTSTATUS status = kernel::STATUS_PENDING;
};

void waitedRequestDone(Irp* irp, void* context) {
    auto* outcome = static_cast<WaitedOutcome*>(context);
    outcome->status = irp->ioStatus.status;
    freeIrp(irp);
    outcome->done.set();
}

// Sends a request of the process (a create or a cleanup) and waits for it
// to complete; the request is freed then. Its status.
kernel::NTSTATUS sendAndWait(UserProcess* process, Irp* irp) {
    WaitedOutcome outcome;
    kernel::NTSTATUS returned = kernel::STATUS_PENDING;
    if (sendForProcess(process, irp, waitedRequestDone, &outcome, &returned)) {
        expectSameStatus(returned, outcome.status);
    } else {
        kernel::flushQueuedDpcs(); // a lower device's completion may be waiting for one
        kernel::waitForSingleObject(outcome.done, kernel::Timeout::infinite());
    }
    return outcome.status;
}

void freeRequests(std::initializer_list<Irp*> requests) {
    for (Irp* irp : requests)
        if (irp != nullptr) freeIrp(irp);
}

void closeDone(Irp* irp, void* file) {
    freeIrp(irp);
    kernel::dereferenceObject(*static_cast<FileObject*>(file));
}

void controlDone(Irp* irp, void* context) {
    auto* request = static_cast<PendingControl*>(context);
    const IoStatusBlock result = irp->ioStatus;
    {
        std::lock_guard guard(userLock());
        if (request->processPending != nullptr) {
            request->processPending->erase(request);
            if (!kernel::isError(result.status) && request->outputLength != 0 &&
                irp->systemBuffer != nullptr)
                std::memcpy(request->output, irp->systemBuffer,
                            std::min<std::uintptr_t>(result.information, request->outputLength));
            *request->ioStatus = result;
        }
    }
    freeIrp(irp);
    if (request->event != nullptr) {
        request->event->event().set();
        kernel::dereferenceObject(*request->event);
    }
    kernel::dereferenceObject(*request->file);
    kernel::freePoolWithTag(request, controlTag);
}

std::string handlesLeftOpen() {
    const std::size_t now = userHandlesOpen();
    if (now <= handlesAtTestStart) return {};
    return std::to_string(now - handlesAtTestStart) + " user handle(s) still open";
}

const kernel::TestCheckRegistrar
    handlesCheck({"user handles", [] { handlesAtTestStart = userHandlesOpen(); }, handlesLeftOpen});

} // namespace

struct UserProcessAccess {
    // Under the user lock: the entry under the lowest free handle value.
    static std::uint32_t insert(UserProcess& process, const HandleEntry& entry) {
        auto& handles = process.state_->handles;
        std::uint32_t handle = handleStep;
        for (const auto& [used, unused] : handles) {
            if (used != handle) break;
            handle += handleStep;
        }
        handles.emplace(handle, entry);
        ++handlesOpen;
        if (entry.file != nullptr) ++filesOpenOn[entry.file->device()];
        return handle;
    }

    // Under the user lock: the entry, or null.
    static HandleEntry* find(UserProcess& process, std::uint32_t handle) {
        auto found = process.state_->handles.find(handle);
        return found == process.state_->handles.end() ? nullptr : &found->second;
    }
};

using Access = UserProcessAccess;

UserProcess::UserProcess() : state_(std::make_unique<State>()) {}

UserProcess::~UserProcess() {
    for (;;) {
        std::uint32_t handle = 0;
        {
            std::lock_guard guard(userLock());
            if (state_->handles.empty()) break;
            handle = state_->handles.begin()->first;
        }
        if (closeHandle(handle) != kernel::STATUS_SUCCESS) break; // above passive level
    }
    {
        std::lock_guard guard(userLock());
        for (PendingControl* request : state_->pending) request->processPending = nullptr;
        state_->pending.clear();
    }
    kernel::check(detachUserMappings(this) == 0,
                  "user process ended with driver memory still mapped into it");
}

kernel::NTSTATUS UserProcess::openDeviceInterface(std::u16string_view symbolicLink,
                                                  std::uint32_t* file) {
    if (!atPassiveLevel("user open")) return kernel::STATUS_UNSUCCESSFUL;
    if (file == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *file = 0;
    DeviceObject* physical = nullptr;
    std::u16string fileName;
    if (!findEnabledDeviceInterface(symbolicLink, &physical, &fileName))
        return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    if (!fileName.empty()) fileName.insert(fileName.begin(), u'\\');
    DeviceObject* top = getAttachedDeviceReference(physical);
    dereferenceDevice(physical);

    FileObject* fileObject = nullptr;
    const kernel::UnicodeString name{static_cast<std::uint16_t>(fileName.size() * 2),
                                     static_cast<std::uint16_t>(fileName.size() * 2),
                                     fileName.data()};
    kernel::NTSTATUS status = createFileObject(top, name, &fileObject);
    dereferenceDevice(top); // the file object holds its own reference
    if (!kernel::succeeded(status)) return status;
    const std::int8_t stackSize = fileObject->device()->stackSize();
    Irp* cleanupRequest = allocateIrp(stackSize);
    Irp* closeRequest = cleanupRequest != nullptr ? allocateIrp(stackSize) : nullptr;
    Irp* create = closeRequest != nullptr ? allocateIrp(stackSize) : nullptr;
    if (create == nullptr) {
        freeRequests({cleanupRequest, closeRequest});
        kernel::dereferenceObject(*fileObject);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }

    prepare(create, major::Create, fileObject);
    status = sendAndWait(this, create);
    if (!kernel::succeeded(status)) {
        freeRequests({cleanupRequest, closeRequest});
        kernel::dereferenceObject(*fileObject);
        return status;
    }
    std::lock_guard guard(userLock());
    *file = Access::insert(*this, {fileObject, cleanupRequest, closeRequest, nullptr});
    return status;
}

kernel::NTSTATUS UserProcess::deviceIoControl(std::uint32_t file, std::uint32_t controlCode,
                                              const void* input, std::uint32_t inputLength,
                                              void* output, std::uint32_t outputLength,
                                              IoStatusBlock* ioStatus,
                                              std::uint32_t completionEvent) {
    if (!atPassiveLevel("user device control")) return kernel::STATUS_UNSUCCESSFUL;
    if (ioStatus == nullptr || (input == nullptr && inputLength != 0) ||
        (output == nullptr && outputLength != 0))
        return kernel::STATUS_INVALID_PARAMETER;
    if (controlMethod(controlCode) != TransferMethod::Buffered) return kernel::STATUS_NOT_SUPPORTED;

    FileObject* fileObject = nullptr;
    EventObject* event = nullptr;
    {
        std::lock_guard guard(userLock());
        const HandleEntry* fileEntry = Access::find(*this, file);
        const HandleEntry* eventEntry =
            completionEvent != 0 ? Access::find(*this, completionEvent) : nullptr;
        if (fileEntry == nullptr || fileEntry->file == nullptr ||
            (completionEvent != 0 && (eventEntry == nullptr || eventEntry->event == nullptr)))
            return kernel::STATUS_INVALID_HANDLE;
        fileObject = fileEntry->file;
        kernel::referenceObject(*fileObject);
        if (eventEntry != nullptr) {
            event = eventEntry->event;
            kernel::referenceObject(*event);
        }
    }
    const std::uint32_t bufferBytes = std::max(inputLength, outputLength);
    Irp* irp = allocateIrp(fileObject->device()->stackSize());
    void* block = irp != nullptr
                      ? kernel::allocatePool(kernel::PoolType::NonPagedNx,
                                             systemBufferOffset + bufferBytes, controlTag)
                      : nullptr;
    if (block == nullptr) {
        if (irp != nullptr) freeIrp(irp);
        if (event != nullptr) kernel::dereferenceObject(*event);
        kernel::dereferenceObject(*fileObject);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* request = new (block)
        PendingControl{&state_->pending, output, outputLength, ioStatus, event, fileObject};
    auto* buffer = static_cast<std::uint8_t*>(block) + systemBufferOffset;
    if (inputLength != 0) std::memcpy(buffer, input, inputLength);
    std::memset(buffer + inputLength, 0, bufferBytes - inputLength);
    irp->systemBuffer = bufferBytes != 0 ? buffer : nullptr;
    prepare(irp, major::DeviceControl, fileObject);
    nextStackLocation(irp)->parameters.deviceIoControl = {outputLength, inputLength, controlCode,
                                                          nullptr};
    *ioStatus = {kernel::STATUS_PENDING, 0};
    if (event != nullptr) event->event().reset();
    {
        std::lock_guard guard(userLock());
        state_->pending.insert(request);
    }

    kernel::NTSTATUS returned = kernel::STATUS_PENDING;
    if (!sendForProcess(this, irp, controlDone, request, &returned)) return kernel::STATUS_PENDING;
    expectSameStatus(returned, ioStatus->status);
    return ioStatus->status;
}

kernel::NTSTATUS UserProcess::createEvent(kernel::EventType type, bool signalled,
                                          std::uint32_t* event) {
    if (!atPassiveLevel("user event creation")) return kernel::STATUS_UNSUCCESSFUL;
    if (event == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *event = 0;
    void* block = kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(EventObject), eventTag);
    if (block == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    EventObject* object = EventObjectAccess::make(block, type, signalled);
    std::lock_guard guard(userLock());
    *event = Access::insert(*this, {nullptr, nullptr, nullptr, object});
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS UserProcess::waitForEvent(std::uint32_t event, kernel::Timeout timeout) {
    if (!atPassiveLevel("user event wait")) return kernel::STATUS_UNSUCCESSFUL;
    EventObject* object = nullptr;
    {
        std::lock_guard guard(userLock());
        const HandleEntry* entry = Access::find(*this, event);
        if (entry == nullptr || entry->event == nullptr) return kernel::STATUS_INVALID_HANDLE;
        object = entry->event;
        kernel::referenceObject(*object);
    }
    const kernel::NTSTATUS status = kernel::waitForSingleObject(object->event(), timeout);
    kernel::dereferenceObject(*object);
    return status;
}

kernel::NTSTATUS UserProcess::closeHandle(std::uint32_t handle) {
    if (!atPassiveLevel("user handle close")) return kernel::STATUS_UNSUCCESSFUL;
    HandleEntry entry;
    {
        std::lock_guard guard(userLock());
        const auto found = state_->handles.find(handle);
        if (found == state_->handles.end()) return kernel::STATUS_INVALID_HANDLE;
        entry = found->second;
        state_->handles.erase(found);
        --handlesOpen;
        if (entry.file != nullptr && --filesOpenOn[entry.file->device()] == 0)
            filesOpenOn.erase(entry.file->device());
    }
    if (entry.event != nullptr) kernel::dereferenceObject(*entry.event);
    if (entry.file == nullptr) return kernel::STATUS_SUCCESS;
    // The cleanup of the file's last handle first; its outcome changes nothing.
    prepare(entry.cleanupRequest, major::Cleanup, entry.file);
    sendAndWait(this, entry.cleanupRequest);
    prepare(entry.closeRequest, major::Close, entry.file);
    kernel::NTSTATUS returned = kernel::STATUS_PENDING;
    sendForProcess(this, entry.closeRequest, closeDone, entry.file, &returned);
    return kernel::STATUS_SUCCESS;
}

UserProcess* currentUserProcess() { return threadProcess; }

std::size_t userHandlesOpen() {
    std::lock_guard guard(userLock());
    return handlesOpen;
}

std::size_t userFilesOpenOn(const DeviceObject* device) {
    std::lock_guard guard(userLock());
    const auto found = filesOpenOn.find(device);
    return found != filesOpenOn.end() ? found->second : 0;
}

kernel::NTSTATUS referenceEventByHandle(std::uint32_t handle, EventObject** event) {
    if (!atPassiveLevel("event reference by handle")) return kernel::STATUS_UNSUCCESSFUL;
    if (event == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *event = nullptr;
    UserProcess* process = currentUserProcess();
    if (process == nullptr) return kernel::STATUS_INVALID_HANDLE;
    std::lock_guard guard(userLock());
    const HandleEntry* entry = Access::find(*process, handle);
    if (entry == nullptr || entry->event == nullptr) return kernel::STATUS_INVALID_HANDLE;
    kernel::referenceObject(*entry->event);
    *event = entry->event;
    return kernel::STATUS_SUCCESS;
}

} // namespace io
