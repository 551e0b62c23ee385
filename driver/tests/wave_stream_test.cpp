#include "platform/kernel/clock.h"
#include "wave_test_support.h"

#include <numeric>

namespace {

using namespace wave_test;

const auto Pcm48 = Extensible(2, 16, 48000);
const auto Pcm44 = Extensible(2, 16, 44100);
constexpr std::uintptr_t Changed = stream_message::formatChangedBit;

class WaveStreamTest : public WaveTest {
protected:
    void Open(std::uint32_t direction, const ks::WaveFormatExtensible& format,
              std::vector<ks::WaveFormatExtensible> more = {}) {
        more.insert(more.begin(), format);
        MakeEndpoint(direction, more);
        ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
        ASSERT_EQ(OpenStream(MakeFormat(format)), STATUS_SUCCESS);
    }
    NTSTATUS Step(std::initializer_list<ks::KsState> states) {
        NTSTATUS status = STATUS_SUCCESS;
        for (ks::KsState state : states) status = stream->SetState(state);
        return status;
    }
    void Run() {
        ASSERT_EQ(Step({ks::KsState::Acquire, ks::KsState::Pause, ks::KsState::Run}),
                  STATUS_SUCCESS);
    }
    // Fills the cyclic buffer with its byte offsets (mod 251).
    void Pattern() {
        auto* bytes = static_cast<std::uint8_t*>(dma->SystemAddress());
        for (std::uint32_t i = 0; i < dma->AllocatedBufferSize(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    std::vector<std::uint8_t> Fill(UsbStreamClientRecord* record, std::uint32_t length) {
        std::vector<std::uint8_t> packet(length, 0xEE);
        engine->Send(record, stream_message::fillPacket,
                     reinterpret_cast<std::uintptr_t>(packet.data()), length);
        return packet;
    }
    std::uint32_t Position() {
        std::uint32_t position = 0;
        EXPECT_EQ(stream->GetPosition(&position), STATUS_SUCCESS);
        return position;
    }
    static std::vector<std::uint8_t> Expected(std::uint32_t from, std::uint32_t length,
                                              std::uint32_t size) {
        std::vector<std::uint8_t> bytes(length);
        for (std::uint32_t i = 0; i < length; ++i)
            bytes[i] = static_cast<std::uint8_t>((from + i) % size % 251);
        return bytes;
    }
};

TEST_F(WaveStreamTest, BufferHoldsFiftyMillisecondsOfWholeFrames) {
    struct Case {
        ks::WaveFormatExtensible format;
        std::uint32_t bytes;
    };
    for (const Case& c : std::vector<Case>{{Pcm48, 9600},
                                           {Pcm44, 8820},
                                           {Extensible(2, 16, 22050), 4408},
                                           {Extensible(6, 24, 96000), 86400}}) {
        SCOPED_TRACE(c.bytes);
        TearDown();
        SetUp();
        Open(Render, c.format);
        EXPECT_EQ(dma->AllocatedBufferSize(), c.bytes);
        EXPECT_EQ(dma->BufferSize(), c.bytes);
        EXPECT_EQ(dma->TransferCount(), c.bytes);
    }
}

TEST_F(WaveStreamTest, RunRegistersOpensAndStartsTheClientAndPauseTakesItDown) {
    Open(Render, Pcm48);
    Run();
    EXPECT_EQ(engine->calls,
              (std::vector<std::string>{"discard", "register 3 5 3", "open", "start 102"}))
        << "a stream starting anew has the limiter's held frames dropped";
    EXPECT_EQ(stream->SetState(ks::KsState::Run), STATUS_SUCCESS);
    EXPECT_EQ(engine->calls.size(), 4u) << "the same state again does nothing";
    engine->calls.clear();
    EXPECT_EQ(Step({ks::KsState::Pause}), STATUS_SUCCESS);
    EXPECT_EQ(engine->calls, (std::vector<std::string>{"stop", "close", "unregister"}));
    Run();
    engine->calls.clear();
    EXPECT_EQ(Step({ks::KsState::Stop}), STATUS_SUCCESS);
    EXPECT_EQ(engine->calls, (std::vector<std::string>{"stop", "close", "unregister"}))
        << "a jump from RUN to STOP takes the client down too";
    Run();
    engine->calls.clear();
    CloseStream(); // destruction steps down from RUN
    EXPECT_EQ(engine->calls, (std::vector<std::string>{"stop", "close", "unregister"}));
}

TEST_F(WaveStreamTest, AFailingRunStepUndoesTheEarlierOnes) {
    struct Case {
        const char* step;
        std::vector<std::string> calls;
    };
    for (const Case& c : std::vector<Case>{
             {"register", {"discard", "register 3 5 3"}},
             {"open", {"discard", "register 3 5 3", "open", "unregister"}},
             {"start",
              {"discard", "register 3 5 3", "open", "start 102", "close", "unregister"}}}) {
        SCOPED_TRACE(c.step);
        TearDown();
        SetUp();
        Open(Render, Pcm48);
        ASSERT_EQ(Step({ks::KsState::Acquire, ks::KsState::Pause}), STATUS_SUCCESS);
        engine->failStep = c.step;
        EXPECT_EQ(stream->SetState(ks::KsState::Run), kernel::STATUS_UNSUCCESSFUL);
        EXPECT_EQ(engine->calls, c.calls);
        EXPECT_EQ(Stream()->GetState(), ks::KsState::Pause);
    }
    dma->FreeBuffer();
    engine->failStep.clear();
    EXPECT_EQ(stream->SetState(ks::KsState::Run), kernel::STATUS_UNSUCCESSFUL) << "no buffer";
}

TEST_F(WaveStreamTest, RenderPacketsWrapAroundTheBufferFromTheLeadTheMessageGives) {
    Open(Render, Pcm48);
    Pattern();
    Run();
    UsbStreamClientRecord* own = engine->Client();
    // Two transfers of 4 ms in flight: 2 x 4 x 192 bytes behind the end.
    engine->Send(own, stream_message::formatApplied, 4 | Changed, 2);
    std::uint32_t at = 9600 - 1536;
    for (std::uint32_t length : {1000u, 500u, 1000u}) {
        EXPECT_EQ(Fill(own, length), Expected(at, length, 9600));
        at = (at + length) % 9600;
    }
    EXPECT_EQ(at, 964u);
    // A packet the buffer cannot hold is left alone.
    EXPECT_EQ(Fill(own, 9600), std::vector<std::uint8_t>(9600, 0xEE));
    // Another client's packet is not this stream's to fill, but the place moves on.
    UsbStreamClientRecord* other = engine->Foreign(Pcm48);
    EXPECT_EQ(Fill(other, 192), std::vector<std::uint8_t>(192, 0xEE));
    EXPECT_EQ(Fill(own, 8), Expected(at + 192, 8, 9600));
}

// A stream paused from RUN goes on from where its packets and its position
// stopped when the device runs the same format again; a pass through
// ACQUIRE, or the device running another client's format, starts it anew
// behind the buffer's end.
TEST_F(WaveStreamTest, RunAfterAPauseGoesOnFromThePositionsUnlessTheyStartAnew) {
    struct Case {
        const char* name;
        std::vector<ks::KsState> between; // after PAUSE, before RUN
        bool otherFormat;
        bool goesOn;
        bool discards; // the limiter's held frames, at the second RUN
    };
    const std::uint32_t lead = 2 * 4 * 192;
    for (const Case& c : std::vector<Case>{
             {"paused and run", {}, false, true, false},
             {"through ACQUIRE", {ks::KsState::Acquire, ks::KsState::Pause}, false, false, true},
             // The engine itself starts its limiter anew in another format.
             {"another format on the device", {}, true, false, false}}) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Open(Render, Pcm48, {Pcm44});
        Pattern();
        Run();
        engine->Send(engine->Client(), stream_message::formatApplied, 4 | Changed, 2);
        Fill(engine->Client(), 1000);
        engine->Send(engine->Client(), stream_message::transferDone, 1000);
        ASSERT_EQ(Step({ks::KsState::Pause}), STATUS_SUCCESS);
        EXPECT_EQ(Position(), 1000u);
        for (ks::KsState state : c.between) ASSERT_EQ(stream->SetState(state), STATUS_SUCCESS);
        engine->calls.clear();
        ASSERT_EQ(Step({ks::KsState::Run}), STATUS_SUCCESS);
        ASSERT_FALSE(engine->calls.empty());
        EXPECT_EQ(engine->calls.front() == "discard", c.discards);
        UsbStreamClientRecord* own = engine->Client();
        engine->Send(c.otherFormat ? engine->Foreign(Pcm44) : own, stream_message::formatApplied,
                     4 | Changed, 2);
        const std::uint32_t at = (9600 - lead + (c.goesOn ? 1000 : 0)) % 9600;
        EXPECT_EQ(Fill(own, 500), Expected(at, 500, 9600));
        EXPECT_EQ(Position(), c.goesOn ? 1000u : 0u);
    }
}

TEST_F(WaveStreamTest, ASmallerBufferSizeBoundsPositionsAndCopies) {
    Open(Render, Pcm48);
    dma->SetBufferSize(9600);
    EXPECT_EQ(dma->BufferSize(), 9600u) << "the allocated size itself is ignored";
    dma->SetBufferSize(4000);
    EXPECT_EQ(dma->BufferSize(), 4000u);
    EXPECT_EQ(dma->AllocatedBufferSize(), 9600u);
    Pattern();
    Run();
    UsbStreamClientRecord* own = engine->Client();
    engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
    std::uint32_t at = 4000 - 2880;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Fill(own, 1000), Expected(at, 1000, 4000));
        at = (at + 1000) % 4000;
    }
    for (int i = 0; i < 5; ++i) engine->Send(own, stream_message::transferDone, 1000);
    EXPECT_EQ(Position(), 1000u) << "5000 bytes on a 4000-byte buffer";
    // Copies outside the size the port uses are refused.
    auto* buffer = static_cast<std::uint8_t*>(dma->SystemAddress());
    const std::uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    dma->CopyTo(buffer + 3996, source, 8);
    EXPECT_EQ(buffer[3996], 3996 % 251);
    dma->CopyTo(buffer + 3992, source, 8);
    EXPECT_EQ(buffer[3999], 8);
    // A lead longer than the buffer still starts inside it.
    dma->SetBufferSize(2000);
    engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
    EXPECT_EQ(Fill(own, 8), Expected(2000 - 880, 8, 2000));
}

TEST_F(WaveStreamTest, RateConvertingBookkeepingIsExactOverASecond) {
    // The device's packets of one millisecond, transfers of five packets.
    struct Case {
        ks::WaveFormatExtensible stream;
        ks::WaveFormatExtensible device;
        std::uint32_t bytesPerSecond;
    };
    for (const Case& c : std::vector<Case>{{Pcm44, Pcm48, 176400}, {Pcm48, Pcm44, 192000}}) {
        SCOPED_TRACE(c.bytesPerSecond);
        TearDown();
        SetUp();
        Open(Render, c.stream, {c.device});
        Run();
        port.notifications = 0;
        UsbStreamClientRecord* own = engine->Client();
        own->Format = c.device; // the device runs another rate for this client
        engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
        const std::uint32_t frame = c.device.Format.nBlockAlign;
        const std::uint32_t rate = c.device.Format.nSamplesPerSec;
        std::uint32_t transfer = 0;
        for (std::uint32_t ms = 0; ms < 1000; ++ms) {
            // Whole frames per packet, as a device paces a rate that is no
            // multiple of 1000.
            const std::uint32_t packet = ((ms + 1) * rate / 1000 - ms * rate / 1000) * frame;
            Fill(own, packet);
            transfer += packet;
            if (ms % 5 == 4) {
                engine->Send(own, stream_message::transferDone, transfer);
                transfer = 0;
            }
        }
        EXPECT_EQ(Stream()->GetTotalBytes(), c.bytesPerSecond);
        EXPECT_EQ(port.notifications.load(), 200u);
    }
}

TEST_F(WaveStreamTest, PositionNeverRunsPastThePacketInFlight) {
    Open(Render, Pcm48);
    Run();
    UsbStreamClientRecord* own = engine->Client();
    engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
    Fill(own, 960);
    Fill(own, 960);
    engine->Send(own, stream_message::transferDone, 960);
    struct Case {
        std::chrono::microseconds after;
        std::uint32_t position;
    };
    for (const Case& c : std::vector<Case>{{std::chrono::microseconds(0), 960},
                                           {std::chrono::microseconds(1010), 960 + 192},
                                           {std::chrono::microseconds(100000), 960 + 960}}) {
        clock.advance(c.after);
        EXPECT_EQ(Position(), c.position);
    }
    ASSERT_EQ(stream->SetState(ks::KsState::Pause), STATUS_SUCCESS);
    EXPECT_EQ(Position(), 960u) << "a paused stream reports its completed position";
}

TEST_F(WaveStreamTest, CapturePositionTrailsByTheTransferNotYetEstimated) {
    Open(Capture, Pcm48);
    Run();
    UsbStreamClientRecord* own = engine->Client();
    engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
    engine->Send(own, stream_message::transferDone, 960);
    EXPECT_EQ(Position(), 0u) << "the whole transfer is still owed";
    clock.advance(std::chrono::microseconds(2500));
    EXPECT_EQ(Position(), 960u - 480u);
}

TEST_F(WaveStreamTest, PositionHoldsAfterMonthsOfUptime) {
    clock.advance(std::chrono::hours(24 * 200));
    Open(Render, Pcm48);
    Run();
    UsbStreamClientRecord* own = engine->Client();
    engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
    Fill(own, 960);
    Fill(own, 960);
    engine->Send(own, stream_message::transferDone, 960);
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(Position(), 960u + 192u);
}

TEST_F(WaveStreamTest, CapturePacketsLandOnlyFromTheStreamsOwnClient) {
    Open(Capture, Pcm48);
    Run();
    UsbStreamClientRecord* own = engine->Client();
    engine->Send(own, stream_message::formatApplied, 5 | Changed, 3);
    std::vector<std::uint8_t> packet(1000);
    std::iota(packet.begin(), packet.end(), 0);
    auto* buffer = static_cast<std::uint8_t*>(dma->SystemAddress());
    UsbStreamClientRecord* other = engine->Foreign(Extensible(2, 24, 96000));
    engine->Send(other, stream_message::packetArrived,
                 reinterpret_cast<std::uintptr_t>(packet.data()), 1000);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 1000), std::vector<std::uint8_t>(1000, 0));
    for (int i = 0; i < 10; ++i)
        engine->Send(own, stream_message::packetArrived,
                     reinterpret_cast<std::uintptr_t>(packet.data()), 1000);
    // Ten packets: the last starts at 9000 and wraps 400 bytes to the start.
    EXPECT_EQ(std::vector<std::uint8_t>(buffer + 9000, buffer + 9600),
              std::vector<std::uint8_t>(packet.begin(), packet.begin() + 600));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 400),
              std::vector<std::uint8_t>(packet.begin() + 600, packet.end()));
}

