// The topology filter's properties and events, sent from the system's side
// through the port to a graph that holds one node of every kind.
#include "driver/engine/control_change.h"
#include "driver/usermode/topology_properties.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/jack.h"
#include "topology_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace topology_test;
using kernel::Guid;
namespace verb = ks::property_verb;

constexpr std::uint32_t Get = verb::get, Set = verb::set, Support = verb::basicSupport;
constexpr std::uint32_t Filter = 0; // in place of an entity id: the filter itself
constexpr std::uint32_t HeadphonePin = 2;

const JackDescription headphoneJacks[] = {{3, 0x00FF00, 1, 2, 0, 0, 1, 1, 0},
                                          {1, 0x0000FF, 1, 2, 0, 0, 0, 0, 0}};

// One node of every kind in one chain from the streaming input (entity 1)
// to the headphones (entity 3); node n is entity 20 + n.
class TopologyProperties : public TopologyTest {
protected:
    void SetUp() override {
        TopologyTest::SetUp();
        AddTerminal(1, false, 0);
        AddTerminal(2, false, 7);
        AddLevel(20, item_type::volume, 1);
        AddOnOff(21, item_type::mute, 20);
        AddOnOff(22, item_type::automaticGain, 21, 1);
        AddOnOff(23, item_type::loudness, 22);
        AddLevel(24, item_type::level, 23);
        AddLevel(25, item_type::bass, 24);
        AddLevel(26, item_type::mid, 25);
        AddLevel(27, item_type::treble, 26);
        auto* selection = Make<CTerminalTypeItem>(28u);
        const std::uint32_t types[] = {2, 1, 17};
        EXPECT_EQ(selection->SetUpTypes(3, types), STATUS_SUCCESS);
        Add(selection, {27});
        AddFake(29, item_type::captureBoundControl, {28});
        AddLevel(30, 16, 29);
        AddFake(31, item_type::rangedValue, {30});
        AddOnOff(32, item_type::onOff, 31, 1);
        AddFake(33, item_type::captureBoundSwitch, {32});
        parameters = Make<CTestParameters>(34u);
        EXPECT_EQ(parameters->SetUpParameters(33), STATUS_SUCCESS);
        Add(parameters, {});
        AddOnOff(35, item_type::deviceSwitch, 34, 1);
        record = Make<CTestEffectRecord>(36u);
        EXPECT_EQ(record->SetUpRecord(EffectRecordName, 6, 35), STATUS_SUCCESS);
        Add(record, {});
        block = AddFake(37, item_type::controlBlock, {36});
        AddSelector(38, {37});
        AddSelector(39, {38, 2});
        AddMixer(40, {39});
        headphones =
            AddTerminal(3, true, 2, {40}, {std::begin(headphoneJacks), std::end(headphoneJacks)});
        headphones->StoreTerminalRecord({{1, 2, 3, 4, 5, 6, 7, 8}});
        ASSERT_EQ(Install(), STATUS_SUCCESS);
        ASSERT_EQ(Descriptor().NodeCount, 21u);
    }

    std::uint32_t Node(std::uint32_t entity) const {
        return entity == Filter ? portcls::nodeNone : NodeOf(entity);
    }

    CTestParameters* parameters = nullptr;
    CTestEffectRecord* record = nullptr;
    CFakeControl* block = nullptr;
    CTerminalItem* headphones = nullptr;
};

struct PropertyCase {
    const char* name;
    std::uint32_t entity;
    const Guid* set;
    std::uint32_t id;
    std::uint32_t verb;
    std::vector<std::uint32_t> instance;
    std::uint32_t room;
    std::vector<std::uint32_t> value;
    NTSTATUS status;
    std::uint32_t size; // checked for success and the sizing answers
};

const Guid& Audio = ks::KSPROPSETID_Audio;
constexpr std::uint32_t Volume = ks::KSPROPERTY_AUDIO_VOLUMELEVEL;
constexpr std::uint32_t DevSpecific = ks::KSPROPERTY_AUDIO_DEV_SPECIFIC;
constexpr NTSTATUS Ok = STATUS_SUCCESS, TooSmall = kernel::STATUS_BUFFER_TOO_SMALL,
                   Overflow = kernel::STATUS_BUFFER_OVERFLOW,
                   BadParameter = kernel::STATUS_INVALID_PARAMETER,
                   BadRequest = kernel::STATUS_INVALID_DEVICE_REQUEST,
                   Unsuccessful = kernel::STATUS_UNSUCCESSFUL,
                   NotSupported = kernel::STATUS_NOT_SUPPORTED;

