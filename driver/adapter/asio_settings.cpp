#include "driver/adapter/asio_settings.h"

#include "driver/common/settings_store.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::uint32_t PcmRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};

struct ProductSampleType {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint32_t sampleType;
};

constexpr ProductSampleType ProductSampleTypes[] = {
    {0x0B05, 0x17F3, asio_sample_type::Int24Packed}, {0x0B05, 0x17A8, asio_sample_type::Int24In32},
    {0x0B05, 0x17CD, asio_sample_type::Int24In32},   {0x1043, 0x8593, asio_sample_type::Int24In32},
    {0x1043, 0x8592, asio_sample_type::Int24In32},
};

// A stored 4-byte value; none when it is missing or of another length.
std::optional<std::uint32_t> ReadValue(io::DeviceObject* device, const char16_t* name) {
    std::uint32_t value = 0;
    std::uint32_t length = 0;
    const kernel::NTSTATUS status = AccessSettingEx(device, SETTING_READ, &value, sizeof value,
                                                    name, nullptr, io::REG_BINARY, &length);
    if (!kernel::succeeded(status) || length != sizeof value) return std::nullopt;
    return value;
}

} // namespace

bool IsAsioSampleType(std::uint32_t code) {
    return code == asio_sample_type::Int16 || code == asio_sample_type::Int24Packed ||
           code == asio_sample_type::Int32 ||
           (code >= asio_sample_type::Int16In32 && code <= asio_sample_type::Int24In32);
}

bool IsAsioSampleRate(std::uint32_t rate) {
    if (rate >= AsioFirstDsdRate) return rate % 44100 == 0 || rate % 48000 == 0;
    return std::find(std::begin(PcmRates), std::end(PcmRates), rate) != std::end(PcmRates);
}

std::uint32_t AsioProductSampleType(std::uint16_t vendorId, std::uint16_t productId) {
    for (const ProductSampleType& product : ProductSampleTypes)
        if (product.vendorId == vendorId && product.productId == productId)
            return product.sampleType;
    return 0;
}

AsioSettings LoadAsioSettings(io::DeviceObject* device, bool hasAsioEndpoint,
                              std::uint16_t vendorId, std::uint16_t productId) {
    AsioSettings settings;
    const std::optional<std::uint32_t> sampleType = ReadValue(device, AsioSampleTypeSetting);
    if (sampleType && IsAsioSampleType(*sampleType)) {
        settings.activeSampleType = settings.requestedSampleType = *sampleType;
    } else if (hasAsioEndpoint) {
        std::uint32_t productType = AsioProductSampleType(vendorId, productId);
        if (productType != 0) {
            settings.activeSampleType = settings.requestedSampleType = productType;
            AccessSetting(device, SETTING_WRITE, &productType, sizeof productType,
                          AsioSampleTypeSetting);
        }
    }
    const std::optional<std::uint32_t> latency = ReadValue(device, AsioLatencySetting);
    if (latency && *latency <= AsioMaxLatencyIndex) settings.latencyIndex = *latency;
    const std::optional<std::uint32_t> rate = ReadValue(device, AsioSampleRateSetting);
    if (rate && IsAsioSampleRate(*rate)) settings.sampleRate = *rate;
    return settings;
}
