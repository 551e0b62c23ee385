// The N3W8 rewrite on the chip's own configuration: what each switch takes
// out, what the rebuilt mixer, selector and record terminal refer to, and
// that every switch set gives a configuration the platform accepts.
#include "driver/devmodel/chips/n3w8/n3w8_configuration_rewrite.h"

#include "platform/kernel/pool.h"
#include "platform/usb/configuration.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/usb_function.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Ids = std::vector<std::uint8_t>;

constexpr std::uint8_t ClassInterface = 0x24;
constexpr std::uint8_t MixerSubtype = 4;
constexpr std::uint8_t SelectorSubtype = 5;
constexpr std::uint8_t FeatureSubtype = 6;
constexpr std::uint8_t FormatTypeSubtype = 2;

Bytes ChipConfiguration() {
    return usbsim::UsbFunction(usbsim::fixtures::n3w8Device()).descriptors().configuration;
}

std::size_t Word(const Bytes& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8; }

// What a rewritten configuration holds, read back through the platform's
// validated view.
struct Contents {
    Ids entities;                    // AudioControl ids after the header, in order
    Ids mixerSources;                // of the output mixer (id 12)
    Ids selectorSources;             // of the record selector (id 17)
    std::uint8_t recordSource = 0;   // of the record output terminal (id 6)
    std::uint8_t playbackSource = 0; // of the playback feature unit (id 13)
    Ids playbackChannels;            // per playback setting
    bool capture = false;
    std::size_t controlLength = 0; // of the AudioControl descriptors, header on
};

Contents Read(const Bytes& bytes) {
    Contents c;
    const usb::ConfigurationView view(bytes);
    EXPECT_TRUE(view.valid()) << view.fault().offset << ": " << view.fault().problem;
    if (!view.valid()) return c;
    int interface = -1;
    for (const usb::Descriptor d : view.descriptors()) {
        if (d.type() == usb::descriptor_type::interface) interface = d.bytes[2];
        if (d.type() == usb::descriptor_type::interface && interface == 2) c.capture = true;
        if (d.type() != ClassInterface) continue;
        if (interface == 0) {
            c.controlLength += d.length();
            if (d.subtype() == 1) continue; // the header
            const std::uint8_t id = d.bytes[3];
            c.entities.push_back(id);
            if (d.subtype() == MixerSubtype && id == 12)
                c.mixerSources.assign(d.bytes.begin() + 5, d.bytes.begin() + 5 + d.bytes[4]);
            if (d.subtype() == SelectorSubtype)
                c.selectorSources.assign(d.bytes.begin() + 5, d.bytes.begin() + 5 + d.bytes[4]);
            if (d.subtype() == 3 && id == 6) c.recordSource = d.bytes[7];
            if (d.subtype() == FeatureSubtype && id == 13) c.playbackSource = d.bytes[4];
        } else if (interface == 1 && d.subtype() == FormatTypeSubtype) {
            c.playbackChannels.push_back(d.bytes[4]);
        }
    }
    return c;
}

struct SwitchCase {
    const char* name;
    bool N3W8ConfigurationSwitches::*flag;
    Contents expected;
};

const Ids AllEntities = {1, 4, 8, 9, 12, 13, 3, 14, 6, 17, 5, 15, 11, 7, 2, 16};
const Ids AllSettings = {8, 2, 4, 6, 2};

Contents Everything() {
    return {.entities = AllEntities,
            .mixerSources = {1, 9, 11},
            .selectorSources = {8, 15, 16, 2},
            .recordSource = 17,
            .playbackSource = 12,
            .playbackChannels = AllSettings,
            .capture = true};
}

Contents With(Ids entities, Ids mixer, Ids selector) {
    Contents c = Everything();
    c.entities = std::move(entities);
    c.mixerSources = std::move(mixer);
    c.selectorSources = std::move(selector);
    return c;
}

Contents WithSettings(Ids channels) {
    Contents c = Everything();
    c.playbackChannels = std::move(channels);
    return c;
}

