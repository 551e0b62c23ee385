// Property and event requests on the toy's topology filter: the item's
// verbs filter GET and SET before the handler runs, basic support always
// reaches it, unknown properties and nodes are refused, and events raised
// by the miniport reach exactly the entries enabled on their node. The same
// requests come from user mode as device controls on the filter's file.
#include "platform/io/device_interface.h"
#include "platform/io/io_control_code.h"
#include "platform/io/user_process.h"
#include "platform/ks/jack.h"
#include "platform/portcls/subdevice_access.h"
#include "toy_device_fixture.h"

#include <gtest/gtest.h>

namespace portcls::testing {
namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
namespace verb = ks::property_verb;

class FilterRequestTest : public ToyDeviceTest {
protected:
    void SetUp() override {
        start();
        ASSERT_EQ(topology.open(functional(), u"topology"), STATUS_SUCCESS); // any case
    }
    void TearDown() override {
        topology.close();
        remove();
    }

    NTSTATUS request(std::uint32_t node, const kernel::Guid& set, std::uint32_t id,
                     std::uint32_t flags, std::uint32_t channel, void* value,
                     std::uint32_t valueSize, std::uint32_t* returned) {
        return topology.property({set, id, flags}, node, &channel, sizeof channel, value, valueSize,
                                 returned);
    }

    FilterHandle topology;
};

TEST_F(FilterRequestTest, TheItemsVerbsFilterRequestsBeforeTheHandler) {
    const struct {
        const char* what;
        std::uint32_t node;
        const kernel::Guid* set;
        std::uint32_t id;
        std::uint32_t verb;
        NTSTATUS status;
        const char* handler;    // null: none runs
        std::uint32_t returned; // the bytes the handler wrote
    } cases[] = {
        {"volume get", 0, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::get,
         STATUS_SUCCESS, "volume handler", 4},
        {"volume get naming the node", 0, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
         verb::get | verb::topology, STATUS_SUCCESS, "volume handler", 4},
        {"mute set, not among its verbs", 0, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_MUTE,
         verb::set, kernel::STATUS_INVALID_DEVICE_REQUEST, nullptr, 0},
        {"mute basic support, not among its verbs", 0, &ks::KSPROPSETID_Audio,
         ks::KSPROPERTY_AUDIO_MUTE, verb::basicSupport, STATUS_SUCCESS, "mute handler", 0},
        {"jack set on the filter", nodeNone, &ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION,
         verb::set, kernel::STATUS_INVALID_DEVICE_REQUEST, nullptr, 0},
        {"jack get on the filter", nodeNone, &ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION,
         verb::get, STATUS_SUCCESS, "jack handler", sizeof(ks::JackDescription)},
        {"volume on the filter, which has none", nodeNone, &ks::KSPROPSETID_Audio,
         ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::get, kernel::STATUS_NOT_SUPPORTED, nullptr, 0},
        {"bass on the volume node", 0, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_BASS, verb::get,
         kernel::STATUS_NOT_SUPPORTED, nullptr, 0},
        {"a node the filter lacks", 1, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
         verb::get, kernel::STATUS_INVALID_PARAMETER, nullptr, 0},
        {"no verb", 0, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, 0,
         kernel::STATUS_INVALID_PARAMETER, nullptr, 0},
        {"two verbs at once", 0, &ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
         verb::get | verb::set, kernel::STATUS_INVALID_PARAMETER, nullptr, 0},
    };
    for (const auto& c : cases) {
        state.log.clear();
        unsigned char value[64] = {};
        std::uint32_t returned = 99;
        EXPECT_EQ(request(c.node, *c.set, c.id, c.verb, 0, value, sizeof value, &returned),
                  c.status)
            << c.what;
        const std::vector<std::string> ran =
            c.handler != nullptr ? std::vector<std::string>{c.handler} : std::vector<std::string>{};
        EXPECT_EQ(state.log, ran) << c.what;
        EXPECT_EQ(returned, c.returned) << c.what;
    }
}

TEST_F(FilterRequestTest, ValuesTravelBothWaysWithTheBytesTheHandlerWrote) {
    std::int32_t value = -300;
    std::uint32_t returned = 0;
    EXPECT_EQ(request(0, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::set, 1,
                      &value, 4, &returned),
              STATUS_SUCCESS);
    EXPECT_EQ(state.volume[1], -300);
    value = 0;
    EXPECT_EQ(request(0, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::get, 0,
                      &value, 4, &returned),
              STATUS_SUCCESS);
    EXPECT_EQ(value, -100);
    EXPECT_EQ(returned, 4u);
    // A sizing answer reports the bytes needed.
    EXPECT_EQ(request(0, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
                      verb::basicSupport, 0, nullptr, 0, &returned),
              kernel::STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(returned, sizeof(ks::PropertyDescription));
}

TEST_F(FilterRequestTest, AnInstanceOrValueSizeWithoutItsBufferIsRefused) {
    std::uint32_t returned = 0;
    EXPECT_EQ(
        topology.property({ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::get}, 0,
                          nullptr, 4, nullptr, 0, &returned),
        kernel::STATUS_INVALID_PARAMETER);
    std::uint32_t channel = 0;
    EXPECT_EQ(
        topology.property({ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::get}, 0,
                          &channel, 4, nullptr, 4, &returned),
        kernel::STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(state.log.empty());
}

TEST_F(FilterRequestTest, EventsReachTheEntriesEnabledOnTheirNode) {
    kernel::Event raised(kernel::EventType::Notification, false);
    EventHandle first;
    EventHandle second;
    ASSERT_EQ(first.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
                         0, &raised),
              STATUS_SUCCESS);
    ASSERT_EQ(
        second.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE, 0),
        STATUS_SUCCESS);
    std::int32_t value = -5;
    std::uint32_t returned = 0;
    ASSERT_EQ(request(0, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::set, 0,
                      &value, 4, &returned),
              STATUS_SUCCESS);
    EXPECT_EQ(first.signalled(), 1u);
    EXPECT_EQ(second.signalled(), 1u);
    EXPECT_TRUE(raised.readState());

    // Raises for another node, or another event, pass the entries by.
    state.topologyEvents->GenerateEventList(&ks::KSEVENTSETID_AudioControlChange,
                                            ks::KSEVENT_CONTROL_CHANGE, false, 0, true, 3);
    state.topologyEvents->GenerateEventList(&ks::KSEVENTSETID_AudioControlChange, 7, false, 0,
                                            false, 0);
    EXPECT_EQ(first.signalled(), 1u);

    first.close();
    ASSERT_EQ(request(0, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, verb::set, 0,
                      &value, 4, &returned),
              STATUS_SUCCESS);
    EXPECT_EQ(second.signalled(), 2u);
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "event handler 1"), 2);
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "event handler 2"), 1);
}

