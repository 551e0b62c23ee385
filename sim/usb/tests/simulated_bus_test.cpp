// A driver's device stacked on the simulated bus: every request completes
// after the call that sent it, and the faults asked of the bus reach the driver.
#include "sim/usb/simulated_bus.h"

#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/usb/select_request.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/bus_stack.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kernel::NTSTATUS;
using usbsim::BusFault;
using usbsim::BusRequestKind;
using usbsimtest::descriptorRequest;
using usbsimtest::getStatusRequest;
using usbsimtest::SentRequest;

// The driver's device on the bus device of a release 1 headset.
class SimulatedBusTest : public ::testing::Test, public usbsimtest::BusStack {
protected:
    SimulatedBusTest() : BusStack(usbsim::fixtures::uac1Headset()) {}
};

struct RecordCase {
    const char* name;
    std::function<void(usb::RequestHeader&, std::vector<std::uint8_t>&)> build;
    std::size_t bufferSize;
    usb::BusStatus busStatus;
    NTSTATUS ioStatus;
    std::size_t moved;          // transferBufferLength afterwards
    std::size_t requestsLogged; // by the function
};

TEST_F(SimulatedBusTest, EachRequestRecordCompletesLaterWithItsResults) {
    using usb::Function;
    // A record of the function and length whose transfer claims `claimed`
    // bytes in (the buffer's size when 0).
    const auto sized = [](Function function, std::uint16_t length, std::uint32_t claimed = 0) {
        return [=](usb::RequestHeader& header, std::vector<std::uint8_t>& buffer) {
            auto& record = reinterpret_cast<usb::ClassOrVendorRequest&>(header);
            header.length = length;
            header.function = function;
            record.transfer.transferFlags = usb::transfer_flags::directionIn;
            record.transfer.transferBuffer = buffer.empty() ? nullptr : buffer.data();
            record.transfer.transferBufferLength =
                claimed != 0 ? claimed : static_cast<std::uint32_t>(buffer.size());
        };
    };
    const auto descriptor = [](std::uint8_t type) {
        return [=](usb::RequestHeader& h, std::vector<std::uint8_t>& b) {
            reinterpret_cast<usb::DescriptorRequest&>(h) = descriptorRequest(type, b);
        };
    };
    const std::size_t deviceLength = function.descriptors().device.size();
    const RecordCase cases[] = {
        {"device descriptor", descriptor(usb::descriptor_type::device), 64, usb::BusStatus::success,
         kernel::STATUS_SUCCESS, deviceLength, 1},
        {"configuration cut to the buffer", descriptor(usb::descriptor_type::configuration), 9,
         usb::BusStatus::success, kernel::STATUS_SUCCESS, 9, 1},
        {"control transfer",
         [](usb::RequestHeader& h, std::vector<std::uint8_t>& b) {
             reinterpret_cast<usb::ControlTransferRequest&>(h) = getStatusRequest(b);
         },
         2, usb::BusStatus::success, kernel::STATUS_SUCCESS, 2, 1},
        {"vendor request the function does not know stalls",
         sized(Function::vendorDevice, sizeof(usb::ClassOrVendorRequest)), 0, usb::BusStatus::stall,
         kernel::STATUS_UNSUCCESSFUL, 0, 1},
        {"buffer missing", sized(Function::classInterface, sizeof(usb::ClassOrVendorRequest), 2), 0,
         usb::BusStatus::invalidParameter, kernel::STATUS_INVALID_PARAMETER, 2, 0},
        {"transfer longer than a control transfer carries",
         sized(Function::classInterface, sizeof(usb::ClassOrVendorRequest), 0x10000), 0,
         usb::BusStatus::invalidParameter, kernel::STATUS_INVALID_PARAMETER, 0x10000, 0},
        {"record shorter than its function", sized(Function::controlTransfer, 100), 4,
         usb::BusStatus::invalidParameter, kernel::STATUS_INVALID_PARAMETER, 4, 0},
        {"function the bus does not serve",
         sized(static_cast<Function>(0x0025), sizeof(usb::PipeRequest)), 0,
         usb::BusStatus::invalidFunction, kernel::STATUS_NOT_SUPPORTED, 0, 0},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        function.clearLog();
        std::vector<std::uint8_t> buffer(c.bufferSize);
        alignas(8) std::uint8_t storage[sizeof(usb::ControlTransferRequest)] = {};
        auto& header = *reinterpret_cast<usb::RequestHeader*>(storage);
        c.build(header, buffer);
        EXPECT_EQ(submit(header), c.ioStatus);
        EXPECT_EQ(header.status, c.busStatus);
        EXPECT_EQ(
            reinterpret_cast<usb::ControlTransferRequest&>(header).transfer.transferBufferLength,
            c.moved);
        EXPECT_EQ(function.log().size(), c.requestsLogged);
    }
    EXPECT_EQ(bus.received(BusRequestKind::descriptor), 2); // the bytes: the bus enumeration's
    EXPECT_EQ(bus.pendingRequests(), 0u);
}

