// The effects heard: the chip models' effect controls set through the
// topology filter by --effect, and a burst in each channel of a 7.1 client
// measured in the two ears of the stereo headset, in lockstep.
#include "platform/io/registry.h"
#include "tools/driver-host/host_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using driverhost::EarLevels;
using driverhost::Options;
using driverhost::RunResult;
using driverhost::Signal;

constexpr std::uint32_t Rate = 48000;
constexpr std::uint16_t BackLeft = 4, BackRight = 5, SideLeft = 6, SideRight = 7;

// The plain fold of 7.1 into stereo: front left, front right, centre, low
// frequency, back left, back right, side left, side right.
constexpr double FoldLeft[8] = {1, 0, 0.707, 1, 1, 0, 1, 0};
constexpr double FoldRight[8] = {0, 1, 0.707, 1, 0, 1, 0, 1};

Options SevenOne(const char* device, std::vector<std::string> effects) {
    Options options;
    options.device = device;
    options.channels = 8;
    options.signal = Signal::channels;
    options.seconds = 1.65; // every channel's burst and its tail
    options.lockstep = true;
    options.effects = std::move(effects);
    return options;
}

double Db(double gain) { return gain == 0 ? -INFINITY : 20 * std::log10(gain); }

// Each channel as the fold's matrix says: within 0.1 dB in an ear it
// reaches, nothing in one it does not, and no delay between ears it
// reaches alike.
void ExpectFold(const std::vector<EarLevels>& levels) {
    ASSERT_EQ(levels.size(), 8u);
    for (const EarLevels& measured : levels) {
        SCOPED_TRACE("channel " + std::to_string(measured.channel));
        const double left = FoldLeft[measured.channel], right = FoldRight[measured.channel];
        for (const auto& [db, gain] :
             {std::pair{measured.leftDb, left}, {measured.rightDb, right}}) {
            if (gain == 0) {
                EXPECT_TRUE(std::isinf(db) && db < 0) << db;
            } else {
                EXPECT_NEAR(db, Db(gain), 0.1);
            }
        }
        if (left != 0 && right != 0) {
            EXPECT_EQ(measured.interauralFrames, 0);
        }
    }
}

// A burst from the `side` (left: +1, right: -1) is louder and earlier in
// that side's ear, by a delay a head gives (under 1 ms); and the whole is
// not the fold.
void ExpectVirtualized(const std::vector<EarLevels>& levels, std::uint16_t channel, int side) {
    ASSERT_EQ(levels.size(), 8u);
    const EarLevels& burst = levels[channel];
    EXPECT_GT(side * (burst.leftDb - burst.rightDb), 3.0);
    ASSERT_TRUE(burst.interauralFrames);
    EXPECT_GT(side * *burst.interauralFrames, 0);
    EXPECT_LT(std::abs(*burst.interauralFrames), static_cast<int>(Rate / 1000));
    bool differs = false;
    for (const EarLevels& measured : levels)
        differs = differs || std::fabs(measured.leftDb - Db(FoldLeft[measured.channel])) > 1 ||
                  std::fabs(measured.rightDb - Db(FoldRight[measured.channel])) > 1;
    EXPECT_TRUE(differs);
}

// A room around the fold: every channel in both ears, and the whole is not
// the fold.
void ExpectRoom(const std::vector<EarLevels>& levels) {
    ASSERT_EQ(levels.size(), 8u);
    bool differs = false;
    for (const EarLevels& measured : levels) {
        SCOPED_TRACE("channel " + std::to_string(measured.channel));
        EXPECT_TRUE(std::isfinite(measured.leftDb) && std::isfinite(measured.rightDb));
        differs = differs || std::fabs(measured.leftDb - Db(FoldLeft[measured.channel])) > 1 ||
                  std::fabs(measured.rightDb - Db(FoldRight[measured.channel])) > 1;
    }
    EXPECT_TRUE(differs);
}

enum class Heard { fold, backLeftOnTheLeft, backLeftOnTheRight, sidesAtTheRear, room };

struct EffectCase {
    const char* name;
    const char* device;
    std::vector<std::string> effects;
    Heard heard;
};

