#include "sim/hid/hidsim.h"

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class HidapiSim : public ::testing::Test {
protected:
    void SetUp() override { hidsim::reset(); }
    void TearDown() override {
        EXPECT_EQ(hidsim::openHandles(), 0);
        hidsim::reset();
    }
};

struct Opened {
    explicit Opened(const std::string& path) : handle(hid_open_path(path.c_str())) {}
    ~Opened() { hid_close(handle); }
    hid_device* handle;
};

hidsim::DeviceDesc unnumberedDevice() {
    hidsim::DeviceDesc desc;
    desc.vendorId = 0x1234;
    desc.productId = 0x0001;
    desc.interfaces = {{.number = 0,
                        .usagePage = 0xFF00,
                        .usage = 1,
                        .reportId = 0,
                        .featureLength = 5,
                        .inputLength = 9,
                        .outputLength = 9}};
    return desc;
}

TEST_F(HidapiSim, EnumeratesPresentDevicesInOrderWithTheirFields) {
    const auto headset = hidsim::addHeadset();
    hidsim::addDevice(unnumberedDevice());
    hid_device_info* list = hid_enumerate(0x04D9, 0xA29C);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(list->next->next, nullptr);
    EXPECT_EQ(list->usage_page, 0xFF01);
    EXPECT_EQ(list->interface_number, 3);
    EXPECT_EQ(list->path, hidsim::path(headset, hidsim::kButtonInterface));
    EXPECT_EQ(list->next->usage_page, 0x000C);
    EXPECT_EQ(list->next->usage, 1);
    EXPECT_EQ(list->next->release_number, 0x0100);
    EXPECT_EQ(std::wcscmp(list->next->serial_number, L"SIM0001"), 0);
    hid_free_enumeration(list);

    int all = 0;
    list = hid_enumerate(0, 0);
    for (auto* i = list; i; i = i->next) ++all;
    hid_free_enumeration(list);
    EXPECT_EQ(all, 3);

    hidsim::setPresent(headset, false);
    list = hid_enumerate(0x04D9, 0);
    EXPECT_EQ(list, nullptr);
    hidsim::setPresent(headset, true);
    list = hid_enumerate(0x04D9, 0);
    EXPECT_NE(list, nullptr);
    hid_free_enumeration(list);
}

TEST_F(HidapiSim, OpenFailsForAbsentDevicesUnknownPathsAndOnDemand) {
    const auto headset = hidsim::addHeadset();
    const std::string main = hidsim::path(headset, hidsim::kMainInterface);
    EXPECT_EQ(hid_open_path("nowhere"), nullptr);
    hidsim::setOpenFails(headset, hidsim::kMainInterface, true);
    EXPECT_EQ(hid_open_path(main.c_str()), nullptr);
    EXPECT_NE(std::wcscmp(hid_error(nullptr), L"Success"), 0);
    hidsim::setOpenFails(headset, hidsim::kMainInterface, false);
    {
        Opened opened(main);
        EXPECT_NE(opened.handle, nullptr);
        EXPECT_EQ(hidsim::openHandles(), 1);
    }
    // hid_open takes the first interface of the device.
    hid_device* first = hid_open(0x04D9, 0xA29C, nullptr);
    ASSERT_NE(first, nullptr);
    hidsim::pressButton(headset, 0x10);
    unsigned char buf[65] = {};
    EXPECT_EQ(hid_read_timeout(first, buf, sizeof buf, 100), 16);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 0x10);
    hid_close(first);
    EXPECT_EQ(hid_open(0x04D9, 0xA29C, L"other"), nullptr);
    EXPECT_EQ(hidsim::openCount(), 2);
}

TEST_F(HidapiSim, TheGlobalErrorTextStaysPutWhileOtherThreadsCallIn) {
    hidsim::addHeadset();
    EXPECT_EQ(hid_open_path("nowhere"), nullptr);
    const wchar_t* text = hid_error(nullptr);
    std::thread other([] { hid_free_enumeration(hid_enumerate(0, 0)); });
    other.join();
    EXPECT_EQ(std::wcscmp(text, L"No such device"), 0)
        << "another thread's success does not rewrite the text this thread holds";
    EXPECT_EQ(std::wcscmp(hid_error(nullptr), L"Success"), 0);
}

