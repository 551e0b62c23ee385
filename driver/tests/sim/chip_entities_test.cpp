// The K7D2 and P9F4 feature units' level dialects, their switch and channel
// rules on the simulated headsets, and the T6L1 speaker terminal's types,
// selection and jack.
#include "driver/common/settings_store.h"
#include "driver/devmodel/chips/k7d2_p9f4/chip_feature_units.h"
#include "driver/devmodel/chips/k7d2_p9f4/chip_terminals.h"
#include "driver/devmodel/chips/t6l1/t6l1_output_terminal.h"
#include "driver/devmodel/terminal_tables.h"
#include "driver/engine/jack_description.h"
#include "entity_test_support.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <string>
#include <variant>
#include <vector>

namespace {

using namespace devmodel_test;

constexpr std::int16_t SilenceWord = INT16_MIN;

struct LevelCase {
    const char* name;
    const ChipLevelMap* map;
    std::int16_t word;
    std::int32_t level;
};

TEST(ChipLevelMaps, DeviceWordsReadAsTheVariantsLevels) {
    const LevelCase cases[] = {
        {"K7D2 1: -1 dB sounds as -0.75 dB", &chip_level::k7d2Table, -256, -192 * 256},
        {"K7D2 1: above 0 dB is the first step", &chip_level::k7d2Table, 256, 0},
        {"K7D2 1: between steps", &chip_level::k7d2Table, -9000, -6707 * 256},
        {"K7D2 1: below every step stands for itself", &chip_level::k7d2Table, -9472, -9472 * 256},
        {"K7D2 2: lowest step", &chip_level::k7d2Boost, -28 * 256, -36 * Db},
        {"K7D2 2: step 0 is +6 dB", &chip_level::k7d2Boost, 0, 6 * Db},
        {"K7D2 2: highest step", &chip_level::k7d2Boost, 11 * 256, 22 * Db + Db / 2},
        {"K7D2 3: step 0 is +6.5 dB", &chip_level::k7d2Gain, 0, 6 * Db + Db / 2},
        {"K7D2 3: step -15", &chip_level::k7d2Gain, -15 * 256, -16 * Db},
        {"P9F4 1: -5 dB", &chip_level::p9f4Attenuator, -976, -5 * Db},
        {"P9F4 1: truncated toward zero", &chip_level::p9f4Attenuator, -100, 0},
        {"P9F4 2: lowest step", &chip_level::p9f4Trim, 0, -13 * Db - Db / 2},
        {"P9F4 2: 0 dB", &chip_level::p9f4Trim, 3456, 0},
        {"P9F4 2: truncated toward zero", &chip_level::p9f4Trim, 100, -12 * Db},
        {"P9F4 3: 1 dB", &chip_level::p9f4Gain, 256, Db},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadChipLevel(*c.map, c.word), c.level);
    }
}

