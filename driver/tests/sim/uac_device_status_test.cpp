// The status threads: interrupt messages reach the entity that changed and
// publish its nodes; messages of other originators stay quiet; power
// changes start and stop the thread once.
#include "uac_device_fixture.h"

namespace devmodel_test {
namespace {

class UacDeviceStatus : public UacDeviceFixture {
protected:
    void Listen() {
        ASSERT_EQ(Hal()->RegisterCallback(ControlChanges::Record, &changes, &m_pRegistration),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        if (m_pRegistration != nullptr) Hal()->UnregisterCallback(m_pRegistration);
        UacDeviceFixture::TearDown();
    }
    // The message arrives and everything it wakes has run.
    void Post(std::vector<std::uint8_t> message) {
        changes.nodes.clear();
        stack->bus.postStatusMessage(std::move(message));
        stack->clock.settle();
    }
    // The device changes a control on its own, as a button on it would.
    void DeviceSets(std::uint8_t request, std::uint8_t selector, std::uint8_t entity,
                    std::vector<std::uint8_t> value) {
        const usb::SetupPacket setup = usb::makeSetupPacket(
            usb::Direction::out, usb::RequestType::classSpecific, usb::Recipient::interface,
            request, static_cast<std::uint16_t>(selector << 8),
            static_cast<std::uint16_t>(entity << 8), static_cast<std::uint16_t>(value.size()));
        ASSERT_FALSE(stack->function.control(setup, value).stalled);
    }
    void StartModel() {
        ASSERT_EQ(Hal()->Start(), STATUS_SUCCESS);
        stack->clock.settle();
    }

    ControlChanges changes;

private:
    kernel::CallbackRegistration* m_pRegistration = nullptr;
};

// Feature unit 9 of the headset: mute 10, volume 11, automatic gain 12.
TEST_F(UacDeviceStatus, Uac1StatusAnnouncesItemsThatReadBack) {
    ASSERT_EQ(Build(IdentifiedUac1Headset()), STATUS_SUCCESS);
    Listen();
    StartModel();
    DeviceSets(usb::uac1::request::setCur, 2, 9, {0x00, 0x0A}); // volume 10 dB
    Post({0x00, 9});
    EXPECT_EQ(changes.nodes, (std::vector<std::uint32_t>{12, 11, 10}));
    // Unchanged since: the volume's re-read fails and is not announced.
    Post({0x00, 9});
    EXPECT_EQ(changes.nodes, (std::vector<std::uint32_t>{12, 10}));
}

TEST_F(UacDeviceStatus, Uac1StatusOfOtherOriginatorsIsIgnored) {
    ASSERT_EQ(Build(IdentifiedUac1Headset()), STATUS_SUCCESS);
    Listen();
    StartModel();
    for (std::uint8_t originator : {0x01, 0x02, 0x4F}) {
        Post({originator, 9});
        EXPECT_TRUE(changes.nodes.empty()) << int(originator);
    }
    Post({0x00, 77}); // no such entity
    EXPECT_TRUE(changes.nodes.empty());
    // The read was armed again each time.
    Post({0x00, 9});
    EXPECT_FALSE(changes.nodes.empty());
}

// Release 2: bInfo, bAttribute, wValue (channel, selector), wIndex
// (interface, entity). Feature unit 5's mute is node 6.
TEST_F(UacDeviceStatus, Uac2StatusNamesTheChangedControl) {
    ASSERT_EQ(Build(usbsim::fixtures::uac2FeedbackDevice()), STATUS_SUCCESS);
    Listen();
    StartModel();
    Post({0x00, 0x01, 0x00, 0x01, 0x00, 5});
    EXPECT_EQ(changes.nodes, (std::vector<std::uint32_t>{6}));

    struct Ignored {
        const char* why;
        std::vector<std::uint8_t> message;
    };
    const Ignored ignored[] = {
        {"endpoint originator", {0x01, 0x01, 0x00, 0x01, 0x00, 5}},
        {"vendor-specific", {0x02, 0x01, 0x00, 0x01, 0x00, 5}},
        {"RANGE change", {0x00, 0x02, 0x00, 0x01, 0x00, 5}},
        {"another interface", {0x00, 0x01, 0x00, 0x01, 0x01, 5}},
        {"short message", {0x00, 0x01, 0x00, 0x01, 0x00}},
        {"no item of that control", {0x00, 0x01, 0x00, 0x04, 0x00, 5}},
    };
    for (const Ignored& entry : ignored) {
        Post(entry.message);
        EXPECT_TRUE(changes.nodes.empty()) << entry.why;
    }
}

TEST_F(UacDeviceStatus, PowerStateTwiceDoesNothingTheSecondTime) {
    ASSERT_EQ(Build(IdentifiedUac1Headset()), STATUS_SUCCESS);
    StartModel();
    auto* power = static_cast<portcls::IAdapterPowerManagement*>(Model());
    power->PowerChangeState(io::DevicePowerState::D3);
    stack->clock.settle();
    EXPECT_EQ(stack->bus.received(usbsim::BusRequestKind::abortPipe), 1);
    power->PowerChangeState(io::DevicePowerState::D3);
    stack->clock.settle();
    EXPECT_EQ(stack->bus.received(usbsim::BusRequestKind::abortPipe), 1);
    EXPECT_EQ(Model()->GetPowerState(), io::DevicePowerState::D3);

    const int selections = stack->bus.received(usbsim::BusRequestKind::selectInterface);
    power->PowerChangeState(io::DevicePowerState::D0);
    stack->clock.settle();
    EXPECT_EQ(stack->bus.received(usbsim::BusRequestKind::selectInterface), selections + 1);
    power->PowerChangeState(io::DevicePowerState::D0);
    stack->clock.settle();
    EXPECT_EQ(stack->bus.received(usbsim::BusRequestKind::selectInterface), selections + 1);
}

// Without a status endpoint, or with one of another size, the device
// starts without a thread.
TEST_F(UacDeviceStatus, NoStatusPipeNoThread) {
    for (std::optional<usbsim::StatusEndpoint> status :
         {std::optional<usbsim::StatusEndpoint>{},
          std::optional<usbsim::StatusEndpoint>{{.address = 0x83, .maxPacketSize = 6}}}) {
        usbsim::FunctionDescription description = IdentifiedUac1Headset();
        description.status = status;
        ASSERT_EQ(Build(std::move(description)), STATUS_SUCCESS);
        const std::size_t threads = kernel::runningSystemThreads();
        StartModel();
        EXPECT_EQ(kernel::runningSystemThreads(), threads);
        Hal()->Stop();
        EXPECT_EQ(stack->bus.received(usbsim::BusRequestKind::abortPipe), 0);
    }
}

} // namespace
} // namespace devmodel_test
