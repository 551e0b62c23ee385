// One round of a device's life on the simulated system that ends with the
// device pulled out: the device plugged, a render and a capture pin started
// on it, a number of bus frames run, and the device gone at a chosen moment
// (while it starts, with the pins ready, before the first transfer came
// back, while they stream, while a pin changes state or closes, some time
// after a glitch on the bus), on some rounds with an ASIO client streaming
// beside them. The system then finishes as it does after a removal:
// surprise removal, the pins, filters and the ASIO client's file closed,
// remove. Every call into the driver is bounded in virtual time, so a hang
// fails the round instead of stopping it. On some rounds the device then
// comes back to the driver still loaded, streams again and is removed in
// order.
#pragma once

#include "driver/tests/entry/end_to_end_world.h"

#include <cstdint>
#include <random>
#include <string>

namespace removal {

// Where in the device's life it goes (the names in removal_round.cpp follow
// this order).
enum class Moment {
    startUp,       // the start's requests take frames; the device goes among them
    pinsReady,     // both pins open, in ACQUIRE or PAUSE
    firstTransfer, // both pins entered RUN; the first transfers are still on the bus
    streaming,     // both pins have run for a while
    stateChange,   // one pin is between RUN and PAUSE on a system thread
    pinClose,      // the audio engine is closing one running pin on a system thread
    afterGlitch,   // the bus lost the device for a frame a while before; the engines took
                   // the device for gone and stopped streaming
};

struct RoundPlan {
    const e2e::DeviceCase* device;
    Moment moment;
    int runFrames;       // frames before the removal (or, for a state change, before the change)
    int changeFrames;    // stateChange, pinClose: frames from the change's start to the
                         // removal; afterGlitch: frames from the glitch to the removal
    int microframes;     // 125 us steps into the next frame before the removal
    bool captureChanges; // stateChange, pinClose: the capture pin, else the render pin
    bool pausing;        // stateChange: RUN to PAUSE, else PAUSE back to RUN
    ks::KsState readyAt; // pinsReady: where the pins wait
    bool asio;           // an ASIO client streams beside the pins (a device that offers it)
    bool comesBack;      // the device is plugged in again after the removal and streams
};

// The plan of a round, from a seeded generator: the same seed gives the same
// rounds on every machine (the generator's numbers are fixed by the
// standard; no library distribution is used).
RoundPlan PlanRound(std::mt19937& random);

std::string Describe(const RoundPlan& plan);

// Where the removal found the system, so that a run can show it reached
// every moment.
struct RoundOutcome {
    bool started = false;         // the device's start succeeded
    bool changeInFlight = false;  // the pin's state change had not returned yet
    std::uint64_t transfers = 0;  // isochronous transfers the bus served before
    std::size_t userMappings = 0; // ASIO rings mapped into the client when the device went
};

// Runs the round on a system of its own and checks what it leaves: the
// ledger of pool blocks back where it was, and nothing of the above.
// Failures are reported as test failures (with the plan's description).
RoundOutcome RunRound(const RoundPlan& plan);

} // namespace removal
