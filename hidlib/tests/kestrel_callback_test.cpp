// The poll's callbacks call the object back, as the panel's do: they stop,
// restart or reconnect the poll, and a connect may come from another thread
// while the poll reports its loss.

#include "hidlib/tests/kestrel_sim_fixture.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace kestrel_test;

// Holds a callback until the test lets it go. The limits only keep a broken
// build from hanging.
class Gate {
public:
    void holdHere() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_held = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_open; });
    }
    bool awaitHeld() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_held; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_open = false;
};

// For a state that another thread sets and nothing signals.
template <typename Done> bool eventually(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
    return true;
}

Bytes vendorReport(std::uint8_t last) { return {2, 0, 0, 0, 0, 0, 0, 0, last}; }

class KestrelCallingBack : public KestrelOnSim {
protected:
    void SetUp() override {
        KestrelOnSim::SetUp();
        dev = hidsim::addDevice(deviceWithVendorInterface(true));
        k = std::make_unique<Kestrel>("1234", "5678", "FF00", "0001", "FF01", "0002");
    }
    void TearDown() override {
        k.reset();
        KestrelOnSim::TearDown();
    }

    // Waits until no run of the poll is left, including one that ended by itself.
    static void awaitPollEnded() { QThreadPool::globalInstance()->waitForDone(); }

    hidsim::DeviceId dev = -1;
    PollSink sink;
    std::unique_ptr<Kestrel> k;
};

struct ReadCallbackCase {
    const char* name;
    void (*callBack)(Kestrel&);
    bool pollGoesOn;
};

void PrintTo(const ReadCallbackCase& c, std::ostream* os) { *os << c.name; }

class ReadCallbackCallingBack : public KestrelCallingBack,
                                public ::testing::WithParamInterface<ReadCallbackCase> {};

TEST_P(ReadCallbackCallingBack, TheCallbackReturnsAndThePollEndsOrGoesOnAsAsked) {
    const ReadCallbackCase& c = GetParam();
    std::atomic<bool> calledBack{false};
    sink.afterRead = [&](const std::vector<int>&) {
        if (!calledBack.exchange(true)) c.callBack(*k);
    };
    sink.registerWith(*k);
    ASSERT_TRUE(k->connect());
    hidsim::pushInput(dev, 1, vendorReport(1));
    ASSERT_TRUE(sink.waitForReports(1));
    hidsim::pushInput(dev, 1, vendorReport(2));
    if (!c.pollGoesOn) {
        awaitPollEnded();
        EXPECT_EQ(hidsim::pendingInput(dev, 1), 1u) << "the poll ended after the callback";
        k->connect_vendor(); // a fresh poll
    }
    ASSERT_TRUE(sink.waitForReports(2));
    k->disconnect_vendor();
    EXPECT_EQ(sink.reports(), (std::vector<std::vector<int>>{{2, 0, 0, 0, 0, 0, 0, 0, 1},
                                                             {2, 0, 0, 0, 0, 0, 0, 0, 2}}))
        << "each report once, by one poll at a time";
    EXPECT_TRUE(k->connected);
    EXPECT_EQ(sink.lost(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ReadCallbackCallingBack,
    ::testing::Values(
        ReadCallbackCase{"DisconnectVendor", [](Kestrel& k) { k.disconnect_vendor(); }, false},
        ReadCallbackCase{"ConnectVendor", [](Kestrel& k) { k.connect_vendor(); }, true},
        ReadCallbackCase{"Connect", [](Kestrel& k) { EXPECT_TRUE(k.connect()); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KestrelCallingBack, ALostCallbackThatReconnectsRestartsThePoll) {
    std::atomic<bool> reconnected{false};
    sink.afterLost = [&] {
        hidsim::setPresent(dev, true);
        reconnected = k->connect();
    };
    sink.registerWith(*k);
    ASSERT_TRUE(k->connect());
    hidsim::setPresent(dev, false);
    ASSERT_TRUE(sink.waitForLost());
    hidsim::pushInput(dev, 1, vendorReport(7));
    ASSERT_TRUE(sink.waitForReports(1)) << "the reconnect started a fresh poll";
    k->disconnect_vendor();
    EXPECT_TRUE(reconnected);
    EXPECT_TRUE(k->connected) << "the lost poll left the reconnect alone";
    EXPECT_EQ(sink.lost(), 1);
}

// A transfer on the panel's GUI thread connects again while the poll is still
// telling of the loss: the connect stands, and the poll it restarts runs.
TEST_F(KestrelCallingBack, AConnectOnAnotherThreadWhileTheLossIsToldStands) {
    Gate lostCallback;
    sink.afterLost = [&] { lostCallback.holdHere(); };
    sink.registerWith(*k);
    ASSERT_TRUE(k->connect());
    hidsim::setPresent(dev, false);
    ASSERT_TRUE(lostCallback.awaitHeld());
    EXPECT_FALSE(k->connected) << "cleared before the callback is told";

    hidsim::setPresent(dev, true);
    std::atomic<bool> connectResult{false};
    std::thread gui([&] { connectResult = k->connect(); });
    // The connect has decided before it waits for the lost poll to end.
    EXPECT_TRUE(eventually([&] { return k->connected.load(); }));
    lostCallback.open();
    gui.join();

    EXPECT_TRUE(connectResult);
    hidsim::pushInput(dev, 1, vendorReport(3));
    EXPECT_TRUE(sink.waitForReports(1)) << "the restarted poll runs";
    k->disconnect_vendor();
    EXPECT_TRUE(k->connected) << "the lost poll did not undo the connect";
    EXPECT_EQ(sink.lost(), 1);
}

// The poll speaks only for the connection it started under: after set_mem and
// a connect to another device, the old poll's loss leaves that connection be.
TEST_F(KestrelCallingBack, APollNeverUndoesAConnectMadeAfterItStarted) {
    sink.registerWith(*k);
    ASSERT_TRUE(k->connect());
    hidsim::addHeadset();
    k->set_mem("04D9", "A29C", "000C", "0001", "000C", "0001");
    ASSERT_TRUE(k->connect());
    hidsim::setPresent(dev, false);
    ASSERT_TRUE(sink.waitForLost());
    awaitPollEnded();
    EXPECT_TRUE(k->connected);
}

TEST_F(KestrelCallingBack, DestroyingTheObjectFromItsOwnCallbackStopsWithAFatalMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            sink.afterRead = [&](const std::vector<int>&) { k.reset(); };
            sink.registerWith(*k);
            k->connect();
            hidsim::pushInput(dev, 1, vendorReport(1));
            sink.waitForReports(1);
            awaitPollEnded();
        },
        "Kestrel destroyed from its own poll callback");
}

TEST_F(KestrelCallingBack, AnotherObjectsCallbackMayDestroyIt) {
    auto other = std::make_unique<Kestrel>("1234", "5678", "FF00", "0001", "0000", "0000");
    ASSERT_TRUE(other->connect());
    sink.afterRead = [&](const std::vector<int>&) { other.reset(); };
    sink.registerWith(*k);
    ASSERT_TRUE(k->connect());
    hidsim::pushInput(dev, 1, vendorReport(1));
    ASSERT_TRUE(sink.waitForReports(1));
    k->disconnect_vendor();
    EXPECT_EQ(other, nullptr);
}

} // namespace