// The room sizes 0, 4, 40 and the whole description of a basic-support reply.
std::vector<PropertyCase> Describe(const char* name, std::uint32_t entity, const Guid* set,
                                   std::uint32_t id, std::uint32_t full) {
    return {{name, entity, set, id, Support, {0}, 0, {}, TooSmall, full},
            {name, entity, set, id, Support, {0}, 4, {}, Ok, 4},
            {name, entity, set, id, Support, {0}, 40, {}, Ok, 40},
            {name, entity, set, id, Support, {0}, full, {}, Ok, full}};
}

std::vector<PropertyCase> PropertyCases() {
    std::vector<PropertyCase> cases;
    auto add = [&](std::vector<PropertyCase> more) {
        cases.insert(cases.end(), more.begin(), more.end());
    };
    add(Describe("volume, two channels", 20, &Audio, Volume, 88));
    add(Describe("mute, two channels", 21, &Audio, ks::KSPROPERTY_AUDIO_MUTE, 88));
    add(Describe("automatic gain, one channel", 22, &Audio, ks::KSPROPERTY_AUDIO_AGC, 72));
    add(Describe("value control", 24, &Audio, DevSpecific, 92));
    add(Describe("terminal-type selection", 28, &Audio, DevSpecific, 80));
    add(Describe("capture-bound control", 29, &Audio, DevSpecific, 80));
    add(Describe("second volume", 30, &Audio, Volume, 88));
    add(Describe("ranged value", 31, &Audio, DevSpecific, 64));
    add(Describe("capture-bound switch", 33, &Audio, DevSpecific, 80));
    add(Describe("effect parameters", 34, &Audio, DevSpecific, 80));
    add(Describe("effect record", 36, &Audio, DevSpecific, 80));
    add(Describe("control block", 37, &PROPSETID_Block, BLOCK_DATA, 80));
    add(Describe("selector of one input", 38, &Audio, DevSpecific, 64));
    const Guid* const Level = &PROPSETID_Level;
    const Guid* const Types = &PROPSETID_TypeList;
    const Guid* const Params = &PROPSETID_Parameters;
    const Guid* const Effect = &PROPSETID_EffectUnit;
    const Guid* const Block = &PROPSETID_Block;
    const Guid* const Name = &PROPSETID_NodeName;
    constexpr std::uint32_t Bass = ks::KSPROPERTY_AUDIO_BASS, Mute = ks::KSPROPERTY_AUDIO_MUTE,
                            Mux = ks::KSPROPERTY_AUDIO_MUX_SOURCE;
    // clang-format off
    add({
        // name                         entity set     id                         verb     instance room value  status        size
        {"switch, no members",              32, &Audio, DevSpecific,               Support, {},     0,  {},     TooSmall,     40},
        {"switch, no members",              32, &Audio, DevSpecific,               Support, {},     4,  {},     Ok,           4},
        {"switch, no members",              32, &Audio, DevSpecific,               Support, {},     40, {},     Ok,           40},
        {"switch get",                      35, &Audio, DevSpecific,               Get,     {},     4,  {},     Ok,           4},
        {"volume get",                      20, &Audio, Volume,                    Get,     {1},    4,  {},     Ok,           4},
        {"volume get without channel",      20, &Audio, Volume,                    Get,     {},     4,  {},     BadParameter, 0},
        {"volume get beyond the channels",  20, &Audio, Volume,                    Get,     {3},    4,  {},     BadParameter, 0},
        {"volume set",                      20, &Audio, Volume,                    Set,     {2},    4,  {0xFFFF0000}, Ok,     4},
        {"notifying level set",             20, Level,  LEVEL_NOTIFYING,           Set,     {0},    4,  {},     Ok,           4},
        {"bass on the mid node",            26, &Audio, Bass,                      Get,     {0},    4,  {},     BadParameter, 0},
        {"mute on channel 2 of 2",          21, &Audio, Mute,                      Get,     {2},    4,  {},     BadParameter, 0},
        {"value control get",               24, &Audio, DevSpecific,               Get,     {2},    4,  {},     Ok,           4},
        {"type selection set, listed",      28, &Audio, DevSpecific,               Set,     {},     4,  {17},   Ok,           4},
        {"type selection set, not listed",  28, &Audio, DevSpecific,               Set,     {},     4,  {9},    BadParameter, 0},
        {"type selection get",              28, &Audio, DevSpecific,               Get,     {},     4,  {},     BadRequest,   0},
        {"type list, no room",              28, Types,  TYPELIST_LIST,             Get,     {},     0,  {},     Overflow,     20},
        {"type list, short",                28, Types,  TYPELIST_LIST,             Get,     {},     19, {},     TooSmall,     20},
        {"type list",                       28, Types,  TYPELIST_LIST,             Get,     {},     20, {},     Ok,           20},
        {"type value, no room",             28, Types,  TYPELIST_VALUE,            Get,     {},     0,  {},     Overflow,     4},
        {"type value",                      28, Types,  TYPELIST_VALUE,            Get,     {},     4,  {},     Ok,           4},
        {"capture-bound get",               29, &Audio, DevSpecific,               Get,     {},     4,  {},     Ok,           4},
        {"ranged value set",                31, &Audio, DevSpecific,               Set,     {},     4,  {50},   Ok,           4},
        {"parameters, device-specific set", 34, &Audio, DevSpecific,               Set,     {},     4,  {1},    Ok,           4},
        {"parameters, device-specific get", 34, &Audio, DevSpecific,               Get,     {},     4,  {},     BadRequest,   0},
        {"parameters, identifier",          34, Params, PARAMETERS_INFO,           Get,     {},     16, {},     Ok,           16},
        {"parameters, count",               34, Params, PARAMETERS_COUNT,          Get,     {},     4,  {},     Ok,           4},
        {"parameters, info",                34, Params, PARAMETERS_PARAMETER_INFO, Get,     {2},    12, {},     Ok,           12},
        {"parameters, two",                 34, Params, PARAMETERS_GET,            Get,     {1, 2}, 16, {},     Ok,           16},
        {"parameters, two, short",          34, Params, PARAMETERS_GET,            Get,     {1, 2}, 15, {},     BadParameter, 0},
        {"effect, enable get",              36, &Audio, DevSpecific,               Get,     {},     4,  {},     Ok,           4},
        {"effect, count",                   36, Effect, EFFECTUNIT_COUNT,          Get,     {},     4,  {},     Ok,           4},
        {"effect, info",                    36, Effect, EFFECTUNIT_PARAMETER_INFO, Get,     {0},    12, {},     Ok,           12},
        {"effect, parameters",              36, Effect, EFFECTUNIT_PARAMETERS,     Get,     {0, 6}, 32, {},     Ok,           32},
        {"effect, a block set",             36, Block,  BLOCK_DATA,                Set,     {},     4,  {},     Unsuccessful, 0},
        {"block get",                       37, Block,  BLOCK_DATA,                Get,     {},     40, {},     Ok,           12},
        {"block, device-specific",          37, &Audio, DevSpecific,               Get,     {},     4,  {},     Unsuccessful, 0},
        {"block, effect set",               37, Effect, EFFECTUNIT_COUNT,          Get,     {},     4,  {},     Unsuccessful, 0},
        {"one-input selector get",          38, &Audio, DevSpecific,               Get,     {},     4,  {},     Unsuccessful, 0},
        {"one-input selector set",          38, &Audio, DevSpecific,               Set,     {},     4,  {},     Ok,           4},
        {"multiplexer get",                 39, &Audio, Mux,                       Get,     {},     4,  {},     Ok,           4},
        {"multiplexer set input 2",         39, &Audio, Mux,                       Set,     {},     4,  {2},    Ok,           4},
        {"multiplexer set input 3",         39, &Audio, Mux,                       Set,     {},     4,  {3},    BadParameter, 0},
        {"multiplexer described",           39, &Audio, Mux,                       Support, {},     40, {},     BadRequest,   0},
        {"mixer has no properties",         40, &Audio, DevSpecific,               Get,     {},     4,  {},     NotSupported, 0},
        {"node name of the value control",  24, Name,   NODENAME_IDENTIFIER,       Get,     {},     16, {},     Ok,           16},
        {"node name of a volume",           20, Name,   NODENAME_IDENTIFIER,       Get,     {},     16, {},     NotSupported, 0},
        {"version",                     Filter, Level,  LEVEL_VERSION,             Get,     {},     4,  {},     Ok,           4},
        {"version without room",        Filter, Level,  LEVEL_VERSION,             Get,     {},     3,  {},     BadParameter, 0},
    });
    // clang-format on
    return cases;
}

