// The chip models started through the adapter on their headsets, with the
// driver's own model table: the model the product code picks, its words of
// the information record, the entity class and items of each unit id, the
// stream engines, and nothing left behind when any allocation fails.
#include "adapter_test_world.h"

#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/chips/chip_devices.h"
#include "driver/devmodel/chips/k7d2_p9f4/chip_feature_units.h"
#include "driver/devmodel/chips/k7d2_p9f4/chip_terminals.h"
#include "driver/devmodel/chips/n3w8/n3w8_control_nodes.h"
#include "driver/devmodel/chips/n3w8/n3w8_device.h"
#include "driver/devmodel/chips/n3w8/n3w8_feature_units.h"
#include "driver/devmodel/chips/n3w8/n3w8_selector_unit.h"
#include "driver/devmodel/chips/n3w8/n3w8_terminals.h"
#include "driver/devmodel/chips/q7k2/q7k2_feature_unit.h"
#include "driver/devmodel/chips/t6l1/t6l1_output_terminal.h"
#include "driver/devmodel/terminal_tables.h"
#include "driver/devmodel/uac1_units.h"
#include "driver/devmodel/uac_device_create.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/selector_item.h"
#include "driver/usbstream/effect_render_stream_engine.h"
#include "driver/usbstream/processing_render_stream_engine.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixture_parts.h"
#include "sim/usb/fixtures.h"

#include <algorithm>
#include <functional>
#include <typeinfo>

namespace adapter_test {
namespace {

namespace fixtures = usbsim::fixtures;

struct UnitClass {
    std::uint8_t id;
    const std::type_info* type;
    std::uint32_t items;
};

struct ModelCase {
    const char* name;
    std::function<usbsim::FunctionDescription()> describe;
    const std::type_info* model;
    std::uint32_t word0, word4, word6;
    std::vector<UnitClass> units;
    const std::type_info* render;
    std::uint16_t renderChannels; // of every render format; 0: several
};

class ChipModelsTest : public AdapterWorld {
protected:
    NTSTATUS StartChip(usbsim::FunctionDescription description) {
        LastModel().model = nullptr;
        Plug(std::move(description));
        return Start(m_Table);
    }
    CUacDevice* Model() const { return LastModel().Uac(); }
    EndpointInfoRecord Words() const {
        EndpointInfoRecord record{};
        EXPECT_EQ(Model()->CAudioHal::GetInfoRecord(0, &record), kernel::STATUS_SUCCESS);
        return record;
    }
    CUsbStreamEngine* RenderEngine() const {
        for (std::uint32_t i = 0; i < Model()->GetEndpointCount(); ++i) {
            IStreamEngine* engine = nullptr;
            if (kernel::succeeded(Model()->GetEndpoint(i, &engine)) &&
                engine->GetDirection() == EngineDirectionRender)
                return dynamic_cast<CUsbStreamEngine*>(engine);
        }
        return nullptr;
    }

    // A start on the plugged device whose n-th allocation (0: none) on the
    // starting thread fails; *requests counts the allocations it asked for,
    // *first the first of them that was the model's.
    NTSTATUS StartFailing(std::uint64_t n, std::uint64_t* requests, std::uint64_t* first) {
        LastModel().model = nullptr;
        EXPECT_EQ(CreateUsbAudioAdapter(&m_pAdapter, m_Table), kernel::STATUS_SUCCESS);
        void* face = nullptr;
        m_pAdapter->QueryInterface(IID_IAudioHal, &face);
        m_pHal = static_cast<IAudioHal*>(face);
        m_pHal->Release();
        m_pAdapter->QueryInterface(portcls::IID_IAdapterPowerManagement, &face);
        power->target = static_cast<portcls::IAdapterPowerManagement*>(face);
        power->target->Release();
        return Call([&] {
            const std::uint64_t before = kernel::poolRequestCount();
            if (n != 0) kernel::failPoolRequest(n);
            const NTSTATUS status = m_pHal->Init(nullptr, m_pDevice, m_pLower, bus->device());
            *requests = kernel::poolRequestCount() - before;
            *first = LastModel().createdAt - before + 1;
            kernel::clearPoolFaults();
            return status;
        });
    }

