#include "driver/effects/dsp_host.h"
#include "driver/tests/dsp_test_host.h"
#include "driver/tests/dsp_test_node.h"
#include "driver/tests/test_wave_formats.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/floating_state.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;

constexpr NTSTATUS NodeFailure = kernel::STATUS_DEVICE_NOT_CONNECTED;

// One call a node saw.
struct NodeCall {
    const void* data;
    std::uint32_t frames;
    float firstSample; // plane 0, frame 0, when the data was planes
};

// A node that records its calls, halves every plane sample, and fails on a
// chosen call (counted from 1; 0 never).
class CHalvingNode {
public:
    explicit CHalvingNode(std::uint32_t channels, int failOnCall = 0)
        : m_Node([this, channels, failOnCall](const ks::WaveFormatExtensible* format, void* data,
                                              std::uint32_t frames) {
              const bool planes = ks::effectiveFormatTag(*format) == ks::format_tag::pcm;
              float* const* p = static_cast<float* const*>(data);
              calls.push_back({data, frames, planes ? p[0][0] : 0.0f});
              if (static_cast<int>(calls.size()) == failOnCall) return NodeFailure;
              if (planes)
                  for (std::uint32_t c = 0; c < channels; ++c)
                      for (std::uint32_t i = 0; i < frames; ++i) p[c][i] *= 0.5f;
              return STATUS_SUCCESS;
          }) {}

    IDspNode* Node() { return m_Node; }
    std::vector<NodeCall> calls;

private:
    CTestDspNode m_Node;
};

// A host with its packet buffers, running 16-bit stereo.
struct HostFixture : testing::Test {
    CTestDspHost ready;
    CDspHost& host = ready.host;

    void SetUp() override { kernel::clearDebugLog(); }
};

// Stereo 16-bit frames whose left sample counts the frames and whose right
// sample is its negative.
std::vector<std::int16_t> CountingStereo(std::uint32_t frames) {
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::uint32_t i = 0; i < frames; ++i) {
        pcm[2 * i] = static_cast<std::int16_t>(i);
        pcm[2 * i + 1] = static_cast<std::int16_t>(-static_cast<int>(i) - 1);
    }
    return pcm;
}

std::uint32_t Bytes(const std::vector<std::int16_t>& pcm) {
    return static_cast<std::uint32_t>(pcm.size() * sizeof(std::int16_t));
}

// Halved toward zero, as the node and the 16-bit write-back do it.
std::int16_t Halved(std::int16_t s) { return static_cast<std::int16_t>(s / 2); }

TEST_F(HostFixture, PacketIsProcessedInBlocksOfAtMost512Frames) {
    CHalvingNode node(2);
    ASSERT_EQ(host.AddChainANode(node.Node()), STATUS_SUCCESS);
    std::vector<std::int16_t> pcm = CountingStereo(1100);
    const std::vector<std::int16_t> original = pcm;

    ASSERT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);

    ASSERT_EQ(node.calls.size(), 3u);
    const std::uint32_t frames[] = {512, 512, 76};
    const float first[] = {0.0f, 512.0f / 32768.0f, 1024.0f / 32768.0f};
    for (std::size_t b = 0; b < 3; ++b) {
        EXPECT_EQ(node.calls[b].frames, frames[b]) << "block " << b;
        EXPECT_EQ(node.calls[b].data, static_cast<const void*>(host.GetPlanes()));
        EXPECT_EQ(node.calls[b].firstSample, first[b]) << "block " << b;
    }
    for (std::size_t i = 0; i < pcm.size(); ++i) ASSERT_EQ(pcm[i], Halved(original[i])) << i;
}

TEST_F(HostFixture, EveryChainRunsInOrderOnEachBlock) {
    std::string order;
    CNamedDspNode a1(order, 'a'), a2(order, 'A'), b(order, 'b'), c(order, 'c');
    ASSERT_EQ(host.AddChainCNode(c), STATUS_SUCCESS);
    ASSERT_EQ(host.AddChainBNode(b), STATUS_SUCCESS);
    ASSERT_EQ(host.AddChainANode(a1), STATUS_SUCCESS);
    ASSERT_EQ(host.AddChainANode(a2), STATUS_SUCCESS);
    std::vector<std::int16_t> pcm = CountingStereo(600);
    ASSERT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);
    EXPECT_EQ(order, "aAbcaAbc");
}