TEST_F(TopologyProperties, EveryNodeKindAnswersByVerbAndRoom) {
    for (const PropertyCase& c : PropertyCases()) {
        SCOPED_TRACE(std::string(c.name) + ", room " + std::to_string(c.room));
        std::vector<std::uint8_t> value(std::max<std::size_t>(c.room, c.value.size() * 4));
        if (!c.value.empty()) std::memcpy(value.data(), c.value.data(), c.value.size() * 4);
        const Reply reply =
            Property(*c.set, c.id, c.verb, Node(c.entity), c.instance, c.room, value);
        EXPECT_EQ(reply.status, c.status) << std::hex << static_cast<std::uint32_t>(reply.status);
        if (c.status == Ok || c.status == TooSmall || c.status == Overflow) {
            EXPECT_EQ(reply.size, c.size);
        }
    }
}

TEST_F(TopologyProperties, DescriptionsCarryTheirRangesAndIdentifiers) {
    const Reply volume = Property(Audio, Volume, Support, Node(20), {}, 88);
    const std::vector<std::uint32_t> volumeWords = {0x203,
                                                    88,
                                                    0,
                                                    0,
                                                    0,
                                                    0,
                                                    3,
                                                    0,
                                                    1,
                                                    0, // head
                                                    2,
                                                    16,
                                                    2,
                                                    2, // members
                                                    LevelStep,
                                                    0,
                                                    static_cast<std::uint32_t>(LevelMinimum),
                                                    LevelMaximum, // channel 1
                                                    LevelStep,
                                                    0,
                                                    static_cast<std::uint32_t>(LevelMinimum),
                                                    LevelMaximum}; // channel 2
    for (std::size_t i = 0; i < volumeWords.size(); ++i) {
        if (i >= 2 && i < 6) continue; // the type set
        EXPECT_EQ(volume.Word(i), volumeWords[i]) << "word " << i;
    }
    const Reply mute = Property(Audio, ks::KSPROPERTY_AUDIO_MUTE, Support, Node(21), {}, 88);
    EXPECT_EQ(mute.Word(6), ks::value_type::boolean);
    EXPECT_EQ(mute.Word(14), 1u) << "step";
    EXPECT_EQ(mute.Word(17), 1u) << "maximum";

    const Reply accessOnly = Property(Audio, Volume, Support, Node(20), {}, 4);
    EXPECT_EQ(accessOnly.Word(0), 0x203u);

    const Reply identifier = Property(Audio, DevSpecific, Support, Node(29), {}, 80);
    EXPECT_EQ(identifier.Word(0), 0x202u);
    EXPECT_EQ(identifier.Word(6), ks::value_type::boolean);
    EXPECT_EQ(identifier.Word(10), 3u) << "a list of values";
    EXPECT_EQ(identifier.Word(14), 24u);
    Guid named = {};
    std::memcpy(&named, identifier.value.data() + 60, 16);
    EXPECT_EQ(named, kernel::makeGuid("{97491449-E534-4A7E-B14F-941B207D586D}"));

    const Reply ranged = Property(Audio, DevSpecific, Support, Node(31), {}, 64);
    EXPECT_EQ(ranged.Word(6), ks::value_type::ui4);
    EXPECT_EQ(ranged.Word(14), 10u);
    EXPECT_EQ(ranged.Word(15), 100u);

    const Reply other = Property(Audio, DevSpecific, Support, Node(38), {}, 64);
    EXPECT_EQ(other.Word(0), 0x202u);
    EXPECT_EQ(other.Word(15), 0xFFFFFFFFu);

    const Reply level = Property(Audio, DevSpecific, Support, Node(24), {}, 92);
    EXPECT_EQ(level.Word(10), 3u);
    EXPECT_EQ(level.Word(11), 36u);
    EXPECT_EQ(level.Word(14), 36u);
    EXPECT_EQ(level.Word(19), 12u);
    EXPECT_EQ(level.Word(20), static_cast<std::uint32_t>(LevelMaximum));
    EXPECT_EQ(level.Word(21), static_cast<std::uint32_t>(LevelMinimum));
    EXPECT_EQ(level.Word(22), static_cast<std::uint32_t>(LevelStep));

    const Reply name = Property(PROPSETID_NodeName, NODENAME_IDENTIFIER, Get, Node(36), {}, 16);
    std::memcpy(&named, name.value.data(), 16);
    EXPECT_EQ(named, PROPSETID_EffectUnit);
    EXPECT_EQ(*Descriptor().Nodes[Node(36)].Name, EffectRecordName);
    EXPECT_EQ(*Descriptor().Nodes[Node(37)].Name, block->blockName);
}

