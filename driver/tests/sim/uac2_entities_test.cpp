#include "driver/common/settings_store.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"
#include "driver/devmodel/uac2_clock_source.h"
#include "driver/devmodel/uac2_units.h"
#include "driver/devmodel/unit_controls.h"
#include "sim/usb/descriptor_builder.h"
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
using usbsim::Bytes;

constexpr std::uint16_t Connector = 1u << 2;
constexpr std::uint16_t Speaker = 0x0301;

struct Uac2Entities : SimBusFixture {
    // A release-2 function: a clock source 10, streaming input 1, and the
    // entities given; the test's device answers terminal type requests.
    void StartWith(std::vector<usbsim::Entity> more,
                   std::vector<usbsim::RateRange> rates = {{48000, 48000, 0}}) {
        device = std::make_shared<TerminalDevice>(false);
        description = usbsim::fixtures::namedFunction(usb::AudioRelease::uac2, 0x5A17, 0x0302,
                                                      u"Release 2 test");
        description.entities = {usbsim::ClockSource{.id = 10, .rates = std::move(rates)},
                                usbsim::InputTerminal{.id = 1, .clockSource = 10}};
        for (usbsim::Entity& entity : more) description.entities.push_back(std::move(entity));
        description.requests = HookTo(device);
        Start(description);
    }

    usbsim::FunctionDescription description;
    std::shared_ptr<TerminalDevice> device;
};

usbsim::OutputTerminal Headphones(std::uint16_t controls = Connector) {
    return {.id = 3,
            .terminalType = terminal::headphones,
            .source = 1,
            .clockSource = 10,
            .controls = controls,
            .jacks = {{.channels = 0x3, .details = 4u << 12}},
            .connectedChannels = 0x3};
}

std::uint32_t ClockOf(CUacTerminal& terminal, NTSTATUS* status) {
    void* face = nullptr;
    *status = static_cast<ITerminalInfo&>(terminal).QueryInterface(IID_IClockSourceLink, &face);
    if (*status != STATUS_SUCCESS) return 0;
    auto* link = static_cast<IClockSourceLink*>(face);
    std::uint32_t id = 0;
    *status = link->GetClockSourceId(&id);
    link->Release();
    return id;
}

