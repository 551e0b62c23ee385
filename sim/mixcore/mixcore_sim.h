#pragma once

// Control side of the driver-configuration library stand-in, exported from
// libMixcore.so beside the library's own entry points. Tests reach these
// through the same loaded library as the panel does, so they set up and read
// back the one state the panel talks to. Every call is thread-safe.
//
// The world after a reset: ConfLibInit returns 0; one render device
// {0x100, 12, 0, 1} and one capture device {0x200, 2, 1, 1}; every known
// property at its default (volume scalars 1.0, integers 0); an empty log.

#include <cstddef>
#include <cstdint>

#define MIXCORE_SIM_EXPORT __attribute__((visibility("default")))

extern "C" {

MIXCORE_SIM_EXPORT void MixcoreSim_reset(void);

// Devices per flow (0 render, 1 capture). A device not set otherwise is
// {0x100 + index, 12, 0, 1} (render) or {0x200 + index, 2, 1, 1} (capture).
MIXCORE_SIM_EXPORT void MixcoreSim_setCounts(std::uint32_t render, std::uint32_t capture);
MIXCORE_SIM_EXPORT void MixcoreSim_setDevice(std::int32_t flow, std::int32_t index,
                                             const std::uint32_t info[4]);
// The next `times` GetDeviceCount calls of the flow fail with 1.
MIXCORE_SIM_EXPORT void MixcoreSim_failNextCounts(std::int32_t flow, std::uint32_t times);
MIXCORE_SIM_EXPORT void MixcoreSim_setInitResult(std::int32_t result);

// The text a read of (word 0, name, selector words) returns until a write
// replaces it; up to 512 characters (the client's 1024-byte buffer) are
// written, and a text that long is written without a terminator.
MIXCORE_SIM_EXPORT void MixcoreSim_setText(std::uint32_t word0, const char* name,
                                           const std::int32_t* selector,
                                           std::uint32_t selectorWords, const char* text);
// The name becomes unknown to the library: every call on it fails with 1.
MIXCORE_SIM_EXPORT void MixcoreSim_failName(const char* name);

// The call log, one line per call, e.g. "0x100 VolumeScalarControl {-1} set
// 0.550000 =0" (word 0, name, selector or "-", direction, value or "-",
// result) or "GetDeviceCount 0 1 =0". Copies at most `capacity` - 1 bytes and
// a terminator; returns the whole log's length.
MIXCORE_SIM_EXPORT std::size_t MixcoreSim_callLog(char* buffer, std::size_t capacity);
MIXCORE_SIM_EXPORT void MixcoreSim_clearLog(void);

} // extern "C"