TEST_F(HidapiSim, WritesAreCheckedLoggedAndFailOnTheArmedOne) {
    const auto headset = hidsim::addHeadset();
    Opened main(hidsim::path(headset, hidsim::kMainInterface));
    Bytes report(65, 0);
    report[0] = 0xFF;
    report[1] = 0x09;
    report[2] = 4;
    hidsim::failWrite(headset, 2);
    EXPECT_EQ(hid_write(main.handle, report.data(), report.size()), 65);
    EXPECT_EQ(hid_write(main.handle, report.data(), report.size()), -1);
    EXPECT_EQ(hid_write(main.handle, report.data(), report.size()), 65);
    Bytes wrongId = report;
    wrongId[0] = 0x01;
    EXPECT_EQ(hid_write(main.handle, wrongId.data(), wrongId.size()), -1);
    Bytes tooLong(66, 0);
    tooLong[0] = 0xFF;
    EXPECT_EQ(hid_write(main.handle, tooLong.data(), tooLong.size()), -1);

    const auto log = hidsim::log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].op, hidsim::Op::Write);
    EXPECT_EQ(log[0].interfaceNumber, 4);
    EXPECT_EQ(log[0].bytes, report);
    EXPECT_EQ(log[1].result, -1);
    EXPECT_EQ(hidsim::state(headset).profile, 4);
}

TEST_F(HidapiSim, FeatureReplyCarriesTheLastCommandsAnswer) {
    hidsim::HeadsetState state;
    state.settings = {5, 6, 7, 8};
    const auto headset = hidsim::addHeadset(state);
    Opened main(hidsim::path(headset, hidsim::kMainInterface));
    Bytes cmd(65, 0);
    cmd[0] = 0xFF;
    cmd[1] = 0x81;
    ASSERT_EQ(hid_write(main.handle, cmd.data(), cmd.size()), 65);
    unsigned char reply[9] = {0xFF};
    EXPECT_EQ(hid_get_feature_report(main.handle, reply, sizeof reply), 9);
    EXPECT_EQ(Bytes(reply, reply + 9), (Bytes{0xFF, 0x81, 5, 6, 7, 8, 0, 0, 0}));

    hidsim::setFeatureGetFails(headset, true);
    unsigned char untouched[9] = {0xFF, 0xAA};
    EXPECT_EQ(hid_get_feature_report(main.handle, untouched, sizeof untouched), -1);
    EXPECT_EQ(untouched[1], 0xAA);
    const unsigned char feature[9] = {0xFF, 1, 2};
    EXPECT_EQ(hid_send_feature_report(main.handle, feature, sizeof feature), 9);
    EXPECT_EQ(hidsim::log().back().op, hidsim::Op::SetFeature);
}

TEST_F(HidapiSim, BlockReadsQueueInputReportsInChunks) {
    hidsim::HeadsetState state;
    state.macros[2].fill(0x5A);
    const auto headset = hidsim::addHeadset(state);
    Opened main(hidsim::path(headset, hidsim::kMainInterface));
    Bytes cmd(65, 0);
    cmd[0] = 0xFF;
    cmd[1] = 0x85;
    cmd[3] = 2;
    hid_write(main.handle, cmd.data(), cmd.size());
    hid_write(main.handle, cmd.data(), cmd.size()); // asked twice: still one block
    EXPECT_EQ(hidsim::pendingInput(headset, hidsim::kMainInterface), 3u);
    unsigned char buf[65];
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(hid_read_timeout(main.handle, buf, sizeof buf, 0), 65);
        EXPECT_EQ(buf[0], 0xFF);
        EXPECT_EQ(buf[64], 0x5A);
    }
    EXPECT_EQ(hid_read_timeout(main.handle, buf, sizeof buf, 0), 0);
}

