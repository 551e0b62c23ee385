// The topology filter built from fake graphs of real control items: pin
// order and kinds, node rows, connections, names, and the graphs the
// miniport refuses.
#include "driver/miniport/topology_kinds.h"
#include "topology_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace topology_test;
using kernel::Guid;
using portcls::ConnectionDescriptor;
using portcls::nodeNone;

constexpr std::uint32_t Stream = 0, Speaker = 1, Headphones = 2, Spdif = 3, Line = 6, Mic = 7,
                        Aux = 8, StereoMix = 16, HeadphonesFront = 17;

std::vector<ConnectionDescriptor> Connections(const portcls::FilterDescriptor& descriptor) {
    return {descriptor.Connections, descriptor.Connections + descriptor.ConnectionCount};
}

using TopologyMiniport = TopologyTest;

TEST_F(TopologyMiniport, StreamingTerminalsLeadInReverseOrderAndPinsCarryTheirKind) {
    AddTerminal(1, false, Stream);         // A
    AddTerminal(2, true, Headphones, {1}); // found between the streams
    AddTerminal(3, false, Stream);         // B
    AddTerminal(4, false, Mic);
    ASSERT_EQ(Install(), STATUS_SUCCESS);

    const portcls::FilterDescriptor& d = Descriptor();
    ASSERT_EQ(d.PinCount, 4u);
    struct Expected {
        std::uint32_t entity;
        ks::PinDataFlow flow;
        Guid category;
    };
    const Expected expected[] = {{3, ks::PinDataFlow::In, ks::KSCATEGORY_AUDIO},
                                 {1, ks::PinDataFlow::In, ks::KSCATEGORY_AUDIO},
                                 {2, ks::PinDataFlow::Out, ks::KSNODETYPE_HEADPHONES},
                                 {4, ks::PinDataFlow::In, ks::KSNODETYPE_MICROPHONE}};
    for (std::uint32_t pin = 0; pin < 4; ++pin) {
        SCOPED_TRACE(pin);
        std::uint32_t found = 99;
        EXPECT_EQ(miniport->GetConnection(expected[pin].entity, &found), STATUS_SUCCESS);
        EXPECT_EQ(found, pin);
        EXPECT_EQ(d.Pins[pin].DataFlow, expected[pin].flow);
        EXPECT_EQ(*d.Pins[pin].Category, expected[pin].category);
        EXPECT_EQ(d.Pins[pin].MaxFilterInstanceCount, 0u);
        ASSERT_EQ(d.Pins[pin].DataRangesCount, 1u);
        EXPECT_EQ(d.Pins[pin].DataRanges[0].Range->SubFormat, ks::KSDATAFORMAT_SUBTYPE_ANALOG);
    }
    std::uint32_t found = 99;
    EXPECT_EQ(miniport->GetConnection(77, &found), kernel::STATUS_UNSUCCESSFUL);
    EXPECT_EQ(found, 0u) << "the pin is cleared before the search";
    EXPECT_EQ(Connections(d), (std::vector<ConnectionDescriptor>{{nodeNone, 1, nodeNone, 2}}));
    ASSERT_EQ(d.CategoryCount, 3u);
    EXPECT_EQ(d.Categories[2], GUID_ENUMERATION_PRIVATE_INTERFACE);
}

// A graph from terminals and control items, and the filter it gives; node
// indices follow the order the items were added.
struct GraphCase {
    const char* name;
    void (*build)(TopologyTest&);
    std::vector<Guid> nodeTypes;
    std::vector<ConnectionDescriptor> connections;
};

class TopologyGraphs : public TopologyTest, public ::testing::WithParamInterface<GraphCase> {};

