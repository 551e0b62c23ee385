// The property and event sets of audio filters: the standard audio set and
// the ids the driver's nodes answer, the jack set on the filter, and the
// control-change event a node raises when its value changes.
#pragma once

#include "platform/kernel/guid.h"

#include <cstdint>

namespace ks {

inline constexpr kernel::Guid KSPROPSETID_Audio =
    kernel::makeGuid("{E61F5BCF-915D-4322-AC5F-3A9543EDBFA6}");

// Ids of the audio set. The instance of a channel property is the channel.
enum AudioPropertyId : std::uint32_t {
    KSPROPERTY_AUDIO_VOLUMELEVEL = 4,
    KSPROPERTY_AUDIO_MUX_SOURCE = 12,
    KSPROPERTY_AUDIO_MUTE = 13,
    KSPROPERTY_AUDIO_BASS = 14,
    KSPROPERTY_AUDIO_MID = 15,
    KSPROPERTY_AUDIO_TREBLE = 16,
    KSPROPERTY_AUDIO_AGC = 21,
    KSPROPERTY_AUDIO_LOUDNESS = 23,
    KSPROPERTY_AUDIO_DEV_SPECIFIC = 28,
};

inline constexpr kernel::Guid KSPROPSETID_Jack =
    kernel::makeGuid("{4509F757-2D46-4637-8E62-CE7DB944F57B}");

enum JackPropertyId : std::uint32_t {
    KSPROPERTY_JACK_DESCRIPTION = 1,
    KSPROPERTY_JACK_DESCRIPTION2 = 2,
};

inline constexpr kernel::Guid KSEVENTSETID_AudioControlChange =
    kernel::makeGuid("{E85E9698-FA2F-11D1-95BD-00C04FB925D3}");

enum AudioControlChangeEventId : std::uint32_t {
    KSEVENT_CONTROL_CHANGE = 0,
};

} // namespace ks
