// The user-mode side: opening a device interface as a file, buffered device
// controls and what of their output comes back, requests that complete
// later, closing, the end of a process, and events handed to a driver by
// handle.
#include "platform/io/file_object.h"
#include "platform/io/io_control_code.h"
#include "platform/io/user_event.h"
#include "platform/kernel/pool.h"
#include "platform/testing/kernel_checks.h"
#include "platform/tests/client_device_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kernel;
using namespace io;
using io::testing::completeWith;

constexpr std::uint32_t readCode =
    controlCode(0x1D, 0x800, TransferMethod::Buffered, controlAccess::read);
constexpr std::uint32_t writeCode =
    controlCode(0x1D, 0x805, TransferMethod::Buffered, controlAccess::write);

class UserIoTest : public io::testing::ClientDeviceTest {
protected:
    void SetUp() override {
        function.on(major::Create) = [this](DeviceObject* device, Irp* irp) {
            FileObject* file = currentStackLocation(irp)->fileObject;
            EXPECT_EQ(device, function.device); // the top of the stack
            EXPECT_EQ(file->device(), device);
            file->fsContext = this;
            createdNames.emplace_back(file->fileName().view());
            return completeWith(irp, createStatus);
        };
        function.on(major::Close) = [this](DeviceObject*, Irp* irp) {
            closedContexts.push_back(currentStackLocation(irp)->fileObject->fsContext);
            return completeWith(irp, STATUS_SUCCESS);
        };
    }

    // The device's answer to a device control: pattern bytes (1, 2, 3...)
    // over its whole output length, then the status and byte count given.
    void answerControls(NTSTATUS status, std::uintptr_t information) {
        function.on(major::DeviceControl) = [=](DeviceObject*, Irp* irp) {
            const IoStackLocation* at = currentStackLocation(irp);
            auto* bytes = static_cast<std::uint8_t*>(irp->systemBuffer);
            for (std::uint32_t i = 0; i < at->parameters.deviceIoControl.outputBufferLength; ++i)
                bytes[i] = static_cast<std::uint8_t>(i + 1);
            return completeWith(irp, status, information);
        };
    }

    // The device keeps every device control, pending.
    void holdControls() {
        function.on(major::DeviceControl) = [this](DeviceObject*, Irp* irp) {
            held = irp;
            markPending(irp);
            return STATUS_PENDING;
        };
    }

    NTSTATUS createStatus = STATUS_SUCCESS;
    std::vector<std::u16string> createdNames;
    std::vector<void*> closedContexts;
    std::vector<std::uint8_t> endings; // major functions of the requests that end a file
    Irp* held = nullptr;
    IoStatusBlock ioStatus{};
};

TEST_F(UserIoTest, OpensTheInterfaceAsAFileNamedByItsReferenceStringAtTheTopOfTheStack) {
    EXPECT_EQ(openFile(), 4u);
    std::uint32_t second = 0;
    EXPECT_EQ(
        process->openDeviceInterface(io::testing::lowerCase(std::u16string(link.view())), &second),
        STATUS_SUCCESS);
    EXPECT_EQ(second, 8u);

    UnicodeString plain;
    ASSERT_EQ(registerDeviceInterface(physical.device, io::testing::clientInterfaceClass, nullptr,
                                      &plain),
              STATUS_SUCCESS);
    ASSERT_EQ(setDeviceInterfaceState(plain, true), STATUS_SUCCESS);
    EXPECT_EQ(process->openDeviceInterface(plain.view(), &second), STATUS_SUCCESS);
    freeUnicodeString(plain);
    EXPECT_EQ(createdNames, (std::vector<std::u16string>{u"\\HXASIOPrivateInterface",
                                                         u"\\HXASIOPrivateInterface", u""}));
}

