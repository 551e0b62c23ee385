// A stream engine installing its wave subdevice through the port layer on a
// test device: a toy topology subdevice is there first, the engine's wave
// miniport comes from a test factory, and the HAL lists the engine.
#include "driver/engine/audio_hal.h"
#include "driver/engine/subdevice_name.h"
#include "platform/portcls/subdevice_access.h"
#include "platform/portcls/tests/toy_device_fixture.h"
#include "stream_engine_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;
using portcls::PhysicalConnectionRecord;
using portcls::testing::ToyCounted;

// The streaming terminal the test wave miniports report, and the topology
// pin that carries it.
constexpr std::uint32_t StreamingTerminal = 0x10;
constexpr std::uint32_t TopologyPinOfTerminal = 0;

// What the test factory saw and what it is to refuse.
struct FactoryLog {
    std::vector<std::uint32_t> endpointIndices;
    NTSTATUS refuse = STATUS_SUCCESS;
};
FactoryLog* factoryLog = nullptr;

// A miniport of the kind with a toy filter and a name: what both test
// miniports share.
template <class Miniport, class Port>
class CNamedMiniport : public Miniport, public ISubdeviceName, public ToyCounted {
public:
    CNamedMiniport(const portcls::FilterDescriptor& descriptor, std::u16string name)
        : m_Descriptor(descriptor), m_Name(std::move(name)) {}

    kernel::NTSTATUS Init(kernel::IUnknown*, const io::ResourceList*, Port*) override {
        return STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetDescription(const portcls::FilterDescriptor** description) override {
        *description = &m_Descriptor;
        return STATUS_SUCCESS;
    }
    kernel::NTSTATUS DataRangeIntersection(std::uint32_t, const ks::DataRange*,
                                           const ks::DataRange*, std::uint32_t, void*,
                                           std::uint32_t*) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS GetName(const char16_t** name) override {
        *name = m_Name.c_str();
        return STATUS_SUCCESS;
    }

private:
    const portcls::FilterDescriptor& m_Descriptor;
    const std::u16string m_Name;
};

// The topology miniport maps the streaming terminal to its input pin.
class CNamedTopology final
    : public CNamedMiniport<portcls::IMiniportTopology, portcls::IPortTopology> {
public:
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<portcls::IMiniportTopology*>(this)},
                {portcls::IID_IMiniport, static_cast<portcls::IMiniport*>(this)},
                {portcls::IID_IMiniportTopology, static_cast<portcls::IMiniportTopology*>(this)},
                {IID_ISubdeviceName, static_cast<ISubdeviceName*>(this)})

    CNamedTopology()
        : CNamedMiniport(portcls::testing::ToyTopology::descriptor, u"EngineTopology") {}

    kernel::NTSTATUS GetConnection(std::uint32_t terminal, std::uint32_t* pin) override {
        *pin = 0;
        if (terminal != StreamingTerminal) return STATUS_UNSUCCESSFUL;
        *pin = TopologyPinOfTerminal;
        return STATUS_SUCCESS;
    }
};

// The wave miniport of an endpoint, named after the endpoint's index.
class CNamedWave final
    : public CNamedMiniport<portcls::IMiniportWaveCyclic, portcls::IPortWaveCyclic> {
public:
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<portcls::IMiniportWaveCyclic*>(this)},
                {portcls::IID_IMiniport, static_cast<portcls::IMiniport*>(this)},
                {portcls::IID_IMiniportWaveCyclic,
                 static_cast<portcls::IMiniportWaveCyclic*>(this)},
                {IID_ISubdeviceName, static_cast<ISubdeviceName*>(this)})

    explicit CNamedWave(std::uint32_t endpoint)
        : CNamedMiniport(portcls::testing::ToyWave::descriptor,
                         u"Endpoint" + std::u16string(1, static_cast<char16_t>(u'0' + endpoint))) {}

    kernel::NTSTATUS NewStream(portcls::IMiniportWaveCyclicStream**, kernel::IUnknown*,
                               kernel::PoolType, std::uint32_t, bool, const ks::DataFormat*,
                               portcls::IDmaChannel**, portcls::IServiceGroup**) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS GetConnection(std::uint32_t, std::uint32_t* terminal) override {
        *terminal = StreamingTerminal;
        return STATUS_SUCCESS;
    }
};

NTSTATUS CreateNamedWave(kernel::IUnknown** unknown, const kernel::Guid&, kernel::IUnknown*,
                         kernel::PoolType, std::uint32_t endpointIndex) {
    factoryLog->endpointIndices.push_back(endpointIndex);
    if (!kernel::succeeded(factoryLog->refuse)) return factoryLog->refuse;
    *unknown = static_cast<portcls::IMiniportWaveCyclic*>(new CNamedWave(endpointIndex));
    return STATUS_SUCCESS;
}

// A HAL without descriptors of its own: the test lists its endpoints.
class CListingHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    kernel::NTSTATUS ParseDescriptors() override { return STATUS_SUCCESS; }
};

