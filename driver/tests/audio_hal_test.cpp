#include "driver/engine/audio_hal.h"
#include "driver/engine/control_change.h"
#include "driver/engine/selector_item.h"
#include "engine_test_doubles.h"
#include "platform/kernel/format.h"
#include "platform/kernel/object.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/unicode_string.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using engine_test::CTestEngine;
using engine_test::CTestNode;
using engine_test::Held;
using engine_test::Log;
using engine_test::Make;
namespace face = engine_test::face;
using io::DevicePowerState;
using kernel::NTSTATUS;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

constexpr NTSTATUS DeviceFault = kernel::statusFromBits(0xC0000185);

// A device model whose parse step is the test's.
class CTestHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    std::function<NTSTATUS(CTestHal&)> parse = [](CTestHal&) { return STATUS_SUCCESS; };
    NTSTATUS ParseDescriptors() override { return parse(*this); }
};

NTSTATUS InitHal(CAudioHal& hal) { return hal.Init(nullptr, nullptr, nullptr, nullptr); }

// A HAL whose initialisation listed the nodes and the engines in order.
CTestHal* InitedHal(std::vector<CAudioNode*> nodes, std::vector<IStreamEngine*> engines = {}) {
    CTestHal* hal = Make<CTestHal>();
    hal->parse = [nodes, engines](CTestHal& h) {
        NTSTATUS status = STATUS_SUCCESS;
        for (CAudioNode* node : nodes)
            if (kernel::succeeded(status)) status = h.AddChildObject(node);
        for (IStreamEngine* engine : engines)
            if (kernel::succeeded(status)) status = h.AddEndpoint(engine);
        return status;
    };
    EXPECT_EQ(InitHal(*hal), STATUS_SUCCESS);
    return hal;
}