TEST_F(HidapiSim, UnnumberedReportsArriveWithoutTheirIdByte) {
    const auto dev = hidsim::addDevice(unnumberedDevice());
    Opened opened(hidsim::path(dev, 0));
    hidsim::pushInput(dev, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    unsigned char buf[9] = {};
    EXPECT_EQ(hid_read(opened.handle, buf, sizeof buf), 8);
    EXPECT_EQ(Bytes(buf, buf + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    const unsigned char out[9] = {0, 9, 9};
    EXPECT_EQ(hid_write(opened.handle, out, sizeof out), 9);
}

TEST_F(HidapiSim, SilentDeviceRunsTimedReadsOutOnTheSimulatedClock) {
    const auto headset = hidsim::addHeadset();
    Opened main(hidsim::path(headset, hidsim::kMainInterface));
    hidsim::setNoInput(headset, true);
    hidsim::pushInput(headset, hidsim::kMainInterface, Bytes(65, 0xFF));
    unsigned char buf[65];
    EXPECT_EQ(hid_read_timeout(main.handle, buf, sizeof buf, 1000), 65);
    EXPECT_EQ(hid_read_timeout(main.handle, buf, sizeof buf, 1000), 0);
    EXPECT_EQ(hidsim::nowMs(), 1000u);
    EXPECT_EQ(hidsim::log().back().durationMs, 1000);
}

TEST_F(HidapiSim, ABlockedReadWakesForInputAndForRemoval) {
    const auto headset = hidsim::addHeadset();
    Opened buttons(hidsim::path(headset, hidsim::kButtonInterface));
    unsigned char buf[65];
    std::thread presser([&] { hidsim::pressButton(headset, 7); });
    EXPECT_EQ(hid_read(buttons.handle, buf, sizeof buf), 16);
    EXPECT_EQ(buf[1], 7);
    presser.join();
    std::thread remover([&] { hidsim::setPresent(headset, false); });
    EXPECT_EQ(hid_read(buttons.handle, buf, sizeof buf), -1);
    remover.join();
    EXPECT_EQ(hid_write(buttons.handle, buf, 16), -1);
}

TEST_F(HidapiSim, AHandleOpenAtARemovalStaysDeadWhenTheDeviceReturns) {
    const auto headset = hidsim::addHeadset();
    Opened stale(hidsim::path(headset, hidsim::kButtonInterface));
    hidsim::setPresent(headset, false);
    hidsim::setPresent(headset, true);
    hidsim::pressButton(headset, 5);
    unsigned char buf[16] = {};
    EXPECT_EQ(hid_read_timeout(stale.handle, buf, sizeof buf, 0), -1);
    buf[0] = 1;
    EXPECT_EQ(hid_write(stale.handle, buf, sizeof buf), -1);
    EXPECT_EQ(hidsim::pendingInput(headset, hidsim::kButtonInterface), 1u);

    Opened fresh(hidsim::path(headset, hidsim::kButtonInterface));
    EXPECT_EQ(hid_read_timeout(fresh.handle, buf, sizeof buf, 0), 16);
    EXPECT_EQ(buf[1], 5);
}

TEST_F(HidapiSim, SleepsAdvanceTheClockAndAreLogged) {
    hidsim::sleepMs(8);
    hidsim::sleepMs(32);
    EXPECT_EQ(hidsim::nowMs(), 40u);
    const auto log = hidsim::log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].op, hidsim::Op::Delay);
    EXPECT_EQ(log[1].atMs, 8u);
    EXPECT_EQ(log[1].durationMs, 32);
}

TEST_F(HidapiSim, ConcurrentWritersAllReachTheLog) {
    const auto headset = hidsim::addHeadset();
    const std::string path = hidsim::path(headset, hidsim::kMainInterface);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&path] {
            for (int i = 0; i < 50; ++i) {
                Opened main(path);
                Bytes cmd(65, 0);
                cmd[0] = 0xFF;
                cmd[1] = 0x16;
                hid_write(main.handle, cmd.data(), cmd.size());
            }
        });
    }
    for (auto& w : writers) w.join();
    EXPECT_EQ(hidsim::log().size(), 200u);
    EXPECT_EQ(hidsim::openCount(), 200);
}

} // namespace