TEST_F(TopologyProperties, ValuesRoundTripAndOnlyTheNotifyingLevelRaisesTheEvent) {
    portcls::EventHandle volumeEvent;
    ASSERT_EQ(volumeEvent.open(filter, ks::KSEVENTSETID_AudioControlChange,
                               ks::KSEVENT_CONTROL_CHANGE, Node(20)),
              STATUS_SUCCESS);
    EXPECT_EQ(Property(Audio, Volume, Set, Node(20), {1}, 4, Bytes({0xFFF00000})).status, Ok);
    EXPECT_EQ(Property(Audio, Volume, Get, Node(20), {1}, 4).Word(0), 0xFFF00000u);
    EXPECT_EQ(volumeEvent.signalled(), 0u);
    EXPECT_EQ(Property(PROPSETID_Level, LEVEL_NOTIFYING, Set, Node(20), {2}, 4, Bytes({0xFFE00000}))
                  .status,
              Ok);
    EXPECT_EQ(Property(Audio, Volume, Get, Node(20), {2}, 4).Word(0), 0xFFE00000u);
    EXPECT_EQ(volumeEvent.signalled(), 1u);

    EXPECT_EQ(Property(Audio, ks::KSPROPERTY_AUDIO_MUTE, Set, Node(21), {0}, 4, Bytes({7})).status,
              Ok);
    EXPECT_EQ(Property(Audio, ks::KSPROPERTY_AUDIO_MUTE, Get, Node(21), {0}, 4).Word(0), 1u);
    EXPECT_EQ(Property(Audio, DevSpecific, Set, Node(35), {}, 4, Bytes({9})).status, Ok);
    EXPECT_EQ(Property(Audio, DevSpecific, Get, Node(35), {}, 4).Word(0), 1u);
    EXPECT_EQ(Property(Audio, DevSpecific, Set, Node(29), {}, 4, Bytes({42})).status, Ok);
    EXPECT_EQ(Property(Audio, DevSpecific, Get, Node(29), {}, 4).Word(0), 42u);
    EXPECT_EQ(
        Property(Audio, ks::KSPROPERTY_AUDIO_MUX_SOURCE, Set, Node(39), {}, 4, Bytes({2})).status,
        Ok);
    EXPECT_EQ(Property(Audio, ks::KSPROPERTY_AUDIO_MUX_SOURCE, Get, Node(39), {}, 4).Word(0), 2u);

    const Reply list = Property(PROPSETID_TypeList, TYPELIST_LIST, Get, Node(28), {}, 20);
    EXPECT_EQ((std::vector<std::uint32_t>{list.Word(0), list.Word(1), list.Word(2), list.Word(3),
                                          list.Word(4)}),
              (std::vector<std::uint32_t>{20, 3, 2, 1, 17}));
    EXPECT_EQ(Property(Audio, DevSpecific, Set, Node(28), {}, 4, Bytes({17})).status, Ok);
    EXPECT_EQ(Property(PROPSETID_TypeList, TYPELIST_VALUE, Get, Node(28), {}, 4).Word(0), 17u);
}

