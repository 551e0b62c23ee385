#include "driver/miniport/wave_filter.h"

#include "driver/common/interface_ids.h"
#include "driver/common/object_model.h"
#include "driver/engine/stream_engine_base.h"
#include "driver/usbstream/usb_stream_records.h"
#include "platform/ks/topology_ids.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr kernel::PoolType FilterPool = kernel::PoolType::NonPagedNx;

const kernel::Guid renderCategories[] = {ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_RENDER,
                                         GUID_ENUMERATION_PRIVATE_INTERFACE};
const kernel::Guid captureCategories[] = {ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_CAPTURE,
                                          GUID_ENUMERATION_PRIVATE_INTERFACE};

const ks::Identifier streamingInterface{ks::KSINTERFACESETID_Standard,
                                        ks::KSINTERFACE_STANDARD_STREAMING, 0};

// The bridge pin carries an analog connection and no samples.
const ks::DataRange analogRange{sizeof(ks::DataRange),
                                0,
                                0,
                                0,
                                ks::KSDATAFORMAT_TYPE_AUDIO,
                                ks::KSDATAFORMAT_SUBTYPE_ANALOG,
                                ks::KSDATAFORMAT_SPECIFIER_NONE};
const portcls::DataRangeEntry analogRanges[] = {{&analogRange}};

// Every streaming range offers the signal-processing mode attribute.
const ks::Attribute modeAttribute{sizeof(ks::Attribute), 0,
                                  ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE};
const ks::Attribute* const modeAttributes[] = {&modeAttribute};
const portcls::AttributeList rangeAttributes{1, modeAttributes};

template <class Record> kernel::NTSTATUS AllocateZeroed(CPoolBuffer& block, std::uint32_t count) {
    block = CPoolBuffer(FilterPool, std::uint64_t{count} * sizeof(Record), WaveTag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(block.Get(), 0, block.Size());
    return kernel::STATUS_SUCCESS;
}

ks::DataRangeAudio RangeOf(const ks::WaveFormatExtensible& format) {
    ks::DataRangeAudio range = {};
    range.DataRange.FormatSize = sizeof(ks::DataRangeAudio);
    range.DataRange.Flags = ks::data_flags::attributes;
    range.DataRange.MajorFormat = ks::KSDATAFORMAT_TYPE_AUDIO;
    range.DataRange.SubFormat = format.SubFormat;
    range.DataRange.Specifier = ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    range.MaximumChannels = format.Format.nChannels;
    range.MinimumBitsPerSample = range.MaximumBitsPerSample = format.wValidBitsPerSample;
    range.MinimumSampleFrequency = range.MaximumSampleFrequency = format.Format.nSamplesPerSec;
    return range;
}

void Widen(ks::DataRangeAudio& range, const ks::WaveFormatExtensible& format) {
    range.MaximumChannels = std::max<std::uint32_t>(range.MaximumChannels, format.Format.nChannels);
    range.MinimumBitsPerSample =
        std::min<std::uint32_t>(range.MinimumBitsPerSample, format.wValidBitsPerSample);
    range.MaximumBitsPerSample =
        std::max<std::uint32_t>(range.MaximumBitsPerSample, format.wValidBitsPerSample);
    range.MinimumSampleFrequency =
        std::min(range.MinimumSampleFrequency, format.Format.nSamplesPerSec);
    range.MaximumSampleFrequency =
        std::max(range.MaximumSampleFrequency, format.Format.nSamplesPerSec);
}

} // namespace

