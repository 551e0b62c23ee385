// Installing the toy adapter and taking it away again: the start passes
// down before StartDevice runs, subdevices are registered under their names
// with their category interfaces and connections, and removal leaves no
// device, interface, port or miniport behind.
#include "platform/io/device_interface.h"
#include "platform/io/power_request.h"
#include "platform/portcls/subdevice_access.h"
#include "platform/tests/io_test_devices.h"
#include "toy_device_fixture.h"

#include <gtest/gtest.h>

namespace portcls::testing {
namespace {

using kernel::STATUS_SUCCESS;

TEST_F(ToyDeviceTest, AddingMakesTheFunctionalDeviceOnTopWithTheDriversExtension) {
    ASSERT_EQ(addDevice(), STATUS_SUCCESS);
    ASSERT_NE(functional(), nullptr);
    EXPECT_EQ(functional()->driver(), &driver);
    EXPECT_EQ(functional()->extensionSize(), toyExtensionSize);
    EXPECT_EQ(functional()->stackSize(), 2);
    EXPECT_EQ(state.startCalls, 0);
    remove();
    EXPECT_EQ(functional(), nullptr);
}

TEST_F(ToyDeviceTest, StartRunsStartDeviceOnceTheStackBelowStartedWithTheResources) {
    bool physicalStarted = false;
    physical.on(io::major::Pnp) = [&](io::DeviceObject*, io::Irp* irp) {
        if (io::currentStackLocation(irp)->minorFunction == io::minorPnp::StartDevice) {
            physicalStarted = true;
            EXPECT_EQ(state.startCalls, 0) << "StartDevice before the start went down";
        }
        return io::testing::completeWith(irp, STATUS_SUCCESS);
    };
    start();
    EXPECT_TRUE(physicalStarted);
    EXPECT_EQ(state.startCalls, 1);
    EXPECT_EQ(state.resourcesSeen, &resources);
    remove();
}

TEST_F(ToyDeviceTest, AStartTheStackBelowRefusesNeverReachesStartDevice) {
    physical.on(io::major::Pnp) = [](io::DeviceObject*, io::Irp* irp) {
        return io::testing::completeWith(irp, kernel::STATUS_UNSUCCESSFUL);
    };
    ASSERT_EQ(addDevice(), STATUS_SUCCESS);
    EXPECT_EQ(sendPnp(io::minorPnp::StartDevice, &resources), kernel::STATUS_UNSUCCESSFUL);
    EXPECT_EQ(state.startCalls, 0);
    physical.on(io::major::Pnp) = nullptr;
    remove();
}

TEST_F(ToyDeviceTest, SubdevicesAreRecordedWithNamesCategoriesLinksAndConnections) {
    start();
    const std::vector<SubdeviceRecord> subdevices = registeredSubdevices(functional());
    ASSERT_EQ(subdevices.size(), 2u);
    EXPECT_EQ(subdevices[0].name, u"Topology");
    EXPECT_EQ(subdevices[0].categories,
              (std::vector<kernel::Guid>{ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_TOPOLOGY}));
    EXPECT_EQ(subdevices[1].name, u"Wave");
    EXPECT_EQ(subdevices[1].categories,
              (std::vector<kernel::Guid>{ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_RENDER}));
    // One enabled interface per category, told apart by the name.
    const std::u16string prefix = u"\\??\\USB#VID_1B3F&PID_2008&MI_00#7&1a2b3c&0&0000#";
    EXPECT_EQ(
        io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO),
        (std::vector<std::u16string>{prefix + u"{8F0C9F2E-1900-4433-AC18-92EE62586ECB}\\Topology",
                                     prefix + u"{8F0C9F2E-1900-4433-AC18-92EE62586ECB}\\Wave"}));
    EXPECT_EQ(subdevices[1].links, (std::vector<std::u16string>{
                                       prefix + u"{8F0C9F2E-1900-4433-AC18-92EE62586ECB}\\Wave",
                                       prefix + u"{4B28BF43-E275-4332-A16A-C57AF5CBA056}\\Wave"}));
    EXPECT_EQ(registeredPhysicalConnections(functional()),
              (std::vector<PhysicalConnectionRecord>{{u"Wave", 1, u"Topology", 0}}));
    remove();
}

TEST_F(ToyDeviceTest, RemovalLeavesNoInterfacePortOrMiniport) {
    start();
    const std::uint64_t before = kernel::poolAllocationSerial();
    remove();
    EXPECT_EQ(functional(), nullptr);
    EXPECT_TRUE(io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO).empty());
    EXPECT_TRUE(io::enabledDeviceInterfaces(ks::KSCATEGORY_RENDER).empty());
    EXPECT_EQ(liveToys.load(), toysAtStart);
    EXPECT_EQ(kernel::poolLiveBlocks(kernel::poolTag("PcPo")), 0u);
    EXPECT_EQ(kernel::poolLiveBlocks(kernel::poolTag("PcAd")), 0u);
    EXPECT_TRUE(kernel::poolBlocksSince(before).empty());
}

