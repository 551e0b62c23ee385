// The N3W8 model's own entity classes parsed from the chip's configuration
// on the simulated bus: what each sends (compared with the function's
// request log), the output routing registers, the mute LED, the forced
// mute, the volume maps and the nodes that act on the stream.
#include "driver/common/settings_store.h"
#include "driver/devmodel/chips/n3w8/n3w8_control_nodes.h"
#include "driver/devmodel/chips/n3w8/n3w8_feature_units.h"
#include "driver/devmodel/chips/n3w8/n3w8_registers.h"
#include "driver/devmodel/chips/n3w8/n3w8_terminals.h"
#include "driver/devmodel/control_settings.h"
#include "driver/devmodel/terminal_tables.h"
#include "driver/tests/test_wave_formats.h"
#include "entity_test_support.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace devmodel_test;
using Lines = std::vector<std::string>;

constexpr std::int32_t Db = 65536;
constexpr std::uint8_t InputTerminalSubtype = 2;
constexpr std::uint8_t OutputTerminalSubtype = 3;
constexpr std::uint8_t FeatureUnitSubtype = 6;
constexpr std::uint8_t Mute = 1;
constexpr std::uint8_t Volume = 2;

// A HAL whose endpoint records name the direction and endpoint type asked.
class CKindHal : public CPlainHal {
public:
    using CPlainHal::CPlainHal;
    kernel::NTSTATUS GetEndpointInfoRecord(std::uint32_t direction, std::uint32_t type,
                                           EndpointInfoRecord* record) override {
        *record = {{0x4E33, direction, type, 0, 0, 0, 0, 0}};
        return kernel::STATUS_SUCCESS;
    }
};

// A register write as the chip's log shows it.
std::string RegisterWrite(std::uint32_t index, std::uint16_t value) {
    char text[48];
    std::snprintf(text, sizeof text, "21 09 0200 0003: 20 %02X %02X %02X", value & 0xFF, value >> 8,
                  index);
    return text;
}

// A class request to a unit of the AudioControl interface (number 0).
std::string UnitWrite(std::uint8_t unit, std::uint8_t selector, std::uint8_t channel,
                      std::vector<std::uint8_t> data) {
    char text[48];
    std::snprintf(text, sizeof text, "21 01 %02X%02X %02X00:", selector, channel, unit);
    std::string line = text;
    for (std::uint8_t b : data) {
        std::snprintf(text, sizeof text, " %02X", b);
        line += text;
    }
    return line;
}

struct N3W8Entities : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        StartChip(usbsim::fixtures::n3w8Device(chip));
    }
    void StartChip(usbsim::FunctionDescription description) {
        kindHal.reset();
        registers.reset();
        Start(std::move(description));
        registers = std::make_unique<CN3W8Registers>(Device());
        ReloadRegisters();
        kindHal = std::make_unique<Held<CKindHal>>(Make<CKindHal>());
        ASSERT_EQ((*kindHal)->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
        context.registers = registers.get();
    }
    void TearDown() override {
        units.clear();
        kindHal.reset();
        registers.reset();
        SimBusFixture::TearDown();
    }
    void ReloadRegisters() {
        registers->Load(
            {{{0x2004, 2}, {0x3002, 2}, {0xF800, 2}, {0x143F, 2}, {0, 2}, {0x3000, 2}}});
    }

    // The entity of the subtype and id, parsed with the model's context;
    // null when the parse failed.
    template <class Unit> Unit* Parse(std::uint8_t subtype, std::uint8_t id) {
        const std::span<const std::uint8_t> bytes = (*usb)->Configuration();
        for (std::size_t at : ControlDescriptorsOf(bytes, subtype)) {
            if (bytes[at + 3] != id) continue;
            auto held = std::make_shared<Held<Unit>>(Make<Unit>());
            units.push_back(held);
            parsed = (*held)->Parse(bytes.subspan(at), Device(), kindHal->get(), context);
            return kernel::succeeded(parsed) ? held->get() : nullptr;
        }
        ADD_FAILURE() << "no entity " << int(id);
        return nullptr;
    }
    // The analog (9), record (8) or playback (13) unit.
    CN3W8FeatureUnit* ParseVolumeUnit(std::uint8_t id) {
        if (id == 9) return Parse<CN3W8AnalogFeatureUnit>(FeatureUnitSubtype, id);
        if (id == 8) return Parse<CN3W8RecordFeatureUnit>(FeatureUnitSubtype, id);
        return Parse<CN3W8MuteLedFeatureUnit>(FeatureUnitSubtype, id);
    }
    template <class Node> Node* ItemOf(CUacEntity& entity) {
        for (IAudioNode* item : Items(entity))
            if (auto* node = dynamic_cast<Node*>(item)) return node;
        return nullptr;
    }
    void WriteSetting(const char16_t* name, std::uint32_t value, std::uint32_t bytes = 4) {
        ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &value, bytes, name), STATUS_SUCCESS);
    }
    std::uint32_t StoredTerminalType() {
        std::uint32_t stored = 0;
        AccessTerminalSetting(m_pFunction, SETTING_READ, &stored, sizeof stored, 3);
        return stored;
    }

    std::shared_ptr<usbsim::fixtures::N3W8Chip> chip =
        std::make_shared<usbsim::fixtures::N3W8Chip>();
    std::unique_ptr<CN3W8Registers> registers;
    std::unique_ptr<Held<CKindHal>> kindHal;
    N3W8EntityContext context;
    NTSTATUS parsed = STATUS_SUCCESS;
};

