// The driver loaded by the simulated system from its entry point and started
// on the simulated headsets: what the port layer and the system see
// registered, names across restarts, starts that fail at every step, and
// the removals.
#include "driver/adapter/driver_entry.h"
#include "driver/common/interface_ids.h"
#include "platform/io/device_interface.h"
#include "platform/io/file_object.h"
#include "platform/io/irp.h"
#include "platform/io/user_process.h"
#include "platform/kernel/os_version.h"
#include "platform/kernel/pool.h"
#include "platform/ks/topology_ids.h"
#include "platform/portcls/pool_object.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/os/user_client.h"
#include "sim/usb/fixtures.h"
#include "stand_in_wave.h"
#include "test_driver_parts.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
using Names = std::vector<std::u16string>;
using Interfaces = std::vector<std::pair<std::u16string, bool>>;

// The release 1 headset with the firmware string the release 1 model
// identifies a device by.
usbsim::FunctionDescription NamedHeadset() {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = 0x50, .text = u"USB Headset FW"});
    return description;
}

class DriverStartTest : public ::testing::Test {
protected:
    DriverStartTest() {
        entry_test::standInWaveFaults = {};
        entry_test::adapterChoice = {};
    }
    ~DriverStartTest() override {
        system.reset();
        entry_test::adapterChoice = {};
        kernel::clearPoolFaults();
        kernel::setOsVersion(kernel::defaultOsVersion);
    }

    void Make(usbsim::FunctionDescription description) { system.emplace(std::move(description)); }
    io::DeviceObject* Functional() const { return system->device()->attachedDevice(); }
    Names SubdeviceNames() const {
        Names names;
        for (const portcls::SubdeviceRecord& record : portcls::registeredSubdevices(Functional()))
            names.push_back(record.name);
        return names;
    }
    // The private interfaces registered on the device: reference string and
    // whether enabled.
    Interfaces PrivateInterfaces() {
        Interfaces found;
        for (const io::DeviceInterfaceEntry& entry :
             system->host().deviceInterfaces(system->device()))
            if (entry.referenceString.starts_with(u"HX"))
                found.emplace_back(entry.referenceString, entry.enabled);
        return found;
    }

    std::optional<ossim::SimulatedSystem> system;
};

