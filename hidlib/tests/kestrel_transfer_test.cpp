#include "hidlib/tests/kestrel_sim_fixture.h"

#include "testkit/guarded_buffer.h"

#include <memory>
#include <numeric>

namespace {

using namespace kestrel_test;
using hidsim::Op;

Bytes sequence(std::size_t n, std::uint8_t first = 1) {
    Bytes out(n);
    std::iota(out.begin(), out.end(), first);
    return out;
}

class KestrelTransfer : public KestrelOnSim {
protected:
    void SetUp() override {
        KestrelOnSim::SetUp();
        headset = hidsim::addHeadset();
        k.reset(newHeadsetKestrel());
        k->set_reportId(0xFF, 1);
    }
    void TearDown() override {
        k.reset();
        KestrelOnSim::TearDown();
    }

    hidsim::DeviceId headset = -1;
    std::unique_ptr<Kestrel> k;
};

TEST_F(KestrelTransfer, ACommandIsOneReportWithItsIdAndZerosBehind) {
    Bytes cmd = {0x09, 3, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(k->writeData(8, cmd.data()));
    const auto log = hidsim::log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].op, Op::Write);
    EXPECT_EQ(log[0].bytes, padded({0xFF, 0x09, 3}, 65));
    EXPECT_EQ(log[1].op, Op::Delay);
    EXPECT_EQ(log[1].durationMs, 8);
    EXPECT_EQ(hidsim::state(headset).profile, 3);
}

TEST_F(KestrelTransfer, ABlockIsChunkedWithTheWriteDelayAfterEveryReport) {
    const Bytes block = sequence(150);
    k->set_delay(32, 5);
    ASSERT_TRUE(k->writeData(150, const_cast<unsigned char*>(block.data())));
    const auto log = hidsim::log();
    ASSERT_EQ(log.size(), 6u);
    for (std::size_t r = 0; r < 3; ++r) {
        const auto& write = log[2 * r];
        const auto& pause = log[2 * r + 1];
        ASSERT_EQ(write.op, Op::Write);
        ASSERT_EQ(write.bytes.size(), 65u);
        EXPECT_EQ(write.bytes[0], 0xFF);
        EXPECT_EQ(write.atMs, 5 * r) << "each report waits for the delay after the one before";
        EXPECT_EQ(pause.op, Op::Delay);
        EXPECT_EQ(pause.durationMs, 5);
    }
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 64, log[0].bytes.begin() + 1));
    EXPECT_TRUE(std::equal(block.begin() + 64, block.begin() + 128, log[2].bytes.begin() + 1));
    Bytes last(65, 0);
    last[0] = 0xFF;
    std::copy(block.begin() + 128, block.end(), last.begin() + 1);
    EXPECT_EQ(log[4].bytes, last) << "the last chunk is zero-filled";
}

TEST_F(KestrelTransfer, AFailedChunkFailsTheCallButTheRestIsStillSent) {
    const Bytes block = sequence(192);
    hidsim::failWrite(headset, 2);
    EXPECT_FALSE(k->writeData(192, const_cast<unsigned char*>(block.data())));
    const auto writes = entriesOf(Op::Write);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[1].result, -1);
    EXPECT_EQ(writes[2].result, 65);
    EXPECT_EQ(entriesOf(Op::Delay).size(), 3u);
}

TEST_F(KestrelTransfer, NothingIsSentAndNoDelayTakenWhenTheInterfaceWillNotOpen) {
    unsigned char cmd[8] = {0x01};
    ASSERT_TRUE(k->connect());
    hidsim::setOpenFails(headset, hidsim::kMainInterface, true);
    EXPECT_FALSE(k->writeData(8, cmd));
    EXPECT_FALSE(k->setReport(cmd, 8));
    EXPECT_FALSE(k->readData(8, cmd));
    EXPECT_TRUE(hidsim::log().empty());
    hidsim::setOpenFails(headset, hidsim::kMainInterface, false);
    EXPECT_TRUE(k->writeData(0, nullptr)) << "zero bytes send nothing and succeed";
    EXPECT_FALSE(k->writeData(8, nullptr)) << "a missing buffer is refused";
    EXPECT_TRUE(hidsim::log().empty());
}

TEST_F(KestrelTransfer, ReadDataTakesThePayloadAfterTheReportIdAcrossReports) {
    const Bytes data = sequence(100, 50);
    for (std::size_t at = 0; at < 100; at += 64) {
        Bytes report(65, 0);
        report[0] = 0xFF;
        std::copy(data.begin() + at, data.begin() + std::min<std::size_t>(at + 64, 100),
                  report.begin() + 1);
        hidsim::pushInput(headset, hidsim::kMainInterface, report);
    }
    testkit::GuardedBuffer<unsigned char> out(100);
    ASSERT_TRUE(k->readData(100, out.data()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.data()));
    EXPECT_TRUE(out.guardsIntact());
    for (const auto& read : entriesOf(Op::Read)) EXPECT_EQ(read.durationMs, 1000);
}