kernel::NTSTATUS CWaveFilter::Build(IStreamEngine& engine,
                                    const portcls::AutomationTable* filterTable) {
    Free();
    const bool capture = engine.GetDirection() != EngineDirectionRender;
    kernel::NTSTATUS status = BuildRanges(engine);
    if (kernel::succeeded(status)) {
        m_Descriptor = CPoolBuffer(FilterPool, sizeof(portcls::FilterDescriptor), WaveTag);
        if (!m_Descriptor.IsValid()) status = kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    if (kernel::succeeded(status)) status = BuildPins(capture);
    if (kernel::succeeded(status)) status = BuildNode(capture);
    if (kernel::succeeded(status)) status = BuildConnections(capture);
    if (!kernel::succeeded(status)) {
        Free();
        return status;
    }
    *m_Descriptor.Get<portcls::FilterDescriptor>() = {
        0,
        filterTable,
        sizeof(portcls::PinDescriptor),
        2,
        m_Pins.Get<portcls::PinDescriptor>(),
        sizeof(portcls::NodeDescriptor),
        1,
        m_Nodes.Get<portcls::NodeDescriptor>(),
        2,
        m_Connections.Get<portcls::ConnectionDescriptor>(),
        static_cast<std::uint32_t>(std::size(renderCategories)),
        capture ? captureCategories : renderCategories};
    return kernel::STATUS_SUCCESS;
}

void CWaveFilter::Free() {
    m_Descriptor = CPoolBuffer();
    m_Pins = CPoolBuffer();
    m_Nodes = CPoolBuffer();
    m_Connections = CPoolBuffer();
    m_Ranges = CPoolBuffer();
    m_RangeTable = CPoolBuffer();
    m_ulRangeCount = 0;
}

// One range per sub-format, in the order the sub-formats first appear; the
// maker's vendor formats are for its own clients and are not offered.
kernel::NTSTATUS CWaveFilter::BuildRanges(IStreamEngine& engine) {
    const std::uint32_t formats = engine.GetFormatCount();
    if (formats == 0) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    kernel::NTSTATUS status = AllocateZeroed<ks::DataRangeAudio>(m_Ranges, formats);
    if (!kernel::succeeded(status)) return status;
    auto* ranges = m_Ranges.Get<ks::DataRangeAudio>();
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < formats; ++i) {
        ks::WaveFormatExtensible format = {};
        if (!kernel::succeeded(engine.GetFormat(i, &format))) continue;
        if (IsEqualId(format.SubFormat, MakerVendorSubFormat)) continue;
        ks::DataRangeAudio* group = std::find_if(ranges, ranges + count, [&](const auto& range) {
            return IsEqualId(range.DataRange.SubFormat, format.SubFormat);
        });
        if (group == ranges + count)
            ranges[count++] = RangeOf(format);
        else
            Widen(*group, format);
    }
    ks::DataRangeAudio* pcm = std::find_if(ranges, ranges + count, [](const auto& range) {
        return IsEqualId(range.DataRange.SubFormat, ks::KSDATAFORMAT_SUBTYPE_PCM);
    });
    if (pcm == ranges + count) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::swap(ranges[0], *pcm);

    status = AllocateZeroed<portcls::DataRangeEntry>(m_RangeTable, 2 * count);
    if (!kernel::succeeded(status)) return status;
    auto* table = m_RangeTable.Get<portcls::DataRangeEntry>();
    for (std::uint32_t i = 0; i < count; ++i) {
        table[2 * i].Range = &ranges[i].DataRange;
        table[2 * i + 1].Attributes = &rangeAttributes;
    }
    m_ulRangeCount = count;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CWaveFilter::BuildPins(bool capture) {
    const kernel::NTSTATUS status = AllocateZeroed<portcls::PinDescriptor>(m_Pins, 2);
    if (!kernel::succeeded(status)) return status;
    auto* pins = m_Pins.Get<portcls::PinDescriptor>();
    pins[WaveStreamingPin] = {1,
                              1,
                              1,
                              nullptr,
                              1,
                              &streamingInterface,
                              2 * m_ulRangeCount,
                              m_RangeTable.Get<portcls::DataRangeEntry>(),
                              capture ? ks::PinDataFlow::Out : ks::PinDataFlow::In,
                              ks::PinCommunication::Sink,
                              &ks::KSCATEGORY_AUDIO,
                              nullptr};
    pins[WaveBridgePin] = {0,
                           0,
                           0,
                           nullptr,
                           0,
                           nullptr,
                           1,
                           analogRanges,
                           capture ? ks::PinDataFlow::In : ks::PinDataFlow::Out,
                           ks::PinCommunication::None,
                           &ks::KSCATEGORY_AUDIO,
                           nullptr};
    return status;
}

kernel::NTSTATUS CWaveFilter::BuildNode(bool capture) {
    const kernel::NTSTATUS status = AllocateZeroed<portcls::NodeDescriptor>(m_Nodes, 1);
    if (!kernel::succeeded(status)) return status;
    m_Nodes.Get<portcls::NodeDescriptor>()[0] = {
        0, nullptr, capture ? &ks::KSNODETYPE_ADC : &ks::KSNODETYPE_DAC, nullptr};
    return status;
}

// Samples run from the streaming pin through the converter to the bridge
// pin for render, the other way for capture.
kernel::NTSTATUS CWaveFilter::BuildConnections(bool capture) {
    const kernel::NTSTATUS status = AllocateZeroed<portcls::ConnectionDescriptor>(m_Connections, 2);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t first = capture ? WaveBridgePin : WaveStreamingPin;
    const std::uint32_t last = capture ? WaveStreamingPin : WaveBridgePin;
    auto* connections = m_Connections.Get<portcls::ConnectionDescriptor>();
    connections[0] = {portcls::nodeNone, first, 0, 1};
    connections[1] = {0, 0, portcls::nodeNone, last};
    return status;
}
