#include "sim/hid/headset_firmware.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using hidsim::HeadsetFirmware;
using hidsim::HeadsetState;
using Bytes = std::vector<std::uint8_t>;
using Reply = std::array<std::uint8_t, 8>;

// One output report's payload as the main interface carries it: 64 bytes.
Bytes report(std::initializer_list<std::uint8_t> head) {
    Bytes out(64, 0);
    std::copy(head.begin(), head.end(), out.begin());
    return out;
}

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

Reply ask(HeadsetFirmware& fw, std::initializer_list<std::uint8_t> cmd) {
    fw.receiveOutput(report(cmd));
    return fw.featureReply();
}

void sendBlock(HeadsetFirmware& fw, const Bytes& block) {
    for (std::size_t at = 0; at < block.size(); at += 64)
        fw.receiveOutput(Bytes(block.begin() + at, block.begin() + at + 64));
}

TEST(HeadsetFirmware, EveryWriteCommandIsReadBackByItsReadCommand) {
    HeadsetFirmware fw;
    fw.receiveOutput(report({0x01, 11, 12, 13, 14}));
    fw.receiveOutput(report({0x06, 21, 22, 23, 24}));
    fw.receiveOutput(report({0x08, 31, 32, 33, 34}));
    fw.receiveOutput(report({0x07, 41, 42, 43, 44, 45, 46}));
    fw.receiveOutput(report({0x14, 0, 6, 51, 52, 53}));
    fw.receiveOutput(report({0x15, 0x65, 0x43, 0x21, 0x0F, 61, 62}));
    fw.receiveOutput(report({0x16, 71}));

    EXPECT_EQ(ask(fw, {0x81}), (Reply{0x81, 11, 12, 13, 14, 0, 0, 0}));
    EXPECT_EQ(ask(fw, {0x86}), (Reply{0x86, 21, 22, 23, 24, 0, 0, 0}));
    EXPECT_EQ(ask(fw, {0x88}), (Reply{0x88, 31, 32, 33, 34, 0, 0, 0}));
    EXPECT_EQ(ask(fw, {0x87}), (Reply{0x87, 41, 42, 43, 44, 45, 46, 0}));
    EXPECT_EQ(ask(fw, {0x94, 0, 6}), (Reply{0x94, 0, 6, 51, 52, 53, 0, 0}));
    EXPECT_EQ(ask(fw, {0x94, 0, 5}), (Reply{0x94, 0, 5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ask(fw, {0x95}), (Reply{0x95, 0x65, 0x43, 0x21, 0x0F, 61, 62, 0}));
    EXPECT_EQ(ask(fw, {0x96}), (Reply{0x96, 71, 0, 0, 0, 0, 0, 0}));
}

TEST(HeadsetFirmware, VersionDelaysAndSyncFlag) {
    HeadsetState initial;
    initial.versionMajor = 2;
    initial.versionMinor = 9;
    initial.featureDelayMs = 40;
    initial.writeDelayMs = 12;
    HeadsetFirmware fw(initial);
    EXPECT_EQ(ask(fw, {0x80}), (Reply{0x80, 2, 9, 40, 12, 0, 0, 0}));
    EXPECT_EQ(ask(fw, {0x89}), (Reply{0x89, 0, 0, 0, 0, 0, 0, 0}));
    fw.receiveOutput(report({0x15, 1, 2, 3, 4}));
    EXPECT_EQ(ask(fw, {0x89})[4], 1);
}

TEST(HeadsetFirmware, SwitchLedColourAndProfileCommandsAreStored) {
    HeadsetFirmware fw;
    fw.receiveOutput(report({0x02, 1, 1, 1, 0, 1}));
    fw.receiveOutput(report({0x03, 4, 1, 0, 3, 0}));
    fw.receiveOutput(report({0x04, 0, 0, 88, 0, 176, 0, 0}));
    fw.receiveOutput(report({0x09, 3}));
    const HeadsetState& s = fw.state();
    EXPECT_EQ(s.switches, (std::array<std::uint8_t, 5>{1, 1, 1, 0, 1}));
    EXPECT_EQ(s.led, (std::array<std::uint8_t, 5>{4, 1, 0, 3, 0}));
    EXPECT_EQ(s.ledColour, (std::array<std::uint8_t, 7>{0, 0, 88, 0, 176, 0, 0}));
    EXPECT_EQ(s.profile, 3);
    // A write command's reply echoes it.
    EXPECT_EQ(fw.featureReply(), (Reply{0x09, 3, 0, 0, 0, 0, 0, 0}));
}

TEST(HeadsetFirmware, KeyAndMacroBlocksAreWrittenAndReadInChunks) {
    HeadsetFirmware fw;
    const Bytes keys = pattern(64, 3);
    const Bytes macro = pattern(192, 9);
    fw.receiveOutput(report({0x03, 0, 0, 1}));
    sendBlock(fw, keys);
    fw.receiveOutput(report({0x05, 0, 34, 3}));
    sendBlock(fw, macro);

    EXPECT_TRUE(std::equal(keys.begin(), keys.end(), fw.state().keyBlock.begin()));
    EXPECT_TRUE(std::equal(macro.begin(), macro.end(), fw.state().macros[34].begin()));
    EXPECT_EQ(fw.state().macros[33], HeadsetState::erasedMacros()[33]);
    // The block header is not a LED command.
    EXPECT_EQ(fw.state().led, (std::array<std::uint8_t, 5>{}));

    EXPECT_EQ(ask(fw, {0x83}), (Reply{0x83, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fw.takeOutgoingBlock(), keys);
    EXPECT_EQ(ask(fw, {0x85, 0, 34})[2], 34);
    EXPECT_EQ(fw.takeOutgoingBlock(), macro);
    EXPECT_EQ(fw.takeOutgoingBlock(), std::nullopt);
}

TEST(HeadsetFirmware, MacroSlotBeyondTheLastIsConsumedAndKeptNowhere) {
    HeadsetFirmware fw;
    fw.receiveOutput(report({0x05, 0, 35, 3}));
    sendBlock(fw, pattern(192, 1));
    EXPECT_EQ(fw.state().macros, HeadsetState::erasedMacros());
    // The next report is a command again.
    fw.receiveOutput(report({0x09, 2}));
    EXPECT_EQ(fw.state().profile, 2);
    ask(fw, {0x85, 0, 35});
    EXPECT_EQ(fw.takeOutgoingBlock(), Bytes(192, 0xFF));
}

// After a full block header, the next 64 bytes are block data whatever they
// look like; a report that only begins like a header is a command.
struct BlockFramingCase {
    const char* name;
    Bytes header;
    Bytes next;                // the report that follows the header
    bool nextIsData;           // it lands in the block instead of running
    std::uint8_t ledModeAfter; // LED mode once both reports are in
};

TEST(HeadsetFirmware, BlockFramingFollowsTheHeadersFullForm) {
    Bytes commandLike = report({0x03, 7, 1, 0, 2, 0}); // a LED command as data
    Bytes headerWithTail = report({0x03, 0, 0, 1});
    headerWithTail[20] = 1;
    const BlockFramingCase cases[] = {
        {"key header then LED-looking data", report({0x03, 0, 0, 1}), commandLike, true, 0},
        {"switch header then LED-looking data", report({0x02, 0, 0, 1}), commandLike, true, 0},
        {"header form with a non-zero tail is a LED command", headerWithTail, commandLike, false,
         7},
        {"LED command then LED command", report({0x03, 4, 1, 0, 3}), commandLike, false, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeadsetFirmware fw;
        fw.receiveOutput(c.header);
        fw.receiveOutput(c.next);
        EXPECT_EQ(fw.state().led[0], c.ledModeAfter);
        const auto& block = c.header[0] == 0x02 ? fw.state().block02 : fw.state().keyBlock;
        EXPECT_EQ(std::equal(c.next.begin(), c.next.end(), block.begin()), c.nextIsData);
        // The block is complete: the next report runs as a command.
        fw.receiveOutput(report({0x09, 4}));
        EXPECT_EQ(fw.state().profile, 4);
    }
}

TEST(HeadsetFirmware, SwitchHeaderAlsoSetsTheSwitches) {
    HeadsetFirmware fw;
    fw.receiveOutput(report({0x02, 0, 0, 1}));
    sendBlock(fw, pattern(64, 0x30));
    EXPECT_EQ(fw.state().switches, (std::array<std::uint8_t, 5>{0, 0, 1, 0, 0}));
    ask(fw, {0x82});
    EXPECT_EQ(fw.takeOutgoingBlock(), pattern(64, 0x30));
}

TEST(HeadsetFirmware, ABlockReadReplacesTheOneBefore) {
    HeadsetFirmware fw;
    ask(fw, {0x83});
    ask(fw, {0x83});
    EXPECT_TRUE(fw.takeOutgoingBlock().has_value());
    EXPECT_FALSE(fw.takeOutgoingBlock().has_value());
}

} // namespace
