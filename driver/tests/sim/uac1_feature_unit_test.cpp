#include "driver/devmodel/uac1_feature_unit.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace devmodel_test;
using Bytes = std::vector<std::uint8_t>;

// The headset with one of its feature units changed.
usbsim::FunctionDescription HeadsetWith(std::uint8_t id,
                                        const std::function<void(usbsim::FeatureUnit&)>& change) {
    auto description = usbsim::fixtures::uac1Headset();
    for (auto& entity : description.entities)
        if (auto* feature = std::get_if<usbsim::FeatureUnit>(&entity); feature && feature->id == id)
            change(*feature);
    return description;
}

// A release-1 function on the simulated bus and the feature units parsed from
// its descriptors.
struct Uac1FeatureUnits : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::uac1Headset());
    }
    CUac1FeatureUnit* ParseUnit(std::uint8_t id) {
        return SimBusFixture::ParseUnit<CUac1FeatureUnit>(FeatureUnitSubtype, id);
    }
};

TEST_F(Uac1FeatureUnits, HeadsetUnitsBecomeTheirControls) {
    struct Case {
        std::uint8_t id;
        std::uint32_t source;
        std::vector<std::uint32_t> types; // front to back
        std::uint32_t volumeChannels;
        std::int32_t volume; // channel 0
    };
    const Case cases[] = {
        {2, 1, {item_type::volume, item_type::mute}, 2, -2560 * 256},
        {4, 3, {item_type::volume, item_type::mute}, 1, -4096 * 256},
        {9, 8, {item_type::automaticGain, item_type::volume, item_type::mute}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.id));
        CUac1FeatureUnit* unit = ParseUnit(c.id);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->GetId(), c.id);
        EXPECT_EQ(unit->GetType(), 6u);
        EXPECT_EQ(IdsOf(*unit), std::vector<std::uint32_t>{c.source});
        EXPECT_EQ(ItemTypes(*unit), c.types);
        std::uint32_t channels = 0;
        EXPECT_EQ(unit->GetChannelCount(2, &channels), STATUS_SUCCESS);
        EXPECT_EQ(channels, c.volumeChannels);
        std::int32_t volume = 0;
        EXPECT_EQ(unit->GetValue(2, 0, &volume), STATUS_SUCCESS);
        EXPECT_EQ(volume, c.volume);
    }
    EXPECT_EQ(Hal()->GetChildCount(), 7u); // every item of the three units
}

TEST_F(Uac1FeatureUnits, VolumeRangeComesInWireUnits) {
    CUac1FeatureUnit* unit = ParseUnit(2);
    ASSERT_NE(unit, nullptr);
    std::int32_t maximum = 1, minimum = 1, resolution = 1;
    EXPECT_EQ(unit->GetRange(2, &maximum, &minimum, &resolution), STATUS_SUCCESS);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(minimum, -64 * Db);
    EXPECT_EQ(resolution, Db / 4);
    EXPECT_EQ(LastRequest(), "A1 84 0201 0200:");
}

