#include "driver/engine/clock_item.h"
#include "driver/engine/effect_parameters_item.h"
#include "driver/engine/effect_record_item.h"
#include "driver/engine/level_item.h"
#include "driver/engine/mixer_item.h"
#include "driver/engine/on_off_item.h"
#include "driver/engine/selector_item.h"
#include "driver/engine/soft_mute_node.h"
#include "driver/engine/terminal_item.h"
#include "driver/engine/terminal_type_item.h"
#include "engine_test_doubles.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

std::vector<std::uint32_t> IdsOf(IAudioNode* node, std::uint32_t room) {
    std::vector<std::uint32_t> ids(room, 0xEEEEEEEE);
    std::uint32_t count = room;
    EXPECT_EQ(node->GetIdList(&count, ids.data()), STATUS_SUCCESS);
    ids.resize(count);
    return ids;
}

TEST(AudioNode, SetIdListStoresACopyClearsOrRefuses) {
    struct Case {
        const char* name;
        std::uint32_t count;
        bool withIds;
        NTSTATUS expected;
        std::vector<std::uint32_t> after; // the list starts as {4, 5}
    };
    const std::uint32_t fresh[] = {7, 8, 9};
    const Case cases[] = {
        {"three ids replace the list", 3, true, STATUS_SUCCESS, {7, 8, 9}},
        {"a count without ids is refused", 2, false, STATUS_INVALID_PARAMETER, {4, 5}},
        {"no ids and no count clear the list", 0, false, STATUS_SUCCESS, {}},
        {"ids with no count clear the list", 0, true, STATUS_SUCCESS, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held node(Make<CAudioNode>(1u, 0u));
        const std::uint32_t start[] = {4, 5};
        ASSERT_EQ(node->SetIdList(2, start), STATUS_SUCCESS);
        EXPECT_EQ(node->SetIdList(c.count, c.withIds ? fresh : nullptr), c.expected);
        EXPECT_EQ(node->GetIdCount(), c.after.size());
        EXPECT_EQ(IdsOf(node.get(), 8), c.after);
    }
}

TEST(AudioNode, IdListCopyFailureKeepsTheOldList) {
    Held node(Make<CAudioNode>(1u, 0u));
    const std::uint32_t start[] = {4, 5};
    ASSERT_EQ(node->SetIdList(2, start), STATUS_SUCCESS);
    const std::uint32_t fresh[] = {7, 8, 9};
    kernel::failPoolRequest(1);
    EXPECT_EQ(node->SetIdList(3, fresh), STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    EXPECT_EQ(IdsOf(node.get(), 8), (std::vector<std::uint32_t>{4, 5}));
}

TEST(AudioNode, GetIdListCopiesAtMostTheStoredCount) {
    Held node(Make<CAudioNode>(1u, 0u));
    const std::uint32_t ids[] = {7, 8, 9};
    ASSERT_EQ(node->SetIdList(3, ids), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(node.get(), 2), (std::vector<std::uint32_t>{7, 8}));
    EXPECT_EQ(IdsOf(node.get(), 6), (std::vector<std::uint32_t>{7, 8, 9}));
    std::uint32_t count = 3;
    std::uint32_t out[3];
    EXPECT_EQ(node->GetIdList(nullptr, out), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(node->GetIdList(&count, nullptr), STATUS_INVALID_PARAMETER);
}

// Which interfaces each item answers, and a sample of those it must not.
TEST(ControlItems, EachItemAnswersItsOwnInterfaces) {
    struct Case {
        const char* name;
        std::function<CAudioNode*()> make;
        std::vector<kernel::Guid> answered;
    };
    const Case cases[] = {
        {"on/off",
         [] { return Make<COnOffItem>(1u, item_type::mute); },
         {IID_IOnOffControl, IID_IChannelMode}},
        {"value",
         [] { return Make<CLevelItem>(1u, item_type::volume); },
         {IID_ILevelControl, IID_IChannelMode}},
        {"terminal",
         [] { return Make<CTerminalItem>(1u, item_type::inputTerminal); },
         {IID_ITerminalInfo}},
        {"mixer", [] { return Make<CMixerItem>(1u); }, {IID_IJackSwitch}},
        {"clock", [] { return Make<CClockItem>(1u); }, {IID_IClockSource}},
        {"effect parameters",
         [] { return Make<CEffectParametersItem>(1u, kernel::Guid{}, 0u); },
         {IID_IEffectParameters}},
        {"effect record", [] { return Make<CEffectRecordItem>(1u); }, {IID_IEffectRecord}},
        {"software mute",
         [] { return Make<CSoftMuteNode>(1u); },
         {IID_IOnOffControl, IID_IChannelMode, IID_IDspNode}},
    };
    const kernel::Guid every[] = {IID_IOnOffControl,     IID_ILevelControl, IID_IChannelMode,
                                  IID_ITerminalInfo,     IID_IJackSwitch,   IID_IClockSource,
                                  IID_IEffectParameters, IID_IEffectRecord, IID_IDspNode};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held item(c.make());
        IAudioNode* node = item.get();
        for (const kernel::Guid& id : every) {
            const bool expected =
                std::find(c.answered.begin(), c.answered.end(), id) != c.answered.end();
            void* face = nullptr;
            EXPECT_EQ(kernel::succeeded(node->QueryInterface(id, &face)), expected);
            EXPECT_EQ(face != nullptr, expected);
            if (face != nullptr) static_cast<kernel::IUnknown*>(face)->Release();
        }
        void* face = nullptr;
        ASSERT_EQ(node->QueryInterface(IID_IAudioNode, &face), STATUS_SUCCESS);
        EXPECT_EQ(face, node);
        node->Release();
    }
}

TEST(ControlItems, OnOffChannelsRunFromZeroToCountLessOne) {
    Held item(Make<COnOffItem>(3u, item_type::mute));
    ASSERT_EQ(item->AllocateOnOff(9, 2), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(item.get(), 4), (std::vector<std::uint32_t>{9}));
    struct Case {
        std::uint32_t channel;
        NTSTATUS expected;
    };
    for (const Case c :
         {Case{0, STATUS_SUCCESS}, Case{1, STATUS_SUCCESS}, Case{2, STATUS_INVALID_PARAMETER}}) {
        SCOPED_TRACE(c.channel);
        EXPECT_EQ(item->SetOnOff(c.channel, static_cast<std::uint8_t>(c.channel + 1)), c.expected);
        std::uint8_t value = 0xEE;
        EXPECT_EQ(item->GetOnOff(c.channel, &value), c.expected);
        if (c.expected == STATUS_SUCCESS) {
            EXPECT_EQ(value, c.channel + 1);
        }
    }
    EXPECT_EQ(item->GetOnOff(0, nullptr), STATUS_INVALID_PARAMETER);
}

TEST(ControlItems, ValueIndexesRunFromZeroToTheCountAndTheRangeComesBackAsGiven) {
    Held item(Make<CLevelItem>(3u, item_type::volume));
    ASSERT_EQ(item->AllocateLevel(9, 2, 12 * 65536, -12 * 65536, 256), STATUS_SUCCESS);
    struct Case {
        std::uint32_t index;
        NTSTATUS expected;
    };
    for (const Case c : {Case{0, STATUS_SUCCESS}, Case{1, STATUS_SUCCESS}, Case{2, STATUS_SUCCESS},
                         Case{3, STATUS_INVALID_PARAMETER}}) {
        SCOPED_TRACE(c.index);
        const std::int32_t written = -static_cast<std::int32_t>(c.index) * 65536 - 7;
        EXPECT_EQ(item->SetLevel(c.index, written), c.expected);
        std::int32_t value = 0;
        EXPECT_EQ(item->GetLevel(c.index, &value), c.expected);
        if (c.expected == STATUS_SUCCESS) {
            EXPECT_EQ(value, written);
        }
    }
    EXPECT_EQ(item->GetLevel(0, nullptr), STATUS_INVALID_PARAMETER);
    // Values outside the range are kept: clamping is the caller's.
    EXPECT_EQ(item->SetLevel(1, 20 * 65536), STATUS_SUCCESS);
    std::int32_t maximum = 0, minimum = 0, step = 0;
    ASSERT_EQ(item->GetLevelRange(&maximum, &minimum, &step), STATUS_SUCCESS);
    EXPECT_EQ(maximum, 12 * 65536);
    EXPECT_EQ(minimum, -12 * 65536);
    EXPECT_EQ(step, 256);
}

TEST(ControlItems, ChannelModeDecidesTheExposedChannels) {
    struct Case {
        std::uint32_t mode, channels, exposed;
    };
    const Case cases[] = {{0, 6, 6}, {1, 6, 6}, {2, 6, 2}, {3, 6, 2}, {4, 6, 6},
                          {5, 1, 1}, {6, 8, 8}, {7, 6, 2}, {2, 2, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << c.channels << " channels");
        Held onOff(Make<COnOffItem>(1u, item_type::mute));
        Held level(Make<CLevelItem>(2u, item_type::volume));
        ASSERT_EQ(onOff->AllocateOnOff(0, c.channels), STATUS_SUCCESS);
        ASSERT_EQ(level->AllocateLevel(0, c.channels, 0, 0, 0), STATUS_SUCCESS);
        onOff->SetChannelMode(c.mode, nullptr);
        level->SetChannelMode(c.mode, nullptr);
        std::uint32_t count = 0;
        EXPECT_EQ(onOff->GetOnOffChannelCount(&count), STATUS_SUCCESS);
        EXPECT_EQ(count, c.exposed);
        EXPECT_EQ(level->GetLevelChannelCount(&count), STATUS_SUCCESS);
        EXPECT_EQ(count, c.exposed);
    }
}

TEST(ControlItems, ValueStoresFailWithoutChangingTheItem) {
    Held onOff(Make<COnOffItem>(1u, item_type::mute));
    Held level(Make<CLevelItem>(2u, item_type::volume));
    ASSERT_EQ(onOff->AllocateOnOff(5, 2), STATUS_SUCCESS);
    ASSERT_EQ(level->AllocateLevel(5, 2, 1, 0, 1), STATUS_SUCCESS);
    kernel::failPoolRequest(1);
    EXPECT_EQ(onOff->AllocateOnOff(6, 4), STATUS_INSUFFICIENT_RESOURCES);
    kernel::failPoolRequest(1);
    EXPECT_EQ(level->AllocateLevel(6, 4, 1, 0, 1), STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    std::uint32_t count = 0;
    onOff->GetOnOffChannelCount(&count);
    EXPECT_EQ(count, 2u);
    level->GetLevelChannelCount(&count);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(IdsOf(onOff.get(), 2), (std::vector<std::uint32_t>{5}));
}

// Terminal items and terminal-type selections keep their codes alike.
TEST(TerminalCodes, StoresTakeOneToFiveCodesAndTheFirstIsCurrent) {
    struct Read {
        NTSTATUS status;
        std::uint32_t count, current;
    };
    using Store = std::function<Read(std::uint32_t count, const std::uint32_t* codes)>;
    const std::pair<const char*, Store> kinds[] = {
        {"terminal item",
         [](std::uint32_t count, const std::uint32_t* codes) {
             Held item(Make<CTerminalItem>(1u, item_type::outputTerminal));
             Read read = {item->StoreCodes(count, codes), 99, 99};
             item->GetEndpointTypeCount(&read.count);
             item->GetEndpointType(&read.current);
             return read;
         }},
        {"terminal-type selection",
         [](std::uint32_t count, const std::uint32_t* codes) {
             Held item(Make<CTerminalTypeItem>(1u));
             Read read = {item->SetUpTypes(count, codes), 99, 99};
             item->GetTypeCount(&read.count);
             item->GetCurrentType(&read.current);
             return read;
         }},
    };
    const std::uint32_t codes[] = {2, 14, 3, 1, 17, 6};
    struct Case {
        std::uint32_t count;
        NTSTATUS expected;
    };
    for (const auto& [name, store] : kinds) {
        for (const Case c : {Case{0, STATUS_INVALID_PARAMETER}, Case{1, STATUS_SUCCESS},
                             Case{5, STATUS_SUCCESS}, Case{6, STATUS_INVALID_PARAMETER}}) {
            SCOPED_TRACE(testing::Message() << name << ", " << c.count << " codes");
            const Read read = store(c.count, codes);
            EXPECT_EQ(read.status, c.expected);
            EXPECT_EQ(read.count, c.expected == STATUS_SUCCESS ? c.count : 0);
            EXPECT_EQ(read.current, c.expected == STATUS_SUCCESS ? 2u : 0u);
        }
    }
}

TEST(TerminalItem, SelectAcceptsOnlyAListedCode) {
    Held item(Make<CTerminalItem>(1u, item_type::outputTerminal));
    EXPECT_EQ(item->SelectEndpointType(0), STATUS_INVALID_PARAMETER); // nothing listed yet
    const std::uint32_t codes[] = {2, 14, 3};
    ASSERT_EQ(item->StoreCodes(3, codes), STATUS_SUCCESS);
    struct Case {
        std::uint32_t code;
        NTSTATUS expected;
        std::uint32_t current;
    };
    for (const Case c : {Case{14, STATUS_SUCCESS, 14}, Case{7, STATUS_INVALID_PARAMETER, 14},
                         Case{3, STATUS_SUCCESS, 3}}) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(item->SelectEndpointType(c.code), c.expected);
        std::uint32_t current = 0;
        item->GetEndpointType(&current);
        EXPECT_EQ(current, c.current);
    }
    std::uint32_t copy[3] = {};
    EXPECT_EQ(item->GetEndpointTypes(2, copy), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(item->GetEndpointTypes(3, copy), STATUS_SUCCESS);
    EXPECT_EQ(std::vector<std::uint32_t>(copy, copy + 3), (std::vector<std::uint32_t>{2, 14, 3}));
}

TEST(TerminalItem, JackCopyTakesTheSmallerLength) {
    Held item(Make<CTerminalItem>(1u, item_type::inputTerminal));
    std::uint8_t buffer[100] = {};
    EXPECT_EQ(item->GetJackDescriptions(sizeof buffer, buffer, 0), STATUS_INVALID_PARAMETER);
    const JackDescription jacks[2] = {{1, 2, 3, 4, 5, 6, 0, 1, 0}, {7, 8, 9, 10, 11, 12, 0, 0, 0}};
    ASSERT_EQ(item->StoreJackRecords(2, jacks), STATUS_SUCCESS);
    struct Case {
        std::uint32_t bytes;
        bool withBuffer;
        NTSTATUS expected;
        std::size_t copied;
    };
    const Case cases[] = {{0, true, STATUS_INVALID_PARAMETER, 0},
                          {36, false, STATUS_INVALID_PARAMETER, 0},
                          {40, true, STATUS_SUCCESS, 40},
                          {100, true, STATUS_SUCCESS, 72}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::memset(buffer, 0xCC, sizeof buffer);
        EXPECT_EQ(item->GetJackDescriptions(c.bytes, c.withBuffer ? buffer : nullptr, 0),
                  c.expected);
        EXPECT_EQ(std::memcmp(buffer, jacks, c.copied), 0);
        EXPECT_EQ(buffer[c.copied], 0xCC);
    }
    std::uint32_t count = 0;
    item->GetJackCount(&count, 0);
    EXPECT_EQ(count, 2u);
}

TEST(TerminalItem, StereoMixDefaultIsOneConnectedJack) {
    Held item(Make<CTerminalItem>(1u, item_type::inputTerminal));
    ASSERT_EQ(item->StoreStereoMixDefault(), STATUS_SUCCESS);
    std::uint32_t code = 0, jacks = 0;
    item->GetEndpointType(&code);
    item->GetJackCount(&jacks, 0);
    EXPECT_EQ(code, 16u);
    ASSERT_EQ(jacks, 1u);
    JackDescription jack = {};
    ASSERT_EQ(item->GetJackDescriptions(sizeof jack, &jack, 0), STATUS_SUCCESS);
    EXPECT_EQ(jack.ChannelMapping, 3u);
    EXPECT_EQ(jack.ConnectionType, 7u);
    EXPECT_EQ(jack.GeoLocation, 14u);
    EXPECT_NE(jack.IsConnected, 0u);
}

TEST(TerminalItem, RecordCopiesThe32ByteInfoRecord) {
    Held item(Make<CTerminalItem>(1u, item_type::outputTerminal));
    const EndpointInfoRecord record = {{1, 2, 3, 4, 5, 6, 7, 8}};
    item->StoreTerminalRecord(record);
    EndpointInfoRecord copy = {};
    EXPECT_EQ(item->GetTerminalRecord(nullptr), STATUS_INVALID_PARAMETER);
    ASSERT_EQ(item->GetTerminalRecord(&copy), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(&copy, &record, sizeof record), 0);
}

// Selector and mixer items keep one entry per input, filled only whole.
TEST(InputTableItems, TableIsFilledOnlyWhole) {
    const std::pair<const char*, std::function<CInputTableItem*()>> kinds[] = {
        {"mixer", [] { return Make<CMixerItem>(4u); }},
        {"selector", [] { return Make<CSelectorItem>(4u); }},
    };
    for (const auto& [name, make] : kinds) {
        SCOPED_TRACE(name);
        Held item(make());
        ASSERT_EQ(item->AllocateInputs(3), STATUS_SUCCESS);
        EXPECT_EQ(IdsOf(item.get(), 3), (std::vector<std::uint32_t>{0, 0, 0}));
        const std::uint32_t two[] = {7, 8};
        EXPECT_EQ(item->SetInputs(2, two), STATUS_INVALID_PARAMETER);
        EXPECT_EQ(item->SetInputs(3, nullptr), STATUS_INVALID_PARAMETER);
        EXPECT_EQ(IdsOf(item.get(), 3), (std::vector<std::uint32_t>{0, 0, 0}));
        const std::uint32_t three[] = {7, 8, 9};
        EXPECT_EQ(item->SetInputs(3, three), STATUS_SUCCESS);
        EXPECT_EQ(IdsOf(item.get(), 3), (std::vector<std::uint32_t>{7, 8, 9}));
    }
}

TEST(MixerItem, JackSwitchFlagSetsTheStateWords) {
    Held item(Make<CMixerItem>(4u));
    item->SetSwitchedValue(0x20);
    struct Case {
        std::uint32_t flag, first, second;
    };
    for (const Case c : {Case{0, 5, 0x20}, Case{1, 0, 0}, Case{0, 5, 0x20}}) {
        SCOPED_TRACE(c.flag);
        EXPECT_EQ(item->SetJackSwitch(c.flag), STATUS_SUCCESS);
        EXPECT_EQ(item->GetJackSwitchFlag(), c.flag);
        EXPECT_EQ(item->GetSwitchState(0), c.first);
        EXPECT_EQ(item->GetSwitchState(1), c.second);
    }
}

TEST(ClockItem, SetUpTakesAtMostThirtyRates) {
    std::uint32_t rates[31];
    for (std::uint32_t i = 0; i < 31; ++i) rates[i] = 8000 * (i + 1);
    struct Case {
        bool withRates;
        std::uint32_t count;
        NTSTATUS expected;
    };
    for (const Case c :
         {Case{true, 30, STATUS_SUCCESS}, Case{true, 31, STATUS_INSUFFICIENT_RESOURCES},
          Case{false, 2, STATUS_INSUFFICIENT_RESOURCES}}) {
        SCOPED_TRACE(c.count);
        Held item(Make<CClockItem>(1u));
        EXPECT_EQ(item->SetUpRates(c.withRates ? rates : nullptr, c.count), c.expected);
        std::uint32_t count = 99;
        item->GetSampleRateCount(&count);
        EXPECT_EQ(count, c.expected == STATUS_SUCCESS ? c.count : 0);
    }
}

TEST(ClockItem, RateCopyNeedsRoomForEveryRate) {
    Held item(Make<CClockItem>(1u));
    const std::uint32_t rates[] = {44100, 48000, 96000};
    ASSERT_EQ(item->SetUpRates(rates, 3), STATUS_SUCCESS);
    std::uint32_t copy[4] = {};
    std::uint32_t count = 2;
    EXPECT_EQ(item->GetSampleRates(&count, copy), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(copy[0], 0u);
    count = 4;
    ASSERT_EQ(item->GetSampleRates(&count, copy), STATUS_SUCCESS);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::vector<std::uint32_t>(copy, copy + 3),
              (std::vector<std::uint32_t>{44100, 48000, 96000}));
    std::uint8_t valid = 0;
    EXPECT_EQ(item->GetClockValid(&valid), STATUS_SUCCESS);
    EXPECT_EQ(valid, 1);
}

constexpr kernel::Guid EffectId = kernel::makeGuid("{5B7E2C31-8A44-4D0F-9C1B-2E6F3A7D8B90}");

// Both effect items report the identifier and source they were set up with,
// and refuse a null destination.
TEST(EffectItems, ItemsKeepTheirIdentity) {
    Held parameters(Make<CEffectParametersItem>(1u, EffectId, 6u));
    Held record(Make<CEffectRecordItem>(2u));
    ASSERT_EQ(parameters->SetUpParameters(11), STATUS_SUCCESS);
    ASSERT_EQ(record->SetUpRecord(EffectId, 4, 12), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(parameters.get(), 2), (std::vector<std::uint32_t>{11}));
    EXPECT_EQ(IdsOf(record.get(), 2), (std::vector<std::uint32_t>{12}));
    kernel::Guid id = {}, recordId = {};
    ASSERT_EQ(parameters->GetIdentifier(&id), STATUS_SUCCESS);
    ASSERT_EQ(record->GetRecordIdentifier(&recordId), STATUS_SUCCESS);
    EXPECT_EQ(id, EffectId);
    EXPECT_EQ(recordId, EffectId);
    EXPECT_EQ(parameters->GetIdentifier(nullptr), STATUS_INVALID_PARAMETER);
    std::uint32_t count = 0;
    parameters->GetParameterCount(&count);
    EXPECT_EQ(count, 6u);
    record->GetRecordParameterCount(&count);
    EXPECT_EQ(count, 4u);
    // The enable byte's read refuses a null destination otherwise than the rest.
    EXPECT_EQ(record->GetEnable(nullptr), STATUS_UNSUCCESSFUL);
}

} // namespace
