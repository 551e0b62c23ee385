#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"
#include "sim/usb/fixture_parts.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"
#include "terminal_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace devmodel_test;
namespace terminal = usb::terminal_type;

constexpr std::uint32_t AlwaysConnected = 1u << 8;
constexpr std::uint32_t Pink = 9u << 12;
constexpr std::uint32_t Green = 4u << 12;
constexpr std::uint16_t Speaker = 0x0301;

struct Terminals : SimBusFixture {
    // A function of the release whose terminals the test's device answers.
    void StartWith(usb::AudioRelease release, std::vector<usbsim::Entity> entities) {
        device = std::make_shared<TerminalDevice>(release == usb::AudioRelease::uac1);
        usbsim::FunctionDescription d =
            usbsim::fixtures::namedFunction(release, 0x5A17, 0x0301, u"Terminal test");
        d.entities = std::move(entities);
        d.requests = HookTo(device);
        Start(std::move(d));
    }
    void StartUac1() {
        StartWith(
            usb::AudioRelease::uac1,
            {usbsim::InputTerminal{.id = 1},
             usbsim::InputTerminal{.id = 2, .terminalType = terminal::microphone, .channels = 1},
             usbsim::OutputTerminal{.id = 3, .terminalType = terminal::headphones, .source = 1},
             usbsim::OutputTerminal{.id = 4, .source = 2}});
        device->faces[2] = {.current = terminal::microphone,
                            .jacks = {{terminal::microphone,
                                       {{.channels = 0x1, .details = Pink},
                                        {.channels = 0x2, .details = Green | AlwaysConnected}}}},
                            .connected = 0x1};
        device->faces[3] = {.types = {terminal::headphones, Speaker},
                            .current = Speaker,
                            .jacks = {{terminal::headphones, {{.channels = 0x3, .details = Green}}},
                                      {Speaker, {{.channels = 0x3}, {.channels = 0xC}}}},
                            .connected = 0x3};
    }
    // Release 2: headphones with a connector control that can also play as
    // a speaker, timed by clock source 10.
    void StartUac2() {
        StartWith(usb::AudioRelease::uac2,
                  {usbsim::ClockSource{.id = 10, .rates = {{48000, 48000, 0}}},
                   usbsim::InputTerminal{.id = 1, .clockSource = 10},
                   usbsim::OutputTerminal{.id = 3,
                                          .terminalType = terminal::headphones,
                                          .source = 1,
                                          .clockSource = 10,
                                          .controls = 1u << 2,
                                          .jacks = {{.channels = 0x3}}}});
        device->faces[3] = {.types = {terminal::headphones, Speaker}, .current = Speaker};
    }

    std::vector<JackDescription> Jacks(ITerminalInfo& info, std::uint32_t typeIndex,
                                       NTSTATUS expected = STATUS_SUCCESS) {
        std::uint32_t count = 0;
        EXPECT_EQ(info.GetJackCount(&count, typeIndex), STATUS_SUCCESS);
        std::vector<JackDescription> jacks(count);
        if (count != 0) {
            EXPECT_EQ(
                info.GetJackDescriptions(count * sizeof(JackDescription), jacks.data(), typeIndex),
                expected);
        }
        return jacks;
    }

    std::shared_ptr<TerminalDevice> device;
};

std::vector<std::uint32_t> Connected(const std::vector<JackDescription>& jacks) {
    std::vector<std::uint32_t> states;
    for (const JackDescription& jack : jacks) states.push_back(jack.IsConnected);
    return states;
}

ITerminalInfo& InfoOf(IAudioNode& item) {
    void* face = nullptr;
    EXPECT_EQ(item.QueryInterface(IID_ITerminalInfo, &face), STATUS_SUCCESS);
    static_cast<ITerminalInfo*>(face)->Release();
    return *static_cast<ITerminalInfo*>(face);
}

