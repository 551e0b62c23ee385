// The headset's command set spoken through Kestrel the way the panel speaks
// it: 8-byte commands with report id 0xFF, replies as feature reports, data
// blocks as further output reports or as input reports.

#include "hidlib/tests/kestrel_sim_fixture.h"

#include <memory>
#include <numeric>

namespace {

using namespace kestrel_test;
using hidsim::Op;

class CommandSet : public KestrelOnSim {
protected:
    void SetUp() override {
        KestrelOnSim::SetUp();
        headset = hidsim::addHeadset();
        k.reset(newHeadsetKestrel());
    }
    void TearDown() override {
        k.reset();
        KestrelOnSim::TearDown();
    }

    void send(Bytes cmd) {
        k->set_reportId(0xFF, 1);
        ASSERT_TRUE(k->writeData(8, cmd.data()));
    }
    // A request: the command, then its reply over the same buffer.
    Bytes request(Bytes cmd) {
        send(cmd);
        EXPECT_TRUE(k->getReport(cmd.data(), 8));
        return cmd;
    }
    // A block read: the command, sent twice around the reply as the panel
    // does, then the block from input reports.
    Bytes readBlock(Bytes cmd, unsigned n) {
        send(cmd);
        request(cmd);
        Bytes block(n, 0xEE);
        EXPECT_TRUE(k->readData(n, block.data()));
        return block;
    }
    void writeBlock(Bytes cmd, Bytes block) {
        send(cmd);
        ASSERT_TRUE(k->writeData(static_cast<unsigned>(block.size()), block.data()));
    }

    hidsim::DeviceId headset = -1;
    std::unique_ptr<Kestrel> k;
};

TEST_F(CommandSet, TheConnectPushLandsInTheHeadsetPacedByTheWriteDelay) {
    // Clarity on: 02 00 00 01 00 00 00 00 would be the 0x02 block header.
    send({0x02, 1, 0, 1, 0, 0, 0, 0});
    send({0x03, 2, 1, 0, 4, 0, 0, 0});
    send({0x04, 0, 0, 88, 0, 176, 0, 0});
    send({0x01, 0, 0, 0, 0, 0, 0, 0});
    const hidsim::HeadsetState s = hidsim::state(headset);
    EXPECT_EQ(s.switches, (std::array<std::uint8_t, 5>{1, 0, 1, 0, 0}));
    EXPECT_EQ(s.led, (std::array<std::uint8_t, 5>{2, 1, 0, 4, 0}));
    EXPECT_EQ(s.ledColour, (std::array<std::uint8_t, 7>{0, 0, 88, 0, 176, 0, 0}));
    const auto writes = entriesOf(Op::Write);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[3].atMs, 24u);
    EXPECT_EQ(hidsim::nowMs(), 32u);
}

TEST_F(CommandSet, RequestsAreAnsweredFromTheStoredSettings) {
    hidsim::HeadsetState s;
    s.versionMajor = 1;
    s.versionMinor = 5;
    s.featureDelayMs = 20;
    s.writeDelayMs = 4;
    hidsim::setState(headset, s);
    EXPECT_EQ(request({0x80, 0, 0, 0, 0, 0, 0, 0}), (Bytes{0x80, 1, 5, 20, 4, 0, 0, 0}));
    send({0x14, 0, 2, 10, 20, 30, 0, 0});
    EXPECT_EQ(request({0x94, 0, 2, 0, 0, 0, 0, 0}), (Bytes{0x94, 0, 2, 10, 20, 30, 0, 0}));
    send({0x15, 0x65, 0x00, 0x00, 0x01, 0, 0, 0});
    EXPECT_EQ(request({0x95, 0, 0, 0, 0, 0, 0, 0}), (Bytes{0x95, 0x65, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(request({0x89, 0, 0, 0, 0, 0, 0, 0})[4], 1);
}

TEST_F(CommandSet, KeyAndMacroBlocksRoundTrip) {
    Bytes keys(64);
    std::iota(keys.begin(), keys.end(), 100);
    Bytes macro(192);
    std::iota(macro.begin(), macro.end(), 7);
    writeBlock({0x03, 0, 0, 1, 0, 0, 0, 0}, keys);
    writeBlock({0x05, 0, 12, 3, 0, 0, 0, 0}, macro);
    EXPECT_EQ(entriesOf(Op::Write).size(), 2u + 1u + 3u);

    EXPECT_EQ(readBlock({0x83, 0, 0, 0, 0, 0, 0, 0}, 64), keys);
    EXPECT_EQ(readBlock({0x85, 0, 12, 0, 0, 0, 0, 0}, 192), macro);
    EXPECT_EQ(readBlock({0x85, 0, 13, 0, 0, 0, 0, 0}, 192), Bytes(192, 0xFF));
    EXPECT_EQ(hidsim::pendingInput(headset, hidsim::kMainInterface), 0u);
}

} // namespace
