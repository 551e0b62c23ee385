// Endpoint names: a base name per endpoint type, then "Out" or "In" by
// direction and a two-digit number, as start-up names every endpoint and
// the device models name one again after its terminal changed type.
#pragma once

#include "platform/kernel/status.h"

#include <cstddef>
#include <cstdint>

// The highest endpoint type code.
inline constexpr std::uint32_t LastEndpointType = 18;

// "SPK", "HP", ...; "Stream" for a code past the table.
const char16_t* EndpointBaseName(std::uint32_t endpointType);

// "%sOut%02d" (render, direction 0) or "%sIn%02d" with the type's base name;
// refused when it does not fit the room (in characters, zero included).
kernel::NTSTATUS FormatEndpointName(char16_t* buffer, std::size_t roomChars,
                                    std::uint32_t direction, std::uint32_t endpointType,
                                    std::uint32_t number);
