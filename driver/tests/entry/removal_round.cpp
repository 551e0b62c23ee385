#include "driver/tests/entry/removal_round.h"

#include "driver/tests/entry/leftovers.h"
#include "platform/io/device_interface.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/asio_client.h"
#include "sim/os/pcm_format.h"
#include "sim/os/system_call.h"
#include "sim/os/wave_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

namespace removal {
namespace {

using kernel::STATUS_SUCCESS;
using std::chrono::milliseconds;

// How long any one call into the driver may block before it counts as a
// hang: far beyond what a start, a state change or a removal takes.
constexpr kernel::Duration CallBound = std::chrono::seconds(2);
constexpr int CallBoundFrames = static_cast<int>(CallBound / milliseconds(1));

// Frames the requests of a start or a pin's state change to the device are
// held each: so they span frames and a removal can land among them.
constexpr kernel::Duration HeldRequestDelay = milliseconds(2);
constexpr int HeldStartRequests = 64;

// By Moment, in its order.
constexpr const char* MomentNames[] = {
    "during start-up",
    "with the pins ready",
    "before the first transfers came back",
    "while streaming",
    "during a pin's state change",
    "while a pin closes",
    "some time after a glitch on the bus",
};
static_assert(std::size(MomentNames) == static_cast<std::size_t>(Moment::afterGlitch) + 1);

// A number in [low, high] from the generator's own output.
int Between(std::mt19937& random, int low, int high) {
    return low + static_cast<int>(random() % static_cast<std::uint32_t>(high - low + 1));
}

// The audio engine's two streams on the device: a render pin fed a ramp
// and a capture pin whose frames are counted.
struct Pins {
    portcls::FilterHandle renderFilter;
    portcls::FilterHandle captureFilter;
    ossim::WaveStream render;
    ossim::WaveStream capture;
    std::int16_t next = 0;
    std::uint64_t captured = 0;
};

class Round {
public:
    explicit Round(const RoundPlan& plan) : m_plan(plan), m_system(plan.device->describe()) {}
    // The host's last calls (unloading the driver) need no frames of ours.
    ~Round() { m_system.boundCalls(kernel::Duration::zero()); }
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;

    const RoundOutcome& outcome() const { return m_outcome; }

    void Run() {
        m_system.boundCalls(CallBound, [this] { BeforeFrame(); });
        ASSERT_EQ(m_system.load(DriverEntry), STATUS_SUCCESS);
        m_loadedAt = kernel::poolAllocationSerial();
        if (m_plan.moment == Moment::startUp) {
            for (usbsim::BusRequestKind kind :
                 {usbsim::BusRequestKind::control, usbsim::BusRequestKind::descriptor})
                m_system.bus().injectFault(
                    kind, {.type = usbsim::BusFault::Type::delay, .delay = HeldRequestDelay},
                    HeldStartRequests);
            m_unplugAtFrame = m_plan.runFrames;
        }
        const kernel::NTSTATUS plugged = m_system.plug();
        m_unplugAtFrame = -1; // the start is over
        ASSERT_NE(plugged, kernel::STATUS_PENDING);
        m_outcome.started = plugged == STATUS_SUCCESS;
        if (m_plan.moment == Moment::startUp) {
            // The start ended either way; a device that outlived it goes now.
            if (m_system.bus().plugged()) m_system.bus().unplug();
        } else {
            ASSERT_EQ(plugged, STATUS_SUCCESS);
            if (m_plan.asio) StartAsio();
            if (::testing::Test::HasFatalFailure()) return;
            Stream();
            if (::testing::Test::HasFatalFailure()) return;
        }
        Finish();
        if (m_plan.comesBack && !::testing::Test::HasFailure()) ComeBack();
    }

private:
    // Frames the bounded calls step run this first: the start-up round
    // pulls the device out here, among the start's requests.
    void BeforeFrame() {
        if (m_unplugAtFrame < 0) return;
        if (m_unplugAtFrame-- == 0) m_system.bus().unplug();
    }

    // The ASIO client takes the device (its priority is above the pins'),
    // which goes on running its format for it while the pins stream.
    void StartAsio() {
        m_asio.emplace(m_system);
        ASSERT_EQ(m_asio->open(), STATUS_SUCCESS);
        ASSERT_EQ(m_asio->configure({}), STATUS_SUCCESS);
        ASSERT_EQ(m_asio->start(), STATUS_SUCCESS);
    }