TEST_F(Terminals, Uac1InputTerminalReadsItsJacksIntoItsItem) {
    StartUac1();
    auto* unit = ParseUnit<CUac1InputTerminal>(2, 2);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(RequestsFrom(0),
              (std::vector<std::string>{"C1 81 02FF 0200 <9", "C1 81 02FF 0200 <17",
                                        "C1 81 0200 0200 <6"}));
    EXPECT_EQ(ItemTypes(*unit), (std::vector<std::uint32_t>{item_type::inputTerminal}));
    EXPECT_EQ(unit->GetIdCount(), 0u);
    EXPECT_EQ(Hal()->GetChildCount(), 1u);

    ITerminalInfo& item = InfoOf(*Items(*unit)[0]);
    std::uint32_t code = 0;
    EXPECT_EQ(item.GetEndpointType(&code), STATUS_SUCCESS);
    EXPECT_EQ(code, 7u);
    const std::vector<JackDescription> jacks = Jacks(item, 0);
    ASSERT_EQ(jacks.size(), 2u);
    EXPECT_EQ(jacks[0].ChannelMapping, 0x1u);
    EXPECT_EQ(jacks[0].Color, 0xFF0080u);
    EXPECT_EQ(jacks[0].PresenceFlag, 1u);
    EXPECT_EQ(jacks[1].Color, 0x00FF00u);
    EXPECT_EQ(jacks[1].PresenceFlag, 0u);
    EXPECT_EQ(Connected(jacks), (std::vector<std::uint32_t>{1, 1}));
}

// A jack that reports its presence is connected when the device says so;
// one always connected stays so, and keeps the report a success even when
// the status cannot be read. With no such jack that failure is the jack
// control's, and so the terminal's.
TEST_F(Terminals, Uac1JackStateFollowsTheDeviceStatus) {
    struct Case {
        const char* name;
        std::uint32_t connected;
        bool answers;
        std::size_t jacks;
        std::vector<std::uint32_t> expected;
        NTSTATUS status;
    };
    const Case cases[] = {
        {"first connected", 0x1, true, 2, {1, 1}, STATUS_SUCCESS},
        {"none connected", 0x0, true, 2, {0, 1}, STATUS_SUCCESS},
        {"status refused", 0x1, false, 2, {0, 1}, STATUS_SUCCESS},
        {"status refused, presence jack only", 0x1, false, 1, {}, DeviceStall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartUac1();
        TerminalFace& face = device->faces[2];
        face.connected = c.connected;
        face.answersStatus = c.answers;
        face.jacks[terminal::microphone].resize(c.jacks);
        CUac1InputTerminal* unit = nullptr;
        ASSERT_EQ(TryParse(2, 2, &unit), c.status);
        if (c.status != STATUS_SUCCESS) continue;
        EXPECT_EQ(Connected(Jacks(*unit, 0)), c.expected);
        EXPECT_EQ(Connected(Jacks(InfoOf(*Items(*unit)[0]), 0)), c.expected);
    }
}

// Only the entries the device returned become jacks; a device without a
// jack list has none, which is no failure for release 1.
TEST_F(Terminals, Uac1JackListsUseOnlyTheBytesReturned) {
    struct Case {
        const char* name;
        std::uint32_t leftOff;
        bool answers;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"whole list", 0, true, 3},
        {"last entry missing", 8, true, 2},
        {"last entry cut short", 3, true, 2},
        {"list refused", 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartUac1();
        TerminalFace& face = device->faces[2];
        face.listBytesLeftOff = c.leftOff;
        face.jacks[terminal::microphone].push_back({.channels = 0x4, .details = AlwaysConnected});
        if (!c.answers) face.jacks.clear();
        auto* unit = ParseUnit<CUac1InputTerminal>(2, 2);
        ASSERT_NE(unit, nullptr);
        std::uint32_t count = 99;
        EXPECT_EQ(unit->GetJackCount(&count, 0), STATUS_SUCCESS);
        EXPECT_EQ(count, c.expected);
        EXPECT_EQ(Jacks(InfoOf(*Items(*unit)[0]), 0).size(), c.expected);
    }
}

TEST_F(Terminals, Uac1OutputTerminalListsItsTypesWithTheirJacks) {
    StartUac1();
    std::uint32_t bySelection = 1;
    ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &bySelection, 4, u"INITOTTYPEBYSEL"),
              STATUS_SUCCESS);
    auto* unit = ParseUnit<CUac1OutputTerminal>(3, 3);
    ASSERT_NE(unit, nullptr);
    const std::vector<std::string> wire = RequestsFrom(0);
    ASSERT_GE(wire.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(wire.begin(), wire.begin() + 11),
              (std::vector<std::string>{
                  "C1 81 0800 0300 <2", "C1 86 0800 0300 <2", "C1 86 0800 0300 <14",
                  "41 81 0800 0300: 02 03", "C1 81 02FF 0300 <9", "C1 81 02FF 0300 <9",
                  "41 81 0800 0300: 01 03", "C1 81 02FF 0300 <9", "C1 81 02FF 0300 <17",
                  "41 81 0800 0300: 01 03", "C1 81 0200 0300 <6"}));
    EXPECT_EQ(ItemTypes(*unit),
              (std::vector<std::uint32_t>{item_type::terminalTypeSelection,
                                          item_type::outputTerminal, item_type::outputTerminal}));
    EXPECT_EQ(IdsOf(*unit), std::vector<std::uint32_t>{1});
    std::uint32_t codes[5] = {};
    EXPECT_EQ(unit->GetEndpointTypes(5, codes), STATUS_SUCCESS);
    EXPECT_EQ(codes[0], 2u); // headphones
    EXPECT_EQ(codes[1], 1u); // speaker
    std::uint32_t current = 0;
    EXPECT_EQ(unit->GetEndpointType(&current), STATUS_SUCCESS);
    EXPECT_EQ(current, 1u);
    std::uint32_t jacks = 0;
    EXPECT_EQ(unit->GetJackCount(&jacks, 0), STATUS_SUCCESS);
    EXPECT_EQ(jacks, 1u);
    EXPECT_EQ(unit->GetJackCount(&jacks, 1), STATUS_SUCCESS);
    EXPECT_EQ(jacks, 2u);
    EXPECT_EQ(unit->GetJackCount(&jacks, 2), STATUS_INVALID_PARAMETER);
}

