// The descriptor walks on crafted and broken descriptors, the rates a
// continuous range gives, the collection ring, renaming after a terminal
// switch, the endpoint records and the product identification.
#include "driver/devmodel/engine_nodes.h"
#include "driver/devmodel/uac_endpoint_info.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/terminal_type_item.h"
#include "driver/tests/engine_test_doubles.h"
#include "driver/usbstream/usb_stream_engine_create.h"
#include "sim/usb/descriptor_builder.h"
#include "uac_device_fixture.h"

#include <sstream>

namespace devmodel_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

usbsim::FunctionDescription MinimalFunction(usb::AudioRelease release = usb::AudioRelease::uac1) {
    usbsim::FunctionDescription d = usbsim::fixtures::namedFunction(
        release, usbsim::fixtures::fixtureVendor, 0x0301, u"Minimal");
    d.strings.push_back({.index = 0x50, .text = u"Minimal FW"});
    d.entities = {
        usbsim::InputTerminal{.id = 1},
        usbsim::OutputTerminal{.id = 2, .terminalType = usb::terminal_type::speaker, .source = 1}};
    d.streaming = {{.number = 1,
                    .settings = {{.terminalLink = 1,
                                  .format = {.rates = {48000}},
                                  .data = {.address = 0x01, .maxPacketSize = 196}}}}};
    return d;
}

