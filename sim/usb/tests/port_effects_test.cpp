// What resetting and cycling the port do to the function behind it, and the
// port status a driver reads while its device is away or the hub fails.
#include "sim/usb/simulated_bus.h"

#include "platform/usb/audio_requests.h"
#include "platform/usb/select_request.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/bus_stack.h"
#include "sim/usb/tests/request_helpers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using kernel::NTSTATUS;
using usbsim::BusFault;
using usbsim::BusRequestKind;
using usbsimtest::getStatusRequest;
using usbsimtest::SentRequest;

class PortEffects : public ::testing::Test, public usbsimtest::BusStack {
protected:
    PortEffects() : BusStack(usbsim::fixtures::uac1Headset()) {}

    // Configures the function and sets streaming setting 1; its first pipe.
    usb::PipeInformation configure() {
        const usb::PipeInformation pipe = selectFirstStreaming(m_select, m_setting);
        streamingInterface = m_setting.as<usb::SelectInterfaceRequest>()->interface.interfaceNumber;
        return pipe;
    }

    // The speaker's volume on the left channel.
    usbsim::ControlAddress volume() const {
        return usbsim::entityControl(function.description(), 2, usb::feature_control::volume, 1);
    }

    std::uint8_t streamingInterface = 0;

private:
    usb::RequestBlock m_select, m_setting;
};

struct PortCase {
    const char* what;
    std::uint32_t code;
    bool configurationKept;
    bool pendingLost; // a request held while the port control runs
    NTSTATUS oldPipe; // reset pipe with a handle given before
};

TEST_F(PortEffects, ResetKeepsTheConfigurationAndCycleStartsOver) {
    const PortCase cases[] = {
        {"reset", usb::internal_ioctl::resetPort, true, false, kernel::STATUS_SUCCESS},
        {"cycle", usb::internal_ioctl::cyclePort, false, true, kernel::STATUS_INVALID_PARAMETER},
    };
    for (const PortCase& c : cases) {
        SCOPED_TRACE(c.what);
        const usb::PipeInformation pipe = configure();
        const usbsim::Bytes initialVolume = *function.graph().current(volume());
        ASSERT_FALSE(usbsimtest::classOut(function, usb::uac1::request::setCur, volume(),
                                          usbsimtest::le(-512, 2))
                         .stalled);
        ASSERT_FALSE(usbsimtest::standardOut(
                         function, usb::Recipient::endpoint, usb::standard_request::setFeature,
                         usb::feature_selector::endpointHalt, pipe.endpointAddress)
                         .stalled);
        ASSERT_TRUE(function.endpointHalted(pipe.endpointAddress));
        const std::size_t logged = function.log().size();

        bus.injectFault(BusRequestKind::control, {BusFault::Type::hold});
        std::vector<std::uint8_t> buffer(2);
        usb::ControlTransferRequest held = getStatusRequest(buffer);
        SentRequest& pending = start(held.header);
        clock.settle();
        EXPECT_EQ(submit(c.code, nullptr), kernel::STATUS_SUCCESS);
        EXPECT_EQ(pending.done(), c.pendingLost);
        if (!pending.done()) io::cancelIrp(pending.irp());
        clock.settle();
        ASSERT_TRUE(pending.done());
        EXPECT_EQ(pending.status(),
                  c.pendingLost ? kernel::STATUS_DEVICE_NOT_CONNECTED : kernel::STATUS_CANCELLED);

        EXPECT_FALSE(function.endpointHalted(pipe.endpointAddress));
        EXPECT_EQ(*function.graph().current(volume()), initialVolume);
        EXPECT_GE(function.log().size(), logged); // the log is kept
        EXPECT_EQ(function.configurationValue() != 0, c.configurationKept);
        EXPECT_EQ(function.alternateSetting(streamingInterface).value_or(0xFF),
                  c.configurationKept ? 1 : 0xFF);
        std::uint32_t port = 0;
        EXPECT_EQ(submit(usb::internal_ioctl::getPortStatus, &port), kernel::STATUS_SUCCESS);
        EXPECT_EQ(port, usb::port_status::enabled | usb::port_status::connected);
        EXPECT_EQ(resetPipe(pipe.pipeHandle), c.oldPipe);
        usb::ControlTransferRequest fresh = getStatusRequest(buffer);
        EXPECT_EQ(submit(fresh.header), kernel::STATUS_SUCCESS);
    }
}

TEST_F(PortEffects, PortStatusFailsAsAskedAndReadsNotConnectedWhileUnplugged) {
    bus.injectFault(BusRequestKind::portStatus,
                    {BusFault::Type::fail, {}, kernel::STATUS_NO_SUCH_DEVICE}, 2);
    struct Step {
        const char* what;
        bool plugged;
        NTSTATUS status;
        std::uint32_t port; // as written; 0xFFFFFFFF: untouched
    };
    const Step steps[] = {
        {"the hub fails", true, kernel::STATUS_NO_SUCH_DEVICE, 0xFFFFFFFF},
        {"a fault waits while unplugged", false, kernel::STATUS_SUCCESS, 0},
        {"and fails the next after replug", true, kernel::STATUS_NO_SUCH_DEVICE, 0xFFFFFFFF},
        {"then the port answers", true, kernel::STATUS_SUCCESS,
         usb::port_status::enabled | usb::port_status::connected},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.plugged)
            bus.replug();
        else
            bus.unplug();
        std::uint32_t port = 0xFFFFFFFF;
        EXPECT_EQ(submit(usb::internal_ioctl::getPortStatus, &port), s.status);
        EXPECT_EQ(port, s.port);
    }
}

TEST_F(PortEffects, AFailedRecordSaysTheDeviceDidNotRespond) {
    bus.injectFault(BusRequestKind::control,
                    {BusFault::Type::fail, {}, kernel::STATUS_NO_SUCH_DEVICE});
    std::vector<std::uint8_t> buffer(2);
    usb::ControlTransferRequest request = getStatusRequest(buffer);
    EXPECT_EQ(submit(request.header), kernel::STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(request.header.status, usb::BusStatus::deviceNotResponding);
    EXPECT_TRUE(function.log().empty());
}

} // namespace