TEST(ChipLevelMaps, LevelsWriteAsTheVariantsWords) {
    const LevelCase cases[] = {
        {"K7D2 1: -0.75 dB sends -1 dB", &chip_level::k7d2Table, -256, -192 * 256},
        {"K7D2 1: above 0 dB", &chip_level::k7d2Table, 0, 3 * Db},
        {"K7D2 1: below the table's last sound", &chip_level::k7d2Table, -9472, -40 * Db},
        {"K7D2 1: below every row, saturated short of silence", &chip_level::k7d2Table, -32767,
         -200 * Db},
        {"K7D2 2: highest step", &chip_level::k7d2Boost, 11 * 256, 22 * Db + Db / 2},
        {"K7D2 2: between steps truncates", &chip_level::k7d2Boost, -4 * 256, 3 * Db / 4},
        // Written with a 6 dB offset, read back with 6.5 dB.
        {"K7D2 3: 6 dB", &chip_level::k7d2Gain, -15 * 256, 6 * Db},
        {"K7D2 3: 33 dB", &chip_level::k7d2Gain, 3 * 256, 33 * Db},
        {"P9F4 1: -5 dB", &chip_level::p9f4Attenuator, -976, -5 * Db},
        {"P9F4 1: -5.5 dB truncates", &chip_level::p9f4Attenuator, -976, -5 * Db - Db / 2},
        {"P9F4 2: lowest step", &chip_level::p9f4Trim, 0, -13 * Db - Db / 2},
        {"P9F4 2: 0 dB", &chip_level::p9f4Trim, 3456, 0},
        {"P9F4 2: 9 dB", &chip_level::p9f4Trim, 5760, 9 * Db},
        // Unsigned division of the negative sum would send a loud word.
        {"P9F4 2: below the range is the lowest step", &chip_level::p9f4Trim, 0, -20 * Db},
        {"P9F4 3: 1.5 dB", &chip_level::p9f4Gain, 384, 3 * Db / 2},
        {"P9F4 3: arithmetic shift", &chip_level::p9f4Gain, -1, -1},
        {"P9F4 3: saturates high", &chip_level::p9f4Gain, 32767, INT32_MAX},
        {"P9F4 3: saturates low, not to silence", &chip_level::p9f4Gain, -32767, INT32_MIN + 1},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WriteChipLevel(*c.map, c.level), c.word);
    }
}

TEST(ChipLevelMaps, SilenceIsTheSilenceWordBothWaysForEveryVariant) {
    for (const ChipLevelMap* map :
         {&chip_level::k7d2Table, &chip_level::k7d2Boost, &chip_level::k7d2Gain,
          &chip_level::p9f4Attenuator, &chip_level::p9f4Trim, &chip_level::p9f4Gain}) {
        EXPECT_EQ(WriteChipLevel(*map, MinusInfinity), SilenceWord);
        EXPECT_EQ(ReadChipLevel(*map, SilenceWord), MinusInfinity);
    }
}

// A chip headset with one unit's controls changed.
usbsim::FunctionDescription WithUnit(usbsim::FunctionDescription description, std::uint8_t id,
                                     const std::function<void(usbsim::FeatureUnit&)>& change) {
    for (auto& entity : description.entities)
        if (auto* unit = std::get_if<usbsim::FeatureUnit>(&entity); unit && unit->id == id)
            change(*unit);
    return description;
}

class ChipFeatureUnits : public SimBusFixture {
public:
    template <class Unit> CChipFeatureUnit* Parse(std::uint8_t id) {
        return ParseUnit<Unit>(FeatureUnitSubtype, id);
    }
};
using UnitParse = CChipFeatureUnit* (ChipFeatureUnits::*)(std::uint8_t);

TEST_F(ChipFeatureUnits, VolumeCrossesTheWireInTheVariantsWords) {
    Start(usbsim::fixtures::k7d2Device());
    auto* unit = ParseUnit<CK7D2FeatureUnit1>(FeatureUnitSubtype, 9);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(ItemTypes(*unit),
              (std::vector<std::uint32_t>{item_type::bass, item_type::volume, item_type::mute}));
    std::size_t first = Requests();
    ASSERT_EQ(unit->SetValue(2, 1, -192 * 256), STATUS_SUCCESS);
    EXPECT_EQ(RequestsFrom(first), std::vector<std::string>{"21 01 0202 0900: 00 FF"});
    std::int32_t level = 0;
    ASSERT_EQ(unit->GetValue(2, 1, &level), STATUS_SUCCESS);
    EXPECT_EQ(level, -192 * 256);
    // The range is the variant's own: no request.
    first = Requests();
    std::int32_t maximum = 0, minimum = 0, step = 0;
    ASSERT_EQ(unit->GetRange(2, &maximum, &minimum, &step), STATUS_SUCCESS);
    EXPECT_EQ(Requests(), first);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(minimum, -33 * Db);
    EXPECT_EQ(step, Db / 8);
}

