#include "driver/engine/soft_mute_node.h"
#include "driver/engine/stream_engine_base.h"
#include "dsp_test_node.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"
#include "platform/tests/test_thread.h"
#include "stream_engine_fixture.h"
#include "test_wave_formats.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace {

using engine_test::Capture;
using engine_test::CTerminalSet;
using engine_test::Held;
using engine_test::Make;
using engine_test::MakeEngine;
using engine_test::Render;
using engine_test::TerminalSpec;
using kernel::NTSTATUS;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_NO_MATCH;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

constexpr std::uint32_t In = item_type::inputTerminal;
constexpr std::uint32_t Out = item_type::outputTerminal;
constexpr std::uint32_t Select = item_type::terminalTypeSelection;

TEST(StreamEngine, EndpointTypeFollowsTheTerminalsOnThePath) {
    struct Case {
        const char* name;
        std::uint32_t direction;
        std::vector<TerminalSpec> terminals;
        std::uint32_t type;
    };
    const Case cases[] = {
        {"capture, two terminals with codes", Capture, {{In, 7}, {In, 11}}, 18},
        {"capture, line input then another", Capture, {{In, 3}, {In, 7}}, 18},
        {"capture, another then line input", Capture, {{In, 7}, {In, 3}}, 18},
        {"capture, one terminal with a code", Capture, {{In, 0}, {In, 7}}, 7},
        {"capture, line input alone", Capture, {{In, 3}}, 3},
        {"capture ignores output terminals", Capture, {{Out, 5}, {In, 6}}, 6},
        {"capture, no terminal", Capture, {}, 0},
        {"render, one output terminal", Render, {{Out, 2}}, 2},
        {"render, a later output replaces", Render, {{Out, 2}, {Out, 14}}, 14},
        {"render, the selection ends the walk", Render, {{Select, 17}, {Out, 2}}, 17},
        {"render, selection after an output", Render, {{Out, 2}, {Select, 4}}, 4},
        {"render ignores input terminals", Render, {{In, 7}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTerminalSet terminals;
        Held engine(MakeEngine(c.direction, terminals, c.terminals));
        EXPECT_EQ(engine->GetDirection(), c.direction);
        EXPECT_EQ(engine->GetEndpointType(), c.type);
    }
}

TEST(StreamEngine, HeadphoneAndDigitalRenderEndpointsOfferOnlyTwoChannelFormats) {
    struct Case {
        std::uint32_t direction;
        std::uint32_t terminalKind;
        std::uint32_t code;
        std::uint32_t formats;
    };
    const Case cases[] = {
        {Render, Out, 2, 1},  {Render, Out, 3, 1},  {Render, Out, 14, 1},
        {Render, Out, 17, 1}, {Render, Out, 1, 3},  {Render, Out, 4, 3},
        {Capture, In, 2, 3},  {Capture, In, 14, 3}, {Capture, In, 18, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("direction " + std::to_string(c.direction) + " code " +
                     std::to_string(c.code));
        CTerminalSet terminals;
        Held engine(MakeEngine(c.direction, terminals, {{c.terminalKind, c.code}}));
        for (std::uint16_t channels : {6, 2, 1}) {
            const ks::WaveFormatExtensible record = TestPcmFormat(channels, 16);
            ASSERT_EQ(engine->AddFormat(&record), STATUS_SUCCESS);
        }
        ASSERT_EQ(engine->GetFormatCount(), c.formats);
        ks::WaveFormatExtensible first{};
        ASSERT_EQ(engine->GetFormat(0, &first), STATUS_SUCCESS);
        EXPECT_EQ(first.Format.nChannels, c.formats == 1 ? 2 : 6);
        EXPECT_EQ(engine->GetFormat(c.formats, &first), STATUS_INVALID_PARAMETER);
    }
}

TEST(StreamEngine, FormatsAndEntitiesAreRefusedWithoutTheirLists) {
    Held engine(Make<CStreamEngine>(0u));
    ks::WaveFormatExtensible record = TestPcmFormat(2, 16);
    IAudioNode* entity = nullptr;
    EXPECT_EQ(engine->AddFormat(&record), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(engine->GetFormat(0, &record), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(engine->GetEntity(0, &entity), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(engine->CheckFormat(&record.Format), STATUS_NO_MATCH);
    EXPECT_EQ(engine->AddFormat(nullptr), STATUS_INVALID_PARAMETER);
}

TEST(StreamEngine, AddFormatKeepsNothingWhenTheCopyOrItsNodeIsRefused) {
    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    const ks::WaveFormatExtensible record = TestPcmFormat(6, 16);
    const std::size_t blocksBefore = kernel::poolLiveBlocksTagged(StreamEngineTag).size();
    for (std::uint64_t request : {1, 2}) {
        SCOPED_TRACE(request);
        kernel::failPoolRequest(request);
        EXPECT_EQ(engine->AddFormat(&record), STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        EXPECT_EQ(engine->GetFormatCount(), 0u);
        EXPECT_EQ(kernel::poolLiveBlocksTagged(StreamEngineTag).size(), blocksBefore);
    }
}

ks::WaveFormatExtensible Basic(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                               std::uint16_t bits) {
    ks::WaveFormatExtensible format = TestWaveFormat(tag, channels, bits, rate);
    format.Format.nBlockAlign = 0; // rewritten from the record when it matches
    format.Format.cbSize = 22;
    return format;
}

TEST(StreamEngine, CheckFormatMatchesRecordsAndRewritesBasicFormats) {
    const ks::WaveFormatExtensible pcm = TestExtensibleFormat(ks::format_tag::pcm, 2, 16, 16);
    const ks::WaveFormatExtensible floats =
        TestExtensibleFormat(ks::format_tag::ieeeFloat, 2, 32, 32);
    ks::WaveFormatExtensible otherValidBits = pcm;
    otherValidBits.wValidBitsPerSample = 12;
    ks::WaveFormatExtensible overlongExtra = pcm;
    overlongExtra.Format.cbSize = 200;

    struct Case {
        const char* name;
        ks::WaveFormatExtensible format;
        NTSTATUS status;
        std::uint16_t tagAfter;
    };
    const Case cases[] = {
        {"basic PCM of a listed record", Basic(1, 2, 48000, 16), STATUS_SUCCESS, 1},
        {"basic float of a listed record", Basic(3, 2, 48000, 32), STATUS_SUCCESS, 3},
        {"basic PCM at another rate", Basic(1, 2, 44100, 16), STATUS_NO_MATCH, 1},
        {"basic PCM with other channels", Basic(1, 6, 48000, 16), STATUS_NO_MATCH, 1},
        {"basic float at PCM's width", Basic(3, 2, 48000, 16), STATUS_NO_MATCH, 3},
        {"extensible equal to a record", pcm, STATUS_SUCCESS, 0xFFFE},
        {"extensible with other valid bits", otherValidBits, STATUS_NO_MATCH, 0xFFFE},
        {"extensible claiming more than a record", overlongExtra, STATUS_NO_MATCH, 0xFFFE},
    };
    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    ASSERT_EQ(engine->AddFormat(&pcm), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddFormat(&floats), STATUS_SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ks::WaveFormatExtensible format = c.format;
        EXPECT_EQ(engine->CheckFormat(&format.Format), c.status);
        EXPECT_EQ(format.Format.wFormatTag, c.tagAfter);
        const bool rewritten = c.status == STATUS_SUCCESS && c.tagAfter != 0xFFFE;
        if (rewritten) {
            const ks::WaveFormatExtensible& record = c.tagAfter == 1 ? pcm : floats;
            EXPECT_EQ(format.Format.cbSize, 0);
            EXPECT_EQ(format.Format.nBlockAlign, record.Format.nBlockAlign);
            EXPECT_EQ(format.Format.nAvgBytesPerSec, record.Format.nAvgBytesPerSec);
        } else {
            EXPECT_EQ(std::memcmp(&format, &c.format, sizeof format), 0);
        }
    }
}

TEST(StreamEngine, AddUniqueEntityIgnoresListedIdsAndPutsDspNodesInChainA) {
    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    Held mute(Make<CSoftMuteNode>(9u));
    CAudioNode* first = terminals.Add(4, {Out, 2});
    CAudioNode* sameId = terminals.Add(4, {Out, 14});

    EXPECT_EQ(engine->AddUniqueEntity(first), STATUS_SUCCESS);
    EXPECT_EQ(engine->AddUniqueEntity(sameId), STATUS_SUCCESS);
    EXPECT_EQ(engine->AddUniqueEntity(mute.get()), STATUS_SUCCESS);
    EXPECT_EQ(engine->AddUniqueEntity(mute.get()), STATUS_SUCCESS);
    EXPECT_EQ(engine->AddUniqueEntity(nullptr), STATUS_INVALID_PARAMETER);

    ASSERT_EQ(engine->GetEntityCount(), 2u);
    IAudioNode* entity = nullptr;
    ASSERT_EQ(engine->GetEntity(0, &entity), STATUS_SUCCESS);
    EXPECT_EQ(entity, static_cast<IAudioNode*>(first));
    EXPECT_EQ(engine->GetEndpointType(), 2u);
    EXPECT_EQ(engine->GetEntity(2, &entity), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(engine->GetChainACount(), 1);
}

TEST(StreamEngine, NamesUpToFiftyCharactersAreKept) {
    const std::u16string fifty(50, u'n');
    const std::u16string fiftyOne = fifty + u"x";
    struct Case {
        const char* name;
        const char16_t* text;
        NTSTATUS status;
        std::u16string kept;
    };
    const Case cases[] = {
        {"fifty characters", fifty.c_str(), STATUS_SUCCESS, fifty},
        {"empty", u"", STATUS_SUCCESS, u""},
        {"fifty-one characters", fiftyOne.c_str(), STATUS_INVALID_PARAMETER, u"Speakers"},
        {"null", nullptr, STATUS_INVALID_PARAMETER, u"Speakers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTerminalSet terminals;
        Held engine(MakeEngine(Render, terminals));
        ASSERT_EQ(engine->SetName(u"Speakers"), STATUS_SUCCESS);
        EXPECT_EQ(engine->SetName(c.text), c.status);
        char16_t name[100] = {};
        ASSERT_EQ(engine->GetName(name, 100), STATUS_SUCCESS);
        EXPECT_EQ(std::u16string(name), c.kept);
    }
}

TEST(StreamEngine, GetNameRefusesBuffersThatCannotHoldTheName) {
    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    ASSERT_EQ(engine->SetName(u"Line"), STATUS_SUCCESS);
    char16_t name[5] = {u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(engine->GetName(nullptr, 100), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(engine->GetName(name, 4), kernel::STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(name[0], u'x');
    EXPECT_EQ(engine->GetName(name, 5), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Line");
}

TEST(StreamEngine, InitReportsEveryRefusedAllocationAndLeavesNothingBehind) {
    std::uint64_t requests = 0;
    {
        Held engine(Make<CStreamEngine>(0u));
        const std::uint64_t before = kernel::poolRequestCount();
        ASSERT_EQ(engine->Init(Capture), STATUS_SUCCESS);
        requests = kernel::poolRequestCount() - before;
    }
    ASSERT_GT(requests, 6u);
    for (std::uint64_t n = 1; n <= requests; ++n) {
        SCOPED_TRACE("refused request " + std::to_string(n));
        {
            Held engine(Make<CStreamEngine>(0u));
            kernel::failPoolRequest(n);
            EXPECT_EQ(engine->Init(Capture), STATUS_INSUFFICIENT_RESOURCES);
            kernel::clearPoolFaults();
            EXPECT_EQ(engine->Init(Capture), STATUS_SUCCESS) << "a second Init completes it";
            EXPECT_NE(engine->GetCallbackObject(), nullptr);
        }
        EXPECT_TRUE(kernel::poolLiveBlocksTagged(StreamEngineTag).empty());
    }
}

// The client records of the tests: priority and a handle of their own.
struct Client {
    StreamClientRecord record;
    explicit Client(std::uint32_t priority) : record{priority, this} {}
};

TEST(StreamEngine, OpenAndRunningClientsAreOrderedByPriorityLatestFirst) {
    using Insert = NTSTATUS (CStreamEngine::*)(StreamClientRecord*);
    using Top = StreamClientRecord* (CStreamEngine::*)();
    using Remove = StreamClientRecord* (CStreamEngine::*)(const void*);
    struct Case {
        const char* name;
        Insert insert;
        Top top;
        Remove remove;
    };
    const Case cases[] = {
        {"open", &CStreamEngine::InsertOpenClient, &CStreamEngine::GetTopOpenClient,
         &CStreamEngine::RemoveOpenClient},
        {"running", &CStreamEngine::InsertRunningClient, &CStreamEngine::GetTopRunningClient,
         &CStreamEngine::RemoveRunningClient},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTerminalSet terminals;
        Held engine(MakeEngine(Render, terminals));
        Client first(3), high(5), second(3), highest(0x80000000u), stranger(1);
        for (Client* client : {&first, &high, &second, &highest})
            ASSERT_EQ(((*engine.get()).*c.insert)(&client->record), STATUS_SUCCESS);
        EXPECT_EQ(((*engine.get()).*c.remove)(&stranger), nullptr);
        std::vector<const void*> order;
        while (StreamClientRecord* top = ((*engine.get()).*c.top)()) {
            order.push_back(top->RegistrationHandle);
            ASSERT_EQ(((*engine.get()).*c.remove)(top->RegistrationHandle), top);
        }
        EXPECT_EQ(order, (std::vector<const void*>{&highest, &high, &second, &first}));
    }
}

TEST(StreamEngine, ClientsAreFoundAndRemovedByRegistrationHandle) {
    CTerminalSet terminals;
    Held engine(MakeEngine(Capture, terminals));
    Client a(1), b(2);
    ASSERT_EQ(engine->AddRegisteredClient(&a.record), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddRegisteredClient(&b.record), STATUS_SUCCESS);
    ASSERT_EQ(engine->InsertOpenClient(&b.record), STATUS_SUCCESS);
    EXPECT_EQ(engine->FindRegisteredClient(&b), &b.record);
    EXPECT_EQ(engine->FindOpenClient(&a), nullptr);
    EXPECT_EQ(engine->FindOpenClient(&b), &b.record);
    EXPECT_EQ(engine->RemoveRegisteredClient(&a), &a.record);
    EXPECT_EQ(engine->FindRegisteredClient(&a), nullptr);
    EXPECT_EQ(engine->RemoveRegisteredClient(&a), nullptr);
    EXPECT_EQ(engine->RemoveRegisteredClient(&b), &b.record);
    EXPECT_EQ(engine->RemoveOpenClient(&b), &b.record);
    EXPECT_EQ(engine->GetTopOpenClient(), nullptr);
}

TEST(StreamEngine, ClientInsertionReportsARefusedNode) {
    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    Client a(3), b(3);
    ASSERT_EQ(engine->InsertOpenClient(&a.record), STATUS_SUCCESS);
    for (auto insert : {&CStreamEngine::InsertOpenClient, &CStreamEngine::InsertRunningClient,
                        &CStreamEngine::AddRegisteredClient}) {
        kernel::failPoolRequest(1);
        EXPECT_EQ(((*engine.get()).*insert)(&b.record), STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
    }
    EXPECT_EQ(engine->FindOpenClient(&b), nullptr);
    EXPECT_EQ(engine->RemoveOpenClient(&a), &a.record);
}

TEST(StreamEngine, DestructionWaitsForTheLastClientToGo) {
    kernel::ManualClock clock;
    CTerminalSet terminals;
    CStreamEngine* engine = MakeEngine(Render, terminals);
    Client client(1);
    ASSERT_EQ(engine->AddRegisteredClient(&client.record), STATUS_SUCCESS);
    ASSERT_EQ(engine->InsertRunningClient(&client.record), STATUS_SUCCESS);
    std::atomic<bool> gone{false};
    kernel::testing::TestThread owner([&](kernel::Event&) {
        engine->NonDelegatingRelease();
        gone = true;
    });
    for (StreamClientRecord* (CStreamEngine::*remove)(const void*) :
         {&CStreamEngine::RemoveRegisteredClient, &CStreamEngine::RemoveRunningClient}) {
        clock.advance(EngineClientPollInterval * 3);
        clock.settle();
        EXPECT_FALSE(gone);
        EXPECT_EQ((engine->*remove)(&client), &client.record);
    }
    clock.advance(EngineClientPollInterval);
    clock.settle();
    EXPECT_TRUE(gone);
}

void CountCall(void* context, void*, void*) { ++*static_cast<int*>(context); }

TEST(StreamEngine, CallbacksAreRegisteredOnTheEnginesOwnObject) {
    Held bare(Make<CStreamEngine>(0u));
    kernel::CallbackRegistration* handle = nullptr;
    int calls = 0;
    EXPECT_EQ(bare->RegisterCallback(CountCall, &calls, &handle), STATUS_UNSUCCESSFUL);

    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    ASSERT_EQ(engine->RegisterCallback(CountCall, &calls, &handle), STATUS_SUCCESS);
    kernel::notifyCallback(*engine->GetCallbackObject(), nullptr, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(engine->UnregisterCallback(handle), STATUS_SUCCESS);
    kernel::notifyCallback(*engine->GetCallbackObject(), nullptr, nullptr);
    EXPECT_EQ(calls, 1);
}

// Scales every float plane sample and logs its chain's name.
CFunctionDspNode::ProcessFunction Scale(float factor, std::string name,
                                        std::vector<std::string>* log) {
    return [=](const ks::WaveFormatExtensible* format, void* data, std::uint32_t frames) {
        log->push_back(name + " " + std::to_string(frames));
        float* const* planes = static_cast<float* const*>(data);
        for (std::uint32_t c = 0; c < format->Format.nChannels; ++c)
            for (std::uint32_t f = 0; f < frames; ++f) planes[c][f] *= factor;
        return STATUS_SUCCESS;
    };
}

TEST(StreamEngine, APacketPassesEveryChainAsFloatPlanesAndComesBackAsPcm) {
    CTerminalSet terminals;
    Held engine(MakeEngine(Render, terminals));
    Held mute(Make<CSoftMuteNode>(9u));
    ASSERT_EQ(mute->AllocateOnOff(1, 1), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddUniqueEntity(mute.get()), STATUS_SUCCESS);
    std::vector<std::string> log;
    CTestDspNode a(Scale(0.5f, "A", &log)), b(Scale(0.5f, "B", &log)), c(Scale(2.0f, "C", &log));
    ASSERT_EQ(engine->AddChainANode(a), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddChainBNode(b), STATUS_SUCCESS);
    ASSERT_EQ(engine->AddChainCNode(c), STATUS_SUCCESS);
    ASSERT_EQ(engine->AllocatePacketBuffers(), STATUS_SUCCESS);
    ASSERT_EQ(engine->SetCurrentWaveFormat(TestPcmFormat(2, 16)), STATUS_SUCCESS);

    constexpr std::uint32_t Frames = 600;
    std::vector<std::int16_t> packet(Frames * 2);
    for (std::size_t i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<std::int16_t>((i % 2 == 0 ? 1 : -1) * 400 * (i % 50));
    const std::vector<std::int16_t> sent = packet;

    const std::uint32_t bytes = static_cast<std::uint32_t>(packet.size() * sizeof(std::int16_t));
    ASSERT_EQ(engine->ProcessAllChains(packet.data(), bytes), STATUS_SUCCESS);
    for (std::size_t i = 0; i < packet.size(); ++i)
        ASSERT_EQ(packet[i], sent[i] / 2) << "sample " << i;
    EXPECT_EQ(log, (std::vector<std::string>{"A 512", "B 512", "C 512", "A 88", "B 88", "C 88"}));

    ASSERT_EQ(mute->SetOnOff(0, 1), STATUS_SUCCESS);
    ASSERT_EQ(engine->ProcessChainA(packet.data(), bytes), STATUS_SUCCESS);
    EXPECT_EQ(packet, std::vector<std::int16_t>(packet.size(), 0));
    EXPECT_EQ(engine->ProcessAllChains(packet.data(), bytes - 1), STATUS_UNSUCCESSFUL);
}

} // namespace