// Interface 0 of this device has no report ids (I = 9), interface 1 has id 2.
TEST_F(KestrelOnSim, ReadDataWithoutReportIdGetsThePayloadOrTheRawReports) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(true));
    hidsim::pushInput(dev, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    hidsim::pushInput(dev, 0, {0, 9, 10, 11, 12, 13, 14, 15, 16});
    Kestrel unnumbered("1234", "5678", "FF00", "0001", "0000", "0000");
    Bytes out(12, 0);
    ASSERT_TRUE(unnumbered.readData(12, out.data()));
    EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}))
        << "byte 0 of an unnumbered report is framing, not data";

    hidsim::pushInput(dev, 1, {2, 1, 2, 3, 4, 5, 6, 7, 8});
    Kestrel numbered("1234", "5678", "FF01", "0002", "0000", "0000");
    Bytes raw(8, 0);
    ASSERT_TRUE(numbered.readData(8, raw.data()));
    EXPECT_EQ(raw, (Bytes{2, 1, 2, 3, 4, 5, 6, 7}))
        << "report id 0 asks for the reports as they come";
}

TEST_F(KestrelTransfer, ASilentHeadsetFailsTheReadInsteadOfHangingAndKeepsTheBuffer) {
    Bytes first(65, 0xAB);
    first[0] = 0xFF;
    hidsim::pushInput(headset, hidsim::kMainInterface, first);
    hidsim::setNoInput(headset, true);
    testkit::GuardedBuffer<unsigned char> out(128, 0, 0x11);
    EXPECT_FALSE(k->readData(128, out.data()));
    EXPECT_EQ(out.get(0), 0xAB);
    EXPECT_EQ(out.get(63), 0xAB);
    EXPECT_EQ(out.get(64), 0x11) << "the bytes of a failed read are left as they were";
    EXPECT_EQ(out.get(127), 0x11);
    const auto reads = entriesOf(Op::Read);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[1].result, 0);
    EXPECT_EQ(reads[1].durationMs, 1000) << "each wait is bounded";
}

TEST_F(KestrelTransfer, FeatureSendCarriesTheReportIdAndTakesTheFeatureDelayEvenWhenItFails) {
    unsigned char cmd[8] = {0x80, 1, 2, 3, 4, 5, 6, 7};
    ASSERT_TRUE(k->setReport(cmd));
    k->set_reportId(0x01, 1); // an id the interface does not have: the send fails
    EXPECT_FALSE(k->setReport(cmd));
    const auto log = hidsim::log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].op, Op::SetFeature);
    EXPECT_EQ(log[0].bytes, (Bytes{0xFF, 0x80, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(log[1].op, Op::Delay);
    EXPECT_EQ(log[1].durationMs, 32);
    EXPECT_EQ(log[2].result, -1);
    EXPECT_EQ(log[3].op, Op::Delay);
}

TEST_F(KestrelTransfer, GetReportReturnsTheReplyAndLeavesTheBufferOnFailure) {
    hidsim::HeadsetState state;
    state.settings = {9, 8, 7, 6};
    hidsim::setState(headset, state);
    unsigned char cmd[8] = {0x81};
    ASSERT_TRUE(k->writeData(8, cmd));
    ASSERT_TRUE(k->getReport(cmd, 8));
    EXPECT_EQ(Bytes(cmd, cmd + 8), (Bytes{0x81, 9, 8, 7, 6, 0, 0, 0}));
    EXPECT_EQ(hidsim::log().back().op, Op::GetFeature) << "no delay follows a get";

    hidsim::setFeatureGetFails(headset, true);
    unsigned char kept[8] = {0x81, 0xEE, 0xEE};
    EXPECT_FALSE(k->getReport(kept));
    EXPECT_EQ(kept[1], 0xEE);
}

// A headset whose feature report is larger than the caller's 8-byte command.
TEST_F(KestrelTransfer, FeatureTransfersStayInsideTheCallersBuffer) {
    hidsim::DeviceDesc desc = hidsim::headsetDescription();
    desc.productId = 0xB000;
    desc.interfaces[hidsim::kMainInterface].featureLength = 33;
    hidsim::addDevice(desc);
    Kestrel wide("04D9", "B000", "000C", "0001", "0000", "0000");
    wide.set_reportId(0xFF, 0);

    testkit::GuardedBuffer<unsigned char> cmd(8, 0, 0x81);
    ASSERT_TRUE(wide.setReport(cmd.data(), 8));
    const Bytes sent = entriesOf(Op::SetFeature).back().bytes;
    ASSERT_EQ(sent.size(), 33u);
    EXPECT_EQ(sent[8], 0x81);
    EXPECT_EQ(sent[9], 0) << "nothing is read beyond the caller's 8 bytes";
    EXPECT_EQ(sent[32], 0);

    unsigned char gaming[8] = {0x96};
    ASSERT_TRUE(wide.writeData(8, gaming));
    ASSERT_TRUE(wide.getReport(cmd.data(), 8));
    EXPECT_TRUE(cmd.guardsIntact()) << "nothing is written beyond the caller's 8 bytes";
    EXPECT_EQ(cmd.get(0), 0x96);
}

} // namespace
