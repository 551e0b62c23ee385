#include "driver/common/interface_ids.h"
#include "driver/engine/terminal_item.h"
#include "driver/miniport/wave_automation.h"
#include "driver/usbstream/usb_stream_records.h"
#include "driver/usermode/topology_properties.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/thread.h"
#include "platform/ks/identifier.h"
#include "wave_test_support.h"

namespace {

using namespace wave_test;

const auto Pcm48 = Extensible(2, 16, 48000);
const auto Pcm96 = Extensible(2, 24, 96000);
const auto Float48 = Extensible(2, 32, 48000, 32, ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
const auto Vendor48 = Extensible(2, 16, 48000, 16, MakerVendorSubFormat);

struct RangeCase {
    const char* name;
    std::vector<ks::WaveFormatExtensible> formats;
    NTSTATUS init;
    // Expected ranges: sub-format, channels, bits and rates.
    std::vector<std::vector<std::uint32_t>> ranges;
    std::vector<kernel::Guid> subFormats;
};

TEST_F(WaveTest, RangesGroupTheEngineFormatsBySubFormatWithPcmFirst) {
    const std::vector<RangeCase> cases = {
        {"two pcm",
         {Pcm48, Pcm96},
         STATUS_SUCCESS,
         {{2, 16, 24, 48000, 96000}},
         {ks::KSDATAFORMAT_SUBTYPE_PCM}},
        {"float first, vendor left out",
         {Float48, Vendor48, Extensible(6, 16, 44100), Pcm96},
         STATUS_SUCCESS,
         {{6, 16, 24, 44100, 96000}, {2, 32, 32, 48000, 48000}},
         {ks::KSDATAFORMAT_SUBTYPE_PCM, ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT}},
        {"no pcm", {Float48, Vendor48}, kernel::STATUS_INSUFFICIENT_RESOURCES, {}, {}},
        {"no formats", {}, kernel::STATUS_INSUFFICIENT_RESOURCES, {}, {}},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        MakeEndpoint(Render, c.formats);
        ASSERT_EQ(InitMiniport(), c.init);
        const portcls::FilterDescriptor* descriptor = nullptr;
        if (c.init != STATUS_SUCCESS) {
            EXPECT_EQ(miniport->GetDescription(&descriptor),
                      kernel::STATUS_DEVICE_CONFIGURATION_ERROR);
            EXPECT_EQ(port.references.load(), 1u) << "a failed Init keeps no port";
            continue;
        }
        ASSERT_EQ(miniport->GetDescription(&descriptor), STATUS_SUCCESS);
        const portcls::PinDescriptor& pin = descriptor->Pins[WaveStreamingPin];
        ASSERT_EQ(pin.DataRangesCount, 2 * c.ranges.size());
        for (std::size_t i = 0; i < c.ranges.size(); ++i) {
            const auto& range =
                *reinterpret_cast<const ks::DataRangeAudio*>(pin.DataRanges[2 * i].Range);
            EXPECT_EQ(range.DataRange.FormatSize, 88u);
            EXPECT_EQ(range.DataRange.Flags, ks::data_flags::attributes);
            EXPECT_TRUE(IsEqualId(range.DataRange.SubFormat, c.subFormats[i]));
            EXPECT_EQ((std::vector<std::uint32_t>{range.MaximumChannels, range.MinimumBitsPerSample,
                                                  range.MaximumBitsPerSample,
                                                  range.MinimumSampleFrequency,
                                                  range.MaximumSampleFrequency}),
                      c.ranges[i]);
            const portcls::AttributeList& list = *pin.DataRanges[2 * i + 1].Attributes;
            ASSERT_EQ(list.Count, 1u);
            EXPECT_TRUE(IsEqualId(list.Attributes[0]->Attribute,
                                  ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE));
        }
    }
}

TEST_F(WaveTest, FilterRunsFromTheStreamingPinThroughTheConverterByDirection) {
    for (std::uint32_t direction : {Render, Capture}) {
        SCOPED_TRACE(direction);
        TearDown();
        SetUp();
        MakeEndpoint(direction, {Pcm48}, u"Headset");
        ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
        const portcls::FilterDescriptor* d = nullptr;
        ASSERT_EQ(miniport->GetDescription(&d), STATUS_SUCCESS);
        const bool capture = direction == Capture;
        ASSERT_EQ(d->PinCount, 2u);
        EXPECT_EQ(d->Pins[0].DataFlow, capture ? ks::PinDataFlow::Out : ks::PinDataFlow::In);
        EXPECT_EQ(d->Pins[0].Communication, ks::PinCommunication::Sink);
        EXPECT_EQ(d->Pins[1].DataFlow, capture ? ks::PinDataFlow::In : ks::PinDataFlow::Out);
        EXPECT_EQ(d->Pins[1].MaxGlobalInstanceCount, 0u);
        EXPECT_TRUE(
            IsEqualId(*d->Nodes[0].Type, capture ? ks::KSNODETYPE_ADC : ks::KSNODETYPE_DAC));
        EXPECT_TRUE(
            IsEqualId(d->Categories[1], capture ? ks::KSCATEGORY_CAPTURE : ks::KSCATEGORY_RENDER));
        const std::uint32_t first = capture ? 1 : 0;
        EXPECT_EQ(d->Connections[0].FromNodePin, first);
        EXPECT_EQ(d->Connections[0].ToNodePin, 1u);
        EXPECT_EQ(d->Connections[1].ToNodePin, 1 - first);
        const char16_t* name = nullptr;
        ASSERT_EQ(miniport->GetName(&name), STATUS_SUCCESS);
        EXPECT_EQ(std::u16string(name), u"HeadsetWave");
    }
}

struct IntersectionCase {
    const char* name;
    kernel::Guid specifier;
    std::uint32_t clientSize;
    std::uint32_t maxChannels, minBits, maxBits, minRate, maxRate;
    std::uint32_t room;
    NTSTATUS status;
    std::uint32_t length;
    std::uint32_t channels = 0, rate = 0, bits = 0, sampleSize = 0; // of the proposal
};

TEST_F(WaveTest, IntersectionProposesAnEngineFormatInsideBothRanges) {
    MakeEndpoint(Render, {Pcm48, Extensible(2, 24, 48000), Pcm96});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    const kernel::Guid wildcard{};
    const kernel::Guid wave = ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    const std::vector<IntersectionCase> cases = {
        {"wildcard: highest of everything", wildcard, 64, 0, 0, 0, 0, 0, 104, STATUS_SUCCESS, 104,
         2, 96000, 24, 0},
        {"wildcard, no room", wildcard, 64, 0, 0, 0, 0, 0, 0, kernel::STATUS_BUFFER_OVERFLOW, 104},
        {"wildcard, too little room", wildcard, 64, 0, 0, 0, 0, 0, 100,
         kernel::STATUS_BUFFER_TOO_SMALL, 0},
        {"client caps the rate", wave, 88, 8, 8, 32, 8000, 48000, 104, STATUS_SUCCESS, 104, 2,
         48000, 24, 6},
        {"client caps rate and bits", wave, 88, 2, 16, 16, 8000, 48000, 104, STATUS_SUCCESS, 104, 2,
         48000, 16, 4},
        {"no engine format of that combination", wave, 88, 1, 16, 16, 8000, 48000, 104,
         kernel::STATUS_NO_MATCH, 0},
        {"rates do not overlap", wave, 88, 2, 16, 24, 192000, 192000, 104, kernel::STATUS_NO_MATCH,
         0},
        {"bits do not overlap", wave, 88, 2, 32, 32, 48000, 48000, 104, kernel::STATUS_NO_MATCH, 0},
        {"short client range", wave, 87, 2, 16, 24, 48000, 48000, 104,
         kernel::STATUS_INVALID_PARAMETER, 0},
        {"sound-buffer specifier", ks::KSDATAFORMAT_SPECIFIER_DSOUND, 88, 2, 16, 24, 48000, 48000,
         104, kernel::STATUS_NOT_SUPPORTED, 0},
    };
    const portcls::FilterDescriptor* d = nullptr;
    ASSERT_EQ(miniport->GetDescription(&d), STATUS_SUCCESS);
    const ks::DataRange* own = d->Pins[0].DataRanges[0].Range;
    for (const IntersectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ks::DataRangeAudio client{};
        client.DataRange = {c.clientSize,
                            ks::data_flags::attributes,
                            0,
                            0,
                            ks::KSDATAFORMAT_TYPE_AUDIO,
                            ks::KSDATAFORMAT_SUBTYPE_PCM,
                            c.specifier};
        client = {client.DataRange, c.maxChannels, c.minBits, c.maxBits, c.minRate, c.maxRate};
        ks::DataFormatWaveFormatExtensible out{};
        std::uint32_t length = 0;
        EXPECT_EQ(miniport->DataRangeIntersection(0, &client.DataRange, own, c.room, &out, &length),
                  c.status);
        EXPECT_EQ(length, c.length);
        if (c.status != STATUS_SUCCESS) continue;
        EXPECT_EQ(out.DataFormat.FormatSize, 104u);
        EXPECT_EQ(out.DataFormat.Flags & ks::data_flags::attributes, 0u) << "no list follows";
        EXPECT_EQ(out.DataFormat.SampleSize, c.sampleSize);
        EXPECT_EQ(out.WaveFormatExt.Format.nChannels, c.channels);
        EXPECT_EQ(out.WaveFormatExt.Format.nSamplesPerSec, c.rate);
        EXPECT_EQ(out.WaveFormatExt.wValidBitsPerSample, c.bits);
        EXPECT_TRUE(IsEqualId(out.WaveFormatExt.SubFormat, ks::KSDATAFORMAT_SUBTYPE_PCM));
    }
    ks::DataRangeAudio video{};
    video.DataRange = {88,  0, 0, 0, ks::KSDATAFORMAT_SUBTYPE_PCM, ks::KSDATAFORMAT_SUBTYPE_PCM,
                       wave};
    std::uint32_t length = 0;
    ks::DataFormatWaveFormatExtensible out{};
    EXPECT_EQ(miniport->DataRangeIntersection(0, &video.DataRange, own, 104, &out, &length),
              kernel::STATUS_NO_MATCH);
}

TEST_F(WaveTest, WildcardFindsNothingWithoutTheHighestCombination) {
    MakeEndpoint(Render, {Pcm48, Extensible(2, 16, 96000), Extensible(2, 24, 48000)});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    const portcls::FilterDescriptor* d = nullptr;
    ASSERT_EQ(miniport->GetDescription(&d), STATUS_SUCCESS);
    ks::DataRangeAudio client{};
    client.DataRange = {64, 0, 0, 0, ks::KSDATAFORMAT_TYPE_AUDIO, ks::KSDATAFORMAT_SUBTYPE_PCM, {}};
    ks::DataFormatWaveFormatExtensible out{};
    std::uint32_t length = 0;
    EXPECT_EQ(miniport->DataRangeIntersection(0, &client.DataRange, d->Pins[0].DataRanges[0].Range,
                                              104, &out, &length),
              kernel::STATUS_NO_MATCH);
}

struct FormatCase {
    const char* name;
    std::uint32_t size;
    std::uint32_t offset;
    std::uint32_t waveBytes;
    std::vector<std::uint8_t> attributes;
    NTSTATUS status;
    ks::WaveFormatExtensible wave = Pcm48;
};

TEST_F(WaveTest, NewStreamAcceptsOnlyWellFormedOfferedFormats) {
    MakeEndpoint(Render, {Pcm48});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    ks::WaveFormatExtensible basic = Pcm48;
    basic.Format.wFormatTag = ks::format_tag::pcm;
    basic.Format.cbSize = 0;
    ks::WaveFormatExtensible claimsTooMuch = basic;
    claimsTooMuch.Format.cbSize = 22;
    const AttributeEntry raw{};
    const AttributeEntry other{ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE, 40,
                               kernel::makeGuid("{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}")};
    const AttributeEntry wrongId{kernel::makeGuid("{11111111-2222-3333-4444-555555555555}")};
    const AttributeEntry wrongSize{ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE, 48};
    const std::vector<FormatCase> cases = {
        {"extensible", 104, 64, 40, {}, STATUS_SUCCESS},
        {"basic at 64", 82, 64, 18, {}, STATUS_SUCCESS, basic},
        {"basic at 72", 90, 72, 18, {}, STATUS_SUCCESS, basic},
        {"size of no layout", 100, 64, 40, {}, kernel::STATUS_INVALID_PARAMETER},
        {"too short", 81, 64, 17, {}, kernel::STATUS_INVALID_PARAMETER},
        {"extra bytes beyond the format",
         82,
         64,
         18,
         {},
         kernel::STATUS_INVALID_PARAMETER,
         claimsTooMuch},
        {"not offered", 104, 64, 40, {}, kernel::STATUS_INVALID_PARAMETER, Pcm96},
        {"raw asked", 104, 64, 40, AttributeList({raw}), STATUS_SUCCESS},
        {"raw with basic at 64", 88, 64, 18, AttributeList({raw}), STATUS_SUCCESS, basic},
        {"raw with basic at 72", 96, 72, 18, AttributeList({raw}), STATUS_SUCCESS, basic},
        {"empty list is raw", 104, 64, 40, AttributeList({}), STATUS_SUCCESS},
        {"another mode", 104, 64, 40, AttributeList({other}),
         kernel::STATUS_INVALID_DEVICE_REQUEST},
        {"wrong attribute id", 104, 64, 40, AttributeList({wrongId}), kernel::STATUS_NOT_SUPPORTED},
        {"wrong attribute size", 104, 64, 40, AttributeList({wrongSize}),
         kernel::STATUS_INVALID_PARAMETER},
        {"count beyond the list", 104, 64, 40, AttributeList({raw}, 0, 2),
         kernel::STATUS_INVALID_PARAMETER},
        {"list shorter than its attribute", 104, 64, 40, AttributeList({raw}, 40),
         kernel::STATUS_INVALID_PARAMETER},
        {"list shorter than its head", 104, 64, 40, AttributeList({}, 4),
         kernel::STATUS_INVALID_PARAMETER},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FormatBlock format = MakeFormat(c.wave, c.size, c.offset, c.attributes, c.waveBytes);
        EXPECT_EQ(OpenStream(format), c.status);
        EXPECT_EQ(stream != nullptr && dma != nullptr && group != nullptr,
                  c.status == STATUS_SUCCESS);
        CloseStream();
        EXPECT_FALSE(miniport->StreamExists());
    }
}

TEST_F(WaveTest, OneStreamAtATime) {
    MakeEndpoint(Render, {Pcm48});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    const FormatBlock format = MakeFormat(Pcm48);
    ASSERT_EQ(OpenStream(format), STATUS_SUCCESS);
    portcls::IMiniportWaveCyclicStream* second = nullptr;
    portcls::IDmaChannel* secondDma = nullptr;
    portcls::IServiceGroup* secondGroup = nullptr;
    EXPECT_EQ(miniport->NewStream(&second, nullptr, kernel::PoolType::NonPagedNx, 0, false,
                                  format.get(), &secondDma, &secondGroup),
              kernel::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(second, nullptr);
    CloseStream();
    EXPECT_EQ(OpenStream(format), STATUS_SUCCESS) << "a closed stream makes room";
}

void ReleaseMiniportOnThread(void* context) {
    static_cast<portcls::IMiniportWaveCyclic*>(context)->Release();
}

TEST_F(WaveTest, DestructionWaitsForTheLiveStream) {
    MakeEndpoint(Render, {Pcm48});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    ASSERT_EQ(OpenStream(MakeFormat(Pcm48)), STATUS_SUCCESS);
    kernel::ThreadObject* thread = nullptr;
    ASSERT_EQ(kernel::createSystemThread(&thread, ReleaseMiniportOnThread,
                                         static_cast<portcls::IMiniportWaveCyclic*>(miniport)),
              STATUS_SUCCESS);
    miniport = nullptr;
    clock.settle();
    EXPECT_EQ(kernel::blockedThreads(), 1u) << "the destructor waits";
    EXPECT_EQ(port.references.load(), 2u) << "nothing is let go before the stream is gone";
    CloseStream();
    clock.settle();
    EXPECT_EQ(kernel::waitForSingleObject(*thread, kernel::Timeout(std::chrono::seconds(0))),
              STATUS_SUCCESS);
    kernel::dereferenceObject(*thread);
    EXPECT_EQ(port.references.load(), 1u);
}

TEST_F(WaveTest, ModesOfferRawOnTheStreamingPinOnly) {
    MakeEndpoint(Render, {Pcm48});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    struct Case {
        std::uint32_t pin;
        bool array;
        std::uint32_t room;
        NTSTATUS status;
        std::uint32_t count;
    };
    for (const Case& c : std::vector<Case>{{0, true, 4, STATUS_SUCCESS, 1},
                                           {0, false, 0, STATUS_SUCCESS, 1},
                                           {0, true, 0, kernel::STATUS_BUFFER_TOO_SMALL, 1},
                                           {1, true, 4, kernel::STATUS_NOT_SUPPORTED, 4}}) {
        kernel::Guid modes[4] = {};
        std::uint32_t count = c.room;
        EXPECT_EQ(miniport->GetModes(c.pin, c.array ? modes : nullptr, &count), c.status);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(IsEqualId(modes[0], ks::AUDIO_SIGNALPROCESSING_MODE_RAW),
                  c.array && c.status == STATUS_SUCCESS);
    }
    EXPECT_EQ(miniport->GetModes(0, nullptr, nullptr), kernel::STATUS_INVALID_PARAMETER);
}

TEST_F(WaveTest, StreamingTerminalIsTheLastHostFacingTerminalOfTheDirection) {
    MakeEndpoint(Render, {Pcm48});
    engine_test::HeldList<CTerminalItem> terminals;
    const std::vector<std::vector<std::uint32_t>> rows = {{4, item_type::inputTerminal, 0},
                                                          {5, item_type::outputTerminal, 0},
                                                          {6, item_type::inputTerminal, 3},
                                                          {7, item_type::inputTerminal, 0},
                                                          {8, item_type::inputTerminal, 2}};
    for (const auto& row : rows) {
        terminals.push_back(Make<CTerminalItem>(row[0], row[1]));
        ASSERT_EQ(terminals.back()->StoreCodes(1, &row[2]), STATUS_SUCCESS);
        ASSERT_EQ(engine->AddUniqueEntity(terminals.back()), STATUS_SUCCESS);
    }
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    std::uint32_t id = 99;
    EXPECT_EQ(miniport->GetConnection(0, &id), STATUS_SUCCESS);
    EXPECT_EQ(id, 7u);
}

TEST_F(WaveTest, FilterPropertiesAnswerTheRecordAndTheFormatCheck) {
    MakeEndpoint(Render, {Pcm48, Pcm96});
    ASSERT_EQ(InitMiniport(), STATUS_SUCCESS);
    struct Case {
        const char* name;
        std::uint32_t id;
        std::uint32_t verb;
        std::uint32_t size;
        ks::WaveFormatExtensible value;
        NTSTATUS status;
    };
    ks::WaveFormatExtensible mono = Pcm96;
    mono.Format.nChannels = 1;
    const std::uint32_t get = ks::property_verb::get;
    const std::uint32_t set = ks::property_verb::set;
    for (const Case& c : std::vector<Case>{
             {"record", LEVEL_ENDPOINT_RECORD, get, 40, {}, STATUS_SUCCESS},
             {"record, short",
              LEVEL_ENDPOINT_RECORD,
              get,
              31,
              {},
              kernel::STATUS_INVALID_DEVICE_REQUEST},
             {"record set",
              LEVEL_ENDPOINT_RECORD,
              set,
              40,
              {},
              kernel::STATUS_INVALID_DEVICE_REQUEST},
             {"offered", LEVEL_FORMAT_SUPPORT, set, 40, Pcm96, STATUS_SUCCESS},
             {"not offered", LEVEL_FORMAT_SUPPORT, set, 40, mono, kernel::STATUS_INVALID_PARAMETER},
             {"short", LEVEL_FORMAT_SUPPORT, set, 39, Pcm96, kernel::STATUS_INVALID_PARAMETER},
             {"other id", 3, get, 40, {}, kernel::STATUS_INVALID_DEVICE_REQUEST}}) {
        SCOPED_TRACE(c.name);
        const portcls::PropertyItem item{&PROPSETID_Level, c.id, c.verb,
                                         wave_automation::FilterProperty};
        ks::WaveFormatExtensible value = c.value;
        portcls::PropertyRequest request{
            static_cast<portcls::IMiniport*>(static_cast<portcls::IMiniportWaveCyclic*>(miniport)),
            nullptr,
            portcls::nodeNone,
            &item,
            c.verb,
            0,
            nullptr,
            c.size,
            &value};
        EXPECT_EQ(wave_automation::FilterProperty(&request), c.status);
        if (c.id == LEVEL_ENDPOINT_RECORD && c.status == STATUS_SUCCESS) {
            EXPECT_EQ(request.ValueSize, 32u);
        }
    }
}

} // namespace