using S = N3W8ConfigurationSwitches;
const SwitchCase SingleSwitches[] = {
    {"MicInTerminal", &S::DisableMicInTerminal,
     With({1, 12, 13, 3, 6, 17, 5, 15, 11, 7, 16}, {1, 11}, {15, 16})},
    {"LineInTerminal", &S::DisableLineInTerminal,
     With({1, 4, 8, 9, 12, 13, 3, 6, 17, 7, 16}, {1, 9}, {8, 16})},
    {"SpdifInTerminal", &S::DisableSpdifInTerminal,
     With({1, 4, 8, 9, 12, 13, 3, 14, 6, 17, 5, 15, 11, 2}, {1, 9, 11}, {8, 15, 2})},
    {"MicInAAUnit", &S::DisableMicInAAUnit,
     With({1, 4, 8, 12, 13, 3, 6, 17, 5, 15, 11, 7, 16}, {1, 11}, {8, 15, 16})},
    {"LineInAAUnit", &S::DisableLineInAAUnit,
     With({1, 4, 8, 9, 12, 13, 3, 6, 17, 5, 15, 7, 16}, {1, 9}, {8, 15, 16})},
    {"MicInRecUnit", &S::DisableMicInRecUnit,
     With({1, 4, 9, 12, 13, 3, 14, 6, 17, 5, 15, 11, 7, 2, 16}, {1, 9, 11}, {15, 16, 2})},
    {"LineInRecUnit", &S::DisableLineInRecUnit,
     With({1, 4, 8, 9, 12, 13, 3, 14, 6, 17, 5, 11, 7, 2, 16}, {1, 9, 11}, {8, 16, 2})},
    {"StereoMixRecUnit", &S::DisableStereoMixRecUnit,
     With({1, 4, 8, 9, 12, 13, 3, 6, 17, 5, 15, 11, 7, 16}, {1, 9, 11}, {8, 15, 16})},
    {"2ChOut", &S::Disable2ChOutSupported, WithSettings({8, 4, 6, 2})},
    {"4ChOut", &S::Disable4ChOutSupported, WithSettings({8, 2, 6, 2})},
    {"6ChOut", &S::Disable6ChOutSupported, WithSettings({8, 2, 4, 2})},
    {"8ChOut", &S::Disable8ChOutSupported, WithSettings({2, 4, 6, 2})},
};

void ExpectContents(const Contents& got, const Contents& expected) {
    EXPECT_EQ(got.entities, expected.entities);
    EXPECT_EQ(got.mixerSources, expected.mixerSources);
    EXPECT_EQ(got.selectorSources, expected.selectorSources);
    EXPECT_EQ(got.recordSource, expected.recordSource);
    EXPECT_EQ(got.playbackSource, expected.playbackSource);
    EXPECT_EQ(got.playbackChannels, expected.playbackChannels);
    EXPECT_EQ(got.capture, expected.capture);
}

TEST(N3W8Rewrite, WithEverythingOnOnlyTheFurtherSettingsRateChanges) {
    const Bytes source = ChipConfiguration();
    Bytes bytes = source;
    ASSERT_EQ(RewriteConfiguration(bytes, {}), kernel::STATUS_SUCCESS);
    Bytes expected = source;
    expected[411 + 24] = 0x00; // 96000
    expected[411 + 25] = 0x77;
    expected[411 + 26] = 0x01;
    EXPECT_EQ(bytes, expected);
}

TEST(N3W8Rewrite, EachSwitchTakesOutItsPartAndWhatDependsOnIt) {
    for (const SwitchCase& c : SingleSwitches) {
        SCOPED_TRACE(c.name);
        Bytes bytes = ChipConfiguration();
        S switches;
        switches.*c.flag = true;
        ASSERT_EQ(RewriteConfiguration(bytes, switches), kernel::STATUS_SUCCESS);
        const Contents got = Read(bytes);
        ExpectContents(got, c.expected);
        EXPECT_EQ(Word(bytes, 23), got.controlLength);
    }
}

TEST(N3W8Rewrite, WithoutAnyInputOnlyThePlaybackPathRemains) {
    Bytes bytes = ChipConfiguration();
    ASSERT_EQ(RewriteConfiguration(bytes, {.DisableMicInTerminal = true,
                                           .DisableLineInTerminal = true,
                                           .DisableSpdifInTerminal = true}),
              kernel::STATUS_SUCCESS);
    const Contents got = Read(bytes);
    EXPECT_EQ(got.entities, (Ids{1, 13, 3}));
    EXPECT_EQ(got.playbackSource, 1);
    EXPECT_FALSE(got.capture);
    EXPECT_EQ(Word(bytes, 2), 28u + 12 + 16 + 9 + 9 + 4 * 46 + 43);
}

TEST(N3W8Rewrite, OneRecordSourceFeedsTheRecordTerminalDirectly) {
    const struct {
        const char* name;
        S switches;
        std::uint8_t source;
    } cases[] = {
        {"microphone", {.DisableLineInTerminal = true, .DisableSpdifInTerminal = true}, 8},
        {"line", {.DisableMicInTerminal = true, .DisableSpdifInTerminal = true}, 15},
        {"S/PDIF", {.DisableMicInTerminal = true, .DisableLineInTerminal = true}, 16},
        // The stereo mix alone keeps the terminal's source byte.
        {"stereo mix",
         {.DisableSpdifInTerminal = true,
          .DisableMicInRecUnit = true,
          .DisableLineInRecUnit = true},
         17},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = ChipConfiguration();
        ASSERT_EQ(RewriteConfiguration(bytes, c.switches), kernel::STATUS_SUCCESS);
        const Contents got = Read(bytes);
        EXPECT_EQ(got.recordSource, c.source);
        EXPECT_TRUE(got.selectorSources.empty());
    }
}

