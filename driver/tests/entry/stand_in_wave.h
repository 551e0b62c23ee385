// A stand-in for the endpoints' wave miniport in the start-up tests: a toy
// wave filter named as the wave miniport names its subdevice (the engine's
// name and "Wave") and tied to the topology by the endpoint's streaming
// terminal. The factory's refusals let a test fail a late step of a start.
#pragma once

#include "driver/engine/stream_engine.h"
#include "platform/kernel/status.h"

#include <cstdint>

namespace entry_test {

struct StandInWaveFaults {
    // The factory refuses the endpoint of this index (none: past any).
    std::uint32_t refusedEndpoint = UINT32_MAX;
};
inline StandInWaveFaults standInWaveFaults;

kernel::NTSTATUS CreateStandInWave(kernel::IUnknown** unknown, const kernel::Guid& classId,
                                   kernel::IUnknown* outer, kernel::PoolType poolType,
                                   std::uint32_t endpointIndex);

} // namespace entry_test