TEST_F(DriverStartTest, StartedHeadsetRegistersTopologyNamedEndpointsConnectionsAndInterfaces) {
    struct Case {
        const char* name;
        usbsim::FunctionDescription (*device)();
        Names subdevices;
        bool asioEnabled; // an endpoint serves ASIO
    };
    const Case cases[] = {
        {"release 1", NamedHeadset, {u"GlobalTopo", u"HPOut00Wave", u"RecIn00Wave"}, false},
        {"release 2",
         usbsim::fixtures::uac2FeedbackDevice,
         {u"GlobalTopo", u"HPOut00Wave", u"MicIn00Wave"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make(c.device());
        ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
        ASSERT_EQ(system->plug(), STATUS_SUCCESS);
        EXPECT_EQ(SubdeviceNames(), c.subdevices);
        // One connection per endpoint, between its wave filter and the topology.
        for (const portcls::PhysicalConnectionRecord& connection :
             system->host().physicalConnections(system->device()))
            EXPECT_TRUE(connection.fromName == u"GlobalTopo" || connection.toName == u"GlobalTopo");
        EXPECT_EQ(system->host().physicalConnections(system->device()).size(), 2u);
        for (const portcls::SubdeviceRecord& record : portcls::registeredSubdevices(Functional()))
            EXPECT_FALSE(record.categories.empty())
                << std::string(record.name.begin(), record.name.end());
        EXPECT_EQ(PrivateInterfaces(), (Interfaces{{u"HXEnumPrivateInterface", true},
                                                   {u"HXASIOPrivateInterface", c.asioEnabled}}));
        EXPECT_EQ(system->remove(), STATUS_SUCCESS);
        EXPECT_EQ(system->host().stacks(), 0u);
        system.reset();
    }
}

} // namespace

namespace {

TEST_F(DriverStartTest, RestartAfterStopContinuesTheEndpointNumbers) {
    Make(NamedHeadset());
    ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system->plug(), STATUS_SUCCESS);
    ASSERT_EQ(system->host().stopDevice(system->device()), STATUS_SUCCESS);
    ASSERT_EQ(system->host().startDevice(system->device()), STATUS_SUCCESS);
    EXPECT_EQ(SubdeviceNames(), (Names{u"GlobalTopo", u"HPOut01Wave", u"RecIn01Wave"}));
    EXPECT_EQ(system->remove(), STATUS_SUCCESS);
}

TEST_F(DriverStartTest, OlderSystemDoesNotLoad) {
    Make(NamedHeadset());
    kernel::setOsVersion({5, 0, 2195, 4});
    EXPECT_EQ(system->load(DriverEntry), kernel::STATUS_UNSUCCESSFUL);
    kernel::setOsVersion({5, 1, 2600, 0});
    EXPECT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
}

// A start that fails anywhere leaves the device as it was added: nothing
// registered, no interface enabled, and the removal frees every block.
TEST_F(DriverStartTest, StartFailingAtAnyAllocationLeavesNothingBehind) {
    // The tags of the blocks a start makes, the lasting and the passing ones.
    std::set<kernel::PoolTag> tags{kernel::poolTag("Temp")};
    Make(NamedHeadset());
    ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
    const std::uint64_t before = kernel::poolAllocationSerial();
    ASSERT_EQ(system->plug(), STATUS_SUCCESS);
    const std::vector<kernel::PoolBlock> blocks = kernel::poolBlocksSince(before);
    ASSERT_FALSE(blocks.empty());
    for (const kernel::PoolBlock& block : blocks) tags.insert(block.tag);
    system.reset();

    std::size_t failedStarts = 0;
    for (const kernel::PoolTag tag : tags) {
        SCOPED_TRACE(kernel::poolTagText(tag));
        Make(NamedHeadset());
        ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
        ASSERT_EQ(system->host().addDevice(system->device()), STATUS_SUCCESS);
        kernel::failPoolTag(tag);
        const NTSTATUS started = system->host().startDevice(system->device());
        kernel::clearPoolFaults();
        if (!kernel::succeeded(started)) {
            ++failedStarts;
            EXPECT_TRUE(SubdeviceNames().empty());
            EXPECT_EQ(PrivateInterfaces(), (Interfaces{{u"HXEnumPrivateInterface", false},
                                                       {u"HXASIOPrivateInterface", false}}));
        }
        EXPECT_EQ(system->remove(), STATUS_SUCCESS);
        system.reset();
    }
    EXPECT_GT(failedStarts, tags.size() / 2);
}

TEST_F(DriverStartTest, LateStartFailureUninstallsTheEndpointsAlreadyInstalled) {
    Make(NamedHeadset());
    entry_test::standInWaveFaults.refusedEndpoint = 1;
    ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system->host().addDevice(system->device()), STATUS_SUCCESS);
    EXPECT_EQ(system->host().startDevice(system->device()), kernel::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(SubdeviceNames().empty());
    EXPECT_TRUE(portcls::registeredPhysicalConnections(Functional()).empty());
    // The next start names the endpoints on from where the failed one left.
    entry_test::standInWaveFaults = {};
    ASSERT_EQ(system->host().startDevice(system->device()), STATUS_SUCCESS);
    EXPECT_EQ(SubdeviceNames(), (Names{u"GlobalTopo", u"HPOut01Wave", u"RecIn01Wave"}));
    EXPECT_EQ(system->remove(), STATUS_SUCCESS);
}

TEST_F(DriverStartTest, SurpriseRemovalUninstallsEndpointsAndDisablesInterfacesThenRemoveFrees) {
    Make(usbsim::fixtures::uac2FeedbackDevice());
    ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system->plug(), STATUS_SUCCESS);
    ASSERT_EQ(system->host().surpriseRemove(system->device()), STATUS_SUCCESS);
    // The topology stays registered until the removal; its interface is off.
    EXPECT_EQ(SubdeviceNames(), (Names{u"GlobalTopo"}));
    for (const io::DeviceInterfaceEntry& entry : system->host().deviceInterfaces(system->device()))
        EXPECT_FALSE(entry.enabled);
    EXPECT_EQ(system->host().removeDevice(system->device()), STATUS_SUCCESS);
    EXPECT_EQ(system->host().stacks(), 0u);
    EXPECT_EQ(system->device()->attachedDevice(), nullptr);
}

// Sends a request of the kind to the top of the started stack on a file of
// that name, as the system would after a user-mode call.
class FileRequest {
public:
    FileRequest(kernel::ManualClock& clock, io::DeviceObject* top, std::u16string name)
        : m_clock(clock), m_name(std::move(name)) {
        io::createFileObject(top, kernel::makeUnicodeString(m_name.c_str()), &m_file);
        m_irp = io::allocateIrp(top->stackSize());
        m_top = top;
    }
    ~FileRequest() {
        io::freeIrp(m_irp);
        kernel::dereferenceObject(*m_file);
    }
    FileRequest(const FileRequest&) = delete;
    FileRequest& operator=(const FileRequest&) = delete;

    NTSTATUS Send(std::uint8_t major) {
        io::reuseIrp(m_irp, kernel::STATUS_NOT_SUPPORTED);
        io::IoStackLocation* location = io::nextStackLocation(m_irp);
        location->majorFunction = major;
        location->fileObject = m_file;
        location->parameters.deviceIoControl = {0, 0, 0x222000, nullptr};
        io::setCompletionRoutine(m_irp, KeepRequest, nullptr, true, true, true);
        io::callDriver(m_top, m_irp);
        // Completion runs deferred.
        m_clock.settle();
        return m_irp->ioStatus.status;
    }

private:
    static NTSTATUS KeepRequest(io::DeviceObject*, io::Irp*, void*) {
        return kernel::STATUS_MORE_PROCESSING_REQUIRED;
    }

