#include "driver/common/list.h"
#include "driver/effects/dsp_host.h"
#include "driver/tests/dsp_test_host.h"
#include "driver/tests/dsp_test_node.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;

// The operations of one of the chains that change while streaming.
struct ChainOps {
    const char* name;
    NTSTATUS (CDspHost::*add)(IDspNode*);
    NTSTATUS (CDspHost::*remove)(IDspNode*);
    void (CDspHost::*release)();
    std::int32_t (CDspHost::*count)() const;
    NTSTATUS (CDspHost::*process)(void*, std::uint32_t);
};

const ChainOps kStreamingChains[] = {
    {"B", &CDspHost::AddChainBNode, &CDspHost::RemoveChainBNode, &CDspHost::ReleaseChainB,
     &CDspHost::GetChainBCount, &CDspHost::ProcessChainB},
    {"C", &CDspHost::AddChainCNode, &CDspHost::RemoveChainCNode, &CDspHost::ReleaseChainC,
     &CDspHost::GetChainCCount, &CDspHost::ProcessChainC},
};

// Runs the chain alone over one frame and gives the order its nodes ran in.
std::string RunOrder(CDspHost& host, const ChainOps& ops, std::string& order) {
    order.clear();
    std::int16_t frame[2] = {};
    EXPECT_EQ((host.*ops.process)(frame, sizeof frame), STATUS_SUCCESS);
    return order;
}

TEST(DspHostChains, AddAndRemoveKeepOrderAndReferences) {
    for (const ChainOps& ops : kStreamingChains) {
        SCOPED_TRACE(ops.name);
        std::string order;
        CNamedDspNode x(order, 'x'), y(order, 'y'), z(order, 'z');
        CTestDspHost h;
        for (IDspNode* node : {(IDspNode*)x, (IDspNode*)y, (IDspNode*)z})
            ASSERT_EQ((h.host.*ops.add)(node), STATUS_SUCCESS);
        EXPECT_EQ((h.host.*ops.count)(), 3);
        EXPECT_EQ(RunOrder(h.host, ops, order), "xyz");
        EXPECT_EQ(y.OtherReferences(), 1u);

        EXPECT_EQ((h.host.*ops.remove)(y), STATUS_SUCCESS);
        EXPECT_EQ(y.OtherReferences(), 0u);
        EXPECT_EQ(RunOrder(h.host, ops, order), "xz");
        EXPECT_EQ((h.host.*ops.remove)(x), STATUS_SUCCESS);
        EXPECT_EQ(RunOrder(h.host, ops, order), "z");
        EXPECT_EQ((h.host.*ops.count)(), 1);
    }
}

TEST(DspHostChains, RemovingANodeNotInTheChainChangesNothing) {
    for (const ChainOps& ops : kStreamingChains) {
        SCOPED_TRACE(ops.name);
        std::string order;
        CNamedDspNode inChain(order, 'i'), elsewhere(order, 'e');
        CTestDspHost h;
        ASSERT_EQ((h.host.*ops.add)(inChain), STATUS_SUCCESS);
        // In chain A, but not in this one.
        ASSERT_EQ(h.host.AddChainANode(elsewhere), STATUS_SUCCESS);
        for (IDspNode* stranger : {(IDspNode*)elsewhere, (IDspNode*)nullptr}) {
            EXPECT_EQ((h.host.*ops.remove)(stranger), kernel::STATUS_UNSUCCESSFUL);
            EXPECT_EQ((h.host.*ops.count)(), 1);
            EXPECT_EQ(inChain.OtherReferences(), 1u);
            EXPECT_EQ(elsewhere.OtherReferences(), 1u);
            EXPECT_EQ(RunOrder(h.host, ops, order), "i");
        }
    }
}

TEST(DspHostChains, ReleaseDropsEveryReference) {
    for (const ChainOps& ops : kStreamingChains) {
        SCOPED_TRACE(ops.name);
        std::string order;
        CNamedDspNode x(order, 'x'), y(order, 'y');
        CTestDspHost h;
        (h.host.*ops.add)(x);
        (h.host.*ops.add)(y);
        (h.host.*ops.add)(x); // twice: two references
        EXPECT_EQ(x.OtherReferences(), 2u);
        (h.host.*ops.release)();
        EXPECT_EQ((h.host.*ops.count)(), 0);
        EXPECT_EQ(x.OtherReferences(), 0u);
        EXPECT_EQ(y.OtherReferences(), 0u);
        EXPECT_EQ(kernel::poolLiveBlocks(ListNodeTag), 0u);
        EXPECT_EQ(RunOrder(h.host, ops, order), "");
    }
}