// A driver that takes plug and play over hands removal to the port layer
// and then still reads its own part of the extension, as adapters do to
// drop what they hold; the device's memory must still be there.
kernel::NTSTATUS readingAfterRemoval(io::DeviceObject* device, io::Irp* irp) {
    const bool removal = io::currentStackLocation(irp)->minorFunction == io::minorPnp::RemoveDevice;
    const kernel::NTSTATUS status = PcDispatchIrp(device, irp);
    if (removal) {
        const auto* own =
            static_cast<const unsigned char*>(device->extension()) + portClassExtensionSize;
        world->log.push_back("driver part " + std::to_string(own[0]));
    }
    return status;
}

TEST_F(ToyDeviceTest, TheDriverMayReadItsExtensionAfterPassingRemovalOn) {
    driver.majorFunction[io::major::Pnp] = readingAfterRemoval;
    start();
    static_cast<unsigned char*>(functional()->extension())[portClassExtensionSize] = 42;
    holdTopWhileSending = false;
    remove();
    EXPECT_EQ(state.log, std::vector<std::string>{"driver part 42"});
}

TEST_F(ToyDeviceTest, SurpriseRemovalDisablesTheInterfacesAndRefusesNewFilters) {
    start();
    EXPECT_EQ(sendPnp(io::minorPnp::SurpriseRemoval), STATUS_SUCCESS);
    EXPECT_TRUE(io::enabledDeviceInterfaces(ks::KSCATEGORY_AUDIO).empty());
    FilterHandle filter;
    EXPECT_EQ(filter.open(functional(), u"Topology"), kernel::STATUS_NO_SUCH_DEVICE);
    remove();
}

TEST_F(ToyDeviceTest, OtherPlugAndPlayRequestsPassDownUntouched) {
    std::vector<std::uint8_t> seen;
    physical.on(io::major::Pnp) = [&](io::DeviceObject*, io::Irp* irp) {
        seen.push_back(io::currentStackLocation(irp)->minorFunction);
        return io::testing::completeWith(irp, kernel::STATUS_NOT_SUPPORTED);
    };
    ASSERT_EQ(addDevice(), STATUS_SUCCESS);
    EXPECT_EQ(sendPnp(io::minorPnp::QueryStopDevice), kernel::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(seen, std::vector<std::uint8_t>{io::minorPnp::QueryStopDevice});
    physical.on(io::major::Pnp) = nullptr;
    remove();
}

TEST_F(ToyDeviceTest, TheAdapterAmendsTheCapabilitiesTheStackBelowReported) {
    physical.on(io::major::Pnp) = [](io::DeviceObject*, io::Irp* irp) {
        const io::IoStackLocation* location = io::currentStackLocation(irp);
        if (location->minorFunction == io::minorPnp::QueryCapabilities)
            location->parameters.deviceCapabilities.capabilities->deviceWake =
                io::DevicePowerState::D1;
        return io::testing::completeWith(irp, STATUS_SUCCESS);
    };
    start();
    state.log.clear();
    io::DeviceCapabilities capabilities{};
    EXPECT_EQ(sendPnp(io::minorPnp::QueryCapabilities, nullptr, &capabilities), STATUS_SUCCESS);
    EXPECT_EQ(state.log, std::vector<std::string>{"adapter capabilities D1"});
    EXPECT_EQ(capabilities.deviceWake, io::DevicePowerState::D2);
    physical.on(io::major::Pnp) = nullptr;
    remove();
}

TEST_F(ToyDeviceTest, CapabilitiesTheStackBelowRefusedNeverReachTheAdapter) {
    start();
    physical.on(io::major::Pnp) = [](io::DeviceObject*, io::Irp* irp) {
        return io::testing::completeWith(irp, kernel::STATUS_NOT_SUPPORTED);
    };
    state.log.clear();
    io::DeviceCapabilities capabilities{};
    EXPECT_EQ(sendPnp(io::minorPnp::QueryCapabilities, nullptr, &capabilities),
              kernel::STATUS_NOT_SUPPORTED);
    EXPECT_TRUE(state.log.empty());
    physical.on(io::major::Pnp) = nullptr;
    remove();
}

class ToyPowerTest : public ToyDeviceTest {
protected:
    ToyPowerTest() {
        io::setPowerRequestRoutine(
            [](void*, io::DeviceObject* device, io::Irp* irp) {
                return io::testing::sendToTopOfStack(device, irp);
            },
            nullptr);
    }
    static void completed(io::DeviceObject*, std::uint8_t, io::DevicePowerState, void* self,
                          const io::IoStatusBlock& ioStatus) {
        static_cast<ToyPowerTest*>(self)->outcomes.push_back(ioStatus.status);
    }
    void request(io::DevicePowerState power) {
        EXPECT_EQ(io::requestDevicePowerState(functional(), power, completed, this),
                  kernel::STATUS_PENDING);
        clock.settle();
    }

    std::vector<kernel::NTSTATUS> outcomes;
};

TEST_F(ToyPowerTest, DeviceStatesReachTheAdapterThenEachMiniportInOrder) {
    start();
    request(io::DevicePowerState::D3);
    request(io::DevicePowerState::D3); // no change: nobody is told
    request(io::DevicePowerState::D0);
    EXPECT_EQ(state.log, (std::vector<std::string>{"adapter D3", "topology D3", "wave D3",
                                                   "adapter D0", "topology D0", "wave D0"}));
    EXPECT_EQ(outcomes, std::vector<kernel::NTSTATUS>(3, STATUS_SUCCESS));
    remove();
}

} // namespace
} // namespace portcls::testing