TEST_P(TopologyGraphs, ConnectionsFollowTheSourcesUpstreamOnce) {
    GetParam().build(*this);
    ASSERT_EQ(Install(), STATUS_SUCCESS);
    const portcls::FilterDescriptor& d = Descriptor();
    ASSERT_EQ(d.NodeCount, GetParam().nodeTypes.size());
    if (GetParam().nodeTypes.empty()) {
        EXPECT_EQ(d.Nodes, nullptr);
    }
    for (std::size_t i = 0; i < GetParam().nodeTypes.size(); ++i)
        EXPECT_EQ(*d.Nodes[i].Type, GetParam().nodeTypes[i]) << "node " << i;
    EXPECT_EQ(Connections(d), GetParam().connections);
}

const GraphCase graphCases[] = {
    {"VolumeThenMute",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddLevel(10, item_type::volume, 1);
         t.AddOnOff(11, item_type::mute, 10);
         t.AddTerminal(2, true, Speaker, {11});
     },
     {ks::KSNODETYPE_VOLUME, ks::KSNODETYPE_MUTE},
     {{nodeNone, 0, 0, 1}, {0, 0, 1, 1}, {1, 0, nodeNone, 1}}},
    {"SelectorWithTwoInputs",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Mic);
         t.AddTerminal(3, false, Line);
         t.AddSelector(10, {1, 3});
         t.AddTerminal(2, true, Stream, {10});
     },
     {ks::KSNODETYPE_MUX},
     {{nodeNone, 1, 0, 1}, {nodeNone, 2, 0, 2}, {0, 0, nodeNone, 0}}},
    {"TwoOutputsShareANode",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddLevel(10, item_type::volume, 1);
         t.AddTerminal(2, true, Speaker, {10});
         t.AddTerminal(3, true, Headphones, {10});
     },
     {ks::KSNODETYPE_VOLUME},
     {{nodeNone, 0, 0, 1}, {0, 0, nodeNone, 1}, {0, 0, nodeNone, 2}}},
    {"MixerReachedOverTwoPaths",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddLevel(10, item_type::volume, 1);
         t.AddOnOff(11, item_type::mute, 10);
         t.AddMixer(12, {10, 11});
         t.AddTerminal(2, true, Speaker, {12});
     },
     {ks::KSNODETYPE_VOLUME, ks::KSNODETYPE_MUTE, ks::KSNODETYPE_SUM},
     {{nodeNone, 0, 0, 1}, {0, 0, 2, 1}, {0, 0, 1, 1}, {1, 0, 2, 2}, {2, 0, nodeNone, 1}}},
    {"TerminalStraightToTerminal",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddTerminal(2, true, Speaker, {1});
     },
     {},
     {{nodeNone, 0, nodeNone, 1}}},
    {"NodeWithoutSourcesFedByThePinOfItsId",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Line);
         t.AddOnOff(1, item_type::onOff, 0, 1)->SetIdList(0, nullptr);
         t.AddTerminal(2, true, Stream, {1});
     },
     {ks::KSNODETYPE_DEV_SPECIFIC},
     {{nodeNone, 1, 0, 1}, {0, 0, nodeNone, 0}}},
    {"ClockIsNoNodeAndOneInputSelectorIsDeviceSpecific",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddFake(9, item_type::clockRates, {});
         t.AddSelector(10, {1});
         t.AddTerminal(2, true, Speaker, {10});
     },
     {ks::KSNODETYPE_DEV_SPECIFIC},
     {{nodeNone, 0, 0, 1}, {0, 0, nodeNone, 1}}},
};