TEST_F(ChipFeatureUnits, EachVariantHasItsRangeAndTonesTheDevicesInQuarterDb) {
    struct Case {
        const char* name;
        usbsim::FunctionDescription (*device)();
        UnitParse parse;
        std::uint8_t id;
        std::int32_t maximum, minimum, step;
    };
    const Case cases[] = {
        {"K7D2 2", usbsim::fixtures::k7d2Device, &ChipFeatureUnits::Parse<CK7D2FeatureUnit2>, 11,
         22 * Db + Db / 2, -36 * Db, 3 * Db / 2},
        {"K7D2 3", usbsim::fixtures::k7d2Device, &ChipFeatureUnits::Parse<CK7D2FeatureUnit3>, 13,
         33 * Db, -6 * Db, 3 * Db / 2},
        {"P9F4 1", usbsim::fixtures::p9f4Device, &ChipFeatureUnits::Parse<CP9F4FeatureUnit1>, 9, 0,
         -37 * Db, Db},
        {"P9F4 2", usbsim::fixtures::p9f4Device, &ChipFeatureUnits::Parse<CP9F4FeatureUnit2>, 10,
         0x00090001, -13 * Db - Db / 2, 3 * Db / 2},
        {"P9F4 3", usbsim::fixtures::p9f4Device, &ChipFeatureUnits::Parse<CP9F4FeatureUnit3>, 13,
         22 * Db + Db / 2, 0, 3 * Db / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.device());
        CChipFeatureUnit* unit = (this->*c.parse)(c.id);
        ASSERT_NE(unit, nullptr);
        std::int32_t maximum = 0, minimum = 0, step = 0;
        ASSERT_EQ(unit->GetRange(2, &maximum, &minimum, &step), STATUS_SUCCESS);
        EXPECT_EQ(maximum, c.maximum);
        EXPECT_EQ(minimum, c.minimum);
        EXPECT_EQ(step, c.step);
        // The fixtures' bass: -12 to +12 dB in half dB, on the master.
        ASSERT_EQ(unit->GetRange(3, &maximum, &minimum, &step), STATUS_SUCCESS);
        EXPECT_EQ(maximum, 12 * Db);
        EXPECT_EQ(minimum, -12 * Db);
        EXPECT_EQ(step, Db / 2);
        const std::size_t first = Requests();
        ASSERT_EQ(unit->SetValue(3, 0, 3 * Db), STATUS_SUCCESS);
        char expected[32];
        std::snprintf(expected, sizeof expected, "21 01 0300 %02X00: 0C", c.id);
        EXPECT_EQ(RequestsFrom(first), std::vector<std::string>{expected});
        std::int32_t level = 0;
        ASSERT_EQ(unit->GetValue(3, 0, &level), STATUS_SUCCESS);
        EXPECT_EQ(level, 3 * Db);
    }
}

