// The float description of a stream format: the same channels and rate with
// 32-bit IEEE-float samples, which is what the DSP stages work in.
#pragma once

#include "platform/ks/wave_format.h"

// An extensible format keeps its tag and gets the float sub-format with 32
// valid bits; a basic format gets the float tag. Both get 32-bit containers,
// nBlockAlign = nChannels x 4 and the byte rate that follows. A format that
// is float already is returned unchanged.
ks::WaveFormatExtensible FloatDescription(const ks::WaveFormatExtensible& format);