    void OpenPins() {
        const e2e::DeviceCase& device = *m_plan.device;
        ASSERT_EQ(
            m_system.host().openFilter(m_system.device(), device.renderFilter, m_pins.renderFilter),
            STATUS_SUCCESS);
        ASSERT_EQ(m_system.host().openFilter(m_system.device(), device.captureFilter,
                                             m_pins.captureFilter),
                  STATUS_SUCCESS);
        const ks::DataFormatWaveFormatExtensible renderFormat = ossim::pcmFormat(48000, 16, 2);
        Pins* pins = &m_pins;
        const auto ramp = [pins](std::uint8_t* frames, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i, ++pins->next) {
                const std::int16_t sample[2] = {pins->next, pins->next};
                std::memcpy(frames + 4 * i, sample, 4);
            }
        };
        ASSERT_EQ(
            m_pins.render.open(m_pins.renderFilter, 0, &renderFormat.DataFormat, 1200, {ramp, {}}),
            STATUS_SUCCESS);
        const ks::DataFormatWaveFormatExtensible captureFormat =
            ossim::pcmFormat(48000, 16, device.captureChannels, 16, device.captureChannelMask);
        const auto count = [pins](const std::uint8_t*, std::uint32_t frames) {
            pins->captured += frames;
        };
        ASSERT_EQ(m_pins.capture.open(m_pins.captureFilter, 0, &captureFormat.DataFormat, 1200,
                                      {{}, count}),
                  STATUS_SUCCESS);
    }

    // The audio engine closes both pins (on a system thread: a running pin
    // waits for its transfers) and their filters.
    void ClosePins() {
        Pins* pins = &m_pins;
        EXPECT_EQ(m_system.call([pins] {
            pins->render.close();
            pins->capture.close();
            return STATUS_SUCCESS;
        }),
                  STATUS_SUCCESS);
        m_pins.renderFilter.close();
        m_pins.captureFilter.close();
    }

    // Both pins up to the state, one step at a time, each on a system thread.
    void Raise(ks::KsState to) {
        for (ossim::WaveStream* stream : {&m_pins.render, &m_pins.capture})
            for (auto state = static_cast<int>(stream->state()) + 1; state <= static_cast<int>(to);
                 ++state) {
                const auto step = static_cast<ks::KsState>(state);
                ASSERT_EQ(m_system.call([stream, step] { return stream->setState(step); }),
                          STATUS_SUCCESS)
                    << "state " << state;
            }
    }

    void Stream() {
        OpenPins();
        if (::testing::Test::HasFatalFailure()) return;
        switch (m_plan.moment) {
        case Moment::startUp:
            break;
        case Moment::pinsReady:
            Raise(m_plan.readyAt);
            m_system.step(milliseconds(m_plan.runFrames));
            break;
        case Moment::firstTransfer:
        case Moment::streaming:
            Raise(ks::KsState::Run);
            m_system.step(milliseconds(m_plan.runFrames));
            break;
        case Moment::stateChange:
            ChangeState();
            break;
        case Moment::pinClose:
            ClosePin();
            break;
        case Moment::afterGlitch:
            Glitch();
            break;
        }
        // Between the packets of a high-speed frame.
        m_system.clock().advance(std::chrono::microseconds(125) * m_plan.microframes);
        m_system.clock().settle();
    }

    // One pin leaves RUN (or comes back to it) on a system thread of its
    // own, which may still be at it when the device goes.
    void ChangeState() {
        Raise(ks::KsState::Run);
        if (::testing::Test::HasFatalFailure()) return;
        m_system.step(milliseconds(m_plan.runFrames));
        ossim::WaveStream* stream = m_plan.captureChanges ? &m_pins.capture : &m_pins.render;
        if (!m_plan.pausing) {
            ASSERT_EQ(m_system.call([stream] { return stream->setState(ks::KsState::Pause); }),
                      STATUS_SUCCESS);
        }
        const ks::KsState to = m_plan.pausing ? ks::KsState::Pause : ks::KsState::Run;
        // The device may be gone: any status.
        StartChange([stream, to] { (void)stream->setState(to); });
    }