TEST_F(FilterRequestTest, EventsTheTablesLackAreRefused) {
    EventHandle event;
    EXPECT_EQ(event.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
                         nodeNone),
              kernel::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(event.open(topology, ks::KSEVENTSETID_AudioControlChange, 5, 0),
              kernel::STATUS_NOT_SUPPORTED);
    EXPECT_EQ(
        event.open(topology, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE, 4),
        kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(event.signalled(), 0u);
}

TEST_F(FilterRequestTest, FiltersOpenOnlyByARegisteredName) {
    FilterHandle filter;
    EXPECT_EQ(filter.open(functional(), u"Topo"), kernel::STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_FALSE(filter.isOpen());
    EXPECT_EQ(filter.open(physical.device, u"Topology"), kernel::STATUS_INVALID_DEVICE_REQUEST);
}

// User mode opens the filter by its category interface and sends the
// property as a device control: the node property head, then the channel.
TEST_F(FilterRequestTest, UserModeSendsPropertiesAsDeviceControlsOnTheFiltersFile) {
    const std::vector<std::u16string> links = io::enabledDeviceInterfaces(ks::KSCATEGORY_TOPOLOGY);
    ASSERT_EQ(links.size(), 1u);
    io::UserProcess process;
    std::uint32_t file = 0;
    ASSERT_EQ(process.openDeviceInterface(links[0], &file), STATUS_SUCCESS);

    ks::NodePropertyAudioChannel input{};
    input.NodeProperty.Property = {ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
                                   verb::get | verb::topology};
    input.NodeProperty.NodeId = 0;
    input.Channel = 1;
    std::int32_t value = 0;
    io::IoStatusBlock status;
    EXPECT_EQ(process.deviceIoControl(file, ks::IOCTL_KS_PROPERTY, &input, sizeof input, &value,
                                      sizeof value, &status),
              STATUS_SUCCESS);
    EXPECT_EQ(value, -200);
    EXPECT_EQ(status.information, 4u);

    // Short input, a foreign code.
    EXPECT_EQ(process.deviceIoControl(file, ks::IOCTL_KS_PROPERTY, &input, 20, &value, sizeof value,
                                      &status),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(process.deviceIoControl(file,
                                      io::controlCode(0x2F, 1, io::TransferMethod::Buffered, 0),
                                      &input, sizeof input, &value, sizeof value, &status),
              kernel::STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(process.closeHandle(file), STATUS_SUCCESS);
}

} // namespace
} // namespace portcls::testing