// An open that fails gives no handle, and closes nothing when the process ends.
TEST_F(UserIoTest, AnOpenThatFailsGivesNoHandle) {
    const struct {
        const char* what;
        bool enabled;
        NTSTATUS createStatus;
        const char16_t* name; // null: the interface's link
        NTSTATUS status;
        std::size_t creates; // that reached the device
    } cases[] = {
        {"an interface not enabled", false, STATUS_SUCCESS, nullptr, STATUS_OBJECT_NAME_NOT_FOUND,
         0},
        {"a name no interface has", true, STATUS_SUCCESS, u"\\??\\nothing",
         STATUS_OBJECT_NAME_NOT_FOUND, 0},
        {"a create the device refuses", true, STATUS_UNSUCCESSFUL, nullptr, STATUS_UNSUCCESSFUL, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        createdNames.clear();
        ASSERT_EQ(setDeviceInterfaceState(link, c.enabled), STATUS_SUCCESS);
        createStatus = c.createStatus;
        std::uint32_t file = 99;
        EXPECT_EQ(process->openDeviceInterface(c.name != nullptr ? c.name : link.view(), &file),
                  c.status);
        EXPECT_EQ(file, 0u);
        EXPECT_EQ(createdNames.size(), c.creates);
        EXPECT_EQ(userFilesOpenOn(function.device), 0u);
    }
    process.reset();
    EXPECT_TRUE(closedContexts.empty());
}

TEST_F(UserIoTest, ClosingSendsTheCleanupThenTheCloseOfTheFileOnceAndFreesTheHandleValue) {
    for (std::uint8_t function : {major::Cleanup, major::Close})
        this->function.on(function) = [this](DeviceObject*, Irp* irp) {
            const IoStackLocation* at = currentStackLocation(irp);
            endings.push_back(at->majorFunction);
            closedContexts.push_back(at->fileObject->fsContext);
            // a refused cleanup still closes the file
            return completeWith(irp, at->majorFunction == major::Cleanup ? STATUS_UNSUCCESSFUL
                                                                         : STATUS_SUCCESS);
        };
    const std::uint32_t file = openFile();
    const std::uint32_t second = openFile();
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(EventType::Notification, false, &event), STATUS_SUCCESS);
    // Files count on the device they were opened on; events do not.
    EXPECT_EQ(userFilesOpenOn(function.device), 2u);
    EXPECT_EQ(process->closeHandle(second), STATUS_SUCCESS);
    EXPECT_EQ(process->closeHandle(event), STATUS_SUCCESS);
    endings.clear();
    closedContexts.clear();
    EXPECT_EQ(process->closeHandle(file), STATUS_SUCCESS);
    EXPECT_EQ(userFilesOpenOn(function.device), 0u);
    EXPECT_EQ(endings, (std::vector<std::uint8_t>{major::Cleanup, major::Close}));
    EXPECT_EQ(closedContexts, (std::vector<void*>{this, this}));
    EXPECT_EQ(process->closeHandle(file), STATUS_INVALID_HANDLE);
    EXPECT_EQ(openFile(), file); // the lowest free value again
}

struct CopyBack {
    const char* name;
    NTSTATUS status;
    std::uintptr_t information;
    std::uint32_t outputLength;
    std::uint32_t copied;
};

void PrintTo(const CopyBack& c, std::ostream* out) { *out << c.name; }

const CopyBack copyBacks[] = {
    {"success copies the byte count", STATUS_SUCCESS, 5, 12, 5},
    {"a count beyond the output copies the output", STATUS_SUCCESS, 40, 12, 12},
    {"a warning copies too", STATUS_BUFFER_OVERFLOW, 4, 12, 4},
    {"a sizing answer without output copies nothing", STATUS_BUFFER_OVERFLOW, 16, 0, 0},
    {"an error copies nothing", STATUS_INVALID_PARAMETER, 8, 12, 0},
};

class CopyBackTest : public UserIoTest, public ::testing::WithParamInterface<CopyBack> {};