TEST_F(Uac2Entities, TerminalsReadJacksThroughTheirConnectorAndNameTheirClock) {
    Start(usbsim::fixtures::uac2FeedbackDevice());
    auto* microphone = ParseUnit<CUac2InputTerminal>(2, 4);
    ASSERT_NE(microphone, nullptr);
    EXPECT_EQ(RequestsFrom(0), (std::vector<std::string>{"A1 01 02FF 0400 <9", "A1 01 02FF 0400 <9",
                                                         "A1 01 0200 0400 <6"}));
    std::size_t before = Requests();
    auto* headphones = ParseUnit<CUac2OutputTerminal>(3, 3);
    ASSERT_NE(headphones, nullptr);
    EXPECT_EQ(
        RequestsFrom(before),
        (std::vector<std::string>{"A1 01 0800 0300 <2", "A1 02 0800 0300 <2", "A1 01 02FF 0300 <9",
                                  "A1 01 02FF 0300 <9", "A1 01 0200 0300 <6"}));
    EXPECT_EQ(ItemTypes(*headphones), std::vector<std::uint32_t>{item_type::outputTerminal});

    JackDescription jack{};
    EXPECT_EQ(microphone->GetJackDescriptions(sizeof(jack), &jack, 0), STATUS_SUCCESS);
    EXPECT_EQ(jack.ChannelMapping, 0x4u);
    EXPECT_EQ(jack.Color, 0xFF0080u);
    EXPECT_EQ(jack.PresenceFlag, 0u);
    EXPECT_EQ(jack.IsConnected, 1u);
    EXPECT_EQ(microphone->GetJackDescriptions(sizeof(jack) - 1, &jack, 0),
              STATUS_INVALID_PARAMETER);

    NTSTATUS status = STATUS_UNSUCCESSFUL;
    EXPECT_EQ(ClockOf(*microphone, &status), 10u);
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_EQ(ClockOf(*headphones, &status), 10u);
    EXPECT_EQ(status, STATUS_SUCCESS);
    Held<CUac1InputTerminal> release1(Make<CUac1InputTerminal>());
    ClockOf(*release1.get(), &status);
    EXPECT_NE(status, STATUS_SUCCESS);
    Held<CUac2InputTerminal> unparsed(Make<CUac2InputTerminal>());
    ClockOf(*unparsed.get(), &status);
    EXPECT_EQ(status, STATUS_INVALID_PARAMETER);

    // Only a connector change of the whole terminal re-reads its jacks.
    const std::uint32_t jackItem = Items(*microphone)[0]->GetId();
    std::uint32_t node = 0xAAAA;
    EXPECT_EQ(microphone->OnDeviceChange(1, 0, &node), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(microphone->OnDeviceChange(2, 1, &node), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(node, 0xAAAAu);
    before = Requests();
    EXPECT_EQ(microphone->OnDeviceChange(2, 0, &node), STATUS_SUCCESS);
    EXPECT_EQ(node, jackItem);
    EXPECT_GT(Requests(), before);
}

// Without the connector control nothing is asked: one type, no jacks; a
// connector whose jack list is refused ends the terminal.
TEST_F(Uac2Entities, ConnectorControlDecidesWhetherTheDeviceIsAsked) {
    StartWith({Headphones(0)});
    auto* plain = ParseUnit<CUac2OutputTerminal>(3, 3);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(Requests(), 0u);
    std::uint32_t count = 9;
    EXPECT_EQ(plain->GetJackCount(&count, 0), STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
    JackDescription jack{};
    EXPECT_EQ(plain->GetJackDescriptions(sizeof(jack), &jack, 0), STATUS_INVALID_PARAMETER);

    // The same terminal claiming a connector the function does not answer.
    Bytes bytes = usbsim::buildConfiguration(description);
    const std::vector<std::size_t> found = ControlDescriptorsOf(bytes, 3);
    ASSERT_EQ(found.size(), 1u);
    bytes[found[0] + 9] = Connector;
    description.rawConfiguration = bytes;
    Start(description);
    CUac2OutputTerminal* refused = nullptr;
    EXPECT_EQ(TryParse(3, 3, &refused), DeviceStall);
    EXPECT_EQ(Hal()->GetChildCount(), 0u);
}

TEST_F(Uac2Entities, OutputTerminalFollowsTypeAndConnectorChanges) {
    StartWith({Headphones()});
    device->faces[3] = {.types = {terminal::headphones, Speaker}, .current = terminal::headphones};
    auto* unit = ParseUnit<CUac2OutputTerminal>(3, 3);
    ASSERT_NE(unit, nullptr);
    std::size_t before = Requests();
    EXPECT_EQ(unit->SelectEndpointType(1), STATUS_SUCCESS);
    ASSERT_GT(Requests(), before);
    EXPECT_EQ(RequestsFrom(before)[0], "21 01 0800 0300: 01 03");

    struct Case {
        const char* name;
        std::uint8_t selector;
        bool answers;
        std::uint16_t deviceType;
        NTSTATUS expected;
        std::uint32_t current;
    };
    const Case cases[] = {
        {"type switched back", 8, true, terminal::headphones, STATUS_SUCCESS, 2},
        {"connector", 2, true, Speaker, STATUS_SUCCESS, 2},
        {"type read refused", 8, false, Speaker, DeviceStall, 2},
        {"copy protection", 1, true, Speaker, STATUS_UNSUCCESSFUL, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TerminalFace& face = device->faces[3];
        face.current = c.deviceType;
        if (!c.answers) device->faces.clear();
        std::uint32_t node = 0;
        EXPECT_EQ(unit->OnDeviceChange(c.selector, 0, &node), c.expected);
        EXPECT_EQ(node, NoChangedNode);
        std::uint32_t current = 0;
        EXPECT_EQ(unit->GetEndpointType(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.current);
    }
    std::uint32_t stored = 0;
    EXPECT_EQ(AccessTerminalSetting(m_pFunction, SETTING_READ, &stored, 4, 3), STATUS_SUCCESS);
    EXPECT_EQ(stored, 2u);
}

// Discrete sub-ranges are rates; a continuous one is left out and reported,
// and the clock's item still runs at the discrete ones; with none it fails.
TEST_F(Uac2Entities, ClockSourceKeepsTheDiscreteRatesItIsGiven) {
    struct Case {
        const char* name;
        std::vector<usbsim::RateRange> ranges;
        std::uint32_t room;
        NTSTATUS rates;
        std::vector<std::uint32_t> expected;
        NTSTATUS parse;
        std::uint32_t itemRates;
    };
    const Case cases[] = {
        {"three discrete",
         {{44100, 44100, 0}, {48000, 48000, 0}, {96000, 96000, 0}},
         8,
         STATUS_SUCCESS,
         {44100, 48000, 96000},
         STATUS_SUCCESS,
         3},
        {"room for two",
         {{44100, 44100, 0}, {48000, 48000, 0}, {96000, 96000, 0}},
         2,
         STATUS_SUCCESS,
         {44100, 48000},
         STATUS_SUCCESS,
         3},
        {"discrete then continuous",
         {{44100, 44100, 0}, {48000, 48000, 0}, {8000, 96000, 1}},
         8,
         STATUS_INVALID_PARAMETER,
         {44100, 48000},
         STATUS_SUCCESS,
         2},
        {"continuous only",
         {{8000, 96000, 1}},
         8,
         STATUS_INVALID_PARAMETER,
         {},
         STATUS_INVALID_PARAMETER,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartWith({}, c.ranges);
        CUac2ClockSource* clock = nullptr;
        ASSERT_EQ(TryParse(10, 10, &clock), c.parse);
        std::uint32_t count = c.room;
        std::vector<std::uint32_t> rates(c.room, 0);
        EXPECT_EQ(clock->GetSampleRates(&count, rates.data()), c.rates);
        rates.resize(count);
        EXPECT_EQ(rates, c.expected);
        if (c.parse != STATUS_SUCCESS) {
            EXPECT_EQ(Hal()->GetChildCount(), 0u);
            continue;
        }
        auto* item = static_cast<CUacClockControl*>(Items(*clock)[0]);
        EXPECT_EQ(item->GetType(), item_type::clockRates);
        std::uint32_t itemCount = 0;
        EXPECT_EQ(item->GetSampleRateCount(&itemCount), STATUS_SUCCESS);
        EXPECT_EQ(itemCount, c.itemRates);
    }
}

TEST_F(Uac2Entities, ClockSourceRequestsAreExact) {
    StartWith({}, {{44100, 44100, 0}, {48000, 48000, 0}});
    auto* clock = ParseUnit<CUac2ClockSource>(10, 10);
    ASSERT_NE(clock, nullptr);
    std::size_t before = Requests();
    EXPECT_EQ(clock->SetSampleRate(44100), STATUS_SUCCESS);
    EXPECT_EQ(clock->SetSampleRate(48000), STATUS_SUCCESS);
    std::uint32_t rate = 0;
    EXPECT_EQ(clock->GetSampleRate(&rate), STATUS_SUCCESS);
    EXPECT_EQ(rate, 48000u);
    std::uint8_t valid = 0;
    EXPECT_EQ(clock->GetClockValid(&valid), STATUS_SUCCESS);
    EXPECT_EQ(valid, 1u);
    EXPECT_EQ(
        RequestsFrom(before),
        (std::vector<std::string>{"21 01 0100 0A00: 44 AC 00 00", "21 01 0100 0A00: 80 BB 00 00",
                                  "A1 01 0100 0A00 <4", "A1 01 0200 0A00 <1"}));
    std::uint32_t count = 0;
    EXPECT_EQ(clock->GetSampleRates(nullptr, &rate), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(clock->GetSampleRateCount(&count), STATUS_SUCCESS);
    EXPECT_EQ(count, 2u);
}

// A device that counts more sub-ranges than it returns: only the whole ones
// it returned are read.
TEST_F(Uac2Entities, ClockSourceReadsOnlyTheSubRangesReturned) {
    StartWith({});
    Bytes bytes = usbsim::buildConfiguration(description);
    const std::vector<std::size_t> found = ControlDescriptorsOf(bytes, 10);
    ASSERT_EQ(found.size(), 1u);
    bytes[found[0] + 3] = 11; // a clock the control graph does not know
    description.rawConfiguration = bytes;
    description.requests = [](const usb::SetupPacket& setup,
                              std::span<const std::uint8_t>) -> std::optional<Bytes> {
        if (setup.bRequest != 0x02 || setup.wIndex.value() != 0x0B00) return std::nullopt;
        Bytes answer{3, 0};
        for (std::uint32_t rate : {44100u, 48000u})
            for (std::uint32_t word : {rate, rate, 0u})
                for (int i = 0; i < 4; ++i)
                    answer.push_back(static_cast<std::uint8_t>(word >> 8 * i));
        answer.push_back(0x11); // part of a third
        return answer;
    };
    Start(description);
    auto* clock = ParseUnit<CUac2ClockSource>(10, 11);
    ASSERT_NE(clock, nullptr);
    std::uint32_t count = 8;
    std::uint32_t rates[8] = {};
    EXPECT_EQ(clock->GetSampleRates(&count, rates), STATUS_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(rates[1], 48000u);
}

TEST_F(Uac2Entities, MixerExtensionAndSelectorUnitsTakeTheirSources) {
    StartWith({usbsim::InputTerminal{
                   .id = 2, .terminalType = terminal::microphone, .channels = 1, .clockSource = 10},
               usbsim::MixerUnit{
                   .id = 5, .sources = {1, 2}, .sourceChannels = {2, 1}, .crossings = {{1, 1}}},
               usbsim::SelectorUnit{.id = 8, .sources = {1, 2, 5}, .initial = 2}});
    auto* mixer = ParseUnit<CUac2MixerUnit>(4, 5);
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(IdsOf(*mixer), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(ItemTypes(*mixer), std::vector<std::uint32_t>{item_type::mixer});
    EXPECT_EQ(IdsOf(*Items(*mixer)[0]), (std::vector<std::uint32_t>{0, 0}));

    // Extension code 0x1234, sources 7 and 9, two channels.
    const std::vector<std::uint8_t> extension = {17, 0x24, 0x09, 0x0C, 0x34, 0x12, 2, 7, 9,
                                                 2,  0x03, 0,    0,    0,    0,    0, 0};
    Held<CUac2MixerUnit> unit(Make<CUac2MixerUnit>());
    ASSERT_EQ(unit->ParseExtension(extension, Device(), Hal()), STATUS_SUCCESS);
    EXPECT_EQ(unit->GetType(), 9u);
    EXPECT_EQ(IdsOf(*unit.get()), (std::vector<std::uint32_t>{7, 9}));
    EXPECT_EQ(unit->Parse(extension, Device(), Hal()), STATUS_INVALID_PARAMETER);

    auto* selector = ParseUnit<CUac2SelectorUnit>(5, 8);
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(IdsOf(*selector), (std::vector<std::uint32_t>{1, 2, 5}));
    std::size_t before = Requests();
    std::uint32_t input = 0;
    EXPECT_EQ(selector->GetCurrentInput(&input), STATUS_SUCCESS);
    EXPECT_EQ(input, 2u);
    EXPECT_EQ(selector->SetCurrentInput(3), STATUS_SUCCESS);
    EXPECT_EQ(selector->SetCurrentInput(4), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(selector->SetCurrentInput(0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(RequestsFrom(before),
              (std::vector<std::string>{"A1 01 0100 0800 <1", "21 01 0100 0800: 03"}));
}

} // namespace
