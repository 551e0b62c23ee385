#include "driver/devmodel/format_registration.h"

#include "driver/common/pool_buffer.h"
#include "driver/devmodel/uac_device.h"
#include "driver/engine/clock_item.h"
#include "driver/engine/queried_interface.h"

#include <algorithm>

namespace {

constexpr std::size_t RatesAt = 8;
constexpr std::size_t RateBytes = 3;
constexpr std::uint16_t CompressedTagMask = 0x2001;
constexpr kernel::Guid FirstCompressedFormat = ks::subFormatOf(0x0092);
constexpr kernel::Guid SecondCompressedFormat = ks::subFormatOf(0x0164);
constexpr std::uint32_t Uac2PcmFormat = 1u << 0;
constexpr std::uint32_t Uac2TypeIIIFirst = 1u << 0;
constexpr std::uint32_t Uac2TypeIIISecond = 1u << 12;
constexpr std::uint32_t Uac2VendorFormats = (1u << 15) | (1u << 31);

// The index-th rate of a table the caller held against the descriptor's length.
std::uint32_t RateAt(std::span<const std::uint8_t> descriptor, std::size_t index) {
    const std::size_t at = RatesAt + index * RateBytes;
    return descriptor[at] | descriptor[at + 1] << 8 | descriptor[at + 2] << 16;
}

// Registrations one after the other: the first failure stops the rest, and
// a run that registered nothing did not succeed.
class CRegistration {
public:
    CRegistration(CUsbStreamEngine& engine, std::uint8_t alternateSetting)
        : m_Engine(engine), m_AlternateSetting(alternateSetting) {}

    bool Failed() const { return !kernel::succeeded(m_Status); }
    void Add(ks::WaveFormatExtensible format, std::uint32_t rate) {
        if (Failed()) return;
        format.Format.nSamplesPerSec = rate;
        format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
        m_Status = m_Engine.AddUsbFormat(&format, m_AlternateSetting);
        m_bRegistered = true;
    }
    void AddWithSubFormat(ks::WaveFormatExtensible format, std::uint32_t rate,
                          const kernel::Guid& subFormat) {
        format.SubFormat = subFormat;
        Add(format, rate);
    }
    kernel::NTSTATUS Result() const {
        return m_bRegistered ? m_Status : kernel::STATUS_UNSUCCESSFUL;
    }

private:
    CUsbStreamEngine& m_Engine;
    const std::uint8_t m_AlternateSetting;
    kernel::NTSTATUS m_Status = kernel::STATUS_SUCCESS;
    bool m_bRegistered = false;
};

// The standard rates inside a continuous range, both ends included; none
// for a range reaching past the highest standard rate, which the model
// refuses.
std::span<const std::uint32_t> RatesInside(std::uint32_t lower, std::uint32_t upper) {
    if (lower > upper) std::swap(lower, upper);
    if (upper > std::end(StandardRates)[-1]) return {};
    const auto* first = std::lower_bound(std::begin(StandardRates), std::end(StandardRates), lower);
    const auto* last = std::upper_bound(first, std::end(StandardRates), upper);
    return {first, last};
}

} // namespace

ks::WaveFormatExtensible MakeStreamFormat(std::uint32_t channels, std::uint32_t subslotBytes,
                                          std::uint32_t validBits, std::uint32_t channelMask) {
    ks::WaveFormatExtensible format{};
    format.Format.wFormatTag = ks::format_tag::extensible;
    format.Format.nChannels = static_cast<std::uint16_t>(channels);
    format.Format.wBitsPerSample = static_cast<std::uint16_t>(subslotBytes * 8);
    format.Format.nBlockAlign = static_cast<std::uint16_t>(channels * subslotBytes);
    format.Format.cbSize = sizeof(ks::WaveFormatExtensible) - sizeof(ks::WaveFormatEx);
    format.wValidBitsPerSample = static_cast<std::uint16_t>(validBits);
    format.dwChannelMask = channelMask;
    format.SubFormat = ks::KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

kernel::NTSTATUS RegisterFormats(CUacDevice& device, CUsbStreamEngine& engine,
                                 std::span<const std::uint8_t> formatType, std::uint16_t formatTag,
                                 std::uint8_t alternateSetting, ks::WaveFormatExtensible format) {
    if (formatType.size() < RatesAt) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint8_t type = formatType[3];
    const std::uint32_t discrete = formatType[7];
    // The rate table, or the range's two bounds, lie inside the descriptor.
    if (formatType.size() < RatesAt + RateBytes * (discrete != 0 ? discrete : 2))
        return kernel::STATUS_INVALID_PARAMETER;
    std::span<const std::uint32_t> standard;
    if (discrete == 0) {
        standard = RatesInside(RateAt(formatType, 0), RateAt(formatType, 1));
        if (standard.empty()) return kernel::STATUS_INVALID_PARAMETER;
    }
    const std::size_t count = discrete != 0 ? discrete : standard.size();
    CPoolBuffer rates(kernel::PoolType::Paged, count * sizeof(std::uint32_t), device.Tag());
    if (!rates.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* list = rates.Get<std::uint32_t>();
    for (std::size_t index = 0; index < count; ++index)
        list[index] = discrete != 0 ? RateAt(formatType, index) : standard[index];

    CRegistration registration(engine, alternateSetting);
    for (std::size_t index = 0; index < count && !registration.Failed(); ++index) {
        if (type == usb::format_type::typeI) {
            registration.Add(format, list[index]);
        } else if ((formatTag & CompressedTagMask) != 0) {
            registration.AddWithSubFormat(format, list[index], FirstCompressedFormat);
            registration.AddWithSubFormat(format, list[index], SecondCompressedFormat);
        }
    }
    return registration.Result();
}

kernel::NTSTATUS RegisterUac2Formats(CUacDevice& device, CUsbStreamEngine& engine,
                                     std::uint32_t clockNodeId, std::uint8_t formatType,
                                     std::uint32_t formats, std::uint8_t alternateSetting,
                                     ks::WaveFormatExtensible format) {
    IAudioNode* node = nullptr;
    kernel::NTSTATUS status = device.FindChildById(clockNodeId, &node);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<IClockSource> clock(node, IID_IClockSource);
    if (!clock) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t count = 0;
    status = clock->GetSampleRateCount(&count);
    if (!kernel::succeeded(status)) return status;
    if (count == 0) return kernel::STATUS_UNSUCCESSFUL;
    CPoolBuffer rates(kernel::PoolType::Paged, std::size_t{count} * sizeof(std::uint32_t),
                      device.Tag());
    if (!rates.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* list = rates.Get<std::uint32_t>();
    status = clock->GetSampleRates(&count, list);
    if (!kernel::succeeded(status)) return status;

    CRegistration registration(engine, alternateSetting);
    for (std::uint32_t index = 0; index < count && !registration.Failed(); ++index) {
        const std::uint32_t rate = list[index];
        if (formatType == usb::format_type::typeIII) {
            if ((formats & Uac2TypeIIIFirst) != 0)
                registration.AddWithSubFormat(format, rate, FirstCompressedFormat);
            if ((formats & Uac2TypeIIISecond) != 0)
                registration.AddWithSubFormat(format, rate, SecondCompressedFormat);
        } else if ((formats & Uac2PcmFormat) != 0) {
            registration.Add(format, rate);
        } else if ((formats & Uac2VendorFormats) != 0 &&
                   kernel::succeeded(clock->SetSampleRate(rate)) &&
                   engine.QueryReady(alternateSetting)) {
            registration.AddWithSubFormat(format, rate, MakerVendorSubFormat);
        }
    }
    return registration.Result();
}
