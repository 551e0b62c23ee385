// The data formats a wave stream is created and re-formatted with: a head
// followed by a wave record at one of the places the port layer puts it,
// which the endpoint must offer, and, when the head says so, an attribute
// list that may ask for the signal-processing mode.
#pragma once

#include "driver/engine/stream_engine.h"
#include "platform/ks/data_format.h"

// The format's wave record as the engine offers it: a basic record (not
// extensible) is taken as the engine's first format of its tag and shape, so
// the stream runs the engine with a format the engine finds again when it
// selects the device's setting. STATUS_INVALID_PARAMETER for a null or
// malformed format, a wave record that reaches past the format's size, or
// one the engine does not offer.
kernel::NTSTATUS ReadStreamFormat(IStreamEngine& engine, const ks::DataFormat* format,
                                  ks::WaveFormatExtensible* wave);

// The attribute list after a format with the attributes flag: it starts at
// the format's size rounded up to 8 and holds its own size. Every attribute
// must be the signal-processing mode (else STATUS_NOT_SUPPORTED) of the mode
// attribute's size and lie inside the list (else STATUS_INVALID_PARAMETER);
// the mode asked for (raw when none is) must be raw, else
// STATUS_INVALID_DEVICE_REQUEST.
kernel::NTSTATUS CheckSignalProcessingMode(const ks::DataFormat* format);