// A node that fails in the second block: the first block is processed, the
// block it failed in and every later one keep their samples, and the chains
// after it do not run for that block.
TEST(DspHostFailure, FailingNodeStopsThePassAndLeavesLaterBlocksUntouched) {
    enum Chain { A, B, C };
    for (Chain failing : {A, B, C}) {
        SCOPED_TRACE(testing::Message() << "failing chain "
                                        << "ABC"[failing]);
        CTestDspHost ready;
        CDspHost& host = ready.host;
        CHalvingNode a(2, failing == A ? 2 : 0), b(2, failing == B ? 2 : 0),
            c(2, failing == C ? 2 : 0);
        host.AddChainANode(a.Node());
        host.AddChainBNode(b.Node());
        host.AddChainCNode(c.Node());
        std::vector<std::int16_t> pcm = CountingStereo(1100);
        const std::vector<std::int16_t> original = pcm;

        EXPECT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), NodeFailure);

        EXPECT_EQ(a.calls.size(), 2u);
        EXPECT_EQ(b.calls.size(), failing == A ? 1u : 2u);
        EXPECT_EQ(c.calls.size(), failing == C ? 2u : 1u);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            // Three halvings of the first block, in float: one truncation.
            const std::int16_t expected =
                i < 1024 ? static_cast<std::int16_t>(original[i] / 8) : original[i];
            ASSERT_EQ(pcm[i], expected) << i;
        }
    }
}

TEST_F(HostFixture, EmptyChainsLeaveThePacketBitForBit) {
    // 2^24 + 1 has no float of its own: any conversion round trip changes it.
    ASSERT_EQ(host.SetCurrentWaveFormat(TestPcmFormat(2, 32)), STATUS_SUCCESS);
    std::vector<std::int32_t> pcm(64, 0x01000001);
    ASSERT_EQ(host.ProcessAllChains(pcm.data(), 64 * 4), STATUS_SUCCESS);
    EXPECT_EQ(pcm, std::vector<std::int32_t>(64, 0x01000001));
}