INSTANTIATE_TEST_SUITE_P(Graphs, TopologyGraphs, ::testing::ValuesIn(graphCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Graphs the filter cannot show: nothing is kept and the miniport gives no
// description.
struct RefusedCase {
    const char* name;
    void (*build)(TopologyTest&);
    NTSTATUS status;
};

class TopologyRefused : public TopologyTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(TopologyRefused, InitFailsAndDescribesNothing) {
    GetParam().build(*this);
    NTSTATUS describe = STATUS_SUCCESS;
    EXPECT_EQ(InitUnbound(&describe), GetParam().status);
    EXPECT_EQ(describe, kernel::STATUS_DEVICE_CONFIGURATION_ERROR);
}

const RefusedCase refusedCases[] = {
    {"OutputSourceNamesNothing",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddTerminal(2, true, Speaker, {99});
     },
     kernel::STATUS_UNSUCCESSFUL},
    {"NodeSourceNamesNothingTwoLevelsDown",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddLevel(10, item_type::volume, 1);
         t.AddMixer(11, {10, 99});
         t.AddOnOff(12, item_type::mute, 11);
         t.AddTerminal(2, true, Speaker, {12});
     },
     kernel::STATUS_UNSUCCESSFUL},
    {"SourcesLeadRoundInALoop",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddLevel(10, item_type::volume, 11);
         t.AddOnOff(11, item_type::mute, 10);
         t.AddTerminal(2, true, Speaker, {11});
     },
     kernel::STATUS_UNSUCCESSFUL},
    {"NodeIsItsOwnSource",
     [](TopologyTest& t) {
         t.AddTerminal(1, false, Stream);
         t.AddMixer(10, {1, 10});
         t.AddTerminal(2, true, Speaker, {10});
     },
     kernel::STATUS_UNSUCCESSFUL},
    {"EndpointTypeWithoutAPin", [](TopologyTest& t) { t.AddTerminal(1, false, 18); },
     kernel::STATUS_INVALID_PARAMETER},
    {"ItemTypeWithoutANode", [](TopologyTest& t) { t.AddFake(10, 14, {}); },
     kernel::STATUS_INVALID_PARAMETER},
};