TEST_F(ChipFeatureUnits, ChannelsAndSwitchesKeepToTheirBounds) {
    Start(usbsim::fixtures::k7d2Device());
    auto* stereo = ParseUnit<CK7D2FeatureUnit2>(FeatureUnitSubtype, 10);
    ASSERT_NE(stereo, nullptr);
    std::int32_t level = 0;
    EXPECT_EQ(stereo->GetValue(2, 1, &level), STATUS_SUCCESS);
    EXPECT_EQ(stereo->GetValue(2, 2, &level), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(stereo->SetValue(2, 2, 0), STATUS_INVALID_PARAMETER);
    // A selector the unit lacks has no channel.
    EXPECT_NE(stereo->GetValue(3, 0, &level), STATUS_SUCCESS);
    std::uint32_t count = 0;
    ASSERT_EQ(stereo->GetChannelCount(1, &count), STATUS_SUCCESS);
    EXPECT_EQ(count, 1u);
    std::uint8_t muted = 0;
    EXPECT_EQ(stereo->GetByte(1, 0, &muted), STATUS_SUCCESS);
    EXPECT_EQ(stereo->GetByte(1, 1, &muted), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(stereo->SetByte(1, 1, 1), STATUS_INVALID_PARAMETER);
    const std::size_t first = Requests();
    ASSERT_EQ(stereo->SetByte(1, 0, 1), STATUS_SUCCESS);
    EXPECT_EQ(RequestsFrom(first), std::vector<std::string>{"21 01 0100 0A00: 01"});
}

TEST_F(ChipFeatureUnits, AUnitWithoutMuteIsRefused) {
    Start(WithUnit(usbsim::fixtures::p9f4Device(), 10, [](usbsim::FeatureUnit& unit) {
        std::erase_if(unit.controls, [](const usbsim::FeatureControl& control) {
            return control.selector == usb::feature_control::mute;
        });
    }));
    EXPECT_EQ(TryParse<CP9F4FeatureUnit2>(FeatureUnitSubtype, 10), STATUS_INSUFFICIENT_RESOURCES);
}

// The chip's output terminals play as their one descriptor type, a
// streaming terminal as a speaker, without jacks and without asking.
TEST_F(ChipFeatureUnits, ChipOutputTerminalsHoldTheirOwnTypeOnly) {
    const struct {
        std::uint8_t id;
        std::uint32_t code;
    } cases[] = {{3, OutputEndpointCode(usb::terminal_type::headphones, false)},
                 {7, OutputEndpointCode(usb::terminal_type::usbStreaming, false)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.id));
        Start(usbsim::fixtures::k7d2Device());
        const std::size_t first = Requests();
        auto* terminal = ParseUnit<CK7D2OutputTerminal>(3, c.id);
        ASSERT_NE(terminal, nullptr);
        EXPECT_EQ(Requests(), first);
        std::uint32_t count = 0;
        ASSERT_EQ(terminal->GetEndpointTypeCount(&count), STATUS_SUCCESS);
        EXPECT_EQ(count, 1u);
        std::uint32_t code = 0;
        ASSERT_EQ(terminal->GetEndpointType(&code), STATUS_SUCCESS);
        EXPECT_EQ(code, c.code);
        ASSERT_EQ(terminal->GetJackCount(&count, 0), STATUS_SUCCESS);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(ItemTypes(*terminal), std::vector<std::uint32_t>{item_type::outputTerminal});
    }
}

class T6L1Terminal : public SimBusFixture {
protected:
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::t6l1Device());
    }
    CT6L1OutputTerminal* ParseSpeaker(bool headphones, bool spdif) {
        const std::span<const std::uint8_t> bytes = (*usb)->Configuration();
        for (std::size_t at : ControlDescriptorsOf(bytes, 3)) {
            if (bytes[at + 3] != 3) continue;
            auto held = std::make_shared<Held<CT6L1OutputTerminal>>(Make<CT6L1OutputTerminal>());
            units.push_back(held);
            EXPECT_EQ((*held)->Parse(bytes.subspan(at), Device(), Hal(), headphones, spdif),
                      STATUS_SUCCESS);
            return held->get();
        }
        return nullptr;
    }
    std::vector<std::uint32_t> Codes(CT6L1OutputTerminal& terminal) {
        std::uint32_t count = 0;
        EXPECT_EQ(terminal.GetEndpointTypeCount(&count), STATUS_SUCCESS);
        std::vector<std::uint32_t> codes(count);
        EXPECT_EQ(terminal.GetEndpointTypes(count, codes.data()), STATUS_SUCCESS);
        return codes;
    }
    std::uint32_t StoredCode() {
        std::uint32_t code = 0;
        AccessSetting(m_pFunction, SETTING_READ, &code, sizeof code, u"UACUnit03");
        return code;
    }
};