    // Starts the device once whole, then once per allocation of the model's
    // part of the start (every stride-th), that allocation failing: the
    // start may fail or do without, but gives everything back.
    void FailEachAllocation(usbsim::FunctionDescription description, std::uint64_t stride) {
        Plug(std::move(description));
        const std::size_t liveBefore = kernel::poolLiveBlocks();
        std::uint64_t requests = 0;
        std::uint64_t first = 0;
        ASSERT_EQ(StartFailing(0, &requests, &first), kernel::STATUS_SUCCESS);
        ReleaseAdapter();
        clock.settle();
        EXPECT_EQ(kernel::poolLiveBlocks(), liveBefore);
        ASSERT_GT(requests, first + 100);
        for (std::uint64_t n = first; n <= requests; n += stride) {
            SCOPED_TRACE(testing::Message() << "request " << n);
            std::uint64_t made = 0;
            StartFailing(n, &made, &first);
            ReleaseAdapter();
            clock.settle();
            ASSERT_EQ(kernel::poolLiveBlocks(), liveBefore);
        }
    }

    std::vector<DeviceModelRow> m_Table = RecordingModelTable();
};

std::vector<ModelCase> ModelCases() {
    return {
        // The fixture's headset with its chip: line and S/PDIF recording,
        // stereo mix (so the record selector) and the 4- and 8-channel
        // settings are cut out.
        {"N3W8",
         [] { return fixtures::n3w8Device(); },
         &typeid(CUac1DeviceN3W8),
         0x3E0084,
         0,
         0,
         {{1, &typeid(CN3W8InputTerminal), 1},
          {8, &typeid(CN3W8RecordFeatureUnit), 2},
          {9, &typeid(CN3W8AnalogFeatureUnit), 2},
          {11, &typeid(CN3W8ForcedMuteFeatureUnit), 2},
          {13, &typeid(CN3W8MuteLedFeatureUnit), 2},
          {3, &typeid(CN3W8OutputTerminal), 1}},
         &typeid(CUac1ProcessingRenderStreamEngine),
         0},
        {"K7D2",
         fixtures::k7d2Device,
         &typeid(CUac1DeviceK7D2),
         0x3FE02F,
         12,
         0,
         {{1, &typeid(CK7D2InputTerminal), 1},
          {9, &typeid(CK7D2FeatureUnit1), 3},
          {10, &typeid(CK7D2FeatureUnit2), 2},
          {11, &typeid(CK7D2FeatureUnit2), 3},
          {12, &typeid(CK7D2FeatureUnit2), 2},
          {3, &typeid(CK7D2OutputTerminal), 1},
          {4, &typeid(CK7D2InputTerminal), 1},
          {13, &typeid(CK7D2FeatureUnit3), 3},
          {14, &typeid(CK7D2FeatureUnit3), 2},
          {7, &typeid(CK7D2OutputTerminal), 1}},
         &typeid(CUac1RenderStreamEngine),
         2},
        {"P9F4",
         fixtures::p9f4Device,
         &typeid(CUac1DeviceP9F4),
         0x24,
         0,
         0,
         {{1, &typeid(CP9F4InputTerminal), 1},
          {9, &typeid(CP9F4FeatureUnit1), 3},
          {10, &typeid(CP9F4FeatureUnit2), 3},
          {13, &typeid(CP9F4FeatureUnit3), 3},
          {11, &typeid(CUac1MixerUnit), 1},
          {6, &typeid(CP9F4OutputTerminal), 1}},
         &typeid(CUac1RenderStreamEngine),
         2},
        {"T6L1",
         fixtures::t6l1Device,
         &typeid(CUac1DeviceT6L1),
         0x28200,
         0,
         0,
         {{1, &typeid(CUac1InputTerminal), 1},
          {9, &typeid(CUac1FeatureUnit), 2},
          {3, &typeid(CT6L1OutputTerminal), 2},
          {7, &typeid(CUac1OutputTerminal), 1}},
         &typeid(CEffectRenderStreamEngine),
         8},
        {"Q7K2, earlier revision",
         [] { return fixtures::q7k2Device(); },
         &typeid(CUac1DeviceQ7K2),
         0x20006,
         8,
         0,
         // Mute, volume and the two effect units.
         {{9, &typeid(CQ7K2FeatureUnit), 4},
          {10, &typeid(CQ7K2FeatureUnit), 2},
          {13, &typeid(CQ7K2FeatureUnit), 2},
          {3, &typeid(CUac1OutputTerminal), 1}},
         &typeid(CEffectRenderStreamEngine),
         8},
    };
}

TEST_F(ChipModelsTest, EachHeadsetStartsOnTheModelItsCodeNames) {
    for (const ModelCase& c : ModelCases()) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(StartChip(c.describe()), kernel::STATUS_SUCCESS);
        CUacDevice* model = Model();
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(typeid(*model), *c.model);
        // The adapter keeps no model interface of a chip model but N3W8's.
        void* face = nullptr;
        const bool answers =
            kernel::succeeded(m_pAdapter->QueryInterface(IID_IAudioDeviceModel, &face));
        if (face != nullptr) static_cast<IAudioDeviceModel*>(face)->Release();
        EXPECT_EQ(answers, c.model == &typeid(CUac1DeviceN3W8));
        const EndpointInfoRecord words = Words();
        EXPECT_EQ(words.words[0], c.word0);
        EXPECT_EQ(words.words[4], c.word4);
        EXPECT_EQ(words.words[6], c.word6);
        for (const UnitClass& unit : c.units) {
            SCOPED_TRACE(testing::Message() << "unit " << int(unit.id));
            IAudioNode* entity = nullptr;
            ASSERT_EQ(model->FindEntityById(unit.id, &entity), kernel::STATUS_SUCCESS);
            EXPECT_EQ(typeid(*entity), *unit.type) << typeid(*entity).name();
            std::uint32_t items = 0;
            ASSERT_EQ(dynamic_cast<CUacEntity&>(*entity).GetItemCount(&items),
                      kernel::STATUS_SUCCESS);
            EXPECT_EQ(items, unit.items);
        }
        EXPECT_EQ(model->GetEndpointCount(), 2u);
        CUsbStreamEngine* render = RenderEngine();
        ASSERT_NE(render, nullptr);
        EXPECT_EQ(typeid(*render), *c.render);
        ASSERT_GT(render->GetFormatCount(), 0u);
        for (std::uint32_t i = 0; c.renderChannels != 0 && i < render->GetFormatCount(); ++i) {
            ks::WaveFormatExtensible format{};
            ASSERT_EQ(render->GetFormat(i, &format), kernel::STATUS_SUCCESS);
            EXPECT_EQ(format.Format.nChannels, c.renderChannels);
        }
        ReleaseAdapter();
        TearDown();
    }
}

TEST_F(ChipModelsTest, TheWalksApplyTheirModelsTerminalRules) {
    // The vendor's speaker terminal 6 plays as headphones.
    ASSERT_EQ(StartChip(fixtures::p9f4Device()), kernel::STATUS_SUCCESS);
    IAudioNode* entity = nullptr;
    ASSERT_EQ(Model()->FindEntityById(6, &entity), kernel::STATUS_SUCCESS);
    std::uint32_t code = 0;
    ASSERT_EQ(dynamic_cast<ITerminalInfo&>(*entity).GetEndpointType(&code), kernel::STATUS_SUCCESS);
    EXPECT_EQ(code, OutputEndpointCode(usb::terminal_type::headphones, false));
    TearDown();

    // The T6L1 speaker terminal's virtualizer runs in its endpoint's chain.
    ASSERT_EQ(StartChip(fixtures::t6l1Device()), kernel::STATUS_SUCCESS);
    EXPECT_EQ(RenderEngine()->GetChainACount(), 1);
}

TEST_F(ChipModelsTest, TheQ7K2RevisionAndDevicePickTheMasks) {
    constexpr std::uint16_t Earlier = 0x0100;
    constexpr std::uint16_t Later = Q7K2LaterRevision;
    const struct {
        std::uint16_t vendor, product, release;
        std::uint32_t word0, word4, word6;
    } cases[] = {
        {0x17EF, 0x6073, Earlier, 0x20006, 8, 0},
        {0x17EF, 0x6073, Q7K2LaterRevision - 1, 0x20006, 8, 0},
        {0x17EF, 0x6073, Later, 0x3E0084, 0, 65},
        {0x264A, 20483, Later, 0x3E0084, 0, 0},
        {0x2B0D, 0x0080, Later, 0x3E0084, 0, 64},
        {0x2B0D, 0x0084, Later, 0x3E0084, 0, 64},
        {0x2B0D, 0x0085, Later, 0x3E1084, 0, 0},
        {0x2B0D, 0x0086, Later, 0x3E1080, 0, 0},
        {0x2B0D, 0x008F, Later, 0x3E0084, 0, 64},
        {0x2B0D, 0x0090, Later, 0x3E1084, 0, 0},
        {usbsim::fixtures::fixtureVendor, 0x0161, Later, 0x3E0084, 0, 64},
        {usbsim::fixtures::fixtureVendor, 0x0166, Later, 0x3E0084, 0, 64},
        {usbsim::fixtures::fixtureVendor, 0x0162, Later, 0x3E1084, 0, 0},
        {0x2D99, 0x0024, Later, 0x3E0084, 0, 64},
        {0x12CF, 0x0801, Later, 0x3E0084, 0, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.vendor << "/" << c.product << " release " << c.release);
        ASSERT_EQ(StartChip(fixtures::q7k2Device(c.vendor, c.product, c.release)),
                  kernel::STATUS_SUCCESS);
        CUacDevice* model = Model();
        ASSERT_NE(model, nullptr);
        ASSERT_EQ(typeid(*model), typeid(CUac1DeviceQ7K2));
        const EndpointInfoRecord words = Words();
        EXPECT_EQ(words.words[0], c.word0);
        EXPECT_EQ(words.words[4], c.word4);
        EXPECT_EQ(words.words[6], c.word6);
        TearDown();
    }
}

// The Q7K2 model reads the device descriptor for its revision: when that
// read fails, so does the start.
TEST_F(ChipModelsTest, AFailedRevisionReadFailsTheQ7K2Start) {
    ASSERT_EQ(StartChip(fixtures::q7k2Device()), kernel::STATUS_SUCCESS);
    // The descriptor requests before the model's own read of the device
    // descriptor, the adapter's second.
    int before = 0;
    int deviceReads = 0;
    for (const usbsim::LoggedRequest& request : function->log()) {
        if (request.setup.bmRequestType != 0x80 || request.setup.bRequest != 6) continue;
        if (request.setup.wValue.value() == 0x0100 && ++deviceReads == 2) break;
        ++before;
    }
    ASSERT_EQ(deviceReads, 2);
    TearDown();

    LastModel().model = nullptr;
    Plug(fixtures::q7k2Device());
    bus->injectFault(usbsim::BusRequestKind::descriptor,
                     {.type = usbsim::BusFault::Type::delay, .delay = kernel::Duration{0}}, before);
    bus->injectFault(usbsim::BusRequestKind::descriptor, {.type = usbsim::BusFault::Type::fail});
    EXPECT_NE(Start(m_Table), kernel::STATUS_SUCCESS);
    EXPECT_NE(LastModel().model, nullptr);
}

// Each allocation the model's part of the start makes fails in turn: the
// start may fail or do without, but gives everything back. K7D2 and T6L1
// hold every class the chip models add; P9F4 and Q7K2 repeat their shapes
// and are sampled, every fifth allocation, to keep the run short.
// The chip's identity and the product decide the information word, the
// render chain and what the chip's registers hold after the start.
TEST_F(ChipModelsTest, TheN3W8ProductAndChipPickWordsRegistersAndRenderChain) {
    struct N3W8Case {
        const char* name;
        std::uint16_t vendor, product;
        std::uint8_t chipA;
        std::uint32_t word0;
        std::int32_t chainNodes;
        bool attenuated;
        std::uint16_t register1;
        bool eightChannels;
        bool recordSelector; // more than one record source left
    };
    const N3W8Case cases[] = {
        // The playback unit's mute and volume come first in every chain.
        // Attenuation only: this headset has no 8-channel output to swap.
        {"headset, its chip", 0x1E7D, 0x3750, 0x9F, 0x3E0084, 3, true, 0x3032, false, false},
        // Another chip on the same product gets only the defaults.
        {"headset, other chip", 0x1E7D, 0x3750, 0x00, 0x3FE08F, 4, true, 0x3002, true, true},
        // This product's chip plays its channels in the host's order.
        {"unswapped product", 0x28DA, 0x268E, 0x00, 0x3E09F, 2, false, 0x3002, true, false},
        {"other product, its chip", 0x1234, 0x0001, 0x9F, 0x3FE08F, 2, false, 0x3002, false, true},
        {"other product, other chip", 0x1234, 0x0001, 0x00, 0x3FE08F, 3, false, 0x3002, true, true},
    };
    for (const N3W8Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto chip = std::make_shared<fixtures::N3W8Chip>();
        chip->identificationA = c.chipA;
        usbsim::FunctionDescription description = fixtures::n3w8Device(chip);
        description.vendorId = c.vendor;
        description.productId = c.product;
        ASSERT_EQ(StartChip(std::move(description)), kernel::STATUS_SUCCESS);
        auto* model = dynamic_cast<CUac1DeviceN3W8*>(Model());
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(Words().words[0], c.word0);
        EXPECT_EQ(RenderEngine()->GetChainACount(), c.chainNodes);
        EXPECT_EQ(model->AttenuateNode() != nullptr, c.attenuated);
        // The reset left the power-on values, with the product's LED bits
        // and the output routed to the speakers.
        const std::array<std::uint16_t, 6> expected = {0x2004, c.register1, 0xE000,
                                                       0x143F, 0x0000,      0x3000};
        EXPECT_EQ(chip->registers, expected);
        bool eight = false;
        for (std::uint32_t i = 0; i < RenderEngine()->GetFormatCount(); ++i) {
            ks::WaveFormatExtensible format{};
            ASSERT_EQ(RenderEngine()->GetFormat(i, &format), kernel::STATUS_SUCCESS);
            eight = eight || format.Format.nChannels == 8;
        }
        EXPECT_EQ(eight, c.eightChannels);
        IAudioNode* selector = nullptr;
        const bool found = kernel::succeeded(model->FindEntityById(17, &selector));
        EXPECT_EQ(found, c.recordSelector);
        if (found) {
            EXPECT_EQ(typeid(*selector), typeid(CN3W8SelectorUnit));
        }
        ReleaseAdapter();
        TearDown();
    }
}

// Each product built on the chip gets the model's class per unit id; a unit
// its switches cut out is not there at all. The back item is the unit's
// mute, which on some units also acts on the stream.
TEST_F(ChipModelsTest, EachN3W8ProductBuildsItsClassPerUnit) {
    struct Unit {
        std::uint8_t id;
        const std::type_info* type; // null: cut out
        std::uint32_t items;
        const std::type_info* mute; // the back item; null: not checked
    };
    struct Variant {
        const char* name;
        std::uint16_t vendor, product;
        std::vector<Unit> units;
    };
    const auto& none = typeid(void);
    const Variant variants[] = {
        {"forced-mute headset",
         0x1E7D,
         0x3750,
         {{1, &typeid(CN3W8InputTerminal), 1, nullptr},
          {8, &typeid(CN3W8RecordFeatureUnit), 2, &typeid(CUacMuteControl)},
          {9, &typeid(CN3W8AnalogFeatureUnit), 2, &typeid(CUacMuteControl)},
          {11, &typeid(CN3W8ForcedMuteFeatureUnit), 2, &typeid(CUacMuteControl)},
          {13, &typeid(CN3W8MuteLedFeatureUnit), 2, &typeid(CN3W8MuteNodeA)},
          {3, &typeid(CN3W8OutputTerminal), 1, nullptr},
          {2, nullptr, 0, nullptr},
          {15, nullptr, 0, nullptr},
          {16, nullptr, 0, nullptr}}},
        {"two-channel headset",
         0x5131,
         0x001C,
         {{11, &typeid(CN3W8AnalogFeatureUnit), 2, nullptr},
          {15, &typeid(CN3W8RecordFeatureUnit), 2, nullptr},
          {3, &typeid(CN3W8OutputTerminal), 1, nullptr},
          {16, nullptr, 0, nullptr}}},
        {"LED headset",
         0x28DA,
         0x268E,
         {{8, &typeid(CN3W8RecordFeatureUnitLed), 3, &typeid(CUacMuteControl)},
          {9, &typeid(CN3W8AnalogFeatureUnit), 2, nullptr},
          {13, &typeid(CN3W8MuteLedFeatureUnit), 2, nullptr},
          {3, &typeid(CN3W8OutputTerminal), 1, nullptr},
          {11, nullptr, 0, nullptr},
          {15, nullptr, 0, nullptr}}},
        {"soft record mute",
         fixtures::fixtureVendor,
         0x0053,
         {{8, &typeid(CN3W8RecordFeatureUnitSoft), 2, &typeid(CN3W8SoftMuteNode)},
          {9, &typeid(CN3W8AnalogFeatureUnit), 2, nullptr},
          {3, &typeid(CN3W8OutputTerminal), 1, nullptr}}},
        // Speakers, headphones and S/PDIF with their switch.
        {"plain",
         0x1234,
         0x0001,
         {{1, &typeid(CN3W8InputTerminal), 1, nullptr},
          {4, &typeid(CN3W8InputTerminal), 1, nullptr},
          {8, &typeid(CN3W8RecordFeatureUnit), 2, nullptr},
          {11, &typeid(CN3W8AnalogFeatureUnit), 2, nullptr},
          {13, &typeid(CN3W8MuteLedFeatureUnit), 2, nullptr},
          {15, &typeid(CN3W8RecordFeatureUnit), 2, nullptr},
          {16, &typeid(CN3W8MixFeatureUnit), 2, &typeid(CN3W8MuteNodeB)},
          {17, &typeid(CN3W8SelectorUnit), 1, nullptr},
          {12, &typeid(CUac1MixerUnit), 1, nullptr},
          {6, &typeid(CUac1OutputTerminal), 1, nullptr},
          {3, &typeid(CN3W8OutputTerminal), 4, nullptr},
          {2, nullptr, 0, nullptr}}},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        usbsim::FunctionDescription description = fixtures::n3w8Device();
        description.vendorId = v.vendor;
        description.productId = v.product;
        ASSERT_EQ(StartChip(std::move(description)), kernel::STATUS_SUCCESS);
        for (const Unit& unit : v.units) {
            SCOPED_TRACE(testing::Message() << "unit " << int(unit.id));
            IAudioNode* entity = nullptr;
            const bool found = kernel::succeeded(Model()->FindEntityById(unit.id, &entity));
            EXPECT_EQ(found ? typeid(*entity) : none, unit.type ? *unit.type : none);
            if (!found || unit.type == nullptr) continue;
            auto& uac = dynamic_cast<CUacEntity&>(*entity);
            std::uint32_t items = 0;
            ASSERT_EQ(uac.GetItemCount(&items), kernel::STATUS_SUCCESS);
            EXPECT_EQ(items, unit.items);
            IAudioNode* back = nullptr;
            if (unit.mute != nullptr && items > 0 &&
                kernel::succeeded(uac.GetItemAt(items - 1, &back))) {
                EXPECT_EQ(typeid(*back), *unit.mute) << typeid(*back).name();
            }
        }
        ReleaseAdapter();
        TearDown();
    }
}

// The S/PDIF record unit's mute sits in the capture chain with every other
// record input's controls; it silences the capture only while the record
// selector has its input.
TEST_F(ChipModelsTest, AnN3W8RecordMuteActsOnlyWhileItsInputIsSelected) {
    usbsim::FunctionDescription description = fixtures::n3w8Device();
    description.vendorId = 0x1234;
    description.productId = 0x0001;
    ASSERT_EQ(StartChip(std::move(description)), kernel::STATUS_SUCCESS);
    IAudioNode* spdif = nullptr;
    IAudioNode* selector = nullptr;
    ASSERT_EQ(Model()->FindEntityById(16, &spdif), kernel::STATUS_SUCCESS);
    ASSERT_EQ(Model()->FindEntityById(17, &selector), kernel::STATUS_SUCCESS);
    IAudioNode* back = nullptr;
    auto& unit = dynamic_cast<CUacEntity&>(*spdif);
    ASSERT_EQ(unit.GetItemAt(1, &back), kernel::STATUS_SUCCESS);
    auto* mute = dynamic_cast<CN3W8MuteNodeB*>(back);
    ASSERT_NE(mute, nullptr);
    IAudioNode* selection = nullptr;
    ASSERT_EQ(dynamic_cast<CUacEntity&>(*selector).GetItemAt(0, &selection),
              kernel::STATUS_SUCCESS);
    auto& choice = dynamic_cast<ISelectorControl&>(*selection);
    std::vector<std::uint32_t> sources(selector->GetIdCount());
    std::uint32_t count = static_cast<std::uint32_t>(sources.size());
    ASSERT_EQ(selector->GetIdList(&count, sources.data()), kernel::STATUS_SUCCESS);
    const auto at = std::find(sources.begin(), sources.end(), 16u);
    ASSERT_NE(at, sources.end());
    const auto own = static_cast<std::uint32_t>(at - sources.begin()) + 1;
    const std::uint32_t other = own == 1 ? 2 : 1;
    ASSERT_EQ(Call([&] { return mute->SetOnOff(0, 1); }), kernel::STATUS_SUCCESS);
    const ks::WaveFormatExtensible format = [] {
        ks::WaveFormatExtensible f{};
        f.Format.wFormatTag = ks::format_tag::pcm;
        f.Format.nChannels = 2;
        f.Format.wBitsPerSample = 16;
        f.Format.nBlockAlign = 4;
        return f;
    }();
    for (const auto& [input, silenced] : {std::pair{other, false}, std::pair{own, true}}) {
        SCOPED_TRACE(testing::Message() << "input " << input);
        const auto selected = input; // a lambda may not capture a structured binding in clang 14
        ASSERT_EQ(Call([&] { return choice.SetCurrentInput(selected); }), kernel::STATUS_SUCCESS);
        float left[4] = {1, 1, 1, 1};
        float right[4] = {1, 1, 1, 1};
        float* planes[] = {left, right};
        ASSERT_EQ(mute->Process(&format, planes, 4), kernel::STATUS_SUCCESS);
        EXPECT_EQ(left[3], silenced ? 0.0f : 1.0f);
        EXPECT_EQ(right[0], silenced ? 0.0f : 1.0f);
    }
}

// Either identification byte unread would leave the product choices to a
// guess, so the start ends and nothing reaches the chip's registers.
TEST_F(ChipModelsTest, AFailedN3W8ChipReadFailsTheStart) {
    constexpr std::uint8_t VendorOtherIn = 0xC3;
    for (const std::uint16_t unanswered : {9, 8}) {
        SCOPED_TRACE(testing::Message() << "wIndex " << unanswered);
        auto chip = std::make_shared<fixtures::N3W8Chip>();
        usbsim::FunctionDescription description = fixtures::n3w8Device(chip);
        description.requests =
            [hook = description.requests,
             unanswered](const usb::SetupPacket& setup,
                         std::span<const std::uint8_t> data) -> std::optional<usbsim::Bytes> {
            if (setup.bmRequestType == VendorOtherIn && setup.wIndex.value() == unanswered)
                return std::nullopt;
            return hook(setup, data);
        };
        EXPECT_FALSE(kernel::succeeded(StartChip(std::move(description))));
        EXPECT_NE(LastModel().model, nullptr);
        EXPECT_EQ(chip->registers, (std::array<std::uint16_t, 6>{}));
        TearDown();
    }
}

TEST_F(ChipModelsTest, AnAllocationFailingAnywhereInTheStartLeavesNothingBehind) {
    for (const ModelCase& c : ModelCases()) {
        SCOPED_TRACE(c.name);
        const bool everyOne = *c.model == typeid(CUac1DeviceK7D2) ||
                              *c.model == typeid(CUac1DeviceT6L1) ||
                              *c.model == typeid(CUac1DeviceN3W8);
        FailEachAllocation(c.describe(), everyOne ? 1 : 5);
        TearDown();
    }
}

// The N3W8 products whose classes the headset above does not build: the
// switchable output terminal with its switch, the mix unit, the LED and the
// software record mute.
TEST_F(ChipModelsTest, AnAllocationFailingAnywhereInAnN3W8StartLeavesNothingBehind) {
    const std::pair<std::uint16_t, std::uint16_t> products[] = {
        {0x1234, 0x0001}, {0x28DA, 0x268E}, {fixtures::fixtureVendor, 0x0053}};
    for (const auto& [vendor, product] : products) {
        SCOPED_TRACE(testing::Message() << std::hex << vendor << "/" << product);
        usbsim::FunctionDescription description = fixtures::n3w8Device();
        description.vendorId = vendor;
        description.productId = product;
        FailEachAllocation(std::move(description), 1);
        TearDown();
    }
}

} // namespace
} // namespace adapter_test