// Chain A and both streaming chains: a refused list node drops the reference
// the chain took, and a null node is refused before anything is taken.
TEST(DspHostChains, AddFailuresLeaveNoReference) {
    struct AddCase {
        const char* name;
        NTSTATUS (CDspHost::*add)(IDspNode*);
        std::int32_t (CDspHost::*count)() const;
    };
    const AddCase cases[] = {
        {"A", &CDspHost::AddChainANode, &CDspHost::GetChainACount},
        {"B", &CDspHost::AddChainBNode, &CDspHost::GetChainBCount},
        {"C", &CDspHost::AddChainCNode, &CDspHost::GetChainCCount},
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string order;
        CNamedDspNode x(order, 'x');
        CDspHost host;
        kernel::failPoolTag(ListNodeTag);
        EXPECT_EQ((host.*c.add)(x), kernel::STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        EXPECT_EQ(x.OtherReferences(), 0u);
        EXPECT_EQ((host.*c.count)(), 0);
        EXPECT_EQ((host.*c.add)(nullptr), kernel::STATUS_INVALID_PARAMETER);
        EXPECT_EQ((host.*c.count)(), 0);
        EXPECT_EQ((host.*c.add)(x), STATUS_SUCCESS);
        EXPECT_EQ((host.*c.count)(), 1);
    }
}

TEST(DspHostChains, HostDropsItsReferencesWhenItGoes) {
    std::string order;
    CNamedDspNode a(order, 'a'), b(order, 'b'), c(order, 'c');
    {
        CDspHost host;
        host.AddChainANode(a);
        host.AddChainBNode(b);
        host.AddChainCNode(c);
        host.AddChainCNode(a);
        EXPECT_EQ(a.OtherReferences(), 2u);
    }
    EXPECT_EQ(a.OtherReferences(), 0u);
    EXPECT_EQ(b.OtherReferences(), 0u);
    EXPECT_EQ(c.OtherReferences(), 0u);
}

// A node whose last reference goes may call back into the engine; the
// engine's lock is no longer held by then.
TEST(DspHostChains, LastReferenceIsDroppedOutsideTheLock) {
    std::string order;
    CNamedDspNode probe(order, 'p');
    CTestDspHost h;
    std::vector<bool> lockHeldAtRelease;
    probe.OnRelease(
        [&] { lockHeldAtRelease.push_back(h.host.GetSpinLock().heldByCurrentThread()); });
    h.host.AddChainBNode(probe);
    h.host.AddChainCNode(probe);
    h.host.AddChainBNode(probe);
    EXPECT_EQ(h.host.RemoveChainBNode(probe), STATUS_SUCCESS);
    h.host.ReleaseChainB();
    h.host.ReleaseChainC();
    EXPECT_EQ(lockHeldAtRelease, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(probe.OtherReferences(), 0u);
    probe.OnRelease(nullptr);
}

// Chain B changes under the engine's lock while another thread streams
// packets through it: every pass succeeds and the node's references all come
// back (the thread sanitizer build watches the chain for races).
TEST(DspHostChains, ChainChangesWhileStreaming) {
    CTestDspHost h;
    std::string order;
    CNamedDspNode node(order, 'n');
    std::atomic<bool> streaming{true};
    std::vector<NTSTATUS> results;
    std::thread stream([&] {
        std::int16_t packet[2 * 48] = {};
        while (streaming) results.push_back(h.host.ProcessAllChains(packet, sizeof packet));
    });
    for (int round = 0; round < 300; ++round) {
        ASSERT_EQ(h.host.AddChainBNode(node), STATUS_SUCCESS);
        ASSERT_EQ(h.host.RemoveChainBNode(node), STATUS_SUCCESS);
    }
    streaming = false;
    stream.join();
    for (NTSTATUS status : results) ASSERT_EQ(status, STATUS_SUCCESS);
    EXPECT_EQ(node.OtherReferences(), 0u);
    EXPECT_EQ(h.host.GetChainBCount(), 0);
}

} // namespace
