// The ASIO settings the adapter keeps for the private ASIO interface: the
// sample type (active and requested), the latency index and the sample rate,
// loaded from the settings store when the device starts. A stored value the
// interface could not serve is not taken: the default stands in for it.
#pragma once

#include "driver/usermode/asio_interface.h"
#include "platform/io/device_object.h"

#include <cstdint>

inline constexpr std::uint32_t AsioDefaultSampleRate = 48000;
inline constexpr std::uint32_t AsioDefaultLatencyIndex = 4;
inline constexpr std::uint32_t AsioMaxLatencyIndex = 7;
// Rates from here on are DSD rates, multiples of 44100 or 48000.
inline constexpr std::uint32_t AsioFirstDsdRate = 2822400;

inline constexpr char16_t AsioSampleTypeSetting[] = u"ASIOMLDataBitDepth";
inline constexpr char16_t AsioLatencySetting[] = u"ASIOMLDataLatency";
inline constexpr char16_t AsioSampleRateSetting[] = u"ASIOMLSampleRate";

struct AsioSettings {
    std::uint32_t activeSampleType = asio_sample_type::Int16;
    std::uint32_t requestedSampleType = asio_sample_type::Int16;
    std::uint32_t latencyIndex = AsioDefaultLatencyIndex;
    std::uint32_t sampleRate = AsioDefaultSampleRate;
};

bool IsAsioSampleType(std::uint32_t code);
bool IsAsioSampleRate(std::uint32_t rate);

// The sample type a product uses unless its settings name one; 0 for a
// product without one (it takes 16-bit and nothing is written).
std::uint32_t AsioProductSampleType(std::uint16_t vendorId, std::uint16_t productId);

// The settings from the store. When the device has an ASIO endpoint and no
// usable sample type is stored, the product's own is taken and stored.
AsioSettings LoadAsioSettings(io::DeviceObject* device, bool hasAsioEndpoint,
                              std::uint16_t vendorId, std::uint16_t productId);