void ExpectNoLists(CAudioHal& hal) {
    IStreamEngine* engine = reinterpret_cast<IStreamEngine*>(&hal);
    IAudioNode* child = reinterpret_cast<IAudioNode*>(&hal);
    EXPECT_EQ(hal.GetEndpointCount(), 0u);
    EXPECT_EQ(hal.GetChildCount(), 0u);
    EXPECT_EQ(hal.GetEndpoint(0, &engine), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(hal.GetChild(0, &child), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(kernel::poolLiveBlocks(HalListTag), 0u);
}

TEST(AudioHal, AnswersItsTwoFaces) {
    Held hal(Make<CTestHal>());
    void* face = nullptr;
    ASSERT_EQ(hal->NonDelegatingQueryInterface(IID_IAudioHal, &face), STATUS_SUCCESS);
    EXPECT_EQ(face, static_cast<void*>(static_cast<IAudioHal*>(hal.get())));
    void* unknown = nullptr;
    ASSERT_EQ(hal->NonDelegatingQueryInterface(kernel::IID_IUnknown, &unknown), STATUS_SUCCESS);
    EXPECT_EQ(unknown, face);
    void* power = nullptr;
    ASSERT_EQ(hal->NonDelegatingQueryInterface(portcls::IID_IAdapterPowerManagement, &power),
              STATUS_SUCCESS);
    EXPECT_EQ(power, static_cast<void*>(static_cast<portcls::IAdapterPowerManagement*>(hal.get())));
    void* none = &face;
    EXPECT_EQ(hal->NonDelegatingQueryInterface(IID_IStreamEngine, &none), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(none, nullptr);
    for (int i = 0; i < 3; ++i) hal->NonDelegatingRelease();
}

TEST(AudioHal, BaseAnswersOfTheDeviceWideOperations) {
    Held hal(Make<CAudioHal>());
    EndpointInfoRecord record = {};
    EXPECT_EQ(hal->GetInfoRecord(0, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(hal->GetEndpointInfoRecord(1, 7, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(hal->GetInfoRecord(0, &record), STATUS_SUCCESS);
    io::DeviceCapabilities capabilities = {};
    capabilities.flags = io::capability_flags::removable;
    EXPECT_EQ(hal->QueryDeviceCapabilities(&capabilities), STATUS_SUCCESS);
    EXPECT_EQ(capabilities.flags,
              io::capability_flags::removable | io::capability_flags::surpriseRemovalOk);
    // The base has no descriptors to parse: its initialisation fails and leaves no lists.
    EXPECT_EQ(InitHal(*hal.get()), kernel::STATUS_NOT_IMPLEMENTED);
    ExpectNoLists(*hal.get());
}

TEST(AudioHal, ListsNeedInit) {
    Log log;
    Held node(Make<CTestNode>(1u, 0u, &log));
    Held hal(Make<CTestHal>());
    ExpectNoLists(*hal.get());
    EXPECT_EQ(hal->AddChildObject(node.get()), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(node->NonDelegatingAddRef(), 2u); // no reference was kept
    node->NonDelegatingRelease();
}

TEST(AudioHal, ListsHoldReferencesAndGiveEntriesByIndex) {
    Log log;
    Held first(Make<CTestNode>(1u, 0u, &log));
    Held second(Make<CTestNode>(2u, 0u, &log));
    Held render(Make<CTestEngine>(0u, std::string("render")));
    Held capture(Make<CTestEngine>(1u, std::string("capture")));
    Held hal(InitedHal({first.get(), second.get()}, {render.get(), capture.get()}));
    EXPECT_EQ(hal->AddChildObject(nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(hal->AddEndpoint(nullptr), STATUS_INVALID_PARAMETER);
    ASSERT_EQ(hal->GetChildCount(), 2u);
    ASSERT_EQ(hal->GetEndpointCount(), 2u);
    struct Case {
        std::uint32_t index;
        NTSTATUS expected;
        IAudioNode* child;
        IStreamEngine* endpoint;
    };
    for (const Case c : {Case{0, STATUS_SUCCESS, first.get(), render.get()},
                         Case{1, STATUS_SUCCESS, second.get(), capture.get()},
                         Case{2, STATUS_INVALID_PARAMETER, nullptr, nullptr}}) {
        SCOPED_TRACE(c.index);
        IAudioNode* child = first.get();
        IStreamEngine* engine = render.get();
        EXPECT_EQ(hal->GetChild(c.index, &child), c.expected);
        EXPECT_EQ(hal->GetEndpoint(c.index, &engine), c.expected);
        EXPECT_EQ(child, c.child);
        EXPECT_EQ(engine, c.endpoint);
    }
    EXPECT_EQ(first->NonDelegatingAddRef(), 3u); // creator, list, this
    first->NonDelegatingRelease();
    EXPECT_EQ(render->NonDelegatingAddRef(), 3u);
    render->NonDelegatingRelease();
}

TEST(AudioHal, FindChildByIdTakesTheLastMatch) {
    Log log;
    Held a(Make<CTestNode>(1u, 0u, &log));
    Held b(Make<CTestNode>(2u, 0u, &log));
    Held c(Make<CTestNode>(1u, 3u, &log));
    Held hal(InitedHal({a.get(), b.get(), c.get()}));
    struct Case {
        std::uint32_t id;
        NTSTATUS expected;
        IAudioNode* child;
    };
    for (const Case k : {Case{1, STATUS_SUCCESS, c.get()}, Case{2, STATUS_SUCCESS, b.get()},
                         Case{9, STATUS_UNSUCCESSFUL, nullptr}}) {
        SCOPED_TRACE(k.id);
        IAudioNode* child = a.get();
        EXPECT_EQ(hal->FindChildById(k.id, &child), k.expected);
        EXPECT_EQ(child, k.child);
    }
    EXPECT_EQ(hal->FindChildById(1, nullptr), STATUS_INVALID_PARAMETER);
}

TEST(AudioHal, FailedInitReturnsTheStatusAndLeavesNoLists) {
    struct Case {
        const char* name;
        NTSTATUS parseStatus;
        NTSTATUS applyStatus;
        NTSTATUS expected;
    };
    const Case cases[] = {
        {"parse fails", kernel::STATUS_INVALID_DEVICE_REQUEST, STATUS_SUCCESS,
         kernel::STATUS_INVALID_DEVICE_REQUEST},
        {"connect fails", STATUS_SUCCESS, DeviceFault, DeviceFault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        Held node(Make<CTestNode>(1u, 0u, &log));
        node->applyStatus = c.applyStatus;
        Held engine(Make<CTestEngine>(0u, std::string("render")));
        Held hal(Make<CTestHal>());
        hal->parse = [&](CTestHal& h) {
            h.AddChildObject(node.get());
            h.AddEndpoint(engine.get());
            return c.parseStatus;
        };
        EXPECT_EQ(InitHal(*hal.get()), c.expected);
        ExpectNoLists(*hal.get());
        EXPECT_EQ(node->NonDelegatingAddRef(), 2u); // the list's reference is gone
        node->NonDelegatingRelease();
        EXPECT_EQ(engine->NonDelegatingAddRef(), 2u);
        engine->NonDelegatingRelease();
    }
}

// The parse step of a small model: it creates a node and an endpoint of its
// own and hands them to the HAL.
NTSTATUS ParseSmallModel(CTestHal& hal, Log* log) {
    CTestNode* node = nullptr;
    NTSTATUS status = CreateDriverObject<CTestNode>(&node, nullptr, kernel::PoolType::NonPagedNx,
                                                    engine_test::TestObjectTag, 1u, 0u, log, 0u);
    if (!kernel::succeeded(status)) return status;
    status = hal.AddChildObject(node);
    node->NonDelegatingRelease();
    if (!kernel::succeeded(status)) return status;
    CTestEngine* engine = nullptr;
    status = CreateDriverObject<CTestEngine>(&engine, nullptr, kernel::PoolType::NonPagedNx,
                                             engine_test::TestObjectTag, 0u, std::string("r"));
    if (!kernel::succeeded(status)) return status;
    status = hal.AddEndpoint(engine);
    engine->NonDelegatingRelease();
    return status;
}

TEST(AudioHal, EveryAllocationFailureInInitLeavesNoLists) {
    Log log;
    std::uint64_t requests = 0;
    {
        Held hal(Make<CTestHal>());
        hal->parse = [&](CTestHal& h) { return ParseSmallModel(h, &log); };
        const std::uint64_t before = kernel::poolRequestCount();
        ASSERT_EQ(InitHal(*hal.get()), STATUS_SUCCESS);
        requests = kernel::poolRequestCount() - before;
        EXPECT_EQ(hal->GetChildCount(), 1u);
        EXPECT_EQ(hal->GetEndpointCount(), 1u);
    }
    ASSERT_GE(requests, 5u); // two lists, the name, the callback object, the model's own
    for (std::uint64_t n = 1; n <= requests; ++n) {
        SCOPED_TRACE(n);
        Held hal(Make<CTestHal>());
        hal->parse = [&](CTestHal& h) { return ParseSmallModel(h, &log); };
        kernel::failPoolRequest(n);
        EXPECT_EQ(InitHal(*hal.get()), STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        ExpectNoLists(*hal.get());
        EXPECT_EQ(kernel::poolLiveBlocks(engine_test::TestObjectTag), 1u); // the HAL alone
    }
}

TEST(AudioHal, SecondInitIsRefused) {
    Held hal(Make<CTestHal>());
    ASSERT_EQ(InitHal(*hal.get()), STATUS_SUCCESS);
    EXPECT_EQ(InitHal(*hal.get()), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(kernel::poolLiveBlocks(HalListTag), 2u);
}

// Builds the children of a graph test in order.
struct Graph {
    Log log;
    engine_test::HeldList<CAudioNode> nodes;
    CTestNode* Node(std::uint32_t id, std::vector<std::uint32_t> sources, unsigned faces) {
        CTestNode* node = Make<CTestNode>(id, item_type::volume, &log, faces);
        node->SetIdList(static_cast<std::uint32_t>(sources.size()), sources.data());
        nodes.push_back(node);
        return node;
    }
    CSelectorItem* Selector(std::uint32_t id, std::vector<std::uint32_t> inputs) {
        CSelectorItem* selector = Make<CSelectorItem>(id);
        selector->SetIdList(static_cast<std::uint32_t>(inputs.size()), inputs.data());
        nodes.push_back(selector);
        return selector;
    }
};

TEST(AudioHal, ConnectGraphLinksSelectorInputsDeepestFirst) {
    struct Case {
        const char* name;
        std::function<void(Graph&)> build;
        Log log;
    };
    const Case cases[] = {
        {"a chain of two behind input 1, a node without the face behind input 2",
         [](Graph& g) {
             g.Selector(10, {1, 2});
             g.Node(1, {3}, face::binding);
             g.Node(2, {}, 0);
             g.Node(3, {}, face::binding);
         },
         {"3:own 1", "3:current 1", "1:own 1", "1:current 1", "1:apply", "2:apply", "3:apply"}},
        {"each input numbered from 1",
         [](Graph& g) {
             g.Node(4, {}, face::binding);
             g.Node(5, {}, face::binding);
             g.Selector(10, {5, 4});
         },
         {"5:own 1", "5:current 1", "4:own 2", "4:current 1", "4:apply", "5:apply"}},
        {"a node with two sources ends the walk",
         [](Graph& g) {
             g.Selector(10, {1});
             g.Node(1, {2, 3}, face::binding);
             g.Node(2, {}, face::binding);
         },
         {"1:own 1", "1:current 1", "1:apply", "2:apply"}},
        {"an unknown id ends the walk",
         [](Graph& g) {
             g.Selector(10, {1});
             g.Node(1, {9}, face::binding);
         },
         {"1:own 1", "1:current 1", "1:apply"}},
        {"a selector of eleven inputs is left alone",
         [](Graph& g) {
             g.Selector(10, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
             g.Node(1, {}, face::binding);
         },
         {"1:apply"}},
        {"a loop in the ids ends",
         [](Graph& g) {
             g.Selector(10, {1});
             g.Node(1, {2}, face::binding);
             g.Node(2, {1}, 0);
         },
         {"1:own 1", "1:current 1", "1:own 1", "1:current 1", "1:apply", "2:apply"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Graph graph;
        c.build(graph);
        Held hal(InitedHal(graph.nodes));
        EXPECT_EQ(graph.log, c.log);
    }
}

TEST(AudioHal, LinkedNodesFollowTheSelector) {
    Graph graph;
    CSelectorItem* selector = graph.Selector(10, {1, 2});
    graph.Node(1, {3}, face::binding);
    graph.Node(3, {}, face::binding);
    Held hal(InitedHal(graph.nodes));
    graph.log.clear();
    ASSERT_EQ(selector->SetCurrentInput(2), STATUS_SUCCESS);
    EXPECT_EQ(graph.log, (Log{"3:changing 2<-1", "1:changing 2<-1", "3:current 2", "1:current 2"}));
}

TEST(AudioHal, ConnectGraphBindsEntitiesToTheirEndpoints) {
    Graph graph;
    CTestNode* both = graph.Node(1, {}, face::captureControl | face::captureSwitch);
    CTestNode* captureSwitch = graph.Node(2, {}, face::captureSwitch);
    CTestNode* render = graph.Node(3, {}, face::render);
    CTestNode* plain = graph.Node(4, {}, 0);
    Held capture(Make<CTestEngine>(1u, std::string("capture")));
    Held playback(Make<CTestEngine>(0u, std::string("playback")));
    capture->entities = {both, captureSwitch, render, plain};
    playback->entities = {render, both, plain};
    Held hal(InitedHal({}, {capture.get(), playback.get()}));
    EXPECT_EQ(graph.log, (Log{"1:bind capture", "2:bind capture", "3:render 0"}));
}

TEST(AudioHal, ApplyToChildrenStopsAtTheFirstFailure) {
    struct Case {
        const char* name;
        std::vector<NTSTATUS> statuses;
        NTSTATUS expected;
        Log log;
    };
    const Case cases[] = {
        {"all succeed",
         {STATUS_SUCCESS, STATUS_SUCCESS, STATUS_SUCCESS},
         STATUS_SUCCESS,
         {"1:apply", "2:apply", "3:apply"}},
        {"the second fails",
         {STATUS_SUCCESS, DeviceFault, STATUS_SUCCESS},
         DeviceFault,
         {"1:apply", "2:apply"}},
        {"the first fails",
         {STATUS_UNSUCCESSFUL, STATUS_SUCCESS, STATUS_SUCCESS},
         STATUS_UNSUCCESSFUL,
         {"1:apply"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Graph graph;
        Held hal(InitedHal({}));
        for (std::uint32_t i = 0; i < c.statuses.size(); ++i) {
            CTestNode* node = graph.Node(i + 1, {}, 0);
            node->applyStatus = c.statuses[i];
            ASSERT_EQ(hal->AddChildObject(node), STATUS_SUCCESS);
        }
        EXPECT_EQ(hal->ApplyToChildren(), c.expected);
        EXPECT_EQ(graph.log, c.log);
    }
}

TEST(AudioHal, StartAndStopReachEveryChildWhateverTheyAnswer) {
    Graph graph;
    graph.Node(1, {}, 0);
    graph.Node(2, {}, 0);
    Held hal(InitedHal(graph.nodes));
    graph.log.clear();
    EXPECT_EQ(hal->Start(), STATUS_SUCCESS);
    EXPECT_EQ(hal->Stop(), STATUS_SUCCESS);
    EXPECT_EQ(graph.log, (Log{"1:start", "2:start", "1:stop", "2:stop"}));
}

TEST(AudioHal, PowerToWorkingRewritesValuesOnlyWhenComingBack) {
    struct Step {
        DevicePowerState state;
        DevicePowerState after;
        bool applies;
    };
    const Step steps[] = {
        {DevicePowerState::D0, DevicePowerState::D0, false},
        {DevicePowerState::D3, DevicePowerState::D3, false},
        {DevicePowerState::D3, DevicePowerState::D3, false},
        {DevicePowerState::D0, DevicePowerState::D0, true},
        {DevicePowerState::D2, DevicePowerState::D2, false},
        {static_cast<DevicePowerState>(7), DevicePowerState::D2, false},
        {DevicePowerState::Unspecified, DevicePowerState::D2, false},
        {DevicePowerState::D0, DevicePowerState::D0, true},
    };
    Graph graph;
    graph.Node(1, {}, 0);
    Held hal(InitedHal(graph.nodes));
    EXPECT_EQ(hal->GetPowerState(), DevicePowerState::D0);
    int index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(index++);
        graph.log.clear();
        hal->PowerChangeState(s.state);
        EXPECT_EQ(hal->GetPowerState(), s.after);
        EXPECT_EQ(graph.log, s.applies ? Log{"1:apply"} : Log{});
    }
}

struct Received {
    std::vector<ControlChangeMessage> messages;
    int secondArguments = 0;
};

void Record(void* context, void* first, void* second) {
    auto* received = static_cast<Received*>(context);
    received->messages.push_back(*static_cast<ControlChangeMessage*>(first));
    if (second != nullptr) ++received->secondArguments;
}

TEST(AudioHal, ControlChangesReachRegisteredCallbacks) {
    Held hal(Make<CTestHal>());
    Received received;
    kernel::CallbackRegistration* handle = nullptr;
    EXPECT_EQ(hal->RegisterCallback(Record, &received, &handle), STATUS_UNSUCCESSFUL);
    hal->SendControlChange(3); // no callback object yet: nothing happens
    ASSERT_EQ(InitHal(*hal.get()), STATUS_SUCCESS);
    ASSERT_EQ(hal->RegisterCallback(Record, &received, &handle), STATUS_SUCCESS);
    hal->SendControlChange(42);
    hal->SendControlChange(7);
    EXPECT_EQ(hal->UnregisterCallback(handle), STATUS_SUCCESS);
    hal->SendControlChange(8);
    ASSERT_EQ(received.messages.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(IsControlChange(received.messages[i]));
        EXPECT_EQ(received.messages[i].reserved, 0u);
    }
    EXPECT_EQ(received.messages[0].nodeId, 42u);
    EXPECT_EQ(received.messages[1].nodeId, 7u);
    EXPECT_EQ(received.secondArguments, 0);
}

TEST(ControlChange, ListenersTakeOnlyMessagesMarkedOneAndOne) {
    struct Case {
        ControlChangeMessage message;
        bool taken;
    };
    for (const Case c : {Case{{1, 1, 5, 0}, true}, Case{{2, 1, 5, 0}, false},
                         Case{{1, 0, 5, 0}, false}, Case{{0, 0, 0, 0}, false}}) {
        SCOPED_TRACE(testing::Message() << c.message.kind << "," << c.message.marker);
        EXPECT_EQ(IsControlChange(c.message), c.taken);
    }
}

TEST(AudioHal, CallbackObjectIsNamedAfterTheHal) {
    Held hal(Make<CTestHal>());
    ASSERT_EQ(InitHal(*hal.get()), STATUS_SUCCESS);
    char16_t name[64] = {};
    ASSERT_EQ(kernel::formatString(name, 64, u"\\CALLBACK\\audiohaladdr%p",
                                   static_cast<const void*>(hal.get())),
              STATUS_SUCCESS);
    kernel::CallbackObject* opened = nullptr;
    ASSERT_EQ(kernel::createCallbackObject(&opened, kernel::makeUnicodeString(name), false, true),
              STATUS_SUCCESS);
    EXPECT_EQ(opened, hal->GetCallbackObject());
    kernel::dereferenceObject(*opened);
}

} // namespace
