#include "driver/common/settings_store.h"
#include "driver/devmodel/audio_device_model.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/output_terminal.h"
#include "driver/devmodel/terminal_switch_control.h"
#include "sim/usb/fixture_parts.h"
#include "sim_usb_device.h"
#include "terminal_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace devmodel_test;
using engine_test::Log;
namespace terminal = usb::terminal_type;

constexpr std::uint16_t Speaker = 0x0301;

// A device model beside its HAL: it logs the endpoint updates it is asked
// for and whether the switch was marked changed by then.
class CModelHal : public CForwardingUnknown<CPlainHal, IAudioDeviceModel> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CPlainHal::NonDelegatingQueryInterface(id, object),
                               static_cast<IAudioDeviceModel*>(this), id, IID_IAudioDeviceModel,
                               object);
    }
    kernel::NTSTATUS UpdateEndpoints(std::uint32_t nodeId) override {
        std::uint32_t changed = 0;
        if (selection != nullptr) selection->GetChanged(&changed);
        log.push_back("update " + std::to_string(nodeId) + " changed " + std::to_string(changed));
        return updateStatus;
    }
    kernel::NTSTATUS GetCallbackObject(kernel::CallbackObject** object) override {
        log.push_back("callback");
        *object = nullptr;
        return callbackStatus;
    }
    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor*,
                                           std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS ParseStreamingInterfaces(const usb::ConfigurationDescriptor*,
                                              const usb::InterfaceDescriptor*,
                                              std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS AfterParse() override { return kernel::STATUS_SUCCESS; }

    ITerminalTypeSelection* selection = nullptr;
    NTSTATUS updateStatus = STATUS_SUCCESS;
    NTSTATUS callbackStatus = STATUS_SUCCESS;
    Log log;
};

