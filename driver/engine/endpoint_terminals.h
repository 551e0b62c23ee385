// What a stream engine learns from the terminals among the entities on its
// path: the endpoint type that names it, and whether anything is plugged
// into it.
#pragma once

#include "driver/engine/audio_node.h"
#include "driver/engine/reference_list.h"

#include <cstdint>

namespace endpoint_type {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t headphones = 2;
inline constexpr std::uint32_t digitalOut = 3;
inline constexpr std::uint32_t headset = 14;
inline constexpr std::uint32_t frontHeadphones = 17;
inline constexpr std::uint32_t recordingMix = 18;
} // namespace endpoint_type

// Capture: the code of the one input terminal that has one; two or more
// terminals with a code make a recording mix.
std::uint32_t CaptureEndpointType(const CReferenceList<IAudioNode>& entities);
// Render: the first terminal-type selection's current type, else the last
// output terminal's code, else none.
std::uint32_t RenderEndpointType(const CReferenceList<IAudioNode>& entities);

// Render endpoints of the headphone, digital and headset types offer only
// their two-channel formats.
bool OffersTwoChannelFormatsOnly(std::uint32_t direction, std::uint32_t endpointType);

// Connected when a terminal of the direction's kind with a non-zero code has
// no jack records, or has one whose jack reads connected. Sets connected and
// returns STATUS_SUCCESS, or the failure of reading the jack records.
kernel::NTSTATUS IsEndpointConnected(const CReferenceList<IAudioNode>& entities,
                                     std::uint32_t direction, bool* connected);