    // The audio engine closes one running pin on a system thread of its own.
    void ClosePin() {
        Raise(ks::KsState::Run);
        if (::testing::Test::HasFatalFailure()) return;
        m_system.step(milliseconds(m_plan.runFrames));
        ossim::WaveStream* stream = m_plan.captureChanges ? &m_pins.capture : &m_pins.render;
        StartChange([stream] { stream->close(); });
    }

    // The bus loses the device for a frame while the pins run: the
    // transfers on it fail, the engines' workers find the device gone and
    // end, and the pins run on without transfers until the removal.
    void Glitch() {
        Raise(ks::KsState::Run);
        if (::testing::Test::HasFatalFailure()) return;
        m_system.step(milliseconds(m_plan.runFrames));
        m_system.bus().unplug();
        m_system.step(milliseconds(1));
        m_system.bus().replug();
        m_system.step(milliseconds(m_plan.changeFrames));
    }

    // Starts the change on a system thread and lets the frames of the plan
    // pass. Its requests to the device (the interface's settings, its rate)
    // take frames, so the removal may land among them.
    void StartChange(std::function<void()> change) {
        for (usbsim::BusRequestKind kind :
             {usbsim::BusRequestKind::selectInterface, usbsim::BusRequestKind::control})
            m_system.bus().injectFault(
                kind, {.type = usbsim::BusFault::Type::delay, .delay = HeldRequestDelay}, 4);
        m_changing = std::make_shared<std::atomic<bool>>(false);
        auto done = m_changing;
        (void)ossim::callOnSystemThread(m_system.clock(), [change = std::move(change), done] {
            change();
            *done = true;
            return STATUS_SUCCESS;
        });
        m_system.step(milliseconds(m_plan.changeFrames));
    }

    // The change still under way ends once the removal freed what it
    // waited for: within the bound, or it hangs.
    void AwaitChange() {
        if (!m_changing) return;
        for (int frame = 0; frame < CallBoundFrames && !*m_changing; ++frame)
            m_system.step(milliseconds(1));
        ASSERT_TRUE(*m_changing) << "the pin's state change still blocks after the bound";
    }

    // What the system does once the device is gone: surprise removal, the
    // audio engine closes its pins and filters, then the remove.
    void Finish() {
        m_outcome.changeInFlight = m_changing && !*m_changing;
        m_outcome.userMappings = io::userMappings();
        const e2e::DeviceCase& device = *m_plan.device;
        m_outcome.transfers = m_system.bus().isochronous().transfersServed(device.outEndpoint) +
                              m_system.bus().isochronous().transfersServed(device.inEndpoint);
        if (m_system.bus().plugged()) m_system.bus().unplug();
        EXPECT_EQ(m_system.host().surpriseRemove(m_system.device()), STATUS_SUCCESS);
        AwaitChange();
        if (::testing::Test::HasFatalFailure()) return;
        ClosePins();
        // The ASIO host learns of the removal from its failing requests and
        // lets its client go: stop, buffers, file.
        m_asio.reset();
        EXPECT_EQ(m_system.host().removeDevice(m_system.device()), STATUS_SUCCESS);
        EXPECT_EQ(m_system.host().stacks(), 0u);
        // The device's part is gone with the remove, the driver still loaded:
        // none of its threads runs, nothing it made for the device is left,
        // and no request of its waits on the bus.
        EXPECT_EQ(kernel::runningSystemThreads(), m_threadsBefore) << "system threads";
        EXPECT_EQ(m_system.bus().pendingRequests(), 0u) << "requests on the bus";
        entry_test::ExpectNoBlocksSince(m_loadedAt, "after the remove");
        for (const io::DeviceInterfaceEntry& entry :
             m_system.host().deviceInterfaces(m_system.device()))
            EXPECT_FALSE(entry.enabled)
                << std::string(entry.referenceString.begin(), entry.referenceString.end());
    }