class StreamEngineInstall : public portcls::testing::ToyDeviceTest {
protected:
    void SetUp() override {
        factoryLog = &log;
        ASSERT_EQ(addDevice(), STATUS_SUCCESS);
        ASSERT_EQ(hal->Init(nullptr, functional(), nullptr, nullptr), STATUS_SUCCESS);
        portcls::IPort* port = nullptr;
        ASSERT_EQ(portcls::PcNewPort(&port, portcls::CLSID_PortTopology), STATUS_SUCCESS);
        void* face = nullptr;
        ASSERT_EQ(port->QueryInterface(portcls::IID_IPortTopology, &face), STATUS_SUCCESS);
        port->Release();
        topologyPort = static_cast<portcls::IPortTopology*>(face);
        ASSERT_EQ(topologyPort->Init(functional(), nullptr,
                                     static_cast<portcls::IMiniportTopology*>(topology), adapter(),
                                     nullptr),
                  STATUS_SUCCESS);
        ASSERT_EQ(portcls::PcRegisterSubdevice(functional(), u"Topology", topologyPort),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        topology->Release(); // the port holds it
        if (topologyPort != nullptr) topologyPort->Release();
        hal.reset();
        remove();
        factoryLog = nullptr;
    }

    kernel::IUnknown* adapter() const { return static_cast<IAudioHal*>(hal.get()); }

    // An engine on the device: listed by the HAL after `before` other
    // endpoints, connected to the wave factory and the topology.
    CStreamEngine* Endpoint(std::uint32_t direction, const std::vector<TerminalSpec>& path,
                            std::uint32_t before = 0) {
        for (std::uint32_t i = 0; i < before; ++i) {
            others.push_back(MakeEngine(Render, terminals));
            EXPECT_EQ(hal->AddEndpoint(others.back()), STATUS_SUCCESS);
        }
        CStreamEngine* engine = MakeEngine(direction, terminals, path);
        others.push_back(engine);
        EXPECT_EQ(hal->AddEndpoint(engine), STATUS_SUCCESS);
        EXPECT_EQ(engine->SetConnection(CreateNamedWave, portcls::CLSID_PortWaveCyclic),
                  STATUS_SUCCESS);
        EXPECT_EQ(engine->SetTopology(topologyPort, topology), STATUS_SUCCESS);
        return engine;
    }

    std::vector<std::u16string> Subdevices() const {
        std::vector<std::u16string> names;
        for (const auto& record : portcls::registeredSubdevices(functional()))
            names.push_back(record.name);
        return names;
    }

    FactoryLog log;
    CTerminalSet terminals;
    Held<CListingHal> hal{Make<CListingHal>()};
    // The engines go before the HAL that lists them.
    engine_test::HeldList<CStreamEngine> others;
    CNamedTopology* topology = new CNamedTopology;
    portcls::IPortTopology* topologyPort = nullptr;
};

TEST_F(StreamEngineInstall, AConnectedEndpointRegistersItsWaveSubdeviceAndConnection) {
    struct Case {
        const char* name;
        std::uint32_t direction;
        std::vector<TerminalSpec> path;
        std::uint32_t endpointIndex;
        PhysicalConnectionRecord connection;
    };
    const Case cases[] = {
        {"render, no jack records",
         Render,
         {{item_type::outputTerminal, 2}},
         0,
         {u"Endpoint0", 1, u"Topology", 0}},
        {"capture, connected microphone",
         Capture,
         {{item_type::inputTerminal, 7, {1}}},
         1,
         {u"Topology", 0, u"Endpoint1", 1}},
        {"render, one of two jacks connected",
         Render,
         {{item_type::outputTerminal, 2, {0, 1}}},
         3,
         {u"Endpoint3", 1, u"Topology", 0}},
    };
    // Each case's engine follows those of the cases before it in the HAL's list.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GE(c.endpointIndex, others.size());
        log.endpointIndices.clear();
        CStreamEngine* engine = Endpoint(c.direction, c.path, c.endpointIndex - others.size());
        ASSERT_EQ(engine->Install(functional(), nullptr, adapter()), STATUS_SUCCESS);
        EXPECT_TRUE(engine->IsInstalled());
        EXPECT_EQ(log.endpointIndices, std::vector<std::uint32_t>{c.endpointIndex});
        EXPECT_EQ(Subdevices(),
                  (std::vector<std::u16string>{u"Topology", c.connection.toName == u"Topology"
                                                                ? c.connection.fromName
                                                                : c.connection.toName}));
        EXPECT_EQ(portcls::registeredPhysicalConnections(functional()),
                  std::vector<PhysicalConnectionRecord>{c.connection});

        EXPECT_EQ(engine->Install(functional(), nullptr, adapter()), STATUS_SUCCESS);
        EXPECT_EQ(log.endpointIndices.size(), 1u) << "installed once";

        EXPECT_EQ(engine->Uninstall(functional(), nullptr, adapter()), STATUS_SUCCESS);
        EXPECT_FALSE(engine->IsInstalled());
        EXPECT_EQ(Subdevices(), std::vector<std::u16string>{u"Topology"});
        EXPECT_TRUE(portcls::registeredPhysicalConnections(functional()).empty());
        EXPECT_EQ(engine->Uninstall(functional(), nullptr, adapter()), STATUS_SUCCESS);
    }
}

