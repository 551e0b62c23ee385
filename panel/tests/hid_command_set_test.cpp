#include "panel/tests/panel_sim_fixture.h"

#include <functional>
#include <numeric>

namespace {

using namespace panel_test;
using hidsim::Op;
using panel::HidCommandSet;

struct SenderCase {
    const char* name;
    std::function<bool(HidCommandSet&)> send;
    std::vector<Bytes> expected; // output reports in order
};

// A data block as output reports: 64 bytes after the report id each.
std::vector<Bytes> blockReports(const Bytes& block) {
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < block.size(); at += 64) {
        Bytes r(65, 0);
        r[0] = 0xFF;
        std::copy(block.begin() + at, block.begin() + at + 64, r.begin() + 1);
        out.push_back(r);
    }
    return out;
}

template <std::size_t N> std::array<std::uint8_t, N> ramp(std::uint8_t first) {
    std::array<std::uint8_t, N> a{};
    std::iota(a.begin(), a.end(), first);
    return a;
}

// A caller's buffer before a request that must leave it alone.
template <std::size_t N> std::array<std::uint8_t, N> sevens() {
    std::array<std::uint8_t, N> a{};
    a.fill(7);
    return a;
}

std::vector<Bytes> concat(std::vector<Bytes> a, const std::vector<Bytes>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using PanelCommands = PanelOnSim;

TEST_F(PanelCommands, EverySenderPutsItsBytesOnTheWire) {
    const auto keys = ramp<64>(1);
    const auto macro = ramp<192>(10);
    const std::array<std::uint8_t, 8> k{1, 2, 3, 4, 5, 6, 7, 8};
    const SenderCase cases[] = {
        {"0x01 guarded", [](HidCommandSet& h) { return h.sendCmd01Guarded(); }, {wire({0x01})}},
        {"0x01 with values",
         [](HidCommandSet& h) { return h.sendCmd01(1, 2, 3, 4); },
         {wire({0x01, 1, 2, 3, 4})}},
        {"0x02 switches",
         [](HidCommandSet& h) { return h.sendCmd02(1, 2, 3, 4, 5); },
         {wire({0x02, 1, 2, 3, 4, 5})}},
        {"0x02 block", [&](HidCommandSet& h) { return h.writeCmd02(keys); },
         concat({wire({0x02, 0, 0, 1})}, blockReports(Bytes(keys.begin(), keys.end())))},
        {"0x03 LED",
         [](HidCommandSet& h) { return h.sendCmd03(4, 1, 0, 3, 0); },
         {wire({0x03, 4, 1, 0, 3, 0})}},
        {"0x03 keys", [&](HidCommandSet& h) { return h.writeCmd03(keys); },
         concat({wire({0x03, 0, 0, 1})}, blockReports(Bytes(keys.begin(), keys.end())))},
        {"0x04 colour",
         [](HidCommandSet& h) {
             return h.sendCmd04({1, 2, 3, 4, 5, 6, 7});
         },
         {wire({0x04, 1, 2, 3, 4, 5, 6, 7})}},
        {"0x05 macro", [&](HidCommandSet& h) { return h.writeCmd05(34, macro); },
         concat({wire({0x05, 0, 34, 3})}, blockReports(Bytes(macro.begin(), macro.end())))},
        {"0x06 LED type",
         [](HidCommandSet& h) {
             return h.hid_06H_SetLEDType({9, 8, 7, 6});
         },
         {wire({0x06, 9, 8, 7, 6})}},
        {"0x07 alone at b 4",
         [&](HidCommandSet& h) { return h.sendCmd0708(0x11, 4, k); },
         {wire({0x07, 0x11, 4, 1, 2, 3, 4})}},
        {"0x08 first at b 5",
         [&](HidCommandSet& h) { return h.sendCmd0708(0x11, 5, k); },
         {wire({0x08, 5, 6, 7, 8}), wire({0x07, 0x11, 5, 1, 2, 3, 4})}},
        {"0x09 profile", [](HidCommandSet& h) { return h.sendProfileCmd09(3); }, {wire({0x09, 3})}},
        {"0x14 colour slot",
         [](HidCommandSet& h) { return h.sendCmd14(6, 10, 20, 30); },
         {wire({0x14, 0, 6, 10, 20, 30})}},
        {"0x15 values",
         [](HidCommandSet& h) {
             return h.sendCmd15({1, 2, 3, 4, 5, 6});
         },
         {wire({0x15, 1, 2, 3, 4, 5, 6})}},
        {"0x15 time stamp",
         [](HidCommandSet& h) { return h.stampTimeFlag().has_value(); },
         {wire({0x15, 0x65, 0x43, 0x21, 0x0F})}},
        {"0x16 gaming mode", [](HidCommandSet& h) { return h.sendCmd16(2); }, {wire({0x16, 2})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hidsim::clearLog();
        EXPECT_TRUE(c.send(hid));
        EXPECT_EQ(writes(), c.expected);
    }
}

TEST_F(PanelCommands, EveryReadHandsOutTheHeadsetsStoredValues) {
    hidsim::HeadsetState s;
    s.versionMajor = 2;
    s.versionMinor = 7;
    s.settings = {1, 2, 3, 4};
    s.ledType = {5, 6, 7, 8};
    s.keys07 = {9, 10, 11, 12, 13, 14};
    s.keys08 = {15, 16, 17, 18};
    s.colours[4] = {19, 20, 21};
    s.timeStamp = {22, 23, 24, 25, 26, 27};
    s.gamingMode = 28;
    s.syncedFlag = 1;
    s.block02 = ramp<64>(30);
    s.keyBlock = ramp<64>(40);
    s.macros[7] = ramp<192>(50);
    hidsim::setState(headset, s);

    HidCommandSet::Version v;
    ASSERT_TRUE(hid.getVersion80(v));
    EXPECT_EQ(v.major, 2);
    EXPECT_EQ(v.minor, 7);
    std::array<std::uint8_t, 4> four{};
    ASSERT_TRUE(hid.getCmd81(four));
    EXPECT_EQ(four, s.settings);
    ASSERT_TRUE(hid.hid_86H_GetLEDType(four));
    EXPECT_EQ(four, s.ledType);
    std::uint8_t a = 0, b = 0;
    std::array<std::uint8_t, 8> k{};
    ASSERT_TRUE(hid.getCmd8788(a, b, k));
    EXPECT_EQ(a, 9);
    EXPECT_EQ(b, 10);
    EXPECT_EQ(k, (std::array<std::uint8_t, 8>{11, 12, 13, 14, 15, 16, 17, 18}));
    std::uint8_t one = 0;
    ASSERT_TRUE(hid.getCmd89(one));
    EXPECT_EQ(one, 1);
    std::array<std::uint8_t, 3> colour{};
    ASSERT_TRUE(hid.hid_94H_GetColor(4, colour));
    EXPECT_EQ(colour, s.colours[4]);
    std::array<std::uint8_t, 6> six{};
    ASSERT_TRUE(hid.getCmd95(six));
    EXPECT_EQ(six, s.timeStamp);
    ASSERT_TRUE(hid.hid_96H_GetGamingMode(one));
    EXPECT_EQ(one, 28);
    std::array<std::uint8_t, 64> block{};
    ASSERT_TRUE(hid.readCmd82(block));
    EXPECT_EQ(block, s.block02);
    ASSERT_TRUE(hid.readCmd83(block));
    EXPECT_EQ(block, s.keyBlock);
    std::array<std::uint8_t, 192> macro{};
    ASSERT_TRUE(hid.readCmd85(7, macro));
    EXPECT_EQ(macro, s.macros[7]);
    // Each request without a block yields the thread once after its reply.
    EXPECT_EQ(sleeper.calls(), std::vector<unsigned>(9, 0));
}

TEST_F(PanelCommands, BlockReadSendsItsCommandTwiceAroundTheReply) {
    std::array<std::uint8_t, 64> keys{};
    ASSERT_TRUE(hid.readCmd83(keys));
    EXPECT_EQ(opsWithoutDelays(),
              (std::vector<Op>{Op::Write, Op::Write, Op::GetFeature, Op::Read}));
    EXPECT_EQ(writes(), (std::vector<Bytes>{wire({0x83}), wire({0x83})}));
}

TEST_F(PanelCommands, VersionReplySetsTheWriteDelayAndZeroMeansTheDefault) {
    struct Case {
        std::uint8_t featureDelay, writeDelay;
        int expectedWriteDelay;
    };
    for (const Case c : {Case{0, 0, 8}, Case{20, 4, 4}, Case{20, 0, 8}}) {
        SCOPED_TRACE(int(c.writeDelay));
        hidsim::HeadsetState s;
        s.featureDelayMs = c.featureDelay;
        s.writeDelayMs = c.writeDelay;
        hidsim::setState(headset, s);
        HidCommandSet::Version v;
        ASSERT_TRUE(hid.getVersion80(v));
        hidsim::clearLog();
        ASSERT_TRUE(hid.sendProfileCmd09(1));
        const auto log = hidsim::log();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[1].op, Op::Delay);
        EXPECT_EQ(log[1].durationMs, c.expectedWriteDelay);
    }
}

TEST_F(PanelCommands, NothingIsSentAndNothingChangesWithoutAConnectedEntry) {
    devices.curDid = -1;
    auto four = sevens<4>();
    auto block = sevens<64>();
    HidCommandSet::Version v{7, 7};
    EXPECT_FALSE(hid.sendCmd01Guarded());
    EXPECT_FALSE(hid.sendCmd02(1, 1, 1, 1, 1));
    EXPECT_FALSE(hid.writeCmd03(block));
    EXPECT_FALSE(hid.stampTimeFlag().has_value());
    EXPECT_FALSE(hid.getVersion80(v));
    EXPECT_FALSE(hid.getCmd81(four));
    EXPECT_FALSE(hid.readCmd83(block));
    EXPECT_FALSE(hid.setHidDelays(1, 1));
    EXPECT_TRUE(hidsim::log().empty());
    EXPECT_EQ(v.major, 7);
    EXPECT_EQ(four, sevens<4>());
    EXPECT_EQ(block, sevens<64>());
}

TEST_F(PanelCommands, WhileTheHeadsetIsAbsentGuardedSendersSendNothingAndBlockReadsFail) {
    hidsim::setPresent(headset, false);
    EXPECT_FALSE(hid.sendCmd01Guarded());
    EXPECT_FALSE(hid.sendCmd02(1, 1, 1, 1, 1));
    EXPECT_FALSE(hid.sendCmd03(1, 1, 0, 1, 0));
    EXPECT_FALSE(hid.sendCmd04({}));
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(devices.stopPoll.load());
    auto keys = sevens<64>();
    EXPECT_FALSE(hid.readCmd83(keys));
    EXPECT_EQ(keys, sevens<64>());
}

// A failed reply used to be handed out as values: the request bytes, so a
// silent headset read as settings of zero.
TEST_F(PanelCommands, AFailedReplyIsReportedAndLeavesTheValues) {
    hidsim::setFeatureGetFails(headset, true);
    auto four = sevens<4>();
    std::uint8_t mode = 7;
    auto keys = sevens<64>();
    hidsim::HeadsetState s;
    s.keyBlock = ramp<64>(1);
    hidsim::setState(headset, s);
    EXPECT_FALSE(hid.getCmd81(four));
    EXPECT_FALSE(hid.hid_96H_GetGamingMode(mode));
    EXPECT_FALSE(hid.readCmd83(keys));
    EXPECT_EQ(four, sevens<4>());
    EXPECT_EQ(mode, 7);
    EXPECT_EQ(keys, sevens<64>());
}

TEST_F(PanelCommands, WrittenSettingsComeBackThroughTheirReads) {
    const std::array<std::uint8_t, 8> k{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(hid.sendCmd0708(0x21, 6, k));
    ASSERT_TRUE(hid.sendCmd14(2, 10, 20, 30));
    ASSERT_TRUE(hid.writeCmd03(ramp<64>(3)));
    ASSERT_TRUE(hid.sendCmd16(5));
    std::uint8_t a = 0, b = 0, mode = 0;
    std::array<std::uint8_t, 8> readK{};
    std::array<std::uint8_t, 3> colour{};
    std::array<std::uint8_t, 64> keys{};
    ASSERT_TRUE(hid.getCmd8788(a, b, readK));
    ASSERT_TRUE(hid.hid_94H_GetColor(2, colour));
    ASSERT_TRUE(hid.readCmd83(keys));
    ASSERT_TRUE(hid.hid_96H_GetGamingMode(mode));
    EXPECT_EQ(std::tie(a, b, readK), std::tie("\x21"[0], "\x06"[0], k));
    EXPECT_EQ(colour, (std::array<std::uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(keys, ramp<64>(3));
    EXPECT_EQ(mode, 5);
}

} // namespace