const Lines SpeakerRouting = {RegisterWrite(2, 0xE000), RegisterWrite(1, 0x3002),
                              RegisterWrite(0, 0x2004)};
const Lines HeadphoneRouting = {RegisterWrite(2, 0xFFE0), RegisterWrite(1, 0x3002),
                                RegisterWrite(0, 0x2004)};
const Lines SpdifRouting = {RegisterWrite(2, 0xE7F8), RegisterWrite(1, 0x3000),
                            RegisterWrite(0, 0xA004)};

Lines Joined(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The stored type is routed when the terminal is made, whether or not the
// product still offers it; one no longer offered gives way to speakers,
// on the chip too, and the setting keeps the user's choice.
TEST_F(N3W8Entities, TheOutputTerminalRoutesTheStoredTypeWhenMade) {
    const struct {
        const char* name;
        std::uint32_t stored; // 0: none
        bool headphones, spdif;
        Lines sent;
        std::uint32_t current;
        std::uint32_t items;
    } cases[] = {
        {"nothing stored", 0, true, true, SpeakerRouting, 1, 4},
        {"headphones", 2, true, true, HeadphoneRouting, 2, 4},
        {"S/PDIF", 3, false, true, SpdifRouting, 3, 3},
        {"headphones no longer offered", 2, false, false,
         Joined({HeadphoneRouting, SpeakerRouting}), 1, 1},
        {"not a type", 7, true, true, {}, 1, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReloadRegisters();
        if (c.stored != 0) {
            ASSERT_EQ(AccessTerminalSetting(m_pFunction, SETTING_WRITE,
                                            const_cast<std::uint32_t*>(&c.stored), 4, 3),
                      STATUS_SUCCESS);
        }
        context.headphones = c.headphones;
        context.spdif = c.spdif;
        const std::size_t first = Requests();
        auto* terminal = Parse<CN3W8OutputTerminal>(OutputTerminalSubtype, 3);
        ASSERT_NE(terminal, nullptr);
        EXPECT_EQ(RequestsFrom(first), c.sent);
        std::uint32_t current = 0;
        ASSERT_EQ(terminal->GetEndpointType(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.current);
        EXPECT_EQ(Items(*terminal).size(), c.items);
        if (c.stored != 0) {
            EXPECT_EQ(StoredTerminalType(), c.stored);
        }
    }
}

TEST_F(N3W8Entities, SelectingAnOutputTypeRoutesTheChipAndPersistsIt) {
    auto* terminal = Parse<CN3W8OutputTerminal>(OutputTerminalSubtype, 3);
    ASSERT_NE(terminal, nullptr);
    const struct {
        const char* name;
        std::uint32_t code;
        NTSTATUS status;
        Lines sent;
        std::uint32_t current;
    } steps[] = {
        {"headphones", 2, STATUS_SUCCESS, HeadphoneRouting, 2},
        {"S/PDIF", 3, STATUS_SUCCESS, SpdifRouting, 3},
        {"the current one again",
         3,
         STATUS_SUCCESS,
         {RegisterWrite(2, 0xE7F8), RegisterWrite(1, 0x3000), RegisterWrite(0, 0xA004)},
         3},
        {"not listed", 4, STATUS_UNSUCCESSFUL, {}, 3},
        {"speakers",
         1,
         STATUS_SUCCESS,
         {RegisterWrite(2, 0xE000), RegisterWrite(1, 0x3002), RegisterWrite(0, 0x2004)},
         1},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const std::size_t first = Requests();
        EXPECT_EQ(terminal->SelectEndpointType(s.code), s.status);
        EXPECT_EQ(RequestsFrom(first), s.sent);
        std::uint32_t current = 0;
        ASSERT_EQ(terminal->GetEndpointType(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, s.current);
        EXPECT_EQ(StoredTerminalType(), s.current);
        // The type items' jacks follow: only the current type's connect.
        for (IAudioNode* item : Items(*terminal)) {
            if (item->GetType() != item_type::outputTerminal) continue;
            auto& info = dynamic_cast<ITerminalInfo&>(*item);
            std::uint32_t code = 0;
            ASSERT_EQ(info.GetEndpointType(&code), STATUS_SUCCESS);
            JackDescription jack{};
            ASSERT_EQ(info.GetJackDescriptions(sizeof jack, &jack, 0), STATUS_SUCCESS);
            EXPECT_EQ(jack.IsConnected, code == s.current ? 1u : 0u) << "type " << code;
        }
    }
    // A product without S/PDIF out refuses it.
    context.spdif = false;
    auto* stereo = Parse<CN3W8OutputTerminal>(OutputTerminalSubtype, 3);
    ASSERT_NE(stereo, nullptr);
    const std::size_t first = Requests();
    EXPECT_EQ(stereo->SelectEndpointType(3), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(RequestsFrom(first), Lines{});
}

TEST_F(N3W8Entities, OutputTypesCarryTheirJacksAndEndpointRecords) {
    const struct {
        const char* name;
        bool eightChannels;
        std::uint32_t jackConnect;
        std::vector<std::uint32_t> jacks;             // per type
        std::vector<std::uint32_t> connected;         // of each type's first jack
        std::vector<std::uint32_t> firstJackMappings; // per type
    } cases[] = {
        {"8-channel", true, 0, {4, 1, 1}, {1, 0, 0}, {3, 3, 3}},
        {"6-channel", false, 0, {3, 1, 1}, {1, 0, 0}, {3, 3, 3}},
        {"jacks set connected", true, 1, {4, 1, 1}, {1, 1, 1}, {3, 3, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSetting(u"SetJackConnect", c.jackConnect);
        context.eightChannels = c.eightChannels;
        auto* terminal = Parse<CN3W8OutputTerminal>(OutputTerminalSubtype, 3);
        ASSERT_NE(terminal, nullptr);
        for (std::uint32_t index = 0; index < 3; ++index) {
            SCOPED_TRACE(testing::Message() << "type index " << index);
            std::uint32_t count = 0;
            ASSERT_EQ(terminal->GetJackCount(&count, index), STATUS_SUCCESS);
            EXPECT_EQ(count, c.jacks[index]);
            std::vector<JackDescription> jacks(count + 1);
            // One record short: refused, nothing written.
            const auto bytes = static_cast<std::uint32_t>(count * sizeof(JackDescription));
            EXPECT_EQ(terminal->GetJackDescriptions(bytes - 1, jacks.data(), index),
                      STATUS_INVALID_PARAMETER);
            ASSERT_EQ(terminal->GetJackDescriptions(bytes, jacks.data(), index), STATUS_SUCCESS);
            EXPECT_EQ(jacks[0].ChannelMapping, c.firstJackMappings[index]);
            for (std::uint32_t j = 0; j < count; ++j)
                EXPECT_EQ(jacks[j].IsConnected, c.connected[index]);
        }
        std::uint32_t count = 0;
        EXPECT_EQ(terminal->GetJackCount(&count, 3), STATUS_INVALID_PARAMETER);
        // Each type item carries the render record of its own type.
        std::vector<std::uint32_t> recorded;
        for (IAudioNode* item : Items(*terminal)) {
            if (item->GetType() != item_type::outputTerminal) continue;
            EndpointInfoRecord record{};
            ASSERT_EQ(dynamic_cast<ITerminalInfo&>(*item).GetTerminalRecord(&record),
                      STATUS_SUCCESS);
            EXPECT_EQ(record.words[1], 0u);
            recorded.push_back(record.words[2]);
        }
        EXPECT_EQ(recorded, (std::vector<std::uint32_t>{3, 2, 1})); // front to back
        // A device change re-reads them and names the back one, the
        // terminal's output side.
        std::uint32_t named = 0;
        ASSERT_EQ(terminal->OnDeviceChange(0, 0, &named), STATUS_SUCCESS);
        std::uint32_t output = 0;
        ASSERT_EQ(terminal->GetOutputNodeId(&output), STATUS_SUCCESS);
        EXPECT_EQ(named, output);
    }
}

// Input terminals ask the chip nothing; their one item carries the capture
// record of the endpoint kind their terminal type maps to.
TEST_F(N3W8Entities, InputTerminalsCarryTheCaptureRecordOfTheirKind) {
    const struct {
        std::uint8_t id;
        std::uint16_t terminalType;
    } cases[] = {{1, 0x0101}, {4, 0x0201}, {5, 0x0603}, {7, 0x0605}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.id));
        const std::size_t first = Requests();
        auto* terminal = Parse<CN3W8InputTerminal>(InputTerminalSubtype, c.id);
        ASSERT_NE(terminal, nullptr);
        EXPECT_EQ(RequestsFrom(first), Lines{});
        EXPECT_EQ(terminal->GetIdCount(), 0u);
        const std::vector<IAudioNode*> items = Items(*terminal);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0]->GetType(), item_type::inputTerminal);
        auto& info = dynamic_cast<ITerminalInfo&>(*items[0]);
        EndpointInfoRecord record{};
        ASSERT_EQ(info.GetTerminalRecord(&record), STATUS_SUCCESS);
        EXPECT_EQ(record.words[1], 1u);
        EXPECT_EQ(record.words[2], InputEndpointKind(c.terminalType));
        std::uint32_t code = 0;
        ASSERT_EQ(terminal->GetEndpointType(&code), STATUS_SUCCESS);
        EXPECT_EQ(code, InputEndpointCode(c.terminalType));
    }
}

// Volume through each unit's map, as the device sees it and reads back.
TEST_F(N3W8Entities, VolumesCrossTheWireThroughTheirUnitsMap) {
    const struct {
        const char* name;
        std::uint8_t unit;
        std::int32_t level;
        std::vector<std::uint8_t> sent;
        std::int32_t read;
    } cases[] = {
        {"analog, -3 dB", 9, -3 * Db, {0x00, 0xFE}, -3 * Db},
        {"analog, +3 dB", 9, 3 * Db, {0x00, 0x01}, 3 * Db},
        {"analog, silence", 9, MinusInfinity, {0x00, 0x80}, MinusInfinity},
        {"record, -3 dB", 8, -3 * Db, {0x00, 0xF8}, -3 * Db},
        {"record, +1.5 dB", 8, 3 * Db / 2, {0x80, 0x00}, 3 * Db / 2},
        {"table, -6 dB", 13, -6 * Db, {0x6E, 0xFE}, -6 * Db},
        {"table, -37 dB", 13, -37 * Db, {0x80, 0xDD}, -38 * Db},
        {"table, silence", 13, MinusInfinity, {0x00, 0x80}, MinusInfinity},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CN3W8FeatureUnit* unit = ParseVolumeUnit(c.unit);
        ASSERT_NE(unit, nullptr);
        const std::size_t first = Requests();
        ASSERT_EQ(unit->SetValue(Volume, 0, c.level), STATUS_SUCCESS);
        EXPECT_EQ(RequestsFrom(first), Lines{UnitWrite(c.unit, Volume, 1, c.sent)});
        std::int32_t read = 0;
        ASSERT_EQ(unit->GetValue(Volume, 0, &read), STATUS_SUCCESS);
        EXPECT_EQ(read, c.read);
    }
}

TEST_F(N3W8Entities, VolumeRangesComeFromTheDevicesMinimumAndMaximum) {
    // The device's range is -8448 to 0 in 1/256 dB.
    const struct {
        const char* name;
        std::uint8_t unit;
        std::int32_t minimum, maximum, resolution;
    } cases[] = {
        {"analog", 9, -8448 * 3 / 2 * 256, 0, 0x18000},
        {"record", 8, -8448 * 3 / 8 * 256, 0, 0x18000},
        {"table", 13, -36 * Db, 0, 0x4000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CN3W8FeatureUnit* unit = ParseVolumeUnit(c.unit);
        ASSERT_NE(unit, nullptr);
        const std::size_t first = Requests();
        std::int32_t maximum = 1, minimum = 1, resolution = 1;
        ASSERT_EQ(unit->GetRange(Volume, &maximum, &minimum, &resolution), STATUS_SUCCESS);
        char index[24];
        std::snprintf(index, sizeof index, "0201 %02X00 <2", c.unit);
        EXPECT_EQ(RequestsFrom(first),
                  (Lines{std::string("A1 82 ") + index, std::string("A1 83 ") + index}));
        EXPECT_EQ(minimum, c.minimum);
        EXPECT_EQ(maximum, c.maximum);
        EXPECT_EQ(resolution, c.resolution);
    }
}

// The mute LED, lit (bits 4-5 of register 1 = 0x30) or dark (0x10), after
// every mute the device took.
TEST_F(N3W8Entities, TheMuteLedFollowsTheMuteAsTheSettingsSay) {
    const struct {
        const char* name;
        std::uint8_t need, reverse, mute;
        Lines led;
        std::uint32_t settingBytes = 1;
    } cases[] = {
        {"no LED", 0, 0, 1, {}},
        {"muted lights it", 1, 0, 1, {RegisterWrite(1, 0x3032)}},
        {"unmuted leaves it dark", 1, 0, 0, {RegisterWrite(1, 0x3012)}},
        {"reversed: unmuted lights it", 1, 1, 0, {RegisterWrite(1, 0x3032)}},
        {"reversed: muted leaves it dark", 1, 1, 1, {RegisterWrite(1, 0x3012)}},
        {"reverse only when 1", 1, 2, 1, {RegisterWrite(1, 0x3032)}},
        {"settings stored as numbers", 1, 1, 0, {RegisterWrite(1, 0x3032)}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReloadRegisters();
        WriteSetting(u"NeedMuteLED", c.need, c.settingBytes);
        WriteSetting(u"ReverseMuteLED", c.reverse, c.settingBytes);
        auto* unit = Parse<CN3W8MuteLedFeatureUnit>(FeatureUnitSubtype, 13);
        ASSERT_NE(unit, nullptr);
        auto* mute = ItemOf<CN3W8MuteNodeA>(*unit);
        ASSERT_NE(mute, nullptr);
        const std::size_t first = Requests();
        ASSERT_EQ(mute->SetOnOff(0, c.mute), STATUS_SUCCESS);
        EXPECT_EQ(RequestsFrom(first), Joined({{UnitWrite(13, Mute, 0, {c.mute})}, c.led}));
    }
}

TEST_F(N3W8Entities, TheLedSwitchDrivesRegisterOneOnChannelZeroOnly) {
    auto* unit = Parse<CN3W8RecordFeatureUnitLed>(FeatureUnitSubtype, 8);
    ASSERT_NE(unit, nullptr);
    auto* led = ItemOf<CN3W8LedSwitchItem>(*unit);
    ASSERT_NE(led, nullptr);
    EXPECT_EQ(Items(*unit).front(), static_cast<IAudioNode*>(led)); // the input side
    const struct {
        const char* name;
        std::uint32_t channel;
        std::uint8_t value;
        NTSTATUS status;
        Lines sent;
        std::uint8_t kept;
    } steps[] = {
        {"on", 0, 1, STATUS_SUCCESS, {RegisterWrite(1, 0x3012)}, 1},
        {"off", 0, 0, STATUS_SUCCESS, {RegisterWrite(1, 0x3032)}, 0},
        {"channel 1", 1, 1, STATUS_INVALID_PARAMETER, {}, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const std::size_t first = Requests();
        EXPECT_EQ(led->SetOnOff(s.channel, s.value), s.status);
        EXPECT_EQ(RequestsFrom(first), s.sent);
        std::uint8_t kept = 0xEE;
        ASSERT_EQ(led->GetOnOff(0, &kept), STATUS_SUCCESS);
        EXPECT_EQ(kept, s.kept);
    }
}

// A write the chip refuses leaves the switch as it was.
TEST_F(N3W8Entities, TheLedSwitchKeepsItsValueWhenTheChipRefuses) {
    usbsim::FunctionDescription description = usbsim::fixtures::n3w8Device(chip);
    description.requests = [hook = description.requests](
                               const usb::SetupPacket& setup,
                               std::span<const std::uint8_t> data) -> std::optional<usbsim::Bytes> {
        if (setup.bRequest == 0x09) return std::nullopt;
        return hook(setup, data);
    };
    StartChip(std::move(description));
    auto* unit = Parse<CN3W8RecordFeatureUnitLed>(FeatureUnitSubtype, 8);
    ASSERT_NE(unit, nullptr);
    auto* led = ItemOf<CN3W8LedSwitchItem>(*unit);
    ASSERT_NE(led, nullptr);
    EXPECT_FALSE(kernel::succeeded(led->SetOnOff(0, 1)));
    std::uint8_t kept = 0xEE;
    ASSERT_EQ(led->GetOnOff(0, &kept), STATUS_SUCCESS);
    EXPECT_EQ(kept, 0);
    std::uint16_t cached = 0;
    ASSERT_EQ(registers->ReadRegister(1, &cached), STATUS_SUCCESS);
    EXPECT_EQ(cached, 0x3002);
}

// The device gets the user's mute OR-ed with the forced flag; while forced,
// what it reads back is not taken as the user's choice.
TEST_F(N3W8Entities, TheForcedMuteIsOredIntoEveryMuteSent) {
    auto* unit = Parse<CN3W8ForcedMuteFeatureUnit>(FeatureUnitSubtype, 11);
    ASSERT_NE(unit, nullptr);
    void* face = nullptr;
    ASSERT_EQ(unit->QueryInterface(IID_IN3W8ForcedMute, &face), STATUS_SUCCESS);
    auto* forced = static_cast<IN3W8ForcedMute*>(face);
    forced->Release();
    auto* mute = ItemOf<CUacMuteControl>(*unit);
    ASSERT_NE(mute, nullptr);
    const auto sent = [](std::uint8_t byte) { return Lines{UnitWrite(11, Mute, 0, {byte})}; };
    const struct {
        const char* name;
        int action; // 0, 1: the user's mute; 2, 3: forced off, on
        Lines expected;
    } steps[] = {
        {"user unmutes", 0, sent(0)}, {"forced on", 3, sent(1)},    {"user unmutes", 0, sent(1)},
        {"forced off", 2, sent(0)},   {"user mutes", 1, sent(1)},   {"forced on", 3, sent(1)},
        {"forced off", 2, sent(1)},   {"user unmutes", 0, sent(0)},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const std::size_t first = Requests();
        if (s.action < 2) {
            ASSERT_EQ(mute->SetOnOff(0, static_cast<std::uint8_t>(s.action)), STATUS_SUCCESS);
        } else {
            ASSERT_EQ(forced->SetForcedMute(s.action == 3), STATUS_SUCCESS);
        }
        EXPECT_EQ(RequestsFrom(first), s.expected);
    }
    // Read back while forced: the device holds 1, the user's choice is 0.
    ASSERT_EQ(forced->SetForcedMute(true), STATUS_SUCCESS);
    ASSERT_EQ(mute->ReadFromDevice(), STATUS_SUCCESS);
    std::uint8_t value = 0xEE;
    ASSERT_EQ(mute->GetOnOff(0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0);
    const std::size_t first = Requests();
    ASSERT_EQ(forced->SetForcedMute(false), STATUS_SUCCESS);
    EXPECT_EQ(RequestsFrom(first), sent(0));
    // The plain analog unit has no forced mute.
    auto* analog = Parse<CN3W8AnalogFeatureUnit>(FeatureUnitSubtype, 11);
    ASSERT_NE(analog, nullptr);
    EXPECT_NE(analog->QueryInterface(IID_IN3W8ForcedMute, &face), STATUS_SUCCESS);
}

// The worker forces and releases the mute while the user sets it: however
// the calls interleave, the device ends on the user's last choice OR-ed
// with the last forced flag, never on a stale request.
TEST_F(N3W8Entities, ForcedAndUserMutesFromTwoThreadsEndInStep) {
    auto* unit = Parse<CN3W8ForcedMuteFeatureUnit>(FeatureUnitSubtype, 11);
    ASSERT_NE(unit, nullptr);
    auto* mute = ItemOf<CUacMuteControl>(*unit);
    ASSERT_NE(mute, nullptr);
    constexpr int Rounds = 40;
    std::thread user([&] {
        for (int i = 0; i <= Rounds; ++i) mute->SetOnOff(0, static_cast<std::uint8_t>(i % 2));
    });
    std::thread worker([&] {
        for (int i = Rounds; i >= 0; --i) unit->SetForcedMute(i % 2 != 0);
    });
    user.join();
    worker.join();
    // User: last 0 (40 % 2); worker: last false.
    std::uint8_t device = 0xEE;
    ASSERT_EQ(unit->GetByte(Mute, 0, &device), STATUS_SUCCESS);
    EXPECT_EQ(device, 0);
}

// Eight planes of 1.0 each.
struct Planes {
    explicit Planes(std::uint32_t frames) {
        for (std::size_t c = 0; c < samples.size(); ++c) {
            samples[c].assign(frames, 1.0f);
            pointers[c] = samples[c].data();
        }
    }
    std::array<std::vector<float>, 8> samples;
    std::array<float*, 8> pointers{};
};

TEST_F(N3W8Entities, TheSoftVolumeMultipliesEachPlaneByItsChannelsGain) {
    auto* unit = Parse<CN3W8MuteLedFeatureUnit>(FeatureUnitSubtype, 13);
    ASSERT_NE(unit, nullptr);
    auto* volume = ItemOf<CN3W8SoftVolumeNode>(*unit);
    ASSERT_NE(volume, nullptr);
    const ks::WaveFormatExtensible pcm = TestPcmFormat(8, 16);
    const struct {
        const char* name;
        std::int32_t level;
        float gain;
    } cases[] = {
        {"0 dB", 0, 1.0f},
        {"-6 dB", -6 * Db, 0.50118723f},
        {"-36 dB", -36 * Db, 0.015848932f},
        {"silence", MinusInfinity, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::uint32_t channel = 0; channel < 8; ++channel)
            ASSERT_EQ(volume->SetLevel(channel, c.level), STATUS_SUCCESS);
        Planes planes(16);
        ASSERT_EQ(volume->Process(&pcm, planes.pointers.data(), 16), STATUS_SUCCESS);
        for (const auto& plane : planes.samples)
            for (float sample : plane) EXPECT_NEAR(sample, c.gain, 1e-6f);
    }
    // One channel turned down: only its plane changes.
    ASSERT_EQ(volume->SetLevel(0, 0), STATUS_SUCCESS);
    for (std::uint32_t channel = 1; channel < 8; ++channel)
        ASSERT_EQ(volume->SetLevel(channel, channel == 5 ? -6 * Db : 0), STATUS_SUCCESS);
    Planes planes(4);
    ASSERT_EQ(volume->Process(&pcm, planes.pointers.data(), 4), STATUS_SUCCESS);
    for (std::size_t c = 0; c < 8; ++c)
        EXPECT_NEAR(planes.samples[c][3], c == 5 ? 0.50118723f : 1.0f, 1e-6f) << c;
    // Other formats pass untouched.
    const ks::WaveFormatExtensible other = TestWaveFormat(0x0092, 2, 16);
    std::vector<std::uint8_t> bytes(16, 0x5A);
    ASSERT_EQ(volume->Process(&other, bytes.data(), 4), STATUS_SUCCESS);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(16, 0x5A));
}

// A volume of fewer channels than the stream's planes leaves the other
// planes as they are instead of reading gains it does not have.
TEST_F(N3W8Entities, TheSoftVolumeLeavesPlanesPastItsChannelsAlone) {
    auto* unit = Parse<CN3W8AnalogFeatureUnit>(FeatureUnitSubtype, 9); // two channels
    ASSERT_NE(unit, nullptr);
    IAudioNode* node = nullptr;
    ASSERT_EQ(CreateBoundControl<CN3W8SoftVolumeNode>(40, N3W8EntityTag,
                                                      static_cast<IFeatureUnitSwitch*>(unit),
                                                      Volume, m_pFunction, &node),
              STATUS_SUCCESS);
    Held<CN3W8SoftVolumeNode> volume(static_cast<CN3W8SoftVolumeNode*>(node));
    ASSERT_EQ(volume->SetLevel(0, -6 * Db), STATUS_SUCCESS);
    ASSERT_EQ(volume->SetLevel(1, -6 * Db), STATUS_SUCCESS);
    EXPECT_EQ(volume->SetLevel(2, -6 * Db), STATUS_INVALID_PARAMETER);
    const ks::WaveFormatExtensible pcm = TestPcmFormat(8, 16);
    Planes planes(4);
    ASSERT_EQ(volume->Process(&pcm, planes.pointers.data(), 4), STATUS_SUCCESS);
    for (std::size_t c = 0; c < 8; ++c)
        EXPECT_NEAR(planes.samples[c][0], c < 2 ? 0.50118723f : 1.0f, 1e-6f) << c;
}

// The mute nodes silence PCM planes and clear a block of another format
// (frames x nBlockAlign bytes, nothing past it); the software record mute
// tells the device nothing.
TEST_F(N3W8Entities, MuteNodesSilenceTheStreamWhileMuted) {
    std::vector<std::pair<const char*, CUacSwitchControl*>> nodes;
    auto* playback = Parse<CN3W8MuteLedFeatureUnit>(FeatureUnitSubtype, 13);
    auto* mix = Parse<CN3W8MixFeatureUnit>(FeatureUnitSubtype, 16);
    auto* soft = Parse<CN3W8RecordFeatureUnitSoft>(FeatureUnitSubtype, 8);
    ASSERT_TRUE(playback != nullptr && mix != nullptr && soft != nullptr);
    nodes.emplace_back("playback", ItemOf<CN3W8MuteNodeA>(*playback));
    nodes.emplace_back("mix", ItemOf<CN3W8MuteNodeB>(*mix));
    nodes.emplace_back("software", ItemOf<CN3W8SoftMuteNode>(*soft));
    const ks::WaveFormatExtensible pcm = TestPcmFormat(8, 16);
    const ks::WaveFormatExtensible other = TestWaveFormat(0x0092, 2, 16); // 4-byte frames
    for (const auto& [name, node] : nodes) {
        SCOPED_TRACE(name);
        ASSERT_NE(node, nullptr);
        auto& dsp = dynamic_cast<IDspNode&>(*node);
        for (const std::uint8_t muted : {0, 1}) {
            SCOPED_TRACE(int(muted));
            const std::size_t first = Requests();
            ASSERT_EQ(node->SetOnOff(0, muted), STATUS_SUCCESS);
            EXPECT_EQ(RequestsFrom(first).size(), std::string(name) == "software" ? 0u : 1u);
            Planes planes(8);
            ASSERT_EQ(dsp.Process(&pcm, planes.pointers.data(), 8), STATUS_SUCCESS);
            for (const auto& plane : planes.samples)
                EXPECT_EQ(plane, std::vector<float>(8, muted ? 0.0f : 1.0f));
            std::vector<std::uint8_t> bytes(20, 0x5A);
            ASSERT_EQ(dsp.Process(&other, bytes.data(), 4), STATUS_SUCCESS);
            std::vector<std::uint8_t> expected(20, 0x5A);
            if (muted) std::fill_n(expected.begin(), 16, 0);
            EXPECT_EQ(bytes, expected);
        }
    }
}

} // namespace