    // The device plugged in again: a new stack of the driver still loaded
    // starts on it, its pins stream, and it leaves in order.
    void ComeBack() {
        m_changing.reset();
        m_system.bus().replug();
        ASSERT_EQ(m_system.plug(), STATUS_SUCCESS);
        OpenPins();
        if (::testing::Test::HasFatalFailure()) return;
        Raise(ks::KsState::Run);
        if (::testing::Test::HasFatalFailure()) return;
        m_system.step(milliseconds(30));
        EXPECT_GT(m_pins.render.serviceCount(), 0u);
        ClosePins();
        EXPECT_EQ(m_system.remove(), STATUS_SUCCESS);
        EXPECT_EQ(kernel::runningSystemThreads(), m_threadsBefore) << "system threads";
        entry_test::ExpectNoBlocksSince(m_loadedAt, "after the second remove");
    }

    const RoundPlan m_plan;
    ossim::SimulatedSystem m_system;
    Pins m_pins;
    std::optional<ossim::AsioClient> m_asio;
    int m_unplugAtFrame = -1;
    std::shared_ptr<std::atomic<bool>> m_changing;
    RoundOutcome m_outcome;
    const std::size_t m_threadsBefore = kernel::runningSystemThreads();
    std::uint64_t m_loadedAt = 0;
};

} // namespace

RoundPlan PlanRound(std::mt19937& random) {
    RoundPlan plan{};
    plan.device = &e2e::Devices[random() % std::size(e2e::Devices)];
    plan.moment = static_cast<Moment>(random() % 7);
    plan.microframes = Between(random, 0, 7);
    plan.asio = plan.device->release2 && random() % 3 == 0;
    plan.comesBack = random() % 4 == 0;
    switch (plan.moment) {
    case Moment::startUp:
        plan.runFrames = Between(random, 0, 120);
        break;
    case Moment::pinsReady:
        plan.readyAt = random() % 2 == 0 ? ks::KsState::Acquire : ks::KsState::Pause;
        plan.runFrames = Between(random, 0, 5);
        break;
    case Moment::firstTransfer:
        plan.runFrames = Between(random, 0, 9);
        break;
    case Moment::streaming:
        plan.runFrames = Between(random, 10, 120);
        break;
    case Moment::stateChange:
        plan.runFrames = Between(random, 0, 40);
        plan.changeFrames = Between(random, 0, 12);
        plan.captureChanges = random() % 2 == 0;
        plan.pausing = random() % 2 == 0;
        break;
    case Moment::pinClose:
        plan.runFrames = Between(random, 0, 40);
        plan.changeFrames = Between(random, 0, 12);
        plan.captureChanges = random() % 2 == 0;
        break;
    case Moment::afterGlitch:
        plan.runFrames = Between(random, 5, 40);
        plan.changeFrames = Between(random, 0, 160);
        break;
    }
    return plan;
}

std::string Describe(const RoundPlan& plan) {
    std::ostringstream text;
    text << plan.device->name << ", removed " << MomentNames[static_cast<int>(plan.moment)]
         << " after " << plan.runFrames << " frame(s)";
    if (plan.moment != Moment::startUp) text << " and " << plan.microframes << " microframe(s)";
    if (plan.asio) text << ", an ASIO client streaming";
    if (plan.comesBack) text << ", coming back after";
    if (plan.moment == Moment::pinsReady) text << " in state " << static_cast<int>(plan.readyAt);
    if (plan.moment == Moment::stateChange)
        text << ", then " << plan.changeFrames << " into the "
             << (plan.captureChanges ? "capture" : "render") << " pin's change to "
             << (plan.pausing ? "PAUSE" : "RUN");
    if (plan.moment == Moment::afterGlitch)
        text << ", " << plan.changeFrames << " frame(s) after the glitch";
    if (plan.moment == Moment::pinClose)
        text << ", then " << plan.changeFrames << " into the "
             << (plan.captureChanges ? "capture" : "render") << " pin's close";
    return text.str();
}

RoundOutcome RunRound(const RoundPlan& plan) {
    SCOPED_TRACE(Describe(plan));
    const entry_test::Baseline before = entry_test::TakeBaseline();
    RoundOutcome outcome;
    {
        Round round(plan);
        round.Run();
        outcome = round.outcome();
        if (::testing::Test::HasFatalFailure()) return outcome;
    }
    entry_test::ExpectNothingLeft(before, "after the round");
    return outcome;
}

} // namespace removal