// An AudioControl interface descriptor of the release, then the bytes given.
Bytes ControlInterface(std::uint8_t protocol, Bytes rest) {
    Bytes bytes = {9, 0x04, 0, 0, 0, 1, 1, protocol, 0};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

struct WalkCase {
    const char* what;
    Bytes descriptors; // after the interface descriptor
    NTSTATUS status;
};

class UacDeviceWalk : public UacDeviceFixture {
protected:
    NTSTATUS WalkControl(const Bytes& bytes) {
        return Model()->ParseControlInterface(
            reinterpret_cast<const usb::InterfaceDescriptor*>(bytes.data()),
            static_cast<std::uint32_t>(bytes.size()));
    }
    void ExpectWalks(std::uint8_t protocol, std::span<const WalkCase> cases) {
        for (const WalkCase& entry : cases) {
            const std::uint32_t entities = Model()->GetEntityCount();
            EXPECT_EQ(WalkControl(ControlInterface(protocol, entry.descriptors)), entry.status)
                << entry.what;
            EXPECT_EQ(Model()->GetEntityCount(), entities) << entry.what;
        }
    }
};

// A header, then the descriptor at fault; nothing is built from it.
TEST_F(UacDeviceWalk, Uac1ControlWalkRefusesMalformedDescriptors) {
    ASSERT_EQ(Build(MinimalFunction()), STATUS_SUCCESS);
    const Bytes header = {9, 0x24, 1, 0x00, 0x01, 30, 0, 1, 1};
    auto after = [&](Bytes rest) {
        Bytes bytes = header;
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        return bytes;
    };
    const WalkCase cases[] = {
        {"bLength 0", after({0, 0x24, 2}), STATUS_UNSUCCESSFUL},
        {"bLength 1", after({1, 0x24, 2}), STATUS_UNSUCCESSFUL},
        {"class-specific of 2 bytes", after({2, 0x24}), STATUS_UNSUCCESSFUL},
        {"past the end", after({12, 0x24, 2, 9, 0x01, 0x01}), STATUS_UNSUCCESSFUL},
        {"input terminal of 11 bytes", after({11, 0x24, 2, 9, 0x01, 0x01, 0, 2, 3, 0, 0}),
         STATUS_INVALID_PARAMETER},
        {"output terminal of 8 bytes", after({8, 0x24, 3, 9, 0x01, 0x03, 0, 1}),
         STATUS_INVALID_PARAMETER},
        {"feature unit with bControlSize 0", after({7, 0x24, 6, 9, 1, 0, 0}),
         STATUS_INVALID_PARAMETER},
        {"feature unit one byte short", after({8, 0x24, 6, 9, 1, 2, 0x01, 0x00}),
         STATUS_INVALID_PARAMETER},
        {"selector with sources past its length", after({6, 0x24, 5, 9, 3, 1}),
         STATUS_INVALID_PARAMETER},
        {"processing unit", after({13, 0x24, 7, 9, 1, 0, 1, 1, 2, 3, 0, 0, 0}),
         STATUS_INVALID_PARAMETER},
        {"a subtype without a class", after({3, 0x24, 0x0F}), STATUS_UNSUCCESSFUL},
    };
    ExpectWalks(0x00, cases);
    EXPECT_EQ(WalkControl(ControlInterface(0x20, header)), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WalkControl({9, 0x04, 0, 0, 0, 1, 2, 0, 0}), STATUS_INVALID_PARAMETER);
    // An endpoint descriptor ends the class-specific part: success.
    EXPECT_EQ(WalkControl(ControlInterface(0x00, after({7, 0x05, 0x83, 0x03, 2, 0, 32}))),
              STATUS_SUCCESS);
}

TEST_F(UacDeviceWalk, Uac2ControlWalkRefusesClockSelectorsAndShortUnits) {
    ASSERT_EQ(Build(usbsim::fixtures::uac2FeedbackDevice()), STATUS_SUCCESS);
    const WalkCase cases[] = {
        {"clock selector", {8, 0x24, 0x0B, 40, 1, 10, 0, 0}, STATUS_UNSUCCESSFUL},
        {"clock source of 7 bytes", {7, 0x24, 0x0A, 40, 3, 7, 0}, STATUS_INVALID_PARAMETER},
        {"feature unit of 9 bytes", {9, 0x24, 6, 40, 1, 0, 0, 0, 0}, STATUS_INVALID_PARAMETER},
        {"input terminal of 16 bytes",
         {16, 0x24, 2, 40, 0x01, 0x01, 0, 10, 2, 3, 0, 0, 0, 0, 0, 0},
         STATUS_INVALID_PARAMETER},
    };
    ExpectWalks(0x20, cases);
}

// The bytes of a fixture's configuration, with one change made by `edit`
// to the first class-specific streaming descriptor of the subtype.
Bytes EditedStreaming(const usbsim::FunctionDescription& description, std::uint8_t subtype,
                      const std::function<void(std::uint8_t*)>& edit) {
    Bytes bytes = usbsim::buildDescriptors(description).configuration;
    bool streaming = false;
    for (std::size_t at = 0; at + 2 < bytes.size(); at += bytes[at]) {
        if (bytes[at + 1] == 0x04) streaming = bytes[at + 6] == 0x02;
        if (streaming && bytes[at + 1] == 0x24 && bytes[at + 2] == subtype) {
            edit(&bytes[at]);
            break;
        }
    }
    return bytes;
}

TEST_F(UacDeviceWalk, StreamingWalkRefusesBadLinksAndFormats) {
    struct Case {
        const char* what;
        std::uint8_t subtype;
        std::function<void(std::uint8_t*)> edit;
        NTSTATUS status;
    };
    const Case cases[] = {
        {"link to no entity", 1, [](std::uint8_t* d) { d[3] = 99; }, STATUS_UNSUCCESSFUL},
        {"format type II", 2, [](std::uint8_t* d) { d[3] = 2; }, STATUS_INVALID_PARAMETER},
        {"format before the general descriptor", 1, [](std::uint8_t* d) { d[2] = 0x03; },
         STATUS_INVALID_PARAMETER},
    };
    for (const Case& entry : cases) {
        usbsim::FunctionDescription description = MinimalFunction();
        description.rawConfiguration = EditedStreaming(description, entry.subtype, entry.edit);
        EXPECT_EQ(Build(std::move(description)), entry.status) << entry.what;
    }
}

TEST_F(UacDeviceWalk, ContinuousRangesGiveTheStandardRatesInside) {
    struct Case {
        std::uint32_t lower;
        std::uint32_t upper;
        std::vector<std::uint32_t> rates; // empty: refused
    };
    const Case cases[] = {
        {44100, 48000, {44100, 48000}},
        {20000, 30000, {22050}},
        {30000, 20000, {22050}},
        {8000, 96000, {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000}},
        {8000, 192000, {}},
        {45000, 46000, {}},
    };
    for (const Case& entry : cases) {
        usbsim::FunctionDescription description = MinimalFunction();
        description.streaming[0].settings[0].format.rates.clear();
        description.streaming[0].settings[0].format.continuous =
            usbsim::RateRange{entry.lower, entry.upper, 1};
        const NTSTATUS status = Build(std::move(description));
        if (entry.rates.empty()) {
            EXPECT_EQ(status, STATUS_INVALID_PARAMETER) << entry.lower;
            continue;
        }
        ASSERT_EQ(status, STATUS_SUCCESS) << entry.lower;
        IStreamEngine* engine = nullptr;
        ASSERT_EQ(Hal()->GetEndpoint(0, &engine), STATUS_SUCCESS);
        std::vector<std::uint32_t> rates;
        for (std::uint32_t index = 0; index < engine->GetFormatCount(); ++index) {
            ks::WaveFormatExtensible format{};
            EXPECT_EQ(engine->GetFormat(index, &format), STATUS_SUCCESS);
            rates.push_back(format.Format.nSamplesPerSec);
        }
        EXPECT_EQ(rates, entry.rates) << entry.lower << "-" << entry.upper;
    }
}

// Every pool tag of the model, its entities, items and engines refused in
// turn: Init fails with an error or succeeds, and nothing leaks.
TEST_F(UacDeviceWalk, AllocationFailuresLeaveNothingBehind) {
    const kernel::PoolTag tags[] = {
        kernel::poolTag("UAC1"), kernel::poolTag("UAC2"), kernel::poolTag("UA10"),
        kernel::poolTag("UA20"), kernel::poolTag("AUAT"), kernel::poolTag("Topo"),
        kernel::poolTag("Lis"),  kernel::poolTag("HALB"), kernel::poolTag("Temp"),
        kernel::poolTag("pmet"), kernel::poolTag("Stre"), kernel::poolTag("VTag"),
        kernel::poolTag("MTag"), kernel::poolTag("TerT"), kernel::poolTag("cloc"),
        kernel::poolTag("DSPs"), kernel::poolTag("URB ")};
    for (const auto& make :
         {IdentifiedUac1Headset, +[] { return usbsim::fixtures::uac2FeedbackDevice(); }}) {
        int refused = 0;
        for (const kernel::PoolTag tag : tags) {
            kernel::failPoolTag(tag);
            const NTSTATUS status = Build(make());
            kernel::clearPoolFaults();
            EXPECT_TRUE(status == STATUS_SUCCESS || kernel::isError(status)) << tag;
            refused += status != STATUS_SUCCESS;
            Release();
        }
        EXPECT_GT(refused, 8);
    }
}

class CRenamedEngine : public engine_test::CTestEngine {
public:
    using CTestEngine::CTestEngine;
    kernel::NTSTATUS Install(io::DeviceObject*, io::Irp*, kernel::IUnknown*) override {
        return STATUS_SUCCESS;
    }
    kernel::NTSTATUS Uninstall(io::DeviceObject*, io::Irp*, kernel::IUnknown*) override {
        return STATUS_SUCCESS;
    }
};

std::string NameOf(IStreamEngine& engine) {
    char16_t name[EngineNameMaxChars + 1] = {};
    EXPECT_EQ(engine.GetName(name, EngineNameMaxChars + 1), STATUS_SUCCESS);
    return std::string(name, name + std::char_traits<char16_t>::length(name));
}

// An endpoint switched to headphones keeps its number when no other
// endpoint bears the new name with it, else takes the lowest free one.
TEST_F(UacDeviceWalk, RenamedEndpointsNeverShareAName) {
    ASSERT_EQ(Build(MinimalFunction()), STATUS_SUCCESS);
    struct Endpoint {
        std::u16string name;
        std::vector<std::uint32_t> types; // the current one first
        std::uint32_t selected;           // after the switch
        std::string renamed;
    };
    const Endpoint endpoints[] = {
        {u"SPKOut00", {1, 2}, 2, "HPOut01"}, // HPOut00 is taken
        {u"HPOut00", {2, 1}, 2, "HPOut00"},  // no switch: unchanged
        {u"SPKOut02", {1, 2}, 2, "HPOut02"}, // its number is free
    };
    engine_test::HeldList<CRenamedEngine> engines;
    engine_test::HeldList<CTerminalTypeItem> switches;
    for (const Endpoint& endpoint : endpoints) {
        auto* engine = engine_test::Make<CRenamedEngine>(EngineDirectionRender, "");
        auto* item = engine_test::Make<CTerminalTypeItem>(20u + switches.size());
        engines.push_back(engine);
        switches.push_back(item);
        ASSERT_EQ(engine->Init(EngineDirectionRender), STATUS_SUCCESS);
        ASSERT_EQ(engine->SetName(endpoint.name.c_str()), STATUS_SUCCESS);
        ASSERT_EQ(item->SetUpTypes(static_cast<std::uint32_t>(endpoint.types.size()),
                                   endpoint.types.data()),
                  STATUS_SUCCESS);
        ASSERT_EQ(item->SelectType(endpoint.selected), STATUS_SUCCESS);
        engine->entities.push_back(item);
        ASSERT_EQ(engine->AddUniqueEntity(item), STATUS_SUCCESS);
        ASSERT_EQ(Model()->AddEndpoint(engine), STATUS_SUCCESS);
    }
    EXPECT_EQ(Model()->UpdateEndpoints(0), STATUS_SUCCESS);
    for (std::size_t index = 0; index < engines.size(); ++index)
        EXPECT_EQ(NameOf(*engines[index]), endpoints[index].renamed) << index;
}

// The vendor's speaker terminal 16 plays as headphones, and its product
// 0x0A04 needs output terminals 16 and 64 to start.
TEST_F(UacDeviceWalk, VendorTerminalRules) {
    auto function = [](bool withSecond) {
        usbsim::FunctionDescription d = MinimalFunction();
        d.vendorId = 0x1B1C;
        d.productId = 0x0A04;
        d.strings.pop_back(); // known by its ids
        d.entities = {usbsim::InputTerminal{.id = 1},
                      usbsim::OutputTerminal{
                          .id = 16, .terminalType = usb::terminal_type::speaker, .source = 1}};
        if (withSecond)
            d.entities.push_back(usbsim::OutputTerminal{
                .id = 64, .terminalType = usb::terminal_type::speaker, .source = 1});
        return d;
    };
    EXPECT_EQ(Build(function(false)), STATUS_UNSUCCESSFUL);
    ASSERT_EQ(Build(function(true)), STATUS_SUCCESS);
    IAudioNode* terminal = nullptr;
    ASSERT_EQ(Model()->FindEntityById(16, &terminal), STATUS_SUCCESS);
    CQueriedInterface<ITerminalInfo> info(terminal, IID_ITerminalInfo);
    ASSERT_TRUE(info);
    std::uint32_t code = 0;
    EXPECT_EQ(info->GetEndpointType(&code), STATUS_SUCCESS);
    EXPECT_EQ(code, 2u); // headphones
    ASSERT_EQ(Model()->FindEntityById(64, &terminal), STATUS_SUCCESS);
    CQueriedInterface<ITerminalInfo> second(terminal, IID_ITerminalInfo);
    EXPECT_EQ(second->GetEndpointType(&code), STATUS_SUCCESS);
    EXPECT_EQ(code, 1u); // only terminal 16 is renamed
}

TEST(UacEndpointInfo, RecordsByDeviceDirectionAndType) {
    EndpointInfoRecord device = {};
    device.words[0] = 0xFFFFFFFF;
    device.words[4] = 7;
    device.words[6] = 5;
    struct Case {
        bool uac2;
        EndpointInfoQuery query;
        std::uint32_t word0, word4, word6;
    };
    const Case cases[] = {
        {false, {MakerVendorId, 0x0058, 1, 7, 1}, 0xFFFFFFFF + 0x800000u, 0, 5},
        {false, {MakerVendorId, 0x0058, 0, 7, 1}, 0xFFFFFFFF, 0, 5},
        {false, {0x1234, 1, 0, 3, 1}, 0, 0, 0},
        {false, {0x1234, 1, 0, 1, 1}, 0xFFFFFFFF, 7, 5},
        {true, {0x0438, 0x0101, 0, 2, 1}, 0x3C00AE, 0, 0},
        {true, {0x0B05, 0x189D, 1, 6, 1}, 0, 0, 2},
        {true, {0x0B05, 0x17B1, 0, 2, 1}, 0x603F, 0, 3},
        {true, {MakerVendorId, 0x01E1, 1, 3, 1}, 0, 0, 0},
        {true, {MakerVendorId, 0x01E1, 0, 3, 1}, 0, 0, 2},
        // The ASIO rows (word 6 bit 1): headphones, microphone and line of
        // the maker's product, the generic release-2 capture types.
        {true, {MakerVendorId, 0x01E1, 0, 2, 1}, 0, 0, 2},
        {true, {MakerVendorId, 0x01E1, 1, 7, 1}, 0, 0, 2},
        {true, {MakerVendorId, 0x01E1, 0, 6, 1}, 0, 0, 2},
        {true, {MakerVendorId, 0x01E1, 0, 1, 1}, 0, 0, 0},
        {true, {MakerVendorId, 0x01E1, 1, 9, 1}, 0, 0, 0},
        {true, {0x0B05, 0x189D, 0, 1, 1}, 0x3C0087, 0, 2},
        {true, {0x0B05, 0x189D, 1, 7, 1}, 0x28000, 0, 2},
        {true, {0x1234, 1, 1, 11, 1}, 0x28000, 0, 18},
        {true, {0x1234, 1, 1, 18, 1}, 0x28000, 0, 18},
        {true, {0x1234, 1, 1, 7, 1}, 0x28000, 0, 18},
        {true, {0x0B05, 0x180F, 1, 11, 1}, 0x28000, 0, 16},
        {true, {0x1234, 1, 1, 1, 1}, 0, 0, 18},
        {true, {0x1234, 1, 1, 3, 1}, 0, 0, 0},
        {true, {0x1234, 1, 0, 1, 1}, 0x3FE0FF, 0, 5},
        {true, {0x1234, 1, 0, 3, 1}, 0, 0, 5},
        {true, {0x1234, 1, 0, 3, 2}, 0, 0, 0},
    };
    for (const Case& entry : cases) {
        const EndpointInfoRecord record = entry.uac2 ? Uac2EndpointInfo(entry.query, device)
                                                     : Uac1EndpointInfo(entry.query, device);
        const std::string where = std::to_string(entry.query.vendorId) + "/" +
                                  std::to_string(entry.query.productId) + " dir " +
                                  std::to_string(entry.query.direction) + " type " +
                                  std::to_string(entry.query.endpointType);
        EXPECT_EQ(record.words[0], entry.word0) << where;
        EXPECT_EQ(record.words[4], entry.word4) << where;
        EXPECT_EQ(record.words[6], entry.word6) << where;
        for (int word : {1, 2, 3, 5, 7}) EXPECT_EQ(record.words[word], 0u) << where;
    }
}

// The product string and the vendor registers behind it decide the
// device's record, which the speaker endpoint reports.
TEST_F(UacDeviceWalk, ProductIdentificationFillsTheRecord) {
    struct Case {
        const char* what;
        std::u16string string; // empty: none
        std::uint16_t vendor, product;
        std::vector<std::uint8_t> registers; // wValue 0x51, or 0x1A then 0x20
        NTSTATUS status;
        std::uint32_t word0, word4, word6;
    };
    const Case cases[] = {
        {"M5X3 model 0x1F", u"M5X3 v2", 0x1234, 1, {0x1F}, STATUS_SUCCESS, 0x3E10A0, 0, 0},
        {"M5X3 other model", u"M5X3", 0x1234, 1, {0x11}, STATUS_SUCCESS, 0, 0, 0},
        {"M5X3 on 0x09DA", u"M5X3", 0x09DA, 0x2702, {0x1F}, STATUS_SUCCESS, 0x3E00A5, 0, 0},
        {"M5X3 on 0x251F", u"M5X3", 0x251F, 0x3001, {0x1F}, STATUS_SUCCESS, 0x3E00A4, 0, 0},
        {"HXR7D5 08", u"HXR7D5", 0x1234, 1, {0x08, 0x00}, STATUS_SUCCESS, 0x3E087, 0, 0},
        {"HXR7D5 0E", u"HXR7D5", 0x1234, 1, {0x0E, 0x00}, STATUS_SUCCESS, 0x3E087, 0, 2},
        {"HXR7D5 unknown", u"HXR7D5", 0x1234, 1, {0x02, 0x00}, STATUS_UNSUCCESSFUL, 0, 0, 0},
        {"HXR7D5 bit 1", u"HXR7D5", 0x1234, 1, {0x08, 0x02}, STATUS_UNSUCCESSFUL, 0, 0, 0},
        {"M5X3 register silent", u"M5X3", 0x1234, 1, {}, STATUS_UNSUCCESSFUL, 0, 0, 0},
        {"known without string", u"", 0x047F, 0xD957, {}, STATUS_SUCCESS, 0x3C0264, 12, 0},
        {"unknown without string", u"", 0x1234, 1, {}, STATUS_UNSUCCESSFUL, 0, 0, 0},
    };
    for (const Case& entry : cases) {
        usbsim::FunctionDescription description = MinimalFunction();
        description.vendorId = entry.vendor;
        description.productId = entry.product;
        description.strings.pop_back();
        if (!entry.string.empty()) description.strings.push_back({0x32, entry.string});
        const std::vector<std::uint8_t> registers = entry.registers;
        description.requests =
            [registers](const usb::SetupPacket& setup,
                        std::span<const std::uint8_t>) -> std::optional<usbsim::Bytes> {
            if (setup.bmRequestType != 0xC3 || registers.empty()) return std::nullopt;
            const std::uint16_t value = setup.wValue.value();
            if (value == 0x51 || value == 0x1A) return usbsim::Bytes{registers[0]};
            if (value == 0x20 && registers.size() > 1) return usbsim::Bytes{registers[1]};
            return std::nullopt;
        };
        const NTSTATUS status = Build(std::move(description));
        EXPECT_EQ(status, entry.status) << entry.what;
        if (!kernel::succeeded(status)) continue;
        EndpointInfoRecord record = {};
        ASSERT_EQ(Hal()->GetInfoRecord(0, &record), STATUS_SUCCESS);
        EXPECT_EQ(record.words[0], entry.word0) << entry.what;
        EXPECT_EQ(record.words[4], entry.word4) << entry.what;
        EXPECT_EQ(record.words[6], entry.word6) << entry.what;
    }
}

// The ring keeps one slot free: a node may bring 19 sources after the
// first dequeue, not 20; a mixer's sources are never queued.
TEST_F(UacDeviceWalk, CollectionRingHoldsNineteenSources) {
    ASSERT_EQ(Build(MinimalFunction()), STATUS_SUCCESS);
    engine_test::Log log;
    engine_test::HeldList<engine_test::CTestNode> nodes;
    auto add = [&](std::uint32_t id, std::uint32_t type, std::vector<std::uint32_t> sources) {
        auto* node = engine_test::Make<engine_test::CTestNode>(id, type, &log);
        nodes.push_back(node);
        if (!sources.empty()) {
            EXPECT_EQ(node->SetIdList(static_cast<std::uint32_t>(sources.size()), sources.data()),
                      STATUS_SUCCESS);
        }
        EXPECT_EQ(Model()->AddChildObject(node), STATUS_SUCCESS);
    };
    std::vector<std::uint32_t> nineteen;
    for (std::uint32_t id = 200; id < 219; ++id) {
        add(id, 3, {});
        nineteen.push_back(id);
    }
    std::vector<std::uint32_t> twenty = nineteen;
    twenty.push_back(219);
    add(219, 3, {});
    add(100, 1, {101});
    add(101, 8, nineteen);
    add(110, 1, {111});
    add(111, 8, twenty);
    add(120, 1, {121});
    add(121, item_type::mixer, twenty);

    struct Case {
        std::uint32_t start;
        NTSTATUS status;
        std::uint32_t nodes;
    };
    for (const Case& entry :
         {Case{100, STATUS_SUCCESS, 21}, Case{110, STATUS_INSUFFICIENT_RESOURCES, 2},
          Case{120, STATUS_SUCCESS, 2}}) {
        CUsbStreamEngine* created = nullptr;
        ASSERT_EQ(
            CreateUsbStreamEngine(&created, UsbStreamKind::uac1Capture, nullptr, 1, entry.start),
            STATUS_SUCCESS);
        Held<CUsbStreamEngine> engine(created);
        ASSERT_EQ(engine->InitStream(1, Model()->UsbDevice()), STATUS_SUCCESS);
        EXPECT_EQ(CollectUpstream(*Model(), *engine.get(), entry.start), entry.status)
            << entry.start;
        EXPECT_EQ(engine->GetEntityCount(), entry.nodes) << entry.start;
        engine.reset();
        stack->clock.settle();
    }
    Release(); // the nodes log their stop while the log lives
}

} // namespace
} // namespace devmodel_test
