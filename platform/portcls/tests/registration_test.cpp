// What the port layer refuses when an adapter registers, and what
// unregistering takes away: ports bound to miniports with sound
// descriptors only, subdevices under new names within the device's
// limit, connections between pins that exist.
#include "platform/io/device_interface.h"
#include "platform/portcls/subdevice_access.h"
#include "toy_device_fixture.h"

#include <gtest/gtest.h>

namespace portcls::testing {
namespace {

using kernel::NTSTATUS;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;

class RegistrationTest : public ToyDeviceTest {
protected:
    void SetUp() override {
        state.maxObjects = 2;
        ASSERT_EQ(addDevice(), STATUS_SUCCESS);
    }
    void TearDown() override {
        for (IPort* port : ports) port->Release();
        if (functional() != nullptr) remove();
    }

    // A new port of the class, released when the test ends.
    IPort* newPort(const kernel::Guid& portClass) {
        IPort* port = nullptr;
        EXPECT_EQ(PcNewPort(&port, portClass), STATUS_SUCCESS);
        if (port != nullptr) ports.push_back(port);
        return port;
    }
    // A fresh toy miniport of the port class's kind.
    static kernel::IUnknown* toyMiniport(const kernel::Guid& portClass) {
        if (portClass == CLSID_PortTopology)
            return static_cast<IMiniportTopology*>(new ToyTopology);
        return static_cast<IMiniportWaveCyclic*>(new ToyWave);
    }
    // A port bound to a fresh toy miniport of its kind.
    IPort* boundPort(const kernel::Guid& portClass, io::DeviceObject* device = nullptr) {
        IPort* port = newPort(portClass);
        kernel::IUnknown* miniport = toyMiniport(portClass);
        EXPECT_EQ(port->Init(device != nullptr ? device : functional(), nullptr, miniport, nullptr,
                             nullptr),
                  STATUS_SUCCESS);
        miniport->Release();
        return port;
    }

