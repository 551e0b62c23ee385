#include "driver/devmodel/uac_endpoint_info.h"

#include "driver/devmodel/uac_device.h"

#include <optional>

namespace {

constexpr std::uint32_t Capture = 1;

namespace type {
constexpr std::uint32_t speaker = 1;
constexpr std::uint32_t headphones = 2;
constexpr std::uint32_t spdif = 3;
constexpr std::uint32_t line = 6;
constexpr std::uint32_t microphone = 7;
constexpr std::uint32_t frontMicrophone = 11;
constexpr std::uint32_t recording = 18;
} // namespace type

// Words 0 and 6 of a fixed row.
struct Pair {
    std::uint32_t word0;
    std::uint32_t word6;
};

// A device whose records are fixed by type (columns: speaker, headphones,
// S/PDIF and line, microphone; other types 0, 0).
struct FixedDevice {
    std::uint16_t vendorId;
    std::uint16_t productId;
    Pair speaker;
    Pair headphones;
    Pair spdifOrLine;
    Pair microphone;
    // The S/PDIF and line column for capture, where it differs.
    std::optional<Pair> spdifOrLineCapture;
};

constexpr FixedDevice FixedUac2Devices[] = {
    {0x0438, 0x0101, {0x3C008E, 0}, {0x3C00AE, 0}, {0, 0}, {0x28200, 0}, std::nullopt},
    {0x0B05, 0x189D, {0x3C0087, 2}, {0x3C0026, 2}, {0, 2}, {0x28000, 2}, std::nullopt},
    {0x0B05, 0x17B1, {0, 0}, {0x603F, 3}, {0, 0}, {0x29000, 0}, std::nullopt},
    {MakerVendorId, 0x01E1, {0, 0}, {0, 2}, {0, 2}, {0, 2}, Pair{0, 0}},
};

Pair FixedPair(const FixedDevice& device, const EndpointInfoQuery& query) {
    switch (query.endpointType) {
    case type::speaker:
        return device.speaker;
    case type::headphones:
        return device.headphones;
    case type::spdif:
    case type::line:
        if (query.direction == Capture && device.spdifOrLineCapture)
            return *device.spdifOrLineCapture;
        return device.spdifOrLine;
    case type::microphone:
        return device.microphone;
    default:
        return {0, 0};
    }
}

EndpointInfoRecord FromPair(Pair pair) {
    EndpointInfoRecord record = {};
    record.words[0] = pair.word0;
    record.words[6] = pair.word6;
    return record;
}

Pair GenericUac2Pair(const EndpointInfoQuery& query, const EndpointInfoRecord& device) {
    if (query.direction == Capture) {
        if (query.endpointType == type::spdif) return {0, 0};
        const bool recording = query.endpointType == type::microphone ||
                               query.endpointType == type::frontMicrophone ||
                               query.endpointType == type::recording;
        const std::uint32_t word6 = query.vendorId == 0x0B05 && query.productId == 0x180F ? 16 : 18;
        return {recording ? device.words[0] & 0x28000 : 0, word6};
    }
    if (query.endpointType == type::spdif)
        return {0, query.endpointCount == 1 ? device.words[6] : 0};
    return {device.words[0] & 0x3FE0FF, device.words[6]};
}

} // namespace

EndpointInfoRecord Uac1EndpointInfo(const EndpointInfoQuery& query,
                                    const EndpointInfoRecord& device) {
    EndpointInfoRecord record = {};
    if (query.vendorId == MakerVendorId && query.productId == 0x0058) {
        const bool microphone =
            query.direction == Capture && query.endpointType == type::microphone;
        record.words[0] = device.words[0] + (microphone ? 0x800000u : 0u);
        record.words[6] = device.words[6];
        return record;
    }
    if (query.endpointType == type::spdif) return record;
    record.words[0] = device.words[0];
    record.words[4] = device.words[4];
    record.words[6] = device.words[6];
    return record;
}

EndpointInfoRecord Uac2EndpointInfo(const EndpointInfoQuery& query,
                                    const EndpointInfoRecord& device) {
    for (const FixedDevice& fixed : FixedUac2Devices)
        if (fixed.vendorId == query.vendorId && fixed.productId == query.productId)
            return FromPair(FixedPair(fixed, query));
    return FromPair(GenericUac2Pair(query, device));
}