TEST_F(TopologyProperties, ControlChangeMessagesRaiseTheEventOfTheirNodeOnly) {
    portcls::EventHandle mute, volume;
    ASSERT_EQ(mute.open(filter, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
                        Node(21)),
              STATUS_SUCCESS);
    ASSERT_EQ(volume.open(filter, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
                          Node(20)),
              STATUS_SUCCESS);
    hal->SendControlChange(21);
    hal->SendControlChange(999); // no node has that id
    ControlChangeMessage other = {2, 1, 20, 0};
    kernel::notifyCallback(*hal->GetCallbackObject(), &other, nullptr);
    EXPECT_EQ(mute.signalled(), 1u);
    EXPECT_EQ(volume.signalled(), 0u);

    portcls::EventHandle none;
    EXPECT_EQ(none.open(filter, ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
                        Node(39)),
              NotSupported)
        << "the multiplexer raises no event";
}

TEST_F(TopologyProperties, JackDescriptionsAndTheTerminalRecordOfAPin) {
    const Reply sizing = Property(ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION, Get,
                                  portcls::nodeNone, {HeadphonePin}, 0);
    EXPECT_EQ(sizing.status, Overflow);
    EXPECT_EQ(sizing.size, 8u + 2 * 28);
    EXPECT_EQ(Property(ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION, Get,
                       portcls::nodeNone, {HeadphonePin}, 40)
                  .status,
              TooSmall);
    for (const std::uint32_t id : {LEVEL_JACK_DESCRIPTION, 0u}) {
        const Guid& set = id == 0 ? ks::KSPROPSETID_Jack : PROPSETID_Level;
        const Reply jacks =
            Property(set, id == 0 ? 1 : id, Get, portcls::nodeNone, {HeadphonePin}, 64);
        ASSERT_EQ(jacks.status, Ok);
        EXPECT_EQ(jacks.size, 64u);
        ks::JackDescription first = {}, second = {};
        std::memcpy(&first, jacks.value.data() + 8, 28);
        std::memcpy(&second, jacks.value.data() + 36, 28);
        EXPECT_EQ(jacks.Word(1), 2u);
        EXPECT_EQ(first.ChannelMapping, 3u);
        EXPECT_EQ(first.Color, 0x00FF00u);
        EXPECT_EQ(first.IsConnected, 1u) << "word 7 of the record, past the reserved word";
        EXPECT_EQ(second.IsConnected, 0u);
    }
    const Reply second = Property(ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION2, Get,
                                  portcls::nodeNone, {HeadphonePin}, 24);
    ASSERT_EQ(second.status, Ok);
    EXPECT_EQ((std::vector<std::uint32_t>{second.Word(0), second.Word(1), second.Word(2),
                                          second.Word(3), second.Word(4), second.Word(5)}),
              (std::vector<std::uint32_t>{24, 2, 0, 0, 0, 1}));

    const Reply record =
        Property(PROPSETID_Terminal, TERMINAL_RECORD, Get, portcls::nodeNone, {HeadphonePin}, 32);
    ASSERT_EQ(record.status, Ok);
    EXPECT_EQ(record.Word(7), 8u);
    const Reply recordSizing =
        Property(PROPSETID_Terminal, TERMINAL_RECORD, Get, portcls::nodeNone, {HeadphonePin}, 0);
    EXPECT_EQ(recordSizing.status, Overflow);
    EXPECT_EQ(recordSizing.size, 32u);
    EXPECT_EQ(
        Property(PROPSETID_Terminal, TERMINAL_RECORD, Get, portcls::nodeNone, {HeadphonePin}, 31)
            .status,
        TooSmall);

    struct Refused {
        const char* name;
        std::vector<std::uint32_t> instance;
        std::uint32_t verb;
        std::uint32_t room;
        NTSTATUS status;
        std::uint32_t size;
    };
    const Refused refused[] = {
        {"a pin without jacks", {0}, Get, 64, BadRequest, 0},
        {"a pin beyond the filter", {4}, Get, 64, BadRequest, 0},
        {"no pin given", {}, Get, 64, BadRequest, 0},
        {"described without room", {HeadphonePin}, Support, 0, TooSmall, 0},
        {"described", {HeadphonePin}, Support, 40, Ok, 40},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.name);
        const Reply reply = Property(ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION, r.verb,
                                     portcls::nodeNone, r.instance, r.room);
        EXPECT_EQ(reply.status, r.status);
        if (r.status != BadRequest) {
            EXPECT_EQ(reply.size, r.size);
        }
    }
    EXPECT_EQ(Property(ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION, Support,
                       portcls::nodeNone, {HeadphonePin}, 40)
                  .Word(0),
              0x201u);
}