INSTANTIATE_TEST_SUITE_P(Graphs, TopologyRefused, ::testing::ValuesIn(refusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TopologyMiniport, InitRefusesAMissingPortOrHalAndASecondCall) {
    kernel::IUnknown* unknown = nullptr;
    ASSERT_EQ(CreateTopologyMiniport(&unknown, portcls::CLSID_PortTopology, nullptr,
                                     kernel::PoolType::NonPagedNx),
              STATUS_SUCCESS);
    void* face = nullptr;
    ASSERT_EQ(unknown->QueryInterface(portcls::IID_IMiniportTopology, &face), STATUS_SUCCESS);
    unknown->Release();
    auto* topology = static_cast<portcls::IMiniportTopology*>(face);
    const portcls::FilterDescriptor* descriptor = nullptr;
    EXPECT_EQ(topology->GetDescription(&descriptor), kernel::STATUS_DEVICE_CONFIGURATION_ERROR);
    EXPECT_EQ(topology->Init(adapter(), nullptr, nullptr), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(topology->DataRangeIntersection(0, nullptr, nullptr, 0, nullptr, nullptr),
              kernel::STATUS_NOT_IMPLEMENTED);

    ASSERT_EQ(Install(), STATUS_SUCCESS);
    Held<engine_test::CTestNode> notHal{Make<engine_test::CTestNode>(1u, 0u, nullptr)};
    EXPECT_NE(topology->Init(static_cast<IAudioNode*>(notHal.get()), nullptr, port),
              STATUS_SUCCESS);
    EXPECT_EQ(miniport->Init(adapter(), nullptr, port), kernel::STATUS_INVALID_DEVICE_REQUEST);
    topology->Release();
}

TEST_F(TopologyMiniport, EveryAllocationFailureIsReportedAndLeavesNothing) {
    AddTerminal(1, false, Stream);
    AddLevel(10, item_type::volume, 1);
    AddMixer(11, {10, 1});
    AddTerminal(2, true, Headphones, {11});
    std::uint64_t requests = 0;
    ASSERT_EQ(InitUnbound(nullptr, 0, &requests), STATUS_SUCCESS);
    ASSERT_GT(requests, 8u);
    int refused = 0;
    for (std::uint64_t n = 1; n <= requests; ++n) {
        SCOPED_TRACE(n);
        const NTSTATUS status = InitUnbound(nullptr, n);
        if (status == STATUS_SUCCESS) continue; // a request whose failure is survivable
        ++refused;
        EXPECT_TRUE(status == kernel::STATUS_INSUFFICIENT_RESOURCES ||
                    status == kernel::STATUS_UNSUCCESSFUL)
            << std::hex << static_cast<std::uint32_t>(status);
    }
    EXPECT_GT(refused, 6);
}

TEST_F(TopologyMiniport, PinNamesComeFromSettingsPerPinWithTheSpdifFallback) {
    const Guid firstHeadphones = kernel::makeGuid("{11111111-2222-3333-4444-555555555555}");
    const Guid spdifIn = kernel::makeGuid("{66666666-7777-8888-9999-AAAAAAAAAAAA}");
    const Guid secondHeadphones = kernel::makeGuid("{BBBBBBBB-CCCC-DDDD-EEEE-FFFFFFFFFFFF}");
    Guid copy = firstHeadphones;
    ASSERT_EQ(AccessSetting(functional(), SETTING_WRITE, &copy, 16, u"HeadPhoneOutName_02"),
              STATUS_SUCCESS);
    copy = secondHeadphones;
    ASSERT_EQ(AccessSetting(functional(), SETTING_WRITE, &copy, 16, u"HeadPhoneOutName_03"),
              STATUS_SUCCESS);
    copy = spdifIn;
    ASSERT_EQ(AccessSetting(functional(), SETTING_WRITE, &copy, 16, u"SpdifInName_05"),
              STATUS_SUCCESS);
    std::uint32_t shortValue = 7;
    ASSERT_EQ(AccessSetting(functional(), SETTING_WRITE, &shortValue, 4, u"MicroPhoneInName_06"),
              STATUS_SUCCESS);
    AddTerminal(1, false, Stream);
    AddTerminal(2, false, Stream);
    AddTerminal(3, true, Headphones, {1});
    AddTerminal(4, true, Headphones, {2});
    AddTerminal(5, true, Spdif, {1});
    AddTerminal(6, false, Spdif);
    AddTerminal(7, false, Mic);
    AddTerminal(8, false, Headphones);
    ASSERT_EQ(Install(), STATUS_SUCCESS);

    const portcls::FilterDescriptor& d = Descriptor();
    ASSERT_EQ(d.PinCount, 8u);
    const Guid spdifOutFallback = kernel::makeGuid("{12C15946-BA58-42C1-9F11-8341E2198622}");
    const Guid* expected[] = {nullptr,           nullptr,  &firstHeadphones, &secondHeadphones,
                              &spdifOutFallback, &spdifIn, nullptr,          nullptr};
    for (std::uint32_t pin = 0; pin < 8; ++pin) {
        SCOPED_TRACE(pin);
        if (expected[pin] == nullptr) {
            EXPECT_EQ(d.Pins[pin].Name, nullptr);
        } else {
            ASSERT_NE(d.Pins[pin].Name, nullptr);
            EXPECT_EQ(*d.Pins[pin].Name, *expected[pin]);
        }
    }
}

TEST_F(TopologyMiniport, ConnectorRowsFollowTheSystemGeneration) {
    struct Case {
        kernel::OsVersion version;
        Guid stereoMixCategory;
        bool named;
    };
    const Case cases[] = {
        {{6, 1, 7601, 1}, ks::KSNODETYPE_ANALOG_CONNECTOR, true},
        {{5, 1, 2600, 3}, kernel::makeGuid("{00DFF077-96E3-11D2-AC4C-00C04F8EFB68}"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version.major);
        kernel::setOsVersion(c.version);
        TopologyPinKind aux = {}, mix = {}, front = {};
        ASSERT_TRUE(FindPinKind(Aux, false, &aux));
        ASSERT_TRUE(FindPinKind(StereoMix, false, &mix));
        ASSERT_TRUE(FindPinKind(HeadphonesFront, true, &front));
        EXPECT_EQ(*mix.category, c.stereoMixCategory);
        EXPECT_EQ(aux.name != nullptr, c.named);
        EXPECT_EQ(mix.name != nullptr, c.named);
        EXPECT_EQ(*front.category, ks::KSNODETYPE_HEADPHONES);
    }
    TopologyPinKind none = {};
    EXPECT_FALSE(FindPinKind(18, true, &none));
}

} // namespace