// Release 1 starts with the device's type whenever asked to, release 2 only
// when no code was persisted.
TEST_F(Terminals, OutputTerminalsStartWithTheTypeTheSettingsSay) {
    struct Case {
        const char* name;
        bool release1;
        bool bySelection;
        bool persisted;
        std::uint32_t expected;
    };
    // Settings stay from case to case: the persisted ones come last.
    const Case cases[] = {
        {"default", true, false, false, 2},
        {"by selection", true, true, false, 1},
        {"release 2 by selection", false, true, false, 1},
        {"persisted", true, false, true, 14},
        {"by selection over persisted", true, true, true, 1},
        {"release 2 by selection, persisted", false, true, true, 14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.release1 ? StartUac1() : StartUac2();
        std::uint32_t value = c.bySelection ? 1 : 0;
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &value, 4, u"INITOTTYPEBYSEL"),
                  STATUS_SUCCESS);
        value = 14;
        if (c.persisted) {
            ASSERT_EQ(AccessTerminalSetting(m_pFunction, SETTING_WRITE, &value, 4, 3),
                      STATUS_SUCCESS);
        }
        CUacOutputTerminal* unit =
            c.release1 ? static_cast<CUacOutputTerminal*>(ParseUnit<CUac1OutputTerminal>(3, 3))
                       : ParseUnit<CUac2OutputTerminal>(3, 3);
        ASSERT_NE(unit, nullptr);
        std::uint32_t current = 0;
        EXPECT_EQ(unit->GetEndpointType(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.expected);
        EXPECT_EQ(ItemTypes(*unit).size(), 3u);
    }
}

