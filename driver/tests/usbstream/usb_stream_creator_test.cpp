// What the device-model walks do with a USB stream engine before any client
// comes: create it, initialise it, fill its format table and entities, and
// ask it about the interface's settings.
#include "driver/engine/terminal_item.h"
#include "driver/usbstream/streaming_descriptors.h"
#include "driver/usbstream/uac2_stream_engines.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "usb_stream_fixture.h"

namespace usbstream_test {
namespace {

using usbsim::fixtures::uac1Headset;
using usbsim::fixtures::uac2FeedbackDevice;

class UsbStreamCreatorTest : public UsbStreamFixture {};

TEST_F(UsbStreamCreatorTest, EveryKindInitialisesWithItsDirectionWorkerAndLimiter) {
    Start(uac2FeedbackDevice());
    struct Case {
        UsbStreamKind kind;
        std::uint32_t direction;
    };
    for (const Case& c :
         {Case{UsbStreamKind::uac1Render, 0}, Case{UsbStreamKind::uac1Capture, 1},
          Case{UsbStreamKind::uac2Render, 0}, Case{UsbStreamKind::uac2Capture, 1}}) {
        CUsbStreamEngine* engine = MakeEngine(c.kind, 2, 6, 10);
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(engine->GetDirection(), c.direction);
        EXPECT_EQ(engine->GetInterfaceNumber(), 2);
        EXPECT_EQ(engine->GetConstructionValue(), 6u);
        ASSERT_NE(engine->GetWorkerThread(), nullptr);
        EXPECT_EQ(engine->GetWorkerThread()->priorityHistory(),
                  (std::vector<int>{HighestThreadPriority, UsbStreamWorkerPriority}));
        EXPECT_NE(engine->GetStreamCallbackObject(), nullptr);
        EXPECT_NE(engine->GetLimiter(), nullptr);
    }
    auto* uac2 = dynamic_cast<CUac2StreamEngine*>(engines[2]);
    ASSERT_NE(uac2, nullptr);
    EXPECT_EQ(uac2->GetClockId(), 10u);
}

TEST_F(UsbStreamCreatorTest, AThreadThatCannotStartFailsInitAndLeavesNothing) {
    Start(uac1Headset());
    CUsbStreamEngine* engine = nullptr;
    ASSERT_EQ(CreateUsbStreamEngine(&engine, UsbStreamKind::uac1Render, nullptr, 1, 1),
              STATUS_SUCCESS);
    engines.push_back(engine);
    kernel::failSystemThreadStarts(true);
    EXPECT_EQ(engine->InitStream(0, Adapter()), STATUS_INSUFFICIENT_RESOURCES);
    kernel::failSystemThreadStarts(false);
    EXPECT_EQ(engine->GetWorkerThread(), nullptr);
    EXPECT_EQ(engine->GetStreamCallbackObject(), nullptr);
}

TEST_F(UsbStreamCreatorTest, AMissingLimiterIsNoFailure) {
    Start(uac1Headset());
    CUsbStreamEngine* engine = nullptr;
    ASSERT_EQ(CreateUsbStreamEngine(&engine, UsbStreamKind::uac1Render, nullptr, 1, 1),
              STATUS_SUCCESS);
    engines.push_back(engine);
    kernel::failPoolTag(LimiterBufferTag);
    EXPECT_EQ(engine->InitStream(0, Adapter()), STATUS_SUCCESS);
    kernel::clearPoolFaults();
    EXPECT_EQ(engine->GetLimiter(), nullptr);
}

TEST_F(UsbStreamCreatorTest, FormatsJoinTheTableAndTheOfferedLists) {
    Start(uac1Headset());
    CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::uac1Render, 1, 1);
    const ks::WaveFormatExtensible stereo = UsbPcmFormat(2, 16, 48000);
    const ks::WaveFormatExtensible six = UsbPcmFormat(6, 16, 48000);
    ASSERT_EQ(engine->AddUsbFormat(&stereo, 1), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddUsbFormat(&six, 2), STATUS_SUCCESS);
    EXPECT_EQ(engine->AddUsbFormat(nullptr, 3), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(engine->GetFormatTableCount(), 2u);
    EXPECT_EQ(engine->GetFormatCount(), 2u);

    kernel::failPoolTag(UsbStreamTag);
    EXPECT_EQ(engine->AddUsbFormat(&stereo, 3), STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    EXPECT_EQ(engine->GetFormatTableCount(), 2u);
}

TEST_F(UsbStreamCreatorTest, FindFormatGivesTheFirstMatchingSetting) {
    Start(uac1Headset());
    CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::uac1Render, 1, 1);
    const ks::WaveFormatExtensible at44 = UsbPcmFormat(2, 16, 44100);
    const ks::WaveFormatExtensible at48 = UsbPcmFormat(2, 16, 48000);
    ks::WaveFormatExtensible at48Wide = UsbPcmFormat(2, 24, 48000);
    ASSERT_EQ(engine->AddUsbFormat(&at44, 1), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddUsbFormat(&at48, 2), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddUsbFormat(&at48, 5), STATUS_SUCCESS);

    ks::WaveFormatExtensible basic = TestPcmFormat(2, 16, 48000);
    ks::WaveFormatExtensible otherMask = at48;
    otherMask.dwChannelMask = 0x3;
    ks::WaveFormatExtensible oversized = at48;
    oversized.Format.cbSize = 0xFFFF; // compared no further than a record
    struct Case {
        const char* name;
        ks::WaveFormatExtensible request;
        NTSTATUS status;
        std::uint8_t setting;
    };
    const Case cases[] = {
        {"extensible, first of two", at48, STATUS_SUCCESS, 2},
        {"extensible at 44.1 kHz", at44, STATUS_SUCCESS, 1},
        {"basic record on tag, channels, rate, bits", basic, STATUS_INVALID_PARAMETER, 0},
        {"extensible with another mask", otherMask, STATUS_INVALID_PARAMETER, 0},
        {"extensible at 24 bits", at48Wide, STATUS_INVALID_PARAMETER, 0},
        {"an extra size beyond the record", oversized, STATUS_INVALID_PARAMETER, 0},
    };
    for (const Case& c : cases) {
        std::uint8_t setting = 0;
        EXPECT_EQ(engine->FindFormat(&c.request.Format, &setting), c.status) << c.name;
        EXPECT_EQ(setting, c.setting) << c.name;
    }
    // A basic request matches a basic entry on its four fields.
    ASSERT_EQ(engine->AddUsbFormat(&basic, 7), STATUS_SUCCESS);
    basic.Format.nAvgBytesPerSec = 1;
    std::uint8_t setting = 0;
    EXPECT_EQ(engine->FindFormat(&basic.Format, &setting), STATUS_SUCCESS);
    EXPECT_EQ(setting, 7);
}

TEST_F(UsbStreamCreatorTest, FindEntityGivesTheLastWithTheId) {
    Start(uac1Headset());
    CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::uac1Capture, 2, 10);
    Held<CTerminalItem> first(Make<CTerminalItem>(4, item_type::inputTerminal));
    Held<CTerminalItem> other(Make<CTerminalItem>(9, item_type::inputTerminal));
    ASSERT_EQ(engine->AddUniqueEntity(first.get()), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddUniqueEntity(other.get()), STATUS_SUCCESS);
    IAudioNode* found = nullptr;
    EXPECT_EQ(engine->FindEntity(9, &found), STATUS_SUCCESS);
    EXPECT_EQ(found, static_cast<IAudioNode*>(other.get()));
    EXPECT_EQ(engine->FindEntity(5, &found), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(found, nullptr);
}

// A release 2 function at the speed given whose playback settings' data
// endpoints have the intervals given, one setting each.
usbsim::FunctionDescription WithPlaybackIntervals(bool highSpeed,
                                                  std::vector<std::uint8_t> intervals) {
    usbsim::FunctionDescription d = uac2FeedbackDevice();
    d.highSpeed = highSpeed;
    const usbsim::AlternateSetting model = d.streaming[0].settings[0];
    d.streaming[0].settings.clear();
    for (std::uint8_t interval : intervals) {
        usbsim::AlternateSetting setting = model;
        setting.data.interval = interval;
        d.streaming[0].settings.push_back(setting);
    }
    return d;
}

TEST_F(UsbStreamCreatorTest, PacketsPerMillisecondFollowSpeedAndInterval) {
    const std::vector<std::uint8_t> intervals = {1, 2, 3, 4, 0, 5};
    struct Case {
        bool highSpeed;
        std::vector<std::uint32_t> packets; // per setting 1..6, then a setting that is not there
    };
    for (const Case& c : {Case{true, {8, 4, 2, 1, 1, 1, 1}}, Case{false, {1, 1, 1, 1, 1, 1, 1}}}) {
        Start(WithPlaybackIntervals(c.highSpeed, intervals));
        CUsbStreamEngine* engine = MakeEngine(UsbStreamKind::uac2Render, 1, 1, 10);
        for (std::uint8_t setting = 1; setting <= c.packets.size(); ++setting)
            EXPECT_EQ(engine->GetPacketsPerMillisecond(setting), c.packets[setting - 1])
                << "high speed " << c.highSpeed << ", setting " << int(setting);
    }
}

TEST(HighSpeedPacketTest, ExtraTransactionsMultiplyThePacketSize) {
    struct Case {
        std::uint16_t wMaxPacketSize;
        std::uint32_t bytes;
    };
    for (const Case& c : {Case{0x0060, 96}, Case{0x0804, 8}, Case{0x1004, 12}, Case{0x1FFF, 8188},
                          Case{0x3C00, 4096}})
        EXPECT_EQ(HighSpeedPacketBytes(c.wMaxPacketSize), c.bytes) << c.wMaxPacketSize;
}

TEST_F(UsbStreamCreatorTest, QueryReadyReadsTheValidSettingsOfARelease2Interface) {
    Start(uac2FeedbackDevice()); // interface 1: settings 0 to 3 valid
    CUsbStreamEngine* uac2 = MakeEngine(UsbStreamKind::uac2Render, 1, 1, 10);
    CUsbStreamEngine* uac1 = MakeEngine(UsbStreamKind::uac1Render, 1, 1);
    const int before = Usb()->Submitted();
    struct Case {
        std::uint8_t setting;
        bool ready;
    };
    for (const Case& c : {Case{0, true}, Case{1, true}, Case{2, true}, Case{3, true},
                          Case{4, false}, Case{9, false}, Case{31, false}})
        EXPECT_EQ(uac2->QueryReady(c.setting), c.ready) << int(c.setting);
    EXPECT_EQ(Usb()->Submitted() - before, 6) << "setting 0 asks nothing";
    EXPECT_TRUE(uac1->QueryReady(7)) << "release 1 has no such control";

    stack->bus.injectFault(usbsim::BusRequestKind::control, {});
    EXPECT_FALSE(uac2->QueryReady(1)) << "a stalled request";
}

} // namespace
} // namespace usbstream_test