void RunCase(const EffectCase& c) {
    SCOPED_TRACE(c.name);
    const io::Registry registry; // every run starts from the device's own settings
    const RunResult result = driverhost::runDriverHost(SevenOne(c.device, c.effects));
    ASSERT_TRUE(kernel::succeeded(result.status)) << result.failure;
    ASSERT_EQ(result.deviceFormat.channels, 2u);
    switch (c.heard) {
    case Heard::fold:
        ExpectFold(result.channelLevels);
        break;
    case Heard::backLeftOnTheLeft:
        ExpectVirtualized(result.channelLevels, BackLeft, 1);
        ExpectVirtualized(result.channelLevels, BackRight, -1);
        break;
    case Heard::backLeftOnTheRight: // its speaker moved to the right
        ExpectVirtualized(result.channelLevels, BackLeft, -1);
        break;
    case Heard::sidesAtTheRear:
        // The headphone virtualizer places the side pair at its rear
        // sources and blends the back pair across both of them, so the
        // back pair keeps its side's level but no interaural delay.
        ExpectVirtualized(result.channelLevels, SideLeft, 1);
        ExpectVirtualized(result.channelLevels, SideRight, -1);
        EXPECT_GT(result.channelLevels[BackLeft].leftDb - result.channelLevels[BackLeft].rightDb,
                  3.0);
        break;
    case Heard::room:
        ExpectRoom(result.channelLevels);
        break;
    }
}

TEST(HostEffects, EachChannelReachesTheEarsAsTheEffectsRenderIt) {
    const EffectCase cases[] = {
        {"T6L1, virtualizer off as it starts", "t6l1", {}, Heard::fold},
        {"T6L1, virtualizer on", "t6l1", {"virtualizer=on"}, Heard::backLeftOnTheLeft},
        {"T6L1, on then off", "t6l1", {"virtualizer=on", "virtualizer=off"}, Heard::fold},
        {"T6L1, back left speaker at 150 degrees",
         "t6l1",
         {"virtualizer=on", "virtualizer.6=150"},
         Heard::backLeftOnTheRight},
    };
    for (const EffectCase& c : cases) RunCase(c);
}

// The Q7K2 model's two units sit on the feature unit before the headphones;
// the reverberator runs first and leaves the block whole when it is off,
// so the virtualizer renders every channel and the fold happens once.
TEST(HostEffects, TheQ7K2UnitsAreHeardAloneAndTogether) {
    const EffectCase cases[] = {
        {"Q7K2, both units off", "q7k2", {}, Heard::fold},
        {"Q7K2, headphone virtualizer on", "q7k2", {"headphone=on"}, Heard::sidesAtTheRear},
        {"Q7K2, on then off", "q7k2", {"headphone=on", "headphone=off"}, Heard::fold},
        {"Q7K2, reverberator on", "q7k2", {"reverb=on"}, Heard::room},
        {"Q7K2, both on", "q7k2", {"reverb=on", "headphone=on"}, Heard::room},
    };
    for (const EffectCase& c : cases) RunCase(c);
}

// A setting the device's controls cannot take is refused before anything
// plays, naming what would work.
TEST(HostEffects, RefusesWhatTheControlsCannotTakeNamingWhatWould) {
    const struct {
        const char* device;
        const char* setting;
        const char* reason;
    } cases[] = {
        {"t6l1", "reverb=on",
         "--effect reverb=on: no effect control is called reverb; these would work: "
         "virtualizer=on|off, virtualizer.0..16=VALUE"},
        {"t6l1", "virtualizer=2",
         "--effect virtualizer=2: virtualizer is switched on or off; virtualizer=on|off, "
         "virtualizer.0..16=VALUE"},
        {"t6l1", "virtualizer.17=0",
         "--effect virtualizer.17=0: the 3D speaker virtualizer has no value 17; "
         "virtualizer=on|off, virtualizer.0..16=VALUE"},
        {"t6l1", "virtualizer.1=near",
         "--effect virtualizer.1=near: virtualizer.1 takes -2147483648..2147483647"},
        {"q7k2", "headphone.0=3",
         "--effect headphone.0=3: the headphone virtualizer refused it (headphone.0 describes no "
         "range; it holds 1)"},
        {"q7k2", "reverb.0=1",
         "--effect reverb.0=1: the reverberator has no value 0; reverb=on|off"},
        {"uac1", "virtualizer=on", "--effect virtualizer=on: this device has no effect controls"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        const io::Registry registry;
        Options options = SevenOne(c.device, {c.setting});
        options.channels = 2;
        const RunResult result = driverhost::runDriverHost(options);
        EXPECT_FALSE(kernel::succeeded(result.status));
        EXPECT_EQ(result.failure, c.reason);
        EXPECT_EQ(result.frames, 0u);
        EXPECT_FALSE(result.renderFormat);
    }
}

} // namespace
