#include "hidlib/tests/kestrel_sim_fixture.h"

#include <memory>
#include <thread>

namespace {

using namespace kestrel_test;

class KestrelPoll : public KestrelOnSim {
protected:
    std::unique_ptr<Kestrel> vendorKestrel() {
        auto k = std::make_unique<Kestrel>("1234", "5678", "FF00", "0001", "FF01", "0002");
        sink.registerWith(*k);
        return k;
    }
    PollSink sink;
};

TEST_F(KestrelPoll, DeliversEveryFullInputReportWithItsIdByteFirst) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(false));
    auto k = vendorKestrel();
    ASSERT_TRUE(k->connect());
    hidsim::pushInput(dev, 1, {0, 1, 2, 3, 4, 5, 6, 7, 255});
    hidsim::pushInput(dev, 1, {0, 9, 9}); // a short report is dropped
    hidsim::pushInput(dev, 1, {0, 8, 7, 6, 5, 4, 3, 2, 1});
    ASSERT_TRUE(sink.waitForReports(2));
    const auto reports = sink.reports();
    EXPECT_EQ(reports[0], (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 255}))
        << "an unnumbered report gets back its 0 id byte";
    EXPECT_EQ(reports[1], (std::vector<int>{0, 8, 7, 6, 5, 4, 3, 2, 1}));
    k->disconnect_vendor();
    EXPECT_EQ(sink.reports().size(), 2u);
    EXPECT_EQ(sink.lost(), 0);
}

TEST_F(KestrelPoll, RemovalIsReportedOnceAndEndsThePoll) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(true));
    auto k = vendorKestrel();
    ASSERT_TRUE(k->connect());
    hidsim::setPresent(dev, false);
    ASSERT_TRUE(sink.waitForLost());
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(sink.lost(), 1);
    EXPECT_FALSE(k->connected);
    const int opens = hidsim::openCount();
    hidsim::setPresent(dev, true);
    k->disconnect_vendor(); // the task has ended by itself: returns at once
    EXPECT_EQ(hidsim::openCount(), opens) << "the poll does not come back by itself";

    unsigned char byte = 0;
    EXPECT_TRUE(k->writeData(1, &byte)) << "the next transfer connects again";
    hidsim::pushInput(dev, 1, {2, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_TRUE(sink.waitForReports(1)) << "and restarts the poll";
}

TEST_F(KestrelPoll, DestructorAndDisconnectEndTheTask) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(true));
    {
        auto k = vendorKestrel();
        ASSERT_TRUE(k->connect());
        hidsim::pushInput(dev, 1, {2, 0, 0, 0, 0, 0, 0, 0, 1});
        ASSERT_TRUE(sink.waitForReports(1));
        k->disconnect_vendor();
        EXPECT_EQ(hidsim::openHandles(), 0);
        const int opens = hidsim::openCount();
        k->disconnect_vendor();
        EXPECT_EQ(hidsim::openCount(), opens);

        k->connect_vendor();
        k->connect_vendor(); // a restart replaces the running task
        hidsim::pushInput(dev, 1, {2, 0, 0, 0, 0, 0, 0, 0, 2});
        ASSERT_TRUE(sink.waitForReports(2));
    }
    EXPECT_EQ(hidsim::openHandles(), 0) << "the destructor waited for the task";
    EXPECT_EQ(sink.lost(), 0);
    EXPECT_EQ(sink.reports().size(), 2u) << "one task delivered each report once";
}

TEST_F(KestrelPoll, PollingVendorPollsOnItsCallersThreadUntilStopped) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(true));
    auto k = vendorKestrel();
    std::thread::id readOn;
    sink.afterRead = [&](const std::vector<int>&) { readOn = std::this_thread::get_id(); };
    std::thread poller([&] { k->polling_vendor(QString::fromStdString(hidsim::path(dev, 1))); });
    hidsim::pushInput(dev, 1, {2, 0, 0, 0, 0, 0, 0, 0, 1});
    ASSERT_TRUE(sink.waitForReports(1));
    k->disconnect_vendor();
    EXPECT_EQ(readOn, poller.get_id());
    poller.join();
    EXPECT_EQ(hidsim::openHandles(), 0);
}

// hidapi's enumeration and opens replace one process-wide error text without a
// lock, so the poll task and callers on other threads must never overlap them.
TEST_F(KestrelPoll, ThePollAndCallersNeverEnumerateOrOpenAtOnce) {
    hidsim::addDevice(deviceWithVendorInterface(true));
    auto k = vendorKestrel();
    ASSERT_TRUE(k->connect());
    const auto caller = [&] {
        unsigned char byte = 0;
        for (int i = 0; i < 200; ++i) {
            EXPECT_TRUE(k->writeData(1, &byte));
            EXPECT_TRUE(Kestrel::testConnect("1234", "5678", "FF01", "0002"));
        }
    };
    std::thread first(caller);
    std::thread second(caller);
    first.join();
    second.join();
    k->disconnect_vendor();
    EXPECT_EQ(hidsim::overlappingProcessWideCalls(), 0);
}

TEST_F(KestrelPoll, ReadCallbackIsOptional) {
    const auto dev = hidsim::addDevice(deviceWithVendorInterface(true));
    Kestrel k("1234", "5678", "FF00", "0001", "FF01", "0002");
    ASSERT_TRUE(k.connect());
    hidsim::pushInput(dev, 1, {2, 0, 0, 0, 0, 0, 0, 0, 1});
    ASSERT_TRUE(hidsim::awaitInputTaken(dev, 1)) << "the poll read a full report";
    hidsim::setPresent(dev, false);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_FALSE(k.connected) << "the task ended on the removal without callbacks";
}

} // namespace