TEST_F(T6L1Terminal, TheWalksFlagsGiveItsTypesAndTheVirtualizerComesLast) {
    const struct {
        bool headphones, spdif;
        std::vector<std::uint32_t> codes;
        std::vector<std::uint32_t> items; // front to back
    } cases[] = {
        {false, false, {1}, {item_type::effectParameters, item_type::outputTerminal}},
        {true, false, {2}, {item_type::effectParameters, item_type::outputTerminal}},
        {false,
         true,
         {1, 3},
         {item_type::effectParameters, item_type::terminalTypeSelection, item_type::outputTerminal,
          item_type::outputTerminal}},
        {true,
         true,
         {2, 3},
         {item_type::effectParameters, item_type::terminalTypeSelection, item_type::outputTerminal,
          item_type::outputTerminal}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.headphones << c.spdif);
        CT6L1OutputTerminal* terminal = ParseSpeaker(c.headphones, c.spdif);
        ASSERT_NE(terminal, nullptr);
        EXPECT_EQ(Codes(*terminal), c.codes);
        std::uint32_t current = 0;
        ASSERT_EQ(terminal->GetEndpointType(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.codes.front());
        EXPECT_EQ(ItemTypes(*terminal), c.items);
        Start(usbsim::fixtures::t6l1Device());
    }
}

TEST_F(T6L1Terminal, OnlyAListedTypeIsSelectedAndKept) {
    CT6L1OutputTerminal* terminal = ParseSpeaker(false, true);
    ASSERT_NE(terminal, nullptr);
    EXPECT_EQ(terminal->SelectEndpointType(2), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(StoredCode(), 0u);
    ASSERT_EQ(terminal->SelectEndpointType(3), STATUS_SUCCESS);
    EXPECT_EQ(StoredCode(), 3u);
    std::uint32_t current = 0;
    ASSERT_EQ(terminal->GetEndpointType(&current), STATUS_SUCCESS);
    EXPECT_EQ(current, 3u);
}

TEST_F(T6L1Terminal, TheSpeakerJackIsConnectedWhileSpeakersPlayOrTheSettingSaysSo) {
    CT6L1OutputTerminal* terminal = ParseSpeaker(false, true);
    ASSERT_NE(terminal, nullptr);
    std::uint32_t count = 9;
    ASSERT_EQ(terminal->GetJackCount(&count, 0), STATUS_SUCCESS);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(terminal->GetJackCount(&count, 1), STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(terminal->GetJackCount(nullptr, 0), STATUS_INVALID_PARAMETER);

    JackDescription jack{};
    jack.Reserved = 0x5A5A;
    ASSERT_EQ(terminal->GetJackDescriptions(sizeof jack, &jack, 0), STATUS_SUCCESS);
    EXPECT_EQ(jack.ChannelMapping, 3u);
    EXPECT_EQ(jack.Color, 0x0000FF00u);
    EXPECT_EQ(jack.ConnectionType, 1u);
    EXPECT_EQ(jack.GeoLocation, 1u);
    EXPECT_EQ(jack.GenLocation, 0u);
    EXPECT_EQ(jack.PortConnection, 0u);
    EXPECT_EQ(jack.Reserved, 0x5A5Au);
    EXPECT_EQ(jack.IsConnected, 1u);

    ASSERT_EQ(terminal->SelectEndpointType(3), STATUS_SUCCESS);
    ASSERT_EQ(terminal->GetJackDescriptions(sizeof jack, &jack, 0), STATUS_SUCCESS);
    EXPECT_EQ(jack.IsConnected, 0u);
    std::uint32_t connect = 1;
    ASSERT_EQ(AccessSetting(m_pFunction, SETTING_WRITE, &connect, 4, u"SetJackConnect"),
              STATUS_SUCCESS);
    ASSERT_EQ(terminal->GetJackDescriptions(sizeof jack, &jack, 0), STATUS_SUCCESS);
    EXPECT_EQ(jack.IsConnected, 1u);

    // No room, no record, or a type without a jack.
    EXPECT_EQ(terminal->GetJackDescriptions(sizeof jack - 1, &jack, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(terminal->GetJackDescriptions(sizeof jack, nullptr, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(terminal->GetJackDescriptions(sizeof jack, &jack, 1), STATUS_INVALID_PARAMETER);
}

} // namespace