TEST(DspHostFrames, BufferOfPartFramesIsRefusedUntouched) {
    struct Case {
        ks::WaveFormatExtensible format;
        std::uint32_t bytes;
        const char* message;
    };
    ks::WaveFormatExtensible noFrameSize = TestPcmFormat(2, 16);
    noFrameSize.Format.nBlockAlign = 0;
    const Case cases[] = {
        {TestPcmFormat(2, 16), 7,
         "0 != lBufSize(7) Div m_CurrentWaveFormat.Format.nBlockAlign(4) \n"},
        {TestPcmFormat(6, 24), 40,
         "0 != lBufSize(40) Div m_CurrentWaveFormat.Format.nBlockAlign(18) \n"},
        {noFrameSize, 16, "0 != lBufSize(16) Div m_CurrentWaveFormat.Format.nBlockAlign(0) \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CDspHost host;
        ASSERT_EQ(host.AllocatePacketBuffers(), STATUS_SUCCESS);
        if (c.format.Format.nBlockAlign != 0) host.SetCurrentWaveFormat(c.format);
        CHalvingNode node(8);
        host.AddChainANode(node.Node());
        std::vector<unsigned char> buffer(64, 0x3C);
        kernel::clearDebugLog();
        for (auto process : {&CDspHost::ProcessAllChains, &CDspHost::ProcessChainA,
                             &CDspHost::ProcessChainB, &CDspHost::ProcessChainC})
            EXPECT_EQ((host.*process)(buffer.data(), c.bytes), kernel::STATUS_UNSUCCESSFUL);
        EXPECT_TRUE(node.calls.empty());
        EXPECT_EQ(buffer, std::vector<unsigned char>(64, 0x3C));
        const std::vector<std::string> log = kernel::debugLog();
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(log[0], c.message);
    }
}

TEST_F(HostFixture, EmptyPacketSucceedsWithoutRunningNodes) {
    CHalvingNode node(2);
    host.AddChainANode(node.Node());
    EXPECT_EQ(host.ProcessAllChains(nullptr, 0), STATUS_SUCCESS);
    EXPECT_TRUE(node.calls.empty());
}

// Flush-to-zero and round-to-nearest hold inside every node; the caller's
// control word comes back afterwards.
TEST_F(HostFixture, NodesRunWithFlushToZeroAndRoundToNearest) {
    std::vector<std::uint32_t> seen;
    float denormalProduct = -1.0f;
    CTestDspNode probe([&](const ks::WaveFormatExtensible*, void*, std::uint32_t) {
        seen.push_back(_mm_getcsr());
        volatile float tiny = 1e-30f;
        volatile float scale = 1e-10f;
        denormalProduct = tiny * scale;
        return STATUS_SUCCESS;
    });
    host.AddChainANode(probe);
    host.AddChainBNode(probe);
    host.AddChainCNode(probe);
    const std::uint32_t callerModes[] = {0x1F80, 0x1F80 | 0x2000, 0x1F80 | 0x4000, 0x1F80 | 0x6000};
    for (std::uint32_t caller : callerModes) {
        SCOPED_TRACE(testing::Message() << std::hex << caller);
        seen.clear();
        const std::uint32_t saved = _mm_getcsr();
        _mm_setcsr(caller);
        std::vector<std::int16_t> pcm = CountingStereo(8);
        const NTSTATUS status = host.ProcessAllChains(pcm.data(), Bytes(pcm));
        const std::uint32_t after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(status, STATUS_SUCCESS);
        EXPECT_EQ(after & ~0x3Fu, caller); // exception flags aside
        ASSERT_EQ(seen.size(), 3u);
        for (std::uint32_t inside : seen) {
            EXPECT_EQ(inside & 0x8000u, 0x8000u);
            EXPECT_EQ(inside & 0x6000u, 0u);
        }
        EXPECT_EQ(denormalProduct, 0.0f);
    }
}

TEST_F(HostFixture, FailedFloatingPointSaveSkipsThePass) {
    CHalvingNode node(2);
    host.AddChainANode(node.Node());
    std::vector<std::int16_t> pcm = CountingStereo(100);
    const std::vector<std::int16_t> original = pcm;
    kernel::failFloatingPointSaves(true);
    std::vector<NTSTATUS> results;
    for (auto process : {&CDspHost::ProcessAllChains, &CDspHost::ProcessChainA})
        results.push_back((host.*process)(pcm.data(), Bytes(pcm)));
    kernel::failFloatingPointSaves(false);
    EXPECT_EQ(results, (std::vector<NTSTATUS>{STATUS_SUCCESS, STATUS_SUCCESS}));
    EXPECT_TRUE(node.calls.empty());
    EXPECT_EQ(pcm, original);
    EXPECT_EQ(kernel::debugLog(),
              (std::vector<std::string>{"Save FPU error\n", "Save FPU error\n"}));
}

TEST(DspHostFormat, PcmFormatsReachTheNodesAsPlanes) {
    struct Case {
        const char* name;
        ks::WaveFormatExtensible format;
        std::vector<unsigned char> frame; // one frame, first channel set
        float expected;                   // plane 0, frame 0
    };
    const Case cases[] = {
        {"16 bits", TestPcmFormat(1, 16), {0xFF, 0x7F}, 32767.0f / 32768.0f},
        {"extensible PCM",
         TestExtensibleFormat(ks::format_tag::pcm, 1, 16, 16),
         {0x00, 0xC0},
         -0.5f},
        {"24 packed", TestPcmFormat(1, 24), {0x00, 0x00, 0x40}, 0.5f},
        {"24 in 32 scales as 32",
         TestExtensibleFormat(ks::format_tag::pcm, 1, 32, 24),
         {0x00, 0x00, 0x01, 0x00},
         1.0f / 32768.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTestDspHost ready(c.format);
        CDspHost& host = ready.host;
        CHalvingNode node(0);
        host.AddChainANode(node.Node());
        std::vector<unsigned char> buffer = c.frame;
        ASSERT_EQ(host.ProcessAllChains(buffer.data(), static_cast<std::uint32_t>(buffer.size())),
                  STATUS_SUCCESS);
        ASSERT_EQ(node.calls.size(), 1u);
        EXPECT_EQ(node.calls[0].data, static_cast<const void*>(host.GetPlanes()));
        EXPECT_EQ(node.calls[0].firstSample, c.expected);
        EXPECT_EQ(buffer, c.frame);
    }
}

// Float streams reach chain A alone, as their own bytes, block by block.
TEST(DspHostFormat, OtherFormatsRunChainAOnTheirOwnBuffer) {
    for (const ks::WaveFormatExtensible& format :
         {TestWaveFormat(ks::format_tag::ieeeFloat, 2, 32),
          TestExtensibleFormat(ks::format_tag::ieeeFloat, 2, 32, 32)}) {
        CDspHost host;
        ASSERT_EQ(host.SetCurrentWaveFormat(format), STATUS_SUCCESS);
        CHalvingNode a(2), b(2), c(2);
        host.AddChainANode(a.Node());
        host.AddChainBNode(b.Node());
        host.AddChainCNode(c.Node());
        std::vector<float> samples(2 * 600, 0.25f);
        const auto bytes = static_cast<std::uint32_t>(samples.size() * sizeof(float));
        ASSERT_EQ(host.ProcessAllChains(samples.data(), bytes), STATUS_SUCCESS);
        ASSERT_EQ(a.calls.size(), 2u);
        EXPECT_EQ(a.calls[0].data, static_cast<const void*>(samples.data()));
        EXPECT_EQ(a.calls[0].frames, 512u);
        EXPECT_EQ(a.calls[1].data, static_cast<const void*>(samples.data() + 2 * 512));
        EXPECT_EQ(a.calls[1].frames, 88u);
        EXPECT_TRUE(b.calls.empty());
        EXPECT_TRUE(c.calls.empty());
        for (auto process : {&CDspHost::ProcessChainB, &CDspHost::ProcessChainC})
            EXPECT_EQ((host.*process)(samples.data(), bytes), STATUS_SUCCESS);
        EXPECT_TRUE(b.calls.empty());
        EXPECT_TRUE(c.calls.empty());
        EXPECT_EQ(samples, std::vector<float>(2 * 600, 0.25f));
    }
}

// Each single-chain operation runs its own chain and no other, without the
// engine's lock; the packet operation holds it around every node.
TEST_F(HostFixture, SingleChainOperationsRunOneChainWithoutTheLock) {
    std::string ran;
    std::vector<bool> lockHeld;
    auto node = [&](char name) {
        return [&, name](const ks::WaveFormatExtensible*, void*, std::uint32_t) {
            ran.push_back(name);
            lockHeld.push_back(host.GetSpinLock().heldByCurrentThread());
            return STATUS_SUCCESS;
        };
    };
    CTestDspNode a(node('a')), b(node('b')), c(node('c'));
    host.AddChainANode(a);
    host.AddChainBNode(b);
    host.AddChainCNode(c);
    std::vector<std::int16_t> pcm = CountingStereo(4);
    EXPECT_EQ(host.ProcessChainA(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);
    EXPECT_EQ(host.ProcessChainB(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);
    EXPECT_EQ(host.ProcessChainC(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);
    EXPECT_EQ(ran, "abc");
    EXPECT_EQ(lockHeld, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);
    EXPECT_EQ(ran, "abcabc");
    EXPECT_EQ(lockHeld, (std::vector<bool>{false, false, false, true, true, true}));
}

TEST(DspHostWidths, WidthsWithoutConversionRunNoNode) {
    for (std::uint16_t bits : {8, 20}) {
        SCOPED_TRACE(bits);
        ks::WaveFormatExtensible format = TestPcmFormat(2, bits);
        format.Format.nBlockAlign = 6;
        CTestDspHost ready(format);
        CDspHost& host = ready.host;
        CHalvingNode node(2);
        host.AddChainANode(node.Node());
        std::vector<unsigned char> buffer(60, 0x81);
        EXPECT_EQ(host.ProcessAllChains(buffer.data(), 60), STATUS_SUCCESS);
        EXPECT_TRUE(node.calls.empty());
        EXPECT_EQ(buffer, std::vector<unsigned char>(60, 0x81));
    }
}

TEST(DspHostFormat, PcmFormatsThatDoNotFitThePlanesAreRefused) {
    struct Case {
        const char* name;
        ks::WaveFormatExtensible format;
        NTSTATUS expected;
    };
    ks::WaveFormatExtensible shortFrame = TestPcmFormat(2, 16);
    shortFrame.Format.nBlockAlign = 2;
    ks::WaveFormatExtensible paddedFrame = TestPcmFormat(2, 24);
    paddedFrame.Format.nBlockAlign = 8;
    const Case cases[] = {
        {"no channels", TestPcmFormat(0, 16), kernel::STATUS_INVALID_PARAMETER},
        {"nine channels", TestPcmFormat(9, 16), kernel::STATUS_INVALID_PARAMETER},
        {"nine channels extensible", TestExtensibleFormat(ks::format_tag::pcm, 9, 16, 16),
         kernel::STATUS_INVALID_PARAMETER},
        {"frame shorter than its samples", shortFrame, kernel::STATUS_INVALID_PARAMETER},
        {"frame longer than its samples", paddedFrame, kernel::STATUS_INVALID_PARAMETER},
        {"eight channels", TestPcmFormat(8, 32), STATUS_SUCCESS},
        {"one channel", TestPcmFormat(1, 24), STATUS_SUCCESS},
        {"float, nine channels", TestWaveFormat(ks::format_tag::ieeeFloat, 9, 32), STATUS_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDspHost host;
        const ks::WaveFormatExtensible before = TestPcmFormat(2, 16);
        ASSERT_EQ(host.SetCurrentWaveFormat(before), STATUS_SUCCESS);
        EXPECT_EQ(host.SetCurrentWaveFormat(c.format), c.expected);
        const ks::WaveFormatExtensible& now = host.GetCurrentWaveFormat();
        const ks::WaveFormatExtensible& expected = c.expected == STATUS_SUCCESS ? c.format : before;
        EXPECT_EQ(std::memcmp(&now, &expected, sizeof now), 0);
    }
}

TEST(DspHostBuffers, PcmWithoutPacketBuffersIsRefused) {
    CDspHost host;
    ASSERT_EQ(host.SetCurrentWaveFormat(TestPcmFormat(2, 16)), STATUS_SUCCESS);
    std::vector<std::int16_t> pcm = CountingStereo(10);
    const std::vector<std::int16_t> original = pcm;
    EXPECT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), STATUS_SUCCESS); // nothing to run
    CHalvingNode node(2);
    host.AddChainANode(node.Node());
    EXPECT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), kernel::STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(node.calls.empty());
    EXPECT_EQ(pcm, original);
}

TEST(DspHostBuffers, MissingBufferIsRefused) {
    CTestDspHost ready;
    CDspHost& host = ready.host;
    CHalvingNode node(2);
    host.AddChainANode(node.Node());
    for (auto process : {&CDspHost::ProcessAllChains, &CDspHost::ProcessChainA})
        EXPECT_EQ((host.*process)(nullptr, 16), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(node.calls.empty());
}

// Every one of the nine blocks may be refused; a second call fills in what is
// missing and keeps what is there.
TEST(DspHostBuffers, RefusedPacketBufferIsTakenOnTheNextCall) {
    for (std::uint64_t failing = 1; failing <= 9; ++failing) {
        SCOPED_TRACE(failing);
        CDspHost host;
        kernel::failPoolRequest(failing);
        EXPECT_EQ(host.AllocatePacketBuffers(), kernel::STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(StreamEngineTag), 8u);
        const std::uint64_t before = kernel::poolAllocationSerial();
        EXPECT_EQ(host.AllocatePacketBuffers(), STATUS_SUCCESS);
        EXPECT_EQ(kernel::poolBlocksSince(before).size(), 1u);
        EXPECT_EQ(kernel::poolLiveBytes(StreamEngineTag), 16384u + 8 * 2048u);
    }
    EXPECT_EQ(kernel::poolLiveBlocks(StreamEngineTag), 0u);
}

TEST_F(HostFixture, PacketPathAllocatesNothing) {
    CHalvingNode a(2), b(2), c(2);
    host.AddChainANode(a.Node());
    host.AddChainBNode(b.Node());
    host.AddChainCNode(c.Node());
    std::vector<std::int16_t> pcm = CountingStereo(1100);
    const std::uint64_t before = kernel::poolAllocationSerial();
    const std::uint64_t requests = kernel::poolRequestCount();
    ASSERT_EQ(host.ProcessAllChains(pcm.data(), Bytes(pcm)), STATUS_SUCCESS);
    EXPECT_EQ(kernel::poolAllocationSerial(), before);
    EXPECT_EQ(kernel::poolRequestCount(), requests);
}

} // namespace