TEST_F(Terminals, Uac1OutputTerminalSelectsAPersistsAndReReadsItsTypes) {
    StartUac1();
    auto* unit = ParseUnit<CUac1OutputTerminal>(3, 3);
    ASSERT_NE(unit, nullptr);
    struct Case {
        const char* name;
        std::uint32_t code;
        NTSTATUS expected;
        std::vector<std::string> wire;
    };
    const Case cases[] = {
        {"current, told again", 2, STATUS_SUCCESS, {"41 81 0800 0300: 02 03"}},
        {"unlisted", 9, STATUS_UNSUCCESSFUL, {}},
        {"speaker", 1, STATUS_SUCCESS, {"41 81 0800 0300: 01 03", "C1 81 0200 0300 <6"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = Requests();
        EXPECT_EQ(unit->SelectEndpointType(c.code), c.expected);
        EXPECT_EQ(RequestsFrom(before), c.wire);
    }
    std::uint32_t stored = 0;
    EXPECT_EQ(AccessTerminalSetting(m_pFunction, SETTING_READ, &stored, 4, 3), STATUS_SUCCESS);
    EXPECT_EQ(stored, 1u);

    // The headphones, no longer current, show all their jacks connected
    // exactly when "SetJackConnect" says so, and ask the device nothing.
    for (std::uint32_t connect : {1u, 0u}) {
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &connect, 4, u"SetJackConnect"),
                  STATUS_SUCCESS);
        const std::size_t before = Requests();
        EXPECT_EQ(Connected(Jacks(*unit, 0)), std::vector<std::uint32_t>{connect});
        EXPECT_EQ(Requests(), before);
    }
}

TEST_F(Terminals, Uac1OutputTerminalWithoutATypeListHasOneTypeAndNoSwitch) {
    StartUac1();
    device->faces[3].types.clear();
    auto* unit = ParseUnit<CUac1OutputTerminal>(3, 3);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(ItemTypes(*unit), std::vector<std::uint32_t>{item_type::outputTerminal});
    std::uint32_t count = 0;
    EXPECT_EQ(unit->GetEndpointTypeCount(&count), STATUS_SUCCESS);
    EXPECT_EQ(count, 1u);
    auto* streaming = ParseUnit<CUac1OutputTerminal>(3, 4);
    ASSERT_NE(streaming, nullptr);
    EXPECT_EQ(streaming->GetJackCount(&count, 0), STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
}

// A switch on the device's side becomes the terminal's current code, is
// persisted and re-read by the items; the same type again changes nothing.
TEST_F(Terminals, Uac1OutputTerminalTakesOverTheDevicesSwitch) {
    StartUac1();
    auto* unit = ParseUnit<CUac1OutputTerminal>(3, 3);
    ASSERT_NE(unit, nullptr);
    device->faces[3].current = Speaker;
    std::uint32_t node = 0;
    std::size_t before = Requests();
    EXPECT_EQ(unit->OnDeviceChange(0, 0, &node), STATUS_SUCCESS);
    EXPECT_EQ(node, NoChangedNode);
    EXPECT_GT(Requests(), before + 1);
    std::uint32_t current = 0;
    EXPECT_EQ(unit->GetEndpointType(&current), STATUS_SUCCESS);
    EXPECT_EQ(current, 1u);
    std::uint32_t stored = 0;
    EXPECT_EQ(AccessTerminalSetting(m_pFunction, SETTING_READ, &stored, 4, 3), STATUS_SUCCESS);
    EXPECT_EQ(stored, 1u);
    before = Requests();
    EXPECT_EQ(unit->OnDeviceChange(0, 0, &node), STATUS_SUCCESS);
    EXPECT_EQ(RequestsFrom(before), std::vector<std::string>{"C1 81 0800 0300 <2"});
}

// Whatever allocation is refused, a release-1 terminal with several types
// and their jacks parses whole or leaves nothing behind. The simulated
// function's own allocations fail too and look like a device refusing: the
// output terminal then has one type.
TEST_F(Terminals, EveryRefusedAllocationLeavesNothingBehind) {
    StartUac1();
    const std::span<const std::uint8_t> bytes = (*usb)->Configuration();
    ExpectCleanUnderRefusals<CUac1InputTerminal>(
        bytes.subspan(ControlDescriptorsOf(bytes, 2)[1]), Device(), m_pFunction,
        [](std::uint32_t children) { EXPECT_EQ(children, 1u); });
    ExpectCleanUnderRefusals<CUac1OutputTerminal>(
        bytes.subspan(ControlDescriptorsOf(bytes, 3)[0]), Device(), m_pFunction,
        [](std::uint32_t children) { EXPECT_TRUE(children == 1 || children == 3) << children; });
}

} // namespace
