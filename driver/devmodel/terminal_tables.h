// How terminals describe themselves to the stream engines: the endpoint
// type code of a USB terminal type (three views of one table) and the jack
// record made from one 8-byte entry of a device's jack list.
#pragma once

#include "driver/engine/jack_description.h"

#include <cstdint>
#include <span>

// The code of the endpoint a terminal of this type plays to or records from.
// Without the USB streaming row, a streaming terminal counts as a speaker:
// that is how chip-model terminals and status reports name their type.
std::uint32_t OutputEndpointCode(std::uint16_t terminalType, bool streamingRow = true);
// The kind of endpoint an input terminal's jack control asks the HAL for.
std::uint32_t InputEndpointKind(std::uint16_t terminalType);
// The endpoint type an input terminal reports as its own.
std::uint32_t InputEndpointCode(std::uint16_t terminalType);

// Whether a terminal of this type has jacks a user can see.
bool HasVisibleJacks(std::uint16_t terminalType);

// A jack list entry: the channel mapping word, then a word whose bits 8 to
// 11 mark a jack that is always connected. Release 1 jacks without that mark
// report their presence; release 2 jacks never do.
JackDescription JackFromEntry(std::span<const std::uint8_t, 8> entry, bool reportsPresence);