// What a selection fills in is the bus enumeration's test, for every fixture.
TEST_F(SimulatedBusTest, SelectInterfaceRecordWhosePipesRunPastItsLengthIsRefused) {
    usb::RequestBlock select, setting;
    ASSERT_NE(selectFirstStreaming(select, setting).pipeHandle, nullptr);
    setting.as<usb::SelectInterfaceRequest>()->header.length = sizeof(usb::SelectInterfaceRequest);
    EXPECT_EQ(submit(*setting.header()), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(setting.header()->status, usb::BusStatus::invalidParameter);
}

TEST_F(SimulatedBusTest, StalledRequestFailsUntilThePipeIsReset) {
    usb::RequestBlock select, setting;
    const usb::PipeInformation pipe = selectFirstStreaming(select, setting);
    ASSERT_NE(pipe.pipeHandle, nullptr);

    function.clearLog();
    bus.injectFault(BusRequestKind::control, {BusFault::Type::stall}, 2);
    std::vector<std::uint8_t> buffer(2);
    for (int i = 0; i < 2; ++i) {
        usb::ControlTransferRequest request = getStatusRequest(buffer);
        EXPECT_EQ(submit(request.header), kernel::STATUS_UNSUCCESSFUL);
        EXPECT_EQ(request.header.status, usb::BusStatus::stall);
        EXPECT_EQ(request.transfer.transferBufferLength, 2u); // nothing moved, nothing reported
    }
    EXPECT_TRUE(function.log().empty());

    ASSERT_EQ(resetPipe(pipe.pipeHandle), kernel::STATUS_SUCCESS);
    ASSERT_EQ(function.log().size(), 1u);
    EXPECT_EQ(function.log()[0].setup.bRequest, usb::standard_request::clearFeature);
    EXPECT_EQ(function.log()[0].setup.wIndex.value(), pipe.endpointAddress);

    usb::ControlTransferRequest request = getStatusRequest(buffer);
    EXPECT_EQ(submit(request.header), kernel::STATUS_SUCCESS);
    EXPECT_EQ(request.header.status, usb::BusStatus::success);

    // A handle the bus never gave is refused.
    EXPECT_EQ(resetPipe(&buffer), kernel::STATUS_INVALID_PARAMETER);
}

TEST_F(SimulatedBusTest, DelayedRequestCompletesAfterItsClockTime) {
    bus.injectFault(BusRequestKind::descriptor, {BusFault::Type::delay, 5ms});
    std::vector<std::uint8_t> buffer(18);
    usb::DescriptorRequest request = descriptorRequest(usb::descriptor_type::device, buffer);
    SentRequest& sent = start(request.header);
    clock.settle();
    clock.advance(4ms);
    EXPECT_FALSE(sent.done());
    EXPECT_TRUE(function.log().empty());
    clock.advance(1ms);
    ASSERT_TRUE(sent.done());
    EXPECT_EQ(sent.status(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(request.transfer.transferBufferLength, 18u);
}

TEST_F(SimulatedBusTest, HeldOrDelayedRequestEndsWhenCancelled) {
    const BusFault faults[] = {{BusFault::Type::hold}, {BusFault::Type::delay, 10ms}};
    for (const BusFault& fault : faults) {
        SCOPED_TRACE(static_cast<int>(fault.type));
        bus.injectFault(BusRequestKind::control, fault);
        std::vector<std::uint8_t> buffer(2);
        usb::ControlTransferRequest request = getStatusRequest(buffer);
        SentRequest& sent = start(request.header);
        clock.advance(5ms);
        EXPECT_FALSE(sent.done());
        EXPECT_EQ(bus.pendingRequests(), 1u);
        EXPECT_TRUE(io::cancelIrp(sent.irp()));
        clock.settle();
        ASSERT_TRUE(sent.done());
        EXPECT_EQ(sent.status(), kernel::STATUS_CANCELLED);
        EXPECT_EQ(request.header.status, usb::BusStatus::cancelled);
        EXPECT_TRUE(function.log().empty());
        EXPECT_EQ(bus.pendingRequests(), 0u);
        clock.advance(10ms); // a cancelled delay does not complete it again
    }
}

// A status read waits for a message, takes one message at a time (cut to
// its length) in the order posted, and ends cancelled when its pipe is
// aborted.
TEST_F(SimulatedBusTest, StatusReadsWaitForPostedMessages) {
    std::uint8_t buffer[2] = {};
    usb::BulkOrInterruptTransfer read{};
    auto arm = [&]() -> SentRequest& {
        read = {};
        read.header.length = sizeof(read);
        read.header.function = usb::Function::bulkOrInterruptTransfer;
        read.transfer.transferFlags = usb::transfer_flags::directionIn;
        read.transfer.transferBuffer = buffer;
        read.transfer.transferBufferLength = sizeof(buffer);
        return start(read.header);
    };
    SentRequest& first = arm();
    clock.settle();
    EXPECT_FALSE(first.done());
    bus.postStatusMessage({0x00, 0x09, 0x77});
    bus.postStatusMessage({0x01, 0x02});
    clock.settle();
    ASSERT_TRUE(first.done());
    EXPECT_EQ(first.status(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(read.transfer.transferBufferLength, 2u);
    EXPECT_EQ(buffer[1], 0x09);

    SentRequest& second = arm();
    clock.settle();
    ASSERT_TRUE(second.done());
    EXPECT_EQ(buffer[0], 0x01);

    SentRequest& third = arm();
    usb::PipeRequest abort{};
    abort.header.length = sizeof(abort);
    abort.header.function = usb::Function::abortPipe;
    EXPECT_EQ(submit(abort.header), kernel::STATUS_SUCCESS);
    ASSERT_TRUE(third.done());
    EXPECT_EQ(third.status(), kernel::STATUS_CANCELLED);
    EXPECT_EQ(bus.received(BusRequestKind::interrupt), 3);
    EXPECT_EQ(bus.received(BusRequestKind::abortPipe), 1);
}

TEST_F(SimulatedBusTest, UnplugFailsPendingAndNewRequestsUntilReplug) {
    bus.injectFault(BusRequestKind::control, {BusFault::Type::hold});
    bus.injectFault(BusRequestKind::descriptor, {BusFault::Type::delay, 50ms});
    std::vector<std::uint8_t> statusBuffer(2), descriptorBuffer(18);
    usb::ControlTransferRequest held = getStatusRequest(statusBuffer);
    usb::DescriptorRequest delayed =
        descriptorRequest(usb::descriptor_type::device, descriptorBuffer);
    SentRequest& heldSent = start(held.header);
    SentRequest& delayedSent = start(delayed.header);
    clock.settle();
    bus.unplug();
    clock.settle();
    for (const SentRequest* sent : {&heldSent, &delayedSent}) {
        ASSERT_TRUE(sent->done());
        EXPECT_EQ(sent->status(), kernel::STATUS_DEVICE_NOT_CONNECTED);
    }
    for (const usb::RequestHeader* header : {&held.header, &delayed.header})
        EXPECT_EQ(header->status, usb::BusStatus::deviceGone);

    usb::ControlTransferRequest fresh = getStatusRequest(statusBuffer);
    EXPECT_EQ(submit(fresh.header), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(fresh.header.status, usb::BusStatus::deviceGone);
    std::uint32_t port = 0xFFFFFFFF;
    EXPECT_EQ(submit(usb::internal_ioctl::getPortStatus, &port), kernel::STATUS_SUCCESS);
    EXPECT_EQ(port, 0u);
    EXPECT_EQ(submit(usb::internal_ioctl::resetPort, nullptr), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(function.log().empty());

    // A stall asked for while unplugged is for the first request after replug.
    bus.injectFault(BusRequestKind::control, {BusFault::Type::stall});
    EXPECT_EQ(submit(fresh.header), kernel::STATUS_DEVICE_NOT_CONNECTED);
    bus.replug();
    EXPECT_EQ(submit(fresh.header), kernel::STATUS_UNSUCCESSFUL);
    EXPECT_EQ(fresh.header.status, usb::BusStatus::stall);
    EXPECT_EQ(submit(fresh.header), kernel::STATUS_SUCCESS);
    EXPECT_EQ(submit(usb::internal_ioctl::getPortStatus, &port), kernel::STATUS_SUCCESS);
    EXPECT_EQ(port, usb::port_status::enabled | usb::port_status::connected);
}

// A request the device never answered before it went is lost with it, even
// when the device is back before the request's call runs.
TEST_F(SimulatedBusTest, RequestPendingAcrossAnUnplugStaysLost) {
    std::vector<std::uint8_t> buffer(2);
    usb::ControlTransferRequest request = getStatusRequest(buffer);
    SentRequest& sent = start(request.header);
    bus.unplug();
    bus.replug();
    clock.settle();
    ASSERT_TRUE(sent.done());
    EXPECT_EQ(sent.status(), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(request.header.status, usb::BusStatus::deviceGone);
    EXPECT_TRUE(function.log().empty());
}

TEST_F(SimulatedBusTest, PortControlsAreCountedAndCanFail) {
    struct Case {
        std::uint32_t code;
        BusRequestKind kind;
    };
    const Case cases[] = {{usb::internal_ioctl::getPortStatus, BusRequestKind::portStatus},
                          {usb::internal_ioctl::resetPort, BusRequestKind::resetPort},
                          {usb::internal_ioctl::cyclePort, BusRequestKind::cyclePort}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::uint32_t port = 0;
        EXPECT_EQ(submit(c.code, &port), kernel::STATUS_SUCCESS);
        bus.injectFault(c.kind, {BusFault::Type::stall});
        EXPECT_EQ(submit(c.code, &port), kernel::STATUS_UNSUCCESSFUL);
        EXPECT_EQ(bus.received(c.kind), 2);
    }
    EXPECT_EQ(submit(usb::internal_ioctl::getPortStatus, nullptr),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(submit(0x220033, nullptr), kernel::STATUS_INVALID_DEVICE_REQUEST);
}

// The bus going away with a request still held completes it as gone, so
// the driver is not left waiting for it.
TEST(SimulatedBusLifetime, DestroyingTheBusCompletesWhatIsPending) {
    kernel::ManualClock clock;
    usbsim::UsbFunction function{usbsim::fixtures::uac1Headset()};
    auto bus = std::make_unique<usbsim::SimulatedBus>(function);
    io::DriverObject driver;
    io::DeviceObject* upper = nullptr;
    ASSERT_EQ(io::createDevice(driver, 0, &upper), kernel::STATUS_SUCCESS);
    io::DeviceObject* lower = io::attachDeviceToDeviceStack(upper, bus->device());
    bus->injectFault(BusRequestKind::control, {BusFault::Type::hold});
    std::vector<std::uint8_t> buffer(2);
    usb::ControlTransferRequest request = getStatusRequest(buffer);
    SentRequest sent(upper->stackSize());
    sent.send(lower, usb::internal_ioctl::submitRequest, &request.header);
    clock.settle();
    io::detachDevice(lower);
    bus.reset();
    ASSERT_TRUE(sent.done());
    EXPECT_EQ(sent.status(), kernel::STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(request.header.status, usb::BusStatus::deviceGone);
    io::deleteDevice(upper);
}

} // namespace
