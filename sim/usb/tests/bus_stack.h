// A driver's device stacked on a simulated bus under a manual clock, and the
// requests it sends down: for the tests of the bus.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/usb/bus_status.h"
#include "platform/usb/configuration.h"
#include "platform/usb/requests.h"
#include "platform/usb/select_request.h"
#include "sim/usb/simulated_bus.h"
#include "sim/usb/tests/stream_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace usbsimtest {

using kernel::NTSTATUS;

// GET_DESCRIPTOR into the buffer, for as many bytes as it holds.
inline usb::DescriptorRequest descriptorRequest(std::uint8_t type,
                                                std::vector<std::uint8_t>& buffer,
                                                std::uint8_t index = 0,
                                                std::uint16_t language = 0) {
    usb::DescriptorRequest request{};
    request.header.length = sizeof(request);
    request.header.function = usb::Function::getDescriptorFromDevice;
    request.descriptorType = type;
    request.index = index;
    request.languageId = language;
    request.transfer.transferBuffer = buffer.data();
    request.transfer.transferBufferLength = static_cast<std::uint32_t>(buffer.size());
    return request;
}

// GET_STATUS of the device: a control transfer with its own setup packet.
inline usb::ControlTransferRequest getStatusRequest(std::vector<std::uint8_t>& buffer) {
    usb::ControlTransferRequest request{};
    request.header.length = sizeof(request);
    request.header.function = usb::Function::controlTransfer;
    request.transfer.transferFlags =
        usb::transfer_flags::directionIn | usb::transfer_flags::defaultPipe;
    request.transfer.transferBuffer = buffer.data();
    request.transfer.transferBufferLength = static_cast<std::uint32_t>(buffer.size());
    request.setupPacket =
        usb::makeSetupPacket(usb::Direction::in, usb::RequestType::standard, usb::Recipient::device,
                             usb::standard_request::getStatus, 0, 0, 0);
    return request;
}

// The driver's device on the bus device of a function, under a manual clock.
// What is still pending at the end goes with an unplug, before the requests
// are freed.
class BusStack {
public:
    explicit BusStack(usbsim::FunctionDescription description) : function(std::move(description)) {}
    ~BusStack() {
        bus.unplug();
        clock.settle();
    }
    BusStack(const BusStack&) = delete;
    BusStack& operator=(const BusStack&) = delete;

    // Sends the request, checks that it did not complete within the call,
    // and lets the bus complete it. A request the pool refused is not sent.
    NTSTATUS submit(std::uint32_t code, void* argument) {
        SentRequest request(m_device.stackSize());
        if (request.irp() == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        EXPECT_EQ(request.send(m_device.lower(), code, argument), kernel::STATUS_PENDING);
        EXPECT_FALSE(request.done());
        clock.settle();
        EXPECT_TRUE(request.done());
        return request.status();
    }
    NTSTATUS submit(usb::RequestHeader& record) {
        return submit(usb::internal_ioctl::submitRequest, &record);
    }

    // Sends the request and leaves it to the test.
    SentRequest& start(std::uint32_t code, void* argument) {
        SentRequest& request = add();
        request.send(m_device.lower(), code, argument);
        return request;
    }
    SentRequest& start(usb::RequestHeader& record) {
        return start(usb::internal_ioctl::submitRequest, &record);
    }
    // An idle request with its callback record.
    SentRequest& startIdle(usb::IdleCallbackInfo& info,
                           std::uint32_t length = sizeof(usb::IdleCallbackInfo)) {
        SentRequest& request = add();
        EXPECT_EQ(request.sendInput(m_device.lower(), usb::internal_ioctl::submitIdleNotification,
                                    &info, length),
                  kernel::STATUS_PENDING);
        return request;
    }

    // Selects the configuration with `interfaces` at setting 0, then setting 1
    // of `streaming` through `setting`.
    void selectStreaming(const std::vector<const usb::InterfaceDescriptor*>& interfaces,
                         const usb::InterfaceDescriptor* streaming, usb::RequestBlock& select,
                         usb::RequestBlock& setting) {
        const usb::ConfigurationView configuration = view();
        ASSERT_EQ(usb::buildSelectConfiguration(configuration, interfaces, kernel::poolTag("BsTs"),
                                                select),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(submit(*select.header()), kernel::STATUS_SUCCESS);
        ASSERT_EQ(usb::buildSelectInterface(
                      configuration,
                      select.as<usb::SelectConfigurationRequest>()->configurationHandle, streaming,
                      kernel::poolTag("BsTs"), setting),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(submit(*setting.header()), kernel::STATUS_SUCCESS);
    }

    // Selects the configuration with only the first interface that has a
    // setting 1, and that setting; its first pipe.
    usb::PipeInformation selectFirstStreaming(usb::RequestBlock& select,
                                              usb::RequestBlock& setting) {
        const usb::ConfigurationView configuration = view();
        const usb::InterfaceDescriptor* streaming =
            configuration.findInterface({.alternateSetting = 1});
        if (streaming == nullptr) {
            ADD_FAILURE() << "no setting 1";
            return {};
        }
        selectStreaming({configuration.findInterface({.number = streaming->bInterfaceNumber})},
                        streaming, select, setting);
        if (testing::Test::HasFatalFailure()) return {};
        return setting.as<usb::SelectInterfaceRequest>()->interface.pipes()[0];
    }

    // Resets a pipe and clears its halt.
    NTSTATUS resetPipe(usb::PipeHandle handle) {
        usb::PipeRequest reset{};
        reset.header.length = sizeof(reset);
        reset.header.function = usb::Function::syncResetPipeAndClearStall;
        reset.pipeHandle = handle;
        return submit(reset.header);
    }

    usb::ConfigurationView view() const {
        return usb::ConfigurationView(function.descriptors().configuration);
    }

    kernel::ManualClock clock;
    usbsim::UsbFunction function;
    usbsim::SimulatedBus bus{function};

private:
    SentRequest& add() {
        m_started.push_back(std::make_unique<SentRequest>(m_device.stackSize()));
        return *m_started.back();
    }

    DriverDevice m_device{bus, function, clock};
    std::vector<std::unique_ptr<SentRequest>> m_started;
};

} // namespace usbsimtest
