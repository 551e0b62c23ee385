#pragma once

// The entry points of the driver-configuration library, by the names and
// argument widths its callers resolve. Results are 0 for success. Strings
// are UTF-16.

#include "sim/mixcore/mixcore_sim.h"

#include <cstdint>

extern "C" {

MIXCORE_SIM_EXPORT std::int32_t ConfLibInit(void);
MIXCORE_SIM_EXPORT std::int32_t ConfLibUnInit(void);
MIXCORE_SIM_EXPORT std::int32_t CreateDeviceList(void);
// flow: 0 render, 1 capture.
MIXCORE_SIM_EXPORT std::int32_t GetDeviceCount(std::int32_t flow, std::uint32_t* count);
// info: word 0 (the device's key), jack type, data flow, state.
MIXCORE_SIM_EXPORT std::int32_t GetDeviceById(std::int32_t flow, std::int32_t index,
                                              std::uint32_t info[4]);
// A read (direction 0) writes the value as UTF-16 text into the buffer that
// *data points to; a write (direction 1) takes the int32 or float32 that *data
// points to. *selector points to the selector words, where the property has
// them.
MIXCORE_SIM_EXPORT std::int32_t PropertyControl(std::uint32_t word0, std::uint32_t word1,
                                                std::uint32_t word2, std::uint32_t word3,
                                                const char16_t* name, void** data, void** selector,
                                                std::int32_t direction);

// Lighting, memory and sound-test entries: accepted and logged, nothing more.
MIXCORE_SIM_EXPORT std::int32_t RGBI2CMode(std::uint8_t a, std::uint8_t b, std::uint8_t c,
                                           std::uint8_t d);
MIXCORE_SIM_EXPORT std::int32_t InitializeSMB(void);
MIXCORE_SIM_EXPORT std::int32_t ShutdownSMB(void);
MIXCORE_SIM_EXPORT std::int32_t SetPattern(std::uint8_t pattern, std::uint8_t speed);
MIXCORE_SIM_EXPORT std::int32_t SetRGB(std::uint8_t zone, std::uint8_t red, std::uint8_t green,
                                       std::uint8_t blue);
MIXCORE_SIM_EXPORT std::int32_t OnTimerApp(void);
MIXCORE_SIM_EXPORT std::int32_t CheckSPD(void);
MIXCORE_SIM_EXPORT std::int32_t SaveToMCU(void);
MIXCORE_SIM_EXPORT std::int32_t RegisterCallbackFunction(void* callback);
MIXCORE_SIM_EXPORT std::int32_t ShowAsioPanel(void);
MIXCORE_SIM_EXPORT std::int32_t PlayTestSound(void);
MIXCORE_SIM_EXPORT std::int32_t StopTestSound(void);
MIXCORE_SIM_EXPORT std::int32_t CloseTestSound(void);

} // extern "C"