TEST_P(CopyBackTest, OutputComesBackOnlyOnSuccessOrWarningAndOnlyWithinItsLength) {
    const CopyBack& c = GetParam();
    answerControls(c.status, c.information);
    const std::uint32_t file = openFile();
    std::vector<std::uint8_t> output(c.outputLength + 8, 0xEE);
    const std::uint8_t input[3] = {9, 9, 9};
    EXPECT_EQ(process->deviceIoControl(file, readCode, input, sizeof input,
                                       c.outputLength ? output.data() : nullptr, c.outputLength,
                                       &ioStatus),
              c.status);
    EXPECT_EQ(ioStatus.status, c.status);
    EXPECT_EQ(ioStatus.information, c.information); // the driver's count, as given
    for (std::uint32_t i = 0; i < output.size(); ++i)
        ASSERT_EQ(output[i], i < c.copied ? i + 1 : 0xEE) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CopyBackTest, ::testing::ValuesIn(copyBacks));

TEST_F(UserIoTest, TheDriverFindsTheInputAtTheStartOfAZeroedBufferOfTheLargerLength) {
    std::vector<std::vector<std::uint8_t>> seen;
    function.on(major::DeviceControl) = [&](DeviceObject*, Irp* irp) {
        const auto& control = currentStackLocation(irp)->parameters.deviceIoControl;
        EXPECT_EQ(control.ioControlCode, writeCode);
        const auto* bytes = static_cast<const std::uint8_t*>(irp->systemBuffer);
        const std::uint32_t length =
            std::max(control.inputBufferLength, control.outputBufferLength);
        seen.emplace_back(bytes, bytes + length);
        EXPECT_EQ(bytes == nullptr, length == 0);
        return completeWith(irp, STATUS_SUCCESS);
    };
    const std::uint32_t file = openFile();
    const std::uint8_t input[4] = {1, 2, 3, 4};
    std::uint8_t output[6];
    process->deviceIoControl(file, writeCode, input, 3, output, 6, &ioStatus);
    process->deviceIoControl(file, writeCode, input, 4, output, 2, &ioStatus);
    process->deviceIoControl(file, writeCode, nullptr, 0, nullptr, 0, &ioStatus);
    EXPECT_EQ(seen, (std::vector<std::vector<std::uint8_t>>{{1, 2, 3, 0, 0, 0}, {1, 2, 3, 4}, {}}));
}