    kernel::ManualClock& m_clock;
    std::u16string m_name;
    io::DeviceObject* m_top = nullptr;
    io::FileObject* m_file = nullptr;
    io::Irp* m_irp = nullptr;
};

TEST_F(DriverStartTest, AsioFileRequestsEndInTheDriverWhileOthersGoToThePortLayer) {
    Make(usbsim::fixtures::uac2FeedbackDevice());
    ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system->plug(), STATUS_SUCCESS);
    // The ASIO file's requests reach the adapter's ASIO interface whatever
    // the name's case: create opens a client, a control code the interface
    // does not know is refused, close lets the client go before the file
    // goes, as the system does.
    for (const char16_t* name : {u"\\HXASIOPrivateInterface", u"\\hxasioprivateinterface"}) {
        SCOPED_TRACE(testing::Message() << char(name[1]));
        FileRequest request(system->clock(), Functional(), name);
        EXPECT_EQ(request.Send(io::major::Create), STATUS_SUCCESS);
        EXPECT_EQ(request.Send(io::major::DeviceControl), kernel::STATUS_NOT_SUPPORTED);
        EXPECT_EQ(request.Send(io::major::Close), STATUS_SUCCESS);
    }
    // Another name goes to the port layer, which knows no such filter.
    FileRequest other(system->clock(), Functional(), u"\\HXASIOPrivateInterfaceX");
    const NTSTATUS refused = other.Send(io::major::Create);
    EXPECT_NE(refused, kernel::STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(kernel::succeeded(refused));
    EXPECT_EQ(system->remove(), STATUS_SUCCESS);
}

// A device whose adapter answers no ASIO interface still enables the
// interface for its ASIO endpoint, but the file's requests end in the driver:
// create and close with STATUS_UNSUCCESSFUL, a device control with
// STATUS_INVALID_PARAMETER. A user's open fails and keeps no handle, and
// nothing of the attempts is left once the device goes.
TEST_F(DriverStartTest, WithoutTheAdaptersAsioInterfaceTheAsioFileIsRefused) {
    const std::size_t blocks = kernel::poolLiveBlocks();
    const std::size_t handles = io::userHandlesOpen();
    entry_test::adapterChoice.withoutAsio = true;
    Make(usbsim::fixtures::uac2AsioDevice());
    ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
    ASSERT_EQ(system->plug(), STATUS_SUCCESS);
    EXPECT_EQ(PrivateInterfaces(),
              (Interfaces{{u"HXEnumPrivateInterface", true}, {u"HXASIOPrivateInterface", true}}));
    {
        FileRequest request(system->clock(), Functional(), u"\\HXASIOPrivateInterface");
        EXPECT_EQ(request.Send(io::major::Create), kernel::STATUS_UNSUCCESSFUL);
        EXPECT_EQ(request.Send(io::major::DeviceControl), kernel::STATUS_INVALID_PARAMETER);
        EXPECT_EQ(request.Send(io::major::Close), kernel::STATUS_UNSUCCESSFUL);
    }
    {
        ossim::UserClient user(system->clock());
        std::uint32_t file = 0;
        EXPECT_EQ(user.open(GUID_ASIO_PRIVATE_INTERFACE, AsioInterfaceReference, &file),
                  kernel::STATUS_UNSUCCESSFUL);
        EXPECT_EQ(file, 0u);
    }
    EXPECT_EQ(io::userHandlesOpen(), handles);
    EXPECT_EQ(system->remove(), STATUS_SUCCESS);
    system.reset();
    EXPECT_EQ(kernel::poolLiveBlocks(), blocks);
}

// An add refused by the port layer, or whose private interfaces cannot be
// registered (their link strings), leaves nothing attached: the system sends
// a device it failed to add no removal.
TEST_F(DriverStartTest, RefusedAddDeviceKeepsNoReferenceOnTheStack) {
    for (const kernel::PoolTag tag : {portcls::pool_tag::adapterDevice, kernel::poolTag("KStr")}) {
        SCOPED_TRACE(kernel::poolTagText(tag));
        const std::size_t blocks = kernel::poolLiveBlocks();
        Make(NamedHeadset());
        ASSERT_EQ(system->load(DriverEntry), STATUS_SUCCESS);
        kernel::failPoolTag(tag);
        EXPECT_EQ(system->host().addDevice(system->device()),
                  kernel::STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        EXPECT_EQ(system->device()->attachedDevice(), nullptr);
        EXPECT_EQ(system->host().stacks(), 0u);
        // A reference left on the bus's device would keep its block past the
        // system's end.
        system.reset();
        EXPECT_EQ(kernel::poolLiveBlocks(), blocks);
    }
}

} // namespace