// Levels beyond what the wire carries saturate.
TEST_F(Uac1FeatureUnits, ControlsWriteExactBytes) {
    Start(HeadsetWith(9, [](usbsim::FeatureUnit& unit) {
        unit.controls.push_back(
            {.selector = usb::feature_control::bass, .channels = {0}, .range = {-128, 127, 1}});
    }));
    CUac1FeatureUnit* units[] = {ParseUnit(2), ParseUnit(9)};
    ASSERT_NE(units[0], nullptr);
    ASSERT_NE(units[1], nullptr);
    struct Case {
        const char* name;
        int unit; // 0: unit 2, 1: unit 9
        std::uint8_t selector;
        std::uint32_t channel;
        std::int32_t value;
        std::string request;
    };
    const Case cases[] = {
        {"mute on the master", 0, 1, 0, 1, "21 01 0100 0200: 01"},
        {"volume -10 dB on the right", 0, 2, 1, -10 * Db, "21 01 0202 0200: 00 F6"},
        {"volume silence", 0, 2, 0, MinusInfinity, "21 01 0201 0200: 00 80"},
        {"volume far above", 1, 2, 0, 200 * Db, "21 01 0200 0900: FF 7F"},
        {"volume far below", 1, 2, 0, -200 * Db, "21 01 0200 0900: 01 80"},
        {"volume largest value", 1, 2, 0, INT32_MAX, "21 01 0200 0900: FF 7F"},
        {"bass above", 1, 3, 0, 40 * Db, "21 01 0300 0900: 7F"},
        {"bass silence", 1, 3, 0, MinusInfinity, "21 01 0300 0900: 80"},
        {"bass -3 dB", 1, 3, 0, -3 * Db, "21 01 0300 0900: F4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CUac1FeatureUnit& unit = *units[c.unit];
        const NTSTATUS status = c.selector == 1 ? unit.SetByte(c.selector, c.channel,
                                                               static_cast<std::uint8_t>(c.value))
                                                : unit.SetValue(c.selector, c.channel, c.value);
        EXPECT_EQ(status, STATUS_SUCCESS);
        EXPECT_EQ(LastRequest(), c.request);
    }
}

TEST_F(Uac1FeatureUnits, SilenceReadsBackAsSilence) {
    CUac1FeatureUnit* unit = ParseUnit(2);
    ASSERT_NE(unit, nullptr);
    ASSERT_EQ(unit->SetValue(2, 1, MinusInfinity), STATUS_SUCCESS);
    std::int32_t value = 0;
    EXPECT_EQ(unit->GetValue(2, 1, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, MinusInfinity);
    EXPECT_EQ(LastRequest(), "A1 81 0202 0200:");
}

TEST_F(Uac1FeatureUnits, MalformedDescriptorsBuildNothing) {
    struct Case {
        const char* name;
        Bytes bytes;
        NTSTATUS expected;
    };
    const NTSTATUS Bad = STATUS_INVALID_PARAMETER, Broken = STATUS_UNSUCCESSFUL;
    const Case cases[] = {
        {"one byte short of its fixed part", {0x06, 0x24, 0x06, 0x02, 0x01, 0x01}, Bad},
        {"bLength 0", {0x00, 0x24, 0x06, 0x02, 0x01, 0x01, 0x03, 0x00}, Broken},
        {"bLength 1", {0x01, 0x24, 0x06, 0x02, 0x01, 0x01, 0x03, 0x00}, Broken},
        {"bControlSize 0", {0x08, 0x24, 0x06, 0x02, 0x01, 0x00, 0x03, 0x00}, Bad},
        {"controls past the end", {0x0A, 0x24, 0x06, 0x02, 0x01, 0x01, 0x03, 0x00}, Broken},
        {"half an element", {0x0A, 0x24, 0x06, 0x02, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00}, Bad},
        {"not a feature unit", {0x08, 0x24, 0x05, 0x02, 0x01, 0x01, 0x03, 0x00}, Bad},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stack->function.clearLog();
        {
            Held<CUac1FeatureUnit> unit(Make<CUac1FeatureUnit>());
            EXPECT_EQ(unit->Parse(c.bytes, Device(), Hal()), c.expected);
            std::uint32_t items = 0;
            EXPECT_EQ(unit->GetItemCount(&items), STATUS_UNSUCCESSFUL);
        }
        EXPECT_EQ(Hal()->GetChildCount(), 0u);
        EXPECT_TRUE(stack->function.log().empty());
        EXPECT_EQ(kernel::poolLiveBlocks(EntityTag), 0u);
    }
}

Bytes VendorMap(std::size_t size, std::uint16_t innerLength, std::vector<std::uint16_t> elements) {
    Bytes map(size, 0);
    if (size > 17) {
        map[16] = static_cast<std::uint8_t>(innerLength);
        map[17] = static_cast<std::uint8_t>(innerLength >> 8);
    }
    if (size > 18) map[18] = 2;
    for (std::size_t i = 0; i < elements.size() && 20 + 2 * i < size; ++i) {
        map[19 + 2 * i] = static_cast<std::uint8_t>(elements[i]);
        map[20 + 2 * i] = static_cast<std::uint8_t>(elements[i] >> 8);
    }
    return map;
}

TEST_F(Uac1FeatureUnits, VendorMapUsesOnlyTheBytesReturned) {
    constexpr std::uint8_t Effect = 139; // bit 10 of a two-byte element
    struct Case {
        const char* name;
        std::uint16_t announced; // the length GET_MEM 0x0010 reports
        Bytes map;               // what GET_MEM 0 returns
        std::size_t kept;
        bool hasEffect;
        std::uint32_t effectChannels;
    };
    const Case cases[] = {
        {"whole map, channel 1 has it", 23, VendorMap(23, 23, {0, 0x0400}), 23, true, 1},
        {"inner length beyond the reply", 23, VendorMap(21, 40, {0x0400, 0x0400}), 21, true, 1},
        {"inner length shorter than the reply", 23, VendorMap(23, 21, {0, 0x0400}), 21, false, 0},
        {"a map of 18 bytes is absent", 18, VendorMap(18, 18, {}), 0, false, 0},
        {"a reply short of the header is absent", 23, VendorMap(18, 23, {}), 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto description = usbsim::fixtures::uac1Headset();
        description.requests = [c](const usb::SetupPacket& setup,
                                   std::span<const std::uint8_t>) -> std::optional<Bytes> {
            if (setup.bRequest != 0x85) return std::nullopt;
            if (setup.wValue.value() == 0x0010)
                return Bytes{static_cast<std::uint8_t>(c.announced),
                             static_cast<std::uint8_t>(c.announced >> 8)};
            return c.map;
        };
        Start(description);
        CUac1FeatureUnit* unit = ParseUnit(2);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->VendorBlock().size(), c.kept);
        EXPECT_EQ(unit->HasControl(Effect), c.hasEffect);
        std::uint32_t channels = 9;
        const NTSTATUS status = unit->GetChannelCount(Effect, &channels);
        if (c.kept == 0) {
            EXPECT_EQ(status, STATUS_INVALID_PARAMETER);
        } else {
            EXPECT_EQ(channels, c.effectChannels);
        }
    }
}

TEST_F(Uac1FeatureUnits, TwoByteElementsAreReadWhole) {
    Start(HeadsetWith(2, [](usbsim::FeatureUnit& unit) {
        unit.controls.push_back({.selector = usb::feature_control::loudness, .channels = {2}});
    }));
    CUac1FeatureUnit* unit = ParseUnit(2);
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(unit->HasControl(usb::feature_control::loudness));
    std::uint32_t channels = 0;
    EXPECT_EQ(unit->GetChannelCount(usb::feature_control::loudness, &channels), STATUS_SUCCESS);
    EXPECT_EQ(channels, 1u);
    EXPECT_EQ(unit->SetByte(usb::feature_control::loudness, 0, 1), STATUS_SUCCESS);
    EXPECT_EQ(LastRequest(), "21 01 0A02 0200: 01");
    EXPECT_EQ(ItemTypes(*unit).front(), item_type::loudness);
}

TEST_F(Uac1FeatureUnits, SurroundPairsAreSentSwapped) {
    Start(HeadsetWith(9, [](usbsim::FeatureUnit& unit) {
        unit.channels = 8;
        unit.controls = {
            {.selector = usb::feature_control::mute, .channels = {1, 2, 3, 4, 5, 6, 7, 8}}};
    }));
    CUac1FeatureUnit* unit = ParseUnit(9);
    ASSERT_NE(unit, nullptr);
    const struct {
        std::uint32_t channel;
        const char* request;
    } cases[] = {
        {0, "21 01 0101 0900: 01"}, {3, "21 01 0104 0900: 01"}, {4, "21 01 0107 0900: 01"},
        {5, "21 01 0108 0900: 01"}, {6, "21 01 0105 0900: 01"}, {7, "21 01 0106 0900: 01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        EXPECT_EQ(unit->SetByte(1, c.channel, 1), STATUS_SUCCESS);
        EXPECT_EQ(LastRequest(), c.request);
    }
    EXPECT_EQ(unit->SetByte(1, 8, 1), STATUS_INVALID_PARAMETER);
}

} // namespace