struct TerminalSwitch : SimBusFixture {
    // A release-1 headphone terminal that can also play as a speaker,
    // parsed under a HAL with (or without) the device model's face.
    void Build(bool withModel, std::vector<std::uint16_t> types = {terminal::headphones, Speaker}) {
        device = std::make_shared<TerminalDevice>(true);
        usbsim::FunctionDescription d = usbsim::fixtures::namedFunction(
            usb::AudioRelease::uac1, 0x5A17, 0x0303, u"Switch test");
        d.entities = {
            usbsim::InputTerminal{.id = 1},
            usbsim::OutputTerminal{.id = 3, .terminalType = terminal::headphones, .source = 1}};
        d.requests = HookTo(device);
        Start(std::move(d));
        device->faces[3] = {.types = std::move(types), .current = terminal::headphones};
        model = std::make_unique<Held<CModelHal>>(Make<CModelHal>());
        CAudioHal* hal = withModel ? static_cast<CAudioHal*>(model->get()) : Hal();
        ASSERT_EQ((*model)->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
        const std::span<const std::uint8_t> bytes = (*usb)->Configuration();
        unit = std::make_unique<Held<CUac1OutputTerminal>>(Make<CUac1OutputTerminal>());
        parsed = (*unit)->Parse(bytes.subspan(ControlDescriptorsOf(bytes, 3)[0]), Device(), hal);
        if (parsed != STATUS_SUCCESS) return;
        control = static_cast<CUacTerminalSwitchControl*>(Items(*unit->get())[0]);
        (*model)->selection = control;
        follower = std::make_unique<Held<engine_test::CTestNode>>(
            Make<engine_test::CTestNode>(40u, 0u, &followerLog, engine_test::face::binding));
        ASSERT_EQ(control->AddFollower(follower->get()), STATUS_SUCCESS);
    }
    void TearDown() override {
        follower.reset();
        unit.reset();
        model.reset();
        SimBusFixture::TearDown();
    }
    std::uint32_t Cached() const {
        std::uint32_t code = 0;
        EXPECT_EQ(control->CTerminalTypeItem::GetCurrentType(&code), STATUS_SUCCESS);
        return code;
    }
    std::uint32_t Persisted() const {
        std::uint32_t code = 0;
        AccessUnitSetting(m_pFunction, SETTING_READ, &code, 4, control->GetId());
        return code;
    }

    std::shared_ptr<TerminalDevice> device;
    std::unique_ptr<Held<CModelHal>> model;
    std::unique_ptr<Held<CUac1OutputTerminal>> unit;
    std::unique_ptr<Held<engine_test::CTestNode>> follower;
    Log followerLog;
    NTSTATUS parsed = STATUS_UNSUCCESSFUL;
    CUacTerminalSwitchControl* control = nullptr;
};

TEST_F(TerminalSwitch, SelectingATypeRenamesTellsAndPersists) {
    Build(true);
    ASSERT_EQ(parsed, STATUS_SUCCESS);
    EXPECT_EQ(control->GetType(), item_type::terminalTypeSelection);
    EXPECT_EQ(Cached(), 2u);
    const std::size_t before = Requests();
    EXPECT_EQ(control->SelectType(1), STATUS_SUCCESS);
    EXPECT_EQ(RequestsFrom(before)[0], "41 81 0800 0300: 01 03");
    EXPECT_EQ((*model)->log, (Log{"update 3 changed 1", "callback"}));
    EXPECT_EQ(followerLog, Log{"40:changing 1<-0"});
    EXPECT_EQ(Cached(), 1u);
    EXPECT_EQ(Persisted(), 1u);

    // The code it has already: nothing happens.
    const std::size_t after = Requests();
    EXPECT_EQ(control->SelectType(1), STATUS_SUCCESS);
    EXPECT_EQ(Requests(), after);
    EXPECT_EQ((*model)->log.size(), 2u);
}

// Any failure on the way selects the previous type again and persists
// nothing; a model without the renaming face is skipped.
TEST_F(TerminalSwitch, AFailedSelectionRestoresThePreviousType) {
    struct Case {
        const char* name;
        bool withModel;
        NTSTATUS update;
        NTSTATUS callback;
        std::uint32_t code;
        NTSTATUS expected;
        std::vector<std::string> wire;
        std::uint32_t cached;
    };
    const Case cases[] = {
        {"renaming fails",
         true,
         DeviceStall,
         STATUS_SUCCESS,
         1,
         DeviceStall,
         {"41 81 0800 0300: 01 03", "41 81 0800 0300: 02 03"},
         2},
        {"callback fails",
         true,
         STATUS_SUCCESS,
         STATUS_INVALID_PARAMETER,
         1,
         STATUS_INVALID_PARAMETER,
         {"41 81 0800 0300: 01 03", "41 81 0800 0300: 02 03"},
         2},
        {"unlisted code", true, STATUS_SUCCESS, STATUS_SUCCESS, 7, STATUS_UNSUCCESSFUL, {}, 2},
        {"no model face",
         false,
         DeviceStall,
         DeviceStall,
         1,
         STATUS_SUCCESS,
         {"41 81 0800 0300: 01 03"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Build(c.withModel);
        ASSERT_EQ(parsed, STATUS_SUCCESS);
        (*model)->updateStatus = c.update;
        (*model)->callbackStatus = c.callback;
        const std::size_t before = Requests();
        EXPECT_EQ(control->SelectType(c.code), c.expected);
        std::vector<std::string> wire = RequestsFrom(before);
        // Output-type items re-read their jacks' state after a selection.
        std::erase_if(wire, [](const std::string& line) { return line[0] == 'C'; });
        EXPECT_EQ(wire, c.wire);
        EXPECT_EQ(Cached(), c.cached);
        std::uint32_t onTerminal = 0;
        EXPECT_EQ((*unit)->GetEndpointType(&onTerminal), STATUS_SUCCESS);
        EXPECT_EQ(onTerminal, c.cached);
        EXPECT_EQ(Persisted(), c.expected == STATUS_SUCCESS ? c.cached : 0u);
    }
}

TEST_F(TerminalSwitch, ReReadAndApplyFollowTheTerminal) {
    Build(true);
    ASSERT_EQ(parsed, STATUS_SUCCESS);
    ASSERT_EQ((*unit)->SelectEndpointType(1), STATUS_SUCCESS);
    EXPECT_EQ(Cached(), 2u);
    EXPECT_EQ(control->ReadFromDevice(), STATUS_SUCCESS);
    EXPECT_EQ(Cached(), 1u);
    EXPECT_EQ(Persisted(), 1u);
    EXPECT_EQ((*model)->log, (Log{"update 3 changed 1", "callback"}));

    // A device that went back to its own type after a power change is told
    // the switch's type again.
    device->faces[3].current = terminal::headphones;
    const std::size_t before = Requests();
    EXPECT_EQ(control->ApplyToDevice(), STATUS_SUCCESS);
    EXPECT_EQ(RequestsFrom(before), std::vector<std::string>{"41 81 0800 0300: 01 03"});
    EXPECT_EQ(device->faces[3].current, Speaker);
    std::uint32_t current = 0;
    EXPECT_EQ(control->GetCurrentType(&current), STATUS_SUCCESS);
    EXPECT_EQ(current, 1u);
}

TEST_F(TerminalSwitch, APersistedCodeIsCurrentFromTheStart) {
    std::uint32_t code = 1;
    // The switch is the terminal's third item: node id 2 in a fresh HAL.
    ASSERT_EQ(AccessUnitSetting(m_pFunction, SETTING_WRITE, &code, 4, 2), STATUS_SUCCESS);
    Build(true);
    ASSERT_EQ(parsed, STATUS_SUCCESS);
    EXPECT_EQ(control->GetId(), 2u);
    EXPECT_EQ(Cached(), 1u);
}

TEST_F(TerminalSwitch, SixTypesAreMoreThanTheItemsHold) {
    Build(true, {0x0302, 0x0301, 0x0304, 0x0305, 0x0306, 0x0307});
    EXPECT_EQ(parsed, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ((*model)->GetChildCount(), 0u);
}

} // namespace
