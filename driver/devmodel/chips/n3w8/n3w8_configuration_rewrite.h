// The N3W8 chip reports one fixed configuration: sixteen terminals and units
// after its AudioControl header, a playback interface of five settings and a
// capture interface. Before the model parses it, the inputs, mixes and
// output channel counts switched off in the settings are cut out of the
// adapter's stored copy, in place, so that every later reader (both walks,
// the stream engines' setting choice) sees only what is switched on.
#pragma once

#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr kernel::PoolTag N3W8RewriteTag = kernel::poolTag("N3W8");
// The chip's configuration is read at fixed offsets up to this length.
inline constexpr std::size_t N3W8ConfigurationLength = 509;

// The settings' switches, each true when that part is to disappear.
struct N3W8ConfigurationSwitches {
    bool DisableMicInTerminal = false;
    bool DisableLineInTerminal = false;
    bool DisableSpdifInTerminal = false;
    bool DisableMicInAAUnit = false;
    bool DisableLineInAAUnit = false;
    bool DisableMicInRecUnit = false;
    bool DisableLineInRecUnit = false;
    bool DisableStereoMixRecUnit = false;
    bool Disable2ChOutSupported = false;
    bool Disable4ChOutSupported = false;
    bool Disable6ChOutSupported = false;
    bool Disable8ChOutSupported = false;
};

// Rewrites `configuration` (the bytes held, wTotalLength first) in place.
// STATUS_UNSUCCESSFUL, with the bytes untouched, when fewer than the chip's
// 509 bytes are held or announced, when both the 8- and the 6-channel
// settings are switched off (no multichannel output would remain), or when
// the scratch buffer cannot be had.
kernel::NTSTATUS RewriteConfiguration(std::span<std::uint8_t> configuration,
                                      const N3W8ConfigurationSwitches& switches);