TEST_F(UserIoTest, RefusesOtherTransferMethodsBadArgumentsAndHandlesOfTheWrongKind) {
    answerControls(STATUS_SUCCESS, 0);
    const std::uint32_t file = openFile();
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(EventType::Notification, false, &event), STATUS_SUCCESS);
    std::uint8_t buffer[4] = {};
    const std::uint32_t direct = controlCode(0x1D, 0x800, TransferMethod::OutDirect, 0);
    EXPECT_EQ(process->deviceIoControl(file, direct, buffer, 4, buffer, 4, &ioStatus),
              STATUS_NOT_SUPPORTED);
    EXPECT_EQ(process->deviceIoControl(file, readCode, buffer, 4, buffer, 4, nullptr),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(process->deviceIoControl(file, readCode, nullptr, 4, buffer, 4, &ioStatus),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(process->deviceIoControl(file, readCode, buffer, 4, nullptr, 4, &ioStatus),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(process->deviceIoControl(event, readCode, buffer, 4, buffer, 4, &ioStatus),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(process->deviceIoControl(file, readCode, buffer, 4, buffer, 4, &ioStatus, file),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(process->deviceIoControl(96, readCode, buffer, 4, buffer, 4, &ioStatus),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(process->waitForEvent(file, Duration::zero()), STATUS_INVALID_HANDLE);
    EXPECT_EQ(process->closeHandle(96), STATUS_INVALID_HANDLE);
}

TEST_F(UserIoTest, APendingRequestCompletesLaterIntoTheCallersBufferAndSetsItsEvent) {
    holdControls();
    const std::uint32_t file = openFile();
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(EventType::Notification, true, &event), STATUS_SUCCESS);
    std::uint8_t output[4] = {};
    EXPECT_EQ(process->deviceIoControl(file, readCode, nullptr, 0, output, 4, &ioStatus, event),
              STATUS_PENDING);
    EXPECT_EQ(ioStatus.status, STATUS_PENDING);
    EXPECT_EQ(process->waitForEvent(event, Duration::zero()), STATUS_TIMEOUT); // cleared
    EXPECT_EQ(process->closeHandle(file), STATUS_SUCCESS); // the request keeps the file

    ASSERT_NE(held, nullptr);
    std::memcpy(held->systemBuffer, "\x11\x22\x33\x44", 4);
    completeWith(held, STATUS_SUCCESS, 4);
    EXPECT_EQ(ioStatus.status, STATUS_SUCCESS);
    EXPECT_EQ(ioStatus.information, 4u);
    EXPECT_EQ(std::memcmp(output, "\x11\x22\x33\x44", 4), 0);
    EXPECT_EQ(process->waitForEvent(event, Duration::zero()), STATUS_SUCCESS);
}

TEST_F(UserIoTest, ARequestTheDeviceBelowCompletesArrivesAfterTheSettle) {
    function.on(major::DeviceControl) = [this](DeviceObject*, Irp* irp) {
        copyCurrentStackLocationToNext(irp);
        return callDriver(physical.device, irp);
    };
    physical.on(major::DeviceControl) = [](DeviceObject*, Irp* irp) {
        *static_cast<std::uint8_t*>(irp->systemBuffer) = 0x5A;
        return completeWith(irp, STATUS_SUCCESS, 1);
    };
    const std::uint32_t file = openFile();
    std::uint8_t output = 0;
    EXPECT_EQ(process->deviceIoControl(file, readCode, nullptr, 0, &output, 1, &ioStatus),
              STATUS_PENDING);
    EXPECT_EQ(output, 0);
    clock.settle();
    EXPECT_EQ(ioStatus.status, STATUS_SUCCESS);
    EXPECT_EQ(output, 0x5A);
}

TEST_F(UserIoTest, ARequestPassedDownInItsOwnLocationCompletesDuringTheCall) {
    function.on(major::DeviceControl) = [this](DeviceObject*, Irp* irp) {
        skipCurrentStackLocation(irp);
        return callDriver(physical.device, irp); // answers STATUS_PENDING
    };
    physical.on(major::DeviceControl) = [](DeviceObject*, Irp* irp) {
        return completeWith(irp, STATUS_BUFFER_OVERFLOW, 8);
    };
    const std::uint32_t file = openFile();
    EXPECT_EQ(process->deviceIoControl(file, readCode, nullptr, 0, nullptr, 0, &ioStatus),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(ioStatus.information, 8u);
}

TEST_F(UserIoTest, EndingTheProcessClosesItsFilesAndLeavesItsBuffersAlone) {
    holdControls();
    openFile();
    openFile();
    std::uint8_t output[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(process->deviceIoControl(4, readCode, nullptr, 0, output, 4, &ioStatus),
              STATUS_PENDING);
    process.reset();
    EXPECT_EQ(closedContexts.size(), 2u);
    ASSERT_NE(held, nullptr);
    completeWith(held, STATUS_SUCCESS, 4);
    EXPECT_EQ(ioStatus.status, STATUS_PENDING);
    EXPECT_EQ(output[0], 0xEE);
}

TEST_F(UserIoTest, ADriverKeepsTheClientsEventByHandleBeyondTheHandlesClose) {
    EventObject* kept = nullptr;
    function.on(major::DeviceControl) = [&](DeviceObject*, Irp* irp) {
        std::uint32_t handle = 0;
        std::memcpy(&handle, irp->systemBuffer, sizeof handle);
        return completeWith(irp, referenceEventByHandle(handle, &kept));
    };
    const std::uint32_t file = openFile();
    std::uint32_t event = 0;
    ASSERT_EQ(process->createEvent(EventType::Synchronization, false, &event), STATUS_SUCCESS);
    EXPECT_EQ(process->deviceIoControl(file, writeCode, &file, 4, nullptr, 0, &ioStatus),
              STATUS_INVALID_HANDLE); // a file is no event
    ASSERT_EQ(process->deviceIoControl(file, writeCode, &event, 4, nullptr, 0, &ioStatus),
              STATUS_SUCCESS);
    ASSERT_NE(kept, nullptr);
    kept->event().set();
    EXPECT_EQ(process->waitForEvent(event, Duration::zero()), STATUS_SUCCESS);
    EXPECT_EQ(process->waitForEvent(event, Duration::zero()), STATUS_TIMEOUT);

    EXPECT_EQ(process->closeHandle(event), STATUS_SUCCESS);
    kept->event().set(); // still the driver's
    dereferenceObject(*kept);
    EventObject* outside = nullptr;
    EXPECT_EQ(referenceEventByHandle(event, &outside), STATUS_INVALID_HANDLE); // no request here
}

TEST_F(UserIoTest, ADispatchRoutineReturningAnotherStatusThanItCompletedWithFailsACheck) {
    function.on(major::DeviceControl) = [](DeviceObject*, Irp* irp) {
        completeWith(irp, STATUS_UNSUCCESSFUL);
        return STATUS_SUCCESS;
    };
    const std::uint32_t file = openFile();
    kernel::testing::ExpectKernelChecks expect;
    EXPECT_EQ(process->deviceIoControl(file, readCode, nullptr, 0, nullptr, 0, &ioStatus),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(expect.messages(),
              std::vector<std::string>{
                  "dispatch routine returned another status than it completed the request with"});
}

// Each pool request of a call, refused in turn, fails the call with
// STATUS_INSUFFICIENT_RESOURCES before the driver sees anything, and leaves
// nothing behind.
struct Refusable {
    const char* call;
    NTSTATUS (*run)(UserProcess& process, std::u16string_view link, std::uint32_t file);
};

void PrintTo(const Refusable& r, std::ostream* out) { *out << r.call; }

const Refusable refusables[] = {
    {"open",
     [](UserProcess& process, std::u16string_view link, std::uint32_t) {
         std::uint32_t file = 0;
         return process.openDeviceInterface(link, &file);
     }},
    {"device control",
     [](UserProcess& process, std::u16string_view, std::uint32_t file) {
         std::uint8_t buffer[8] = {};
         IoStatusBlock ioStatus;
         return process.deviceIoControl(file, readCode, buffer, 8, buffer, 8, &ioStatus);
     }},
    {"event creation",
     [](UserProcess& process, std::u16string_view, std::uint32_t) {
         std::uint32_t event = 0;
         return process.createEvent(EventType::Notification, false, &event);
     }},
};

class RefusalTest : public UserIoTest, public ::testing::WithParamInterface<Refusable> {};

TEST_P(RefusalTest, EveryPoolRefusalFailsTheCallCleanly) {
    int controls = 0;
    function.on(major::DeviceControl) = [&](DeviceObject*, Irp* irp) {
        ++controls;
        return completeWith(irp, STATUS_SUCCESS);
    };
    const std::uint32_t file = openFile();
    const std::uint64_t before = poolRequestCount();
    ASSERT_EQ(GetParam().run(*process, link.view(), file), STATUS_SUCCESS);
    const std::uint64_t requests = poolRequestCount() - before;
    ASSERT_GT(requests, 0u);
    const int controlsWhole = controls;
    const std::size_t createsWhole = createdNames.size();
    const std::size_t blocks = poolLiveBlocks();
    for (std::uint64_t n = 1; n <= requests; ++n) {
        failPoolRequest(n);
        EXPECT_EQ(GetParam().run(*process, link.view(), file), STATUS_INSUFFICIENT_RESOURCES)
            << "request " << n;
        clearPoolFaults();
        EXPECT_EQ(poolLiveBlocks(), blocks) << "request " << n;
    }
    EXPECT_EQ(controls, controlsWhole);
    EXPECT_EQ(createdNames.size(), createsWhole);
}

INSTANTIATE_TEST_SUITE_P(Calls, RefusalTest, ::testing::ValuesIn(refusables));

} // namespace