TEST_F(StreamEngineInstall, AnEndpointWithNothingPluggedInRegistersNothing) {
    struct Case {
        const char* name;
        std::uint32_t direction;
        std::vector<TerminalSpec> path;
    };
    const Case cases[] = {
        {"render, every jack reads not connected",
         Render,
         {{item_type::outputTerminal, 2, {0, 0}}}},
        {"capture, microphone jack not connected", Capture, {{item_type::inputTerminal, 7, {0}}}},
        {"render, terminal without a code", Render, {{item_type::outputTerminal, 0}}},
        {"render, only an input terminal", Render, {{item_type::inputTerminal, 7}}},
        {"capture, no terminal", Capture, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CStreamEngine* engine = Endpoint(c.direction, c.path);
        EXPECT_EQ(engine->Install(functional(), nullptr, adapter()), STATUS_SUCCESS);
        EXPECT_FALSE(engine->IsInstalled());
        EXPECT_TRUE(log.endpointIndices.empty());
        EXPECT_EQ(Subdevices(), std::vector<std::u16string>{u"Topology"});
    }
}

TEST_F(StreamEngineInstall, AnEndpointUnpluggedAfterInstallLeavesTheDevice) {
    CStreamEngine* engine = Endpoint(Render, {{item_type::outputTerminal, 2, {1}}});
    ASSERT_EQ(engine->Install(functional(), nullptr, adapter()), STATUS_SUCCESS);
    ASSERT_TRUE(engine->IsInstalled());
    IAudioNode* terminal = nullptr;
    ASSERT_EQ(engine->GetEntity(0, &terminal), STATUS_SUCCESS);
    const JackDescription unplugged{};
    ASSERT_EQ(static_cast<CTerminalItem*>(terminal)->StoreJackRecords(1, &unplugged),
              STATUS_SUCCESS);

    EXPECT_EQ(engine->Install(functional(), nullptr, adapter()), STATUS_SUCCESS);
    EXPECT_FALSE(engine->IsInstalled());
    EXPECT_EQ(Subdevices(), std::vector<std::u16string>{u"Topology"});
}

TEST_F(StreamEngineInstall, FailuresAreReportedAndLeaveNothingRegistered) {
    const std::vector<TerminalSpec> plugged = {{item_type::outputTerminal, 2}};
    struct Case {
        const char* name;
        NTSTATUS factory;
        bool listed;
        bool connection;
        bool topology;
        NTSTATUS status;
    };
    const Case cases[] = {
        {"no wave factory", STATUS_SUCCESS, true, false, true, STATUS_UNSUCCESSFUL},
        {"not in the HAL's list", STATUS_SUCCESS, false, true, true, STATUS_UNSUCCESSFUL},
        {"the factory fails", kernel::STATUS_INSUFFICIENT_RESOURCES, true, true, true,
         kernel::STATUS_INSUFFICIENT_RESOURCES},
        {"no topology set", STATUS_SUCCESS, true, true, false, STATUS_UNSUCCESSFUL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.refuse = c.factory;
        CStreamEngine* engine = MakeEngine(Render, terminals, plugged);
        others.push_back(engine);
        const NTSTATUS listed = c.listed ? hal->AddEndpoint(engine) : STATUS_SUCCESS;
        const NTSTATUS connected =
            c.connection ? engine->SetConnection(CreateNamedWave, portcls::CLSID_PortWaveCyclic)
                         : STATUS_SUCCESS;
        const NTSTATUS joined =
            c.topology ? engine->SetTopology(topologyPort, topology) : STATUS_SUCCESS;
        ASSERT_EQ(listed | connected | joined, STATUS_SUCCESS);
        EXPECT_EQ(engine->Install(functional(), nullptr, adapter()), c.status);
        EXPECT_FALSE(engine->IsInstalled());
        EXPECT_EQ(Subdevices(), std::vector<std::u16string>{u"Topology"});
    }
}

TEST_F(StreamEngineInstall, ConnectionAndTopologyRefuseMissingParts) {
    CTerminalSet none;
    Held engine(MakeEngine(Render, none));
    EXPECT_EQ(engine->SetConnection(nullptr, portcls::CLSID_PortWaveCyclic),
              kernel::STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(engine->SetTopology(nullptr, topology), kernel::STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(engine->SetTopology(topologyPort, nullptr), kernel::STATUS_NO_SUCH_DEVICE);
    portcls::testing::ToyTopology* nameless = new portcls::testing::ToyTopology;
    EXPECT_EQ(engine->SetTopology(topologyPort, nameless), kernel::STATUS_INVALID_PARAMETER);
    nameless->Release();
}

} // namespace