TEST_F(WaveStreamTest, MessagesWaitForAClientAndAnActiveRecord) {
    Open(Render, Pcm48);
    UsbStreamClientRecord* other = engine->Foreign(Pcm48);
    engine->Send(other, stream_message::transferDone, 960);
    EXPECT_EQ(port.notifications.load(), 0u) << "not registered: no callback";
    Run();
    other->Active = 0;
    engine->Send(other, stream_message::transferDone, 960);
    EXPECT_EQ(port.notifications.load(), 0u);
    other->Active = 1;
    engine->Send(other, stream_message::transferDone, 960);
    EXPECT_EQ(port.notifications.load(), 1u)
        << "another client's transfers still move the position";
    auto* drm = static_cast<portcls::IDrmAudioStream*>(Stream());
    EXPECT_EQ(drm->SetContentId(7, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(engine->calls.back(), "content 7");
}

TEST_F(WaveStreamTest, FormatChangesOnlyWhileStoppedAndOnlyWhenTheShapeDiffers) {
    Open(Render, Pcm48, {Pcm44, Extensible(2, 24, 48000)});
    Run();
    EXPECT_EQ(stream->SetFormat(MakeFormat(Pcm44).get()), kernel::STATUS_UNSUCCESSFUL);
    ASSERT_EQ(stream->SetState(ks::KsState::Pause), STATUS_SUCCESS);
    std::int64_t position = 9600;
    EXPECT_EQ(stream->NormalizePhysicalPosition(&position), STATUS_SUCCESS);
    EXPECT_EQ(position, 500000) << "50 ms in 100-ns units";
    void* before = dma->SystemAddress();
    EXPECT_EQ(stream->SetFormat(MakeFormat(Pcm48).get()), STATUS_SUCCESS);
    EXPECT_EQ(dma->SystemAddress(), before);
    EXPECT_EQ(stream->SetFormat(MakeFormat(Extensible(2, 24, 48000)).get()), STATUS_SUCCESS);
    EXPECT_EQ(dma->AllocatedBufferSize(), 14400u);
    EXPECT_EQ(stream->SetFormat(MakeFormat(Extensible(1, 16, 8000)).get()),
              kernel::STATUS_INVALID_PARAMETER);
    std::uint32_t framing = 0;
    EXPECT_EQ(stream->SetNotificationFreq(20, &framing), 10u);
    EXPECT_EQ(framing, 2880u);
}

TEST_F(WaveStreamTest, SilenceFillsInsideTheBufferWithTheFormatsZero) {
    const auto eightBit = Extensible(1, 8, 48000);
    Open(Render, eightBit);
    auto* buffer = static_cast<std::uint8_t*>(dma->SystemAddress());
    stream->Silence(buffer + 10, 20);
    EXPECT_EQ(buffer[10], 0x80);
    EXPECT_EQ(buffer[29], 0x80);
    EXPECT_EQ(buffer[30], 0);
    stream->Silence(buffer + dma->AllocatedBufferSize() - 4, 8);
    EXPECT_EQ(buffer[dma->AllocatedBufferSize() - 1], 0) << "a range past the end is refused";
}

} // namespace
