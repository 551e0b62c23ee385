#include "driver/adapter/asio_records.h"

#include "driver/adapter/asio_settings.h"

namespace {

struct SampleTypeRow {
    std::uint32_t code;
    AsioSampleBits bits;
};

constexpr SampleTypeRow SampleTypes[] = {
    {asio_sample_type::Int16, {16, 16}},     {asio_sample_type::Int24Packed, {24, 24}},
    {asio_sample_type::Int32, {32, 32}},     {asio_sample_type::Int16In32, {32, 16}},
    {asio_sample_type::Int18In32, {32, 18}}, {asio_sample_type::Int20In32, {32, 20}},
    {asio_sample_type::Int24In32, {32, 24}},
};

// The DSD base a rate is a multiple of (44 or 48 frames a millisecond at
// the base) and the multiple; false for neither.
bool DsdBase(std::uint32_t rate, std::uint32_t& factor, std::uint32_t& multiple) {
    if (rate % 44100 == 0) {
        factor = 44;
        multiple = rate / 44100;
        return true;
    }
    if (rate % 48000 == 0) {
        factor = 48;
        multiple = rate / 48000;
        return true;
    }
    return false;
}

} // namespace

AsioSampleBits AsioSampleTypeBits(std::uint32_t code) {
    for (const SampleTypeRow& row : SampleTypes)
        if (row.code == code) return row.bits;
    return {0, 0};
}

std::uint32_t AsioSampleTypeOfFormat(std::uint16_t container, std::uint16_t valid) {
    if (container == 16) return asio_sample_type::Int16;
    if (container == 24) return asio_sample_type::Int24Packed;
    if (container != 32) return 0;
    if (valid == 16) return asio_sample_type::Int16In32;
    if (valid == 24) return asio_sample_type::Int24In32;
    return asio_sample_type::Int32;
}

bool AsioRateFitsKind(std::uint32_t rate, std::uint32_t kind) {
    return kind == AsioKindDsd ? rate >= AsioFirstDsdRate : rate < AsioFirstDsdRate;
}

std::uint32_t AsioFramesPerMs(std::uint32_t rate, std::uint32_t kind) {
    const std::uint32_t frames = kind == AsioKindDsd ? rate / 64000 : rate / 1000;
    return frames != 0 ? frames : 1;
}

AsioTransferShape AsioTransferShapeFor(std::uint32_t bufferFrames, std::uint32_t rate,
                                       std::uint32_t kind) {
    std::uint32_t n = bufferFrames / AsioFramesPerMs(rate, kind);
    if (n < 2) n = 2;
    AsioTransferShape shape{1, n, 0};
    if (n >= 20) {
        shape = {5, n / 5 < 5 ? n / 5 : 5, 0};
    } else if (n >= 16) {
        shape = {4, n / 4, 0};
    } else if (n >= 8) {
        shape = {2, n / 2, 0};
    }
    shape.inFlight = shape.count > 2 ? shape.count - 1 : shape.count;
    return shape;
}

bool AsioLatencyFrames(std::uint32_t rate, std::uint32_t kind, std::uint32_t latencyIndex,
                       std::uint32_t latencies[2]) {
    if (latencyIndex >= AsioLatencyCount) return false;
    const std::uint32_t latency = AsioLatencies[latencyIndex];
    std::uint32_t factor = 0;
    std::uint32_t multiple = 0;
    if (kind == AsioKindPcm) {
        latencies[0] = rate / 1000 * latency;
    } else if (rate < AsioFirstDsdRate) {
        latencies[0] = latency * 2816;
    } else if (DsdBase(rate, factor, multiple)) {
        latencies[0] = latency * multiple * factor;
    } else {
        return false;
    }
    latencies[1] = latencies[0] * 2;
    return true;
}

bool AsioBufferSizes(std::uint32_t rate, std::uint32_t latencyIndex, std::uint32_t sizes[4]) {
    if (latencyIndex >= AsioLatencyCount) return false;
    if (rate < AsioFirstDsdRate) {
        const std::uint32_t perMs = rate / 1000;
        sizes[0] = perMs * 4;
        sizes[1] = perMs * 50;
        sizes[2] = perMs * AsioLatencies[latencyIndex];
        sizes[3] = 1;
        return true;
    }
    std::uint32_t factor = 0;
    std::uint32_t multiple = 0;
    if (!DsdBase(rate, factor, multiple)) return false;
    const std::uint32_t latency = AsioLatencies[latencyIndex == 0 ? 1 : latencyIndex];
    sizes[0] = 6 * multiple * factor;
    sizes[1] = 50 * multiple * factor;
    sizes[2] = latency * multiple * factor;
    sizes[3] = multiple;
    return true;
}