    std::vector<IPort*> ports;
};

TEST_F(RegistrationTest, SubdevicesNeedABoundPortAndANewPlainName) {
    IPort* topology = boundPort(CLSID_PortTopology);
    IPort* unbound = newPort(CLSID_PortWaveCyclic);
    ASSERT_EQ(PcRegisterSubdevice(functional(), u"Topology", topology), STATUS_SUCCESS);
    const struct {
        const char* what;
        io::DeviceObject* device;
        const char16_t* name;
        kernel::IUnknown* port;
        NTSTATUS status;
    } cases[] = {
        {"no name", functional(), nullptr, boundPort(CLSID_PortWaveCyclic),
         STATUS_INVALID_PARAMETER},
        {"an empty name", functional(), u"", ports.back(), STATUS_INVALID_PARAMETER},
        {"a name with a backslash", functional(), u"Wave\\0", ports.back(),
         STATUS_INVALID_PARAMETER},
        {"a name taken, in another case", functional(), u"TOPOLOGY", ports.back(),
         STATUS_INVALID_PARAMETER},
        {"a port registered already", functional(), u"Again", topology, STATUS_INVALID_PARAMETER},
        {"a port with no miniport", functional(), u"Unbound", unbound, STATUS_INVALID_PARAMETER},
        {"no port", functional(), u"None", nullptr, STATUS_INVALID_PARAMETER},
        {"a device that is no adapter device", physical.device, u"Wave", ports.back(),
         STATUS_INVALID_PARAMETER},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PcRegisterSubdevice(c.device, c.name, c.port), c.status) << c.what;
    EXPECT_EQ(registeredSubdevices(functional()).size(), 1u);
    EXPECT_EQ(io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO).size(), 1u);
}

TEST_F(RegistrationTest, APortRegistersOnlyOnTheDeviceItWasBoundOn) {
    const io::DeviceIdentity otherIdentity{
        {u"USB\\VID_1B3F&PID_2009"}, u"8&0&1", u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0008"};
    io::testing::TestDevice other{nullptr, &otherIdentity};
    ASSERT_EQ(driver.addDevice(&driver, other.device), STATUS_SUCCESS);
    IPort* port = boundPort(CLSID_PortTopology, other.device->attachedDevice());
    EXPECT_EQ(PcRegisterSubdevice(functional(), u"Topology", port), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PcRegisterSubdevice(other.device->attachedDevice(), u"Topology", port),
              STATUS_SUCCESS);
    EXPECT_EQ(sendPnpTo(other.device, io::minorPnp::RemoveDevice), STATUS_SUCCESS);
}

TEST_F(RegistrationTest, NoMoreSubdevicesThanTheDeviceWasMadeFor) {
    EXPECT_EQ(PcRegisterSubdevice(functional(), u"A", boundPort(CLSID_PortTopology)),
              STATUS_SUCCESS);
    EXPECT_EQ(PcRegisterSubdevice(functional(), u"B", boundPort(CLSID_PortWaveCyclic)),
              STATUS_SUCCESS);
    EXPECT_EQ(PcRegisterSubdevice(functional(), u"C", boundPort(CLSID_PortTopology)),
              kernel::STATUS_INSUFFICIENT_RESOURCES);
}

TEST_F(RegistrationTest, ConnectionsJoinPinsOfRegisteredSubdevicesOnce) {
    IPort* topology = boundPort(CLSID_PortTopology);
    IPort* wave = boundPort(CLSID_PortWaveCyclic);
    IPort* stray = boundPort(CLSID_PortTopology);
    ASSERT_EQ(PcRegisterSubdevice(functional(), u"Topology", topology), STATUS_SUCCESS);
    ASSERT_EQ(PcRegisterSubdevice(functional(), u"Wave", wave), STATUS_SUCCESS);
    const struct {
        const char* what;
        kernel::IUnknown* from;
        std::uint32_t fromPin;
        kernel::IUnknown* to;
        std::uint32_t toPin;
        NTSTATUS status;
    } cases[] = {
        {"wave bridge to topology input", wave, 1, topology, 0, STATUS_SUCCESS},
        {"the same again", wave, 1, topology, 0, STATUS_INVALID_PARAMETER},
        {"a pin the wave filter lacks", wave, 2, topology, 0, STATUS_INVALID_PARAMETER},
        {"a pin the topology filter lacks", wave, 1, topology, 9, STATUS_INVALID_PARAMETER},
        {"an unregistered port", stray, 0, topology, 0, STATUS_INVALID_PARAMETER},
        {"no port", nullptr, 0, topology, 0, STATUS_INVALID_PARAMETER},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PcRegisterPhysicalConnection(functional(), c.from, c.fromPin, c.to, c.toPin),
                  c.status)
            << c.what;
    EXPECT_EQ(registeredPhysicalConnections(functional()),
              (std::vector<PhysicalConnectionRecord>{{u"Wave", 1, u"Topology", 0}}));

    void* object = nullptr;
    ASSERT_EQ(wave->QueryInterface(IID_IUnregisterPhysicalConnection, &object), STATUS_SUCCESS);
    auto* unregister = static_cast<IUnregisterPhysicalConnection*>(object);
    EXPECT_EQ(unregister->UnregisterPhysicalConnection(functional(), wave, 1, topology, 0),
              STATUS_SUCCESS);
    EXPECT_EQ(unregister->UnregisterPhysicalConnection(functional(), wave, 1, topology, 0),
              kernel::STATUS_OBJECT_NAME_NOT_FOUND);
    unregister->Release();
    EXPECT_TRUE(registeredPhysicalConnections(functional()).empty());
}

TEST_F(RegistrationTest, UnregisteringASubdeviceTakesItsInterfacesConnectionsAndMiniport) {
    IPort* topology = boundPort(CLSID_PortTopology);
    IPort* wave = boundPort(CLSID_PortWaveCyclic);
    ASSERT_EQ(PcRegisterSubdevice(functional(), u"Topology", topology), STATUS_SUCCESS);
    ASSERT_EQ(PcRegisterSubdevice(functional(), u"Wave", wave), STATUS_SUCCESS);
    ASSERT_EQ(PcRegisterPhysicalConnection(functional(), wave, 1, topology, 0), STATUS_SUCCESS);
    const int toysBefore = liveToys.load();

    void* object = nullptr;
    ASSERT_EQ(wave->QueryInterface(IID_IUnregisterSubdevice, &object), STATUS_SUCCESS);
    auto* unregister = static_cast<IUnregisterSubdevice*>(object);
    EXPECT_EQ(unregister->UnregisterSubdevice(functional(), wave), STATUS_SUCCESS);
    EXPECT_EQ(unregister->UnregisterSubdevice(functional(), wave),
              kernel::STATUS_OBJECT_NAME_NOT_FOUND);
    unregister->Release();

    EXPECT_EQ(liveToys.load(), toysBefore - 1); // the wave miniport
    EXPECT_TRUE(io::enabledDeviceInterfaces(ks::KSCATEGORY_RENDER).empty());
    EXPECT_EQ(io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO).size(), 1u);
    EXPECT_TRUE(registeredPhysicalConnections(functional()).empty());
    FilterHandle filter;
    EXPECT_EQ(filter.open(functional(), u"Wave"), kernel::STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(RegistrationTest, PortsComeByClassAndBindOnce) {
    IPort* port = nullptr;
    EXPECT_EQ(PcNewPort(&port, ks::KSCATEGORY_AUDIO), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(port, nullptr);
    EXPECT_EQ(PcNewPort(nullptr, CLSID_PortTopology), STATUS_INVALID_PARAMETER);

    IPort* wave = boundPort(CLSID_PortWaveCyclic);
    void* object = nullptr;
    EXPECT_EQ(wave->QueryInterface(IID_IPortTopology, &object), STATUS_INVALID_PARAMETER);
    ASSERT_EQ(wave->QueryInterface(IID_IPortClsVersion, &object), STATUS_SUCCESS);
    EXPECT_EQ(static_cast<IPortClsVersion*>(object)->GetVersion(), portClsVersion);
    static_cast<IPortClsVersion*>(object)->Release();

    kernel::IUnknown* miniport = toyMiniport(CLSID_PortWaveCyclic);
    EXPECT_EQ(
        newPort(CLSID_PortWaveCyclic)->Init(physical.device, nullptr, miniport, nullptr, nullptr),
        STATUS_INVALID_PARAMETER); // not an adapter device
    EXPECT_EQ(wave->Init(functional(), nullptr, miniport, nullptr, nullptr),
              kernel::STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(newPort(CLSID_PortTopology)->Init(functional(), nullptr, miniport, nullptr, nullptr),
              STATUS_INVALID_PARAMETER); // a wave miniport on a topology port
    miniport->Release();
}

TEST_F(RegistrationTest, APortRefusesABrokenDescriptorAndLetsItsMiniportGo) {
    FilterDescriptor broken = ToyTopology::descriptor;
    broken.NodeSize = 8;
    state.topologyDescriptor = &broken;
    const int toysBefore = liveToys.load();
    IPort* port = newPort(CLSID_PortTopology);
    kernel::IUnknown* miniport = toyMiniport(CLSID_PortTopology);
    EXPECT_EQ(port->Init(functional(), nullptr, miniport, nullptr, nullptr),
              STATUS_INVALID_PARAMETER);
    miniport->Release();
    EXPECT_EQ(liveToys.load(), toysBefore);
    EXPECT_EQ(PcRegisterSubdevice(functional(), u"Topology", port), STATUS_INVALID_PARAMETER);
}

// Each miniport holds its port, which holds the miniport: the device
// breaks that hold for every port bound on it when it goes, so a start that
// failed between binding and registering leaks nothing.
TEST_F(RegistrationTest, APortBoundButNeverRegisteredGoesWithTheDevice) {
    boundPort(CLSID_PortWaveCyclic);
    ports.back()->Release();
    ports.pop_back();
    EXPECT_EQ(liveToys.load(), toysAtStart + 1);
    remove();
    EXPECT_EQ(liveToys.load(), toysAtStart);
    EXPECT_EQ(kernel::poolLiveBlocks(kernel::poolTag("PcPo")), 0u);
}

TEST_F(RegistrationTest, AdapterPowerNeedsTheInterfaceAndAnAdapterDevice) {
    auto* adapter = new ToyAdapter;
    kernel::IUnknown* wave = toyMiniport(CLSID_PortWaveCyclic);
    EXPECT_EQ(PcRegisterAdapterPowerManagement(wave, functional()), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PcRegisterAdapterPowerManagement(adapter, physical.device), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PcRegisterAdapterPowerManagement(adapter, functional()), STATUS_SUCCESS);
    EXPECT_EQ(PcRegisterAdapterPowerManagement(adapter, functional()), STATUS_SUCCESS);
    wave->Release();
    adapter->Release(); // the device holds it until removal
}

TEST_F(ToyDeviceTest, AddingRefusesWhatCannotMakeAnAdapterDevice) {
    const struct {
        const char* what;
        io::DeviceObject* device;
        StartDeviceRoutine start;
        std::uint32_t maxObjects;
        std::uint32_t extension;
    } cases[] = {
        {"no physical device", nullptr, toyStartDevice, 1, 0},
        {"no start routine", physical.device, nullptr, 1, 0},
        {"no subdevices", physical.device, toyStartDevice, 0, 0},
        {"an extension without room for the port layer", physical.device, toyStartDevice, 1,
         portClassExtensionSize - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PcAddAdapterDevice(&driver, c.device, c.start, c.maxObjects, c.extension),
                  STATUS_INVALID_PARAMETER)
            << c.what;
        EXPECT_EQ(functional(), nullptr) << c.what;
    }
    EXPECT_EQ(PcInitializeAdapterDriver(&driver, nullptr, nullptr), STATUS_INVALID_PARAMETER);
}

TEST_F(ToyDeviceTest, AddingFailsCleanlyWhenThePoolRefuses) {
    kernel::failPoolTag(kernel::poolTag("PcAd"));
    EXPECT_EQ(addDevice(), kernel::STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    EXPECT_EQ(functional(), nullptr);
}

} // namespace
} // namespace portcls::testing
