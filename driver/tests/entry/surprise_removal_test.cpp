// The whole driver losing its device a thousand times, at seeded moments of
// its life: while it starts, with its pins ready, before their first
// transfers came back, while they stream, while one of them changes state,
// while one closes and some time after a glitch on the bus; on some rounds
// an ASIO client streams beside the pins, on some the device comes back
// afterwards. After each round no pool block, system thread, callback
// registration, subdevice, enabled interface, user mapping or handle is
// left, and no call into the driver blocks past its bound.
#include "driver/tests/entry/removal_round.h"
#include "testkit/sanitizers.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using removal::Moment;

// Measured on a busy machine, a thousand rounds take about a minute under
// AddressSanitizer and over a minute under ThreadSanitizer; fewer rounds
// there still reach every moment many times.
constexpr int Rounds = testkit::threadSanitizer ? 300 : testkit::addressSanitizer ? 500 : 1000;

constexpr std::mt19937::result_type Seed = 20261210;

// How the removals fell: each kind of moment must have been met, or the
// run proves less than it says.
struct Reached {
    int startsCut = 0;         // a start the removal made fail
    int startsOutlived = 0;    // a device gone right after its start
    int beforeAnyTransfer = 0; // pins running, no transfer back yet
    int amidTransfers = 0;     // pins running, transfers served
    int changesInFlight = 0;   // a pin's state change not yet returned
    int closesInFlight = 0;    // a pin's close not yet returned
    int glitches = 0;          // the device gone some time after a glitch
    int pinsReady = 0;
    int asioMapped = 0; // an ASIO client had its rings mapped
    int cameBack = 0;   // the device streamed again after the removal
};

void Note(Reached& reached, const removal::RoundPlan& plan, const removal::RoundOutcome& outcome) {
    reached.asioMapped += outcome.userMappings > 0 ? 1 : 0;
    reached.cameBack += plan.comesBack ? 1 : 0;
    switch (plan.moment) {
    case Moment::startUp:
        ++(outcome.started ? reached.startsOutlived : reached.startsCut);
        break;
    case Moment::pinsReady:
        ++reached.pinsReady;
        break;
    case Moment::firstTransfer:
    case Moment::streaming:
        ++(outcome.transfers == 0 ? reached.beforeAnyTransfer : reached.amidTransfers);
        break;
    case Moment::stateChange:
        reached.changesInFlight += outcome.changeInFlight ? 1 : 0;
        break;
    case Moment::pinClose:
        reached.closesInFlight += outcome.changeInFlight ? 1 : 0;
        break;
    case Moment::afterGlitch:
        ++reached.glitches;
        break;
    }
}

TEST(SurpriseRemoval, AThousandRemovalsAtSeededMomentsLeaveNothingBehind) {
    std::mt19937 random(Seed);
    Reached reached;
    for (int round = 0; round < Rounds; ++round) {
        const removal::RoundPlan plan = removal::PlanRound(random);
        SCOPED_TRACE(::testing::Message() << "round " << round << " of seed " << Seed);
        Note(reached, plan, removal::RunRound(plan));
        if (::testing::Test::HasFailure()) return; // the first round that fails tells
    }
    EXPECT_GT(reached.startsCut, 0);
    EXPECT_GT(reached.startsOutlived, 0);
    EXPECT_GT(reached.beforeAnyTransfer, 0);
    EXPECT_GT(reached.amidTransfers, 0);
    EXPECT_GT(reached.changesInFlight, 0);
    EXPECT_GT(reached.closesInFlight, 0);
    EXPECT_GT(reached.glitches, 0);
    EXPECT_GT(reached.pinsReady, 0);
    EXPECT_GT(reached.asioMapped, 0);
    EXPECT_GT(reached.cameBack, 0);
}

// The moment that found the port layer letting a stream go while a state
// change still ran in it: the device pulled out while a pin leaves RUN (its
// transfers still on the bus) or comes back to it (its requests to the
// device held on the bus), on both devices and both pins. The change ends,
// and the round leaves nothing behind.
TEST(SurpriseRemoval, ARemovalDuringAPinsStateChangeLeavesNothingBehind) {
    for (const e2e::DeviceCase& device : e2e::Devices)
        for (const bool captureChanges : {false, true})
            for (const bool pausing : {true, false}) {
                removal::RoundPlan plan{};
                plan.device = &device;
                plan.moment = Moment::stateChange;
                plan.runFrames = 20;
                plan.changeFrames = 1;
                plan.captureChanges = captureChanges;
                plan.pausing = pausing;
                const removal::RoundOutcome outcome = removal::RunRound(plan);
                EXPECT_TRUE(outcome.changeInFlight) << removal::Describe(plan);
            }
}

} // namespace