TEST(N3W8Rewrite, SixChannelOutputDescribesSixChannelsThroughout) {
    Bytes bytes = ChipConfiguration();
    ASSERT_EQ(RewriteConfiguration(bytes, {.Disable8ChOutSupported = true}),
              kernel::STATUS_SUCCESS);
    ASSERT_TRUE(usb::ConfigurationView(bytes).valid());
    // Playback terminal, then microphone terminal, its two units, the mixer.
    EXPECT_EQ(bytes[28 + 7], 6);
    EXPECT_EQ(Word(bytes, 28 + 8), 0x003Fu);
    const std::size_t mixer = 28 + 12 + 12 + 10 + 10;
    const std::size_t controlBytes = (6 + 2 + 2) * 6 / 8 + 1;
    EXPECT_EQ(bytes[mixer], 10 + 3 + controlBytes);
    EXPECT_EQ(bytes[mixer + 8], 6);
    EXPECT_EQ(Word(bytes, mixer + 9), 0x003Fu);
    const std::size_t feature = mixer + bytes[mixer];
    EXPECT_EQ(bytes[feature], 14);
    EXPECT_EQ(bytes[feature + 1 + 2], 13);
    EXPECT_EQ(bytes[feature + 13], 0); // iFeature
}

TEST(N3W8Rewrite, RefusesAndLeavesTheBytesAlone) {
    const Bytes source = ChipConfiguration();
    Bytes announcedShort = source;
    announcedShort[2] = static_cast<std::uint8_t>(508);
    announcedShort[3] = static_cast<std::uint8_t>(508 >> 8);
    const struct {
        const char* name;
        Bytes bytes;
        S switches;
        bool failAllocation;
    } cases[] = {
        {"8 and 6 channels off",
         source,
         {.Disable6ChOutSupported = true, .Disable8ChOutSupported = true},
         false},
        {"one byte short held", Bytes(source.begin(), source.end() - 1), {}, false},
        {"nothing held", Bytes{}, {}, false},
        {"508 announced", announcedShort, {}, false},
        {"no scratch buffer", source, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = c.bytes;
        if (c.failAllocation) kernel::failPoolTag(N3W8RewriteTag);
        EXPECT_EQ(RewriteConfiguration(bytes, c.switches), kernel::STATUS_UNSUCCESSFUL);
        kernel::clearPoolFaults();
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(N3W8Rewrite, EverySwitchSetGivesAConfigurationThePlatformAccepts) {
    const Bytes source = ChipConfiguration();
    bool S::*const flags[] = {
        &S::DisableMicInTerminal,   &S::DisableLineInTerminal,   &S::DisableSpdifInTerminal,
        &S::DisableMicInAAUnit,     &S::DisableLineInAAUnit,     &S::DisableMicInRecUnit,
        &S::DisableLineInRecUnit,   &S::DisableStereoMixRecUnit, &S::Disable2ChOutSupported,
        &S::Disable4ChOutSupported, &S::Disable6ChOutSupported,  &S::Disable8ChOutSupported,
    };
    for (unsigned set = 0; set < 1u << 12; ++set) {
        S switches;
        for (unsigned bit = 0; bit < 12; ++bit) switches.*flags[bit] = (set >> bit & 1) != 0;
        Bytes bytes = source;
        const kernel::NTSTATUS status = RewriteConfiguration(bytes, switches);
        if (switches.Disable6ChOutSupported && switches.Disable8ChOutSupported) {
            ASSERT_EQ(status, kernel::STATUS_UNSUCCESSFUL) << set;
            continue;
        }
        ASSERT_EQ(status, kernel::STATUS_SUCCESS) << set;
        const std::size_t total = Word(bytes, 2);
        ASSERT_LE(total, source.size()) << set;
        const usb::ConfigurationView view(std::span<const std::uint8_t>(bytes.data(), total));
        ASSERT_TRUE(view.valid()) << set << " at " << view.fault().offset << ": "
                                  << view.fault().problem;
        std::size_t control = 0;
        int interface = -1;
        for (const usb::Descriptor d : view.descriptors()) {
            if (d.type() == usb::descriptor_type::interface) interface = d.bytes[2];
            if (interface == 0 && d.type() == ClassInterface) control += d.length();
        }
        ASSERT_EQ(Word(bytes, 23), control) << set;
    }
}

} // namespace