TEST_F(TopologyProperties, ParameterInstancesThatOverflowOrDisagreeChangeNothing) {
    struct Case {
        const char* name;
        std::uint32_t entity;
        const Guid* set;
        std::uint32_t id;
        std::vector<std::uint32_t> instance;
        bool applied;
    };
    const Case cases[] = {
        {"parameters 1 and 2", 34, &PROPSETID_Parameters, PARAMETERS_SET, {1, 2, 11, 12}, true},
        {"count disagrees with the instance",
         34,
         &PROPSETID_Parameters,
         PARAMETERS_SET,
         {0, 3, 11, 12},
         false},
        {"first plus count wraps",
         34,
         &PROPSETID_Parameters,
         PARAMETERS_SET,
         {0xFFFFFFFF, 1, 11},
         false},
        {"beyond the last parameter",
         34,
         &PROPSETID_Parameters,
         PARAMETERS_SET,
         {5, 2, 1, 2},
         false},
        {"no values", 34, &PROPSETID_Parameters, PARAMETERS_SET, {0, 0}, false},
        {"effect parameters 4 and 5",
         36,
         &PROPSETID_EffectUnit,
         EFFECTUNIT_PARAMETERS,
         {4, 2, 11, 12},
         true},
        {"effect count disagrees",
         36,
         &PROPSETID_EffectUnit,
         EFFECTUNIT_PARAMETERS,
         {4, 1, 11, 12},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParameterStore& store = c.entity == 34 ? parameters->store : record->store;
        const int calls = store.setCalls;
        EXPECT_EQ(Property(*c.set, c.id, Set, Node(c.entity), c.instance, 4).status, Ok);
        EXPECT_EQ(store.setCalls - calls, c.applied ? 1 : 0);
    }
    EXPECT_EQ(parameters->store.values, (std::vector<std::uint32_t>{0, 11, 12, 0, 0, 0}));
    const Reply read =
        Property(PROPSETID_EffectUnit, EFFECTUNIT_PARAMETERS, Get, Node(36), {3, 3}, 20);
    EXPECT_EQ((std::vector<std::uint32_t>{read.Word(0), read.Word(1), read.Word(2), read.Word(3),
                                          read.Word(4)}),
              (std::vector<std::uint32_t>{20, 3, 0, 11, 12}));
    // 8 + 4 x 0x40000000 wraps to 8 in 32 bits, 0xFFFFFFFF + 2 to 1; the
    // control is not asked.
    const int reads = parameters->store.getCalls;
    for (const auto& instance :
         {std::vector<std::uint32_t>{0, 0x40000000}, std::vector<std::uint32_t>{0xFFFFFFFF, 2},
          std::vector<std::uint32_t>{5, 2}}) {
        EXPECT_EQ(
            Property(PROPSETID_Parameters, PARAMETERS_GET, Get, Node(34), instance, 16).status,
            BadParameter);
    }
    EXPECT_EQ(parameters->store.getCalls, reads);
}

TEST_F(TopologyProperties, TheBlockControlIsGivenTheBufferSize) {
    std::vector<std::uint8_t> bytes(24, 0x5A);
    EXPECT_EQ(Property(PROPSETID_Block, BLOCK_DATA, Set, Node(37), {}, 24, bytes).status, Ok);
    EXPECT_EQ(block->lastBlockBytes, 24u);
    EXPECT_EQ(block->block, bytes);
    const Reply read = Property(PROPSETID_Block, BLOCK_DATA, Get, Node(37), {}, 40);
    EXPECT_EQ(block->lastBlockBytes, 40u);
    EXPECT_EQ(read.size, 24u);
    EXPECT_EQ(read.value[23], 0x5A);
}

} // namespace
