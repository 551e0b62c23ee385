#include "hidlib/tests/kestrel_sim_fixture.h"

#include <memory>

namespace {

using namespace kestrel_test;

int activePoolTasks() { return QThreadPool::globalInstance()->activeThreadCount(); }

// Two interfaces that both carry the main usage, then one that does not.
hidsim::DeviceDesc twoMainCandidates() {
    hidsim::DeviceDesc desc;
    desc.vendorId = 0x1234;
    desc.productId = 0x0002;
    const hidsim::InterfaceDesc main{.number = 0,
                                     .usagePage = 0xFF00,
                                     .usage = 1,
                                     .featureLength = 9,
                                     .inputLength = 9,
                                     .outputLength = 9};
    desc.interfaces = {main, main, main};
    desc.interfaces[1].number = 1;
    desc.interfaces[2].number = 2;
    desc.interfaces[2].usage = 7;
    return desc;
}

int interfaceOfLastWrite() { return entriesOf(hidsim::Op::Write).back().interfaceNumber; }

TEST_F(KestrelOnSim, WithoutAVendorDefinedPageOnlyTheMainInterfaceCounts) {
    hidsim::addHeadset();
    std::unique_ptr<Kestrel> k(newHeadsetKestrel());
    EXPECT_FALSE(k->connected);
    EXPECT_TRUE(k->connect());
    EXPECT_TRUE(k->connected);
    EXPECT_EQ(activePoolTasks(), 0) << "no poll task without a vendor interface";
    EXPECT_EQ(hidsim::openCount(), 1);
}

TEST_F(KestrelOnSim, MissingVendorInterfaceLeavesItUnconnectedAndEveryTransferRetries) {
    hidsim::addHeadset();
    Kestrel k("04D9", "A29C", "000C", "0001", "FF00", "0001");
    EXPECT_FALSE(k.connect());
    unsigned char cmd[8] = {0x01};
    EXPECT_FALSE(k.writeData(8, cmd));
    EXPECT_FALSE(k.writeData(8, cmd));
    EXPECT_TRUE(hidsim::log().empty()) << "nothing is sent and no delay is taken";
    EXPECT_EQ(hidsim::openCount(), 3)
        << "each transfer runs connect, which opens the main interface";
}

TEST_F(KestrelOnSim, OfSeveralCandidatesTheLastThatOpensWins) {
    const auto dev = hidsim::addDevice(twoMainCandidates());
    Kestrel k("1234", "0002", "FF00", "0001", "0000", "0000");
    unsigned char byte = 0x42;
    ASSERT_TRUE(k.connect());
    ASSERT_TRUE(k.writeData(1, &byte));
    EXPECT_EQ(interfaceOfLastWrite(), 1);

    hidsim::setOpenFails(dev, 1, true);
    ASSERT_TRUE(k.connect());
    ASSERT_TRUE(k.writeData(1, &byte));
    EXPECT_EQ(interfaceOfLastWrite(), 0) << "an interface that will not open is skipped";

    hidsim::setOpenFails(dev, 0, true);
    EXPECT_FALSE(k.connect());
    EXPECT_FALSE(k.connected);
}

TEST_F(KestrelOnSim, AnInterfaceWithTheMainUsageIsNeverTakenAsTheVendorInterface) {
    hidsim::addDevice(twoMainCandidates());
    Kestrel k("1234", "0002", "FF00", "0001", "FF00", "0001");
    EXPECT_FALSE(k.connect());
    EXPECT_EQ(activePoolTasks(), 0);
}

TEST_F(KestrelOnSim, AFoundVendorInterfaceStartsThePollEvenWithoutTheMainOne) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(true));
    PollSink sink;
    Kestrel k("1234", "5678", "ABCD", "0001", "FF01", "0002");
    sink.registerWith(k);
    EXPECT_FALSE(k.connect());
    hidsim::pushInput(dev, 1, {2, 10, 11, 12, 13, 14, 15, 16, 17});
    ASSERT_TRUE(sink.waitForReports(1));
    EXPECT_EQ(sink.reports()[0], (std::vector<int>{2, 10, 11, 12, 13, 14, 15, 16, 17}));
    k.disconnect_vendor();
}

TEST_F(KestrelOnSim, SetMemDisconnectsAndTheNextTransferUsesTheNewIdentifiers) {
    hidsim::addHeadset();
    const auto other = hidsim::addDevice(twoMainCandidates());
    std::unique_ptr<Kestrel> k(newHeadsetKestrel());
    ASSERT_TRUE(k->connect());
    k->set_mem("1234", "0002", "FF00", "0007", "0000", "0000");
    EXPECT_FALSE(k->connected);
    unsigned char byte = 1;
    EXPECT_TRUE(k->writeData(1, &byte));
    EXPECT_TRUE(k->connected);
    const auto writes = entriesOf(hidsim::Op::Write);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].device, other);
    EXPECT_EQ(writes[0].interfaceNumber, 2);
}

TEST_F(KestrelOnSim, TestConnectNeedsAMatchingInterfaceThatOpens) {
    const auto headset = hidsim::addHeadset();
    EXPECT_TRUE(Kestrel::testConnect("04D9", "A29C", "000C", "0001"));
    EXPECT_TRUE(Kestrel::testConnect("04d9", "a29c", "ff01", "1"));
    EXPECT_FALSE(Kestrel::testConnect("04D9", "A29C", "000C", "0002"));
    hidsim::setOpenFails(headset, hidsim::kMainInterface, true);
    EXPECT_FALSE(Kestrel::testConnect("04D9", "A29C", "000C", "0001"));
    hidsim::setOpenFails(headset, hidsim::kMainInterface, false);
    hidsim::setPresent(headset, false);
    EXPECT_FALSE(Kestrel::testConnect("04D9", "A29C", "000C", "0001"));
    EXPECT_EQ(hidsim::openHandles(), 0);
}

} // namespace
