// Selective suspend and power changes of the USB audio adapter: the idle
// timer, the idle request and the hub's callback, the wake that cancels it,
// the timer resolution held once, and the ASIO streams around power changes.
#include "adapter_test_world.h"

#include "platform/io/file_object.h"
#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/object.h"
#include "sim/usb/fixtures.h"

namespace adapter_test {
namespace {

using io::DevicePowerState;
using usbsim::BusFault;
using usbsim::BusRequestKind;
namespace fixtures = usbsim::fixtures;

class AdapterPowerTest : public AdapterWorld {
public:
    // A started adapter on the release 1 headset, selective suspend as asked.
    void StartHeadset(bool selectiveSuspend) {
        Plug(fixtures::uac1Headset());
        if (selectiveSuspend) EnableSelectiveSuspend();
        ASSERT_EQ(Start(), kernel::STATUS_SUCCESS);
        Script().log.clear();
    }
    int IdleRequests() const { return bus->received(BusRequestKind::idleNotification); }
    DevicePowerState PowerState() const { return Adapter()->GetSelectiveSuspend().GetPowerState(); }
    NTSTATUS Wake() {
        return Call([this] { return Hal()->WakeDevice(); });
    }
};

TEST_F(AdapterPowerTest, WithSelectiveSuspendDisabledNoIdleRequestIsEverSent) {
    StartHeadset(false);
    Advance(20s);
    EXPECT_EQ(IdleRequests(), 0);
    EXPECT_EQ(PowerState(), DevicePowerState::D0);
}

TEST_F(AdapterPowerTest, AnActiveStreamKeepsTheDeviceAwake) {
    StartHeadset(true);
    EXPECT_EQ(Usb()->AddActiveStream(), 1);
    Advance(20s);
    EXPECT_EQ(IdleRequests(), 0);
    EXPECT_EQ(Usb()->ReleaseActiveStream(), 0);
    Advance(5s);
    EXPECT_EQ(IdleRequests(), 1);
}

TEST_F(AdapterPowerTest, AnIdleDeviceSendsOneRequestAndGoesToD3WhenTheHubCallsBack) {
    StartHeadset(true);
    Advance(4900ms);
    EXPECT_EQ(IdleRequests(), 0);
    Advance(100ms);
    EXPECT_EQ(IdleRequests(), 1);
    EXPECT_EQ(bus->idleCallbacks(), 1);
    EXPECT_TRUE(bus->portSuspended());
    EXPECT_EQ(power->Served(), std::vector{DevicePowerState::D3});
    EXPECT_EQ(Script().log, std::vector<std::string>{"power D3"});
    EXPECT_EQ(PowerState(), DevicePowerState::D3);
    // The timer stays stopped while the request is out.
    Advance(20s);
    EXPECT_EQ(IdleRequests(), 1);
}

TEST_F(AdapterPowerTest, WakeDeviceCancelsTheRequestBringsBackD0AndArmsTheTimerAgain) {
    StartHeadset(true);
    Advance(5s);
    ASSERT_EQ(PowerState(), DevicePowerState::D3);
    EXPECT_EQ(Wake(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(power->Served(), (std::vector{DevicePowerState::D3, DevicePowerState::D0}));
    EXPECT_EQ(Script().log, (std::vector<std::string>{"power D3", "power D0"}));
    EXPECT_EQ(PowerState(), DevicePowerState::D0);
    EXPECT_FALSE(Adapter()->GetSelectiveSuspend().IdleRequestOutstanding());
    Advance(5s);
    EXPECT_EQ(IdleRequests(), 2);
}

TEST_F(AdapterPowerTest, AHubWithoutSelectiveSuspendAsksNoPowerUpAndTheTimerRunsOn) {
    StartHeadset(true);
    bus->setIdleNotificationSupported(false);
    Advance(5s);
    EXPECT_EQ(IdleRequests(), 1);
    EXPECT_FALSE(Adapter()->GetSelectiveSuspend().IdleRequestOutstanding());
    Advance(5s);
    EXPECT_EQ(IdleRequests(), 2);
    EXPECT_TRUE(power->Served().empty());
}

TEST_F(AdapterPowerTest, AFailedRequestWhileDownBringsTheDeviceBackToD0) {
    StartHeadset(true);
    Advance(5s);
    ASSERT_EQ(PowerState(), DevicePowerState::D3);
    bus->unplug(); // the waiting request ends with device gone
    clock.settle();
    EXPECT_EQ(power->Served(), (std::vector{DevicePowerState::D3, DevicePowerState::D0}));
    EXPECT_EQ(PowerState(), DevicePowerState::D0);
}

TEST_F(AdapterPowerTest, SubmittingWhileARequestIsOutOrOutOfD0IsRefused) {
    StartHeadset(true);
    bus->injectFault(BusRequestKind::idleNotification, {BusFault::Type::hold});
    Advance(5s);
    ASSERT_TRUE(Adapter()->GetSelectiveSuspend().IdleRequestOutstanding());
    EXPECT_EQ(Call([this] {
                  return const_cast<CSelectiveSuspend&>(Adapter()->GetSelectiveSuspend())
                      .SubmitIdleRequest();
              }),
              kernel::STATUS_DEVICE_BUSY);
    EXPECT_EQ(Wake(), kernel::STATUS_SUCCESS);
    Call([this] {
        power->target->PowerChangeState(DevicePowerState::D2);
        return kernel::STATUS_SUCCESS;
    });
    EXPECT_EQ(Call([this] {
                  return const_cast<CSelectiveSuspend&>(Adapter()->GetSelectiveSuspend())
                      .SubmitIdleRequest();
              }),
              kernel::STATUS_POWER_STATE_INVALID);
}

// Each way an idle request can end frees it once: the kernel's checks fail a
// double free and the ledger a leak.
TEST_F(AdapterPowerTest, CompletionAndCancelFreeTheRequestOnceInEitherOrder) {
    const struct {
        const char* name;
        std::function<void(AdapterPowerTest&)> end;
    } cases[] = {
        {"cancelled while the hub holds it",
         [](AdapterPowerTest& t) {
             t.bus->injectFault(BusRequestKind::idleNotification, {BusFault::Type::hold});
             t.Advance(5s);
             EXPECT_EQ(t.Wake(), kernel::STATUS_SUCCESS);
         }},
        {"cancelled after the port suspended",
         [](AdapterPowerTest& t) {
             t.Advance(5s);
             EXPECT_EQ(t.Wake(), kernel::STATUS_SUCCESS);
         }},
        {"completed by a resume, then a wake finds nothing",
         [](AdapterPowerTest& t) {
             t.Advance(5s);
             EXPECT_TRUE(t.bus->resumePort());
             t.clock.settle();
             EXPECT_EQ(t.Wake(), kernel::STATUS_SUCCESS);
         }},
        {"completed with an error before a wake",
         [](AdapterPowerTest& t) {
             t.bus->injectFault(BusRequestKind::idleNotification,
                                {BusFault::Type::fail, {}, kernel::STATUS_UNSUCCESSFUL});
             t.Advance(5s);
             EXPECT_EQ(t.Wake(), kernel::STATUS_SUCCESS);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        StartHeadset(true);
        c.end(*this);
        EXPECT_FALSE(Adapter()->GetSelectiveSuspend().IdleRequestOutstanding());
        EXPECT_EQ(bus->pendingRequests(), 0u);
        EXPECT_EQ(io::requestsInFlight(), 0u);
    }
}

TEST_F(AdapterPowerTest, TheTimerResolutionIsHeldOnceAndGivenBackOnce) {
    // Another holder's request must survive the adapter going down and away.
    kernel::setTimerResolution(CUsbAudioAdapter::StreamingTimerResolution, true);
    const int others = kernel::timerResolutionRequests();
    StartHeadset(false);
    EXPECT_EQ(kernel::timerResolutionRequests(), others + 1);
    const auto change = [this](DevicePowerState state) {
        Call([this, state] {
            power->target->PowerChangeState(state);
            return kernel::STATUS_SUCCESS;
        });
    };
    change(DevicePowerState::D0); // unchanged: nothing happens
    EXPECT_EQ(kernel::timerResolutionRequests(), others + 1);
    change(DevicePowerState::D3);
    EXPECT_EQ(kernel::timerResolutionRequests(), others);
    change(DevicePowerState::D2);
    EXPECT_EQ(kernel::timerResolutionRequests(), others);
    ReleaseAdapter();
    EXPECT_EQ(kernel::timerResolutionRequests(), others);
    kernel::setTimerResolution(CUsbAudioAdapter::StreamingTimerResolution, false);
}

// The ASIO interface as the power changes see it: its lock, and what was asked.
class CFakeAsio : public IAsioPowerControl {
public:
    CMutexLock& GetAsioLock() override { return lock; }
    bool StreamsRunning() override { return running; }
    void StopStreams() override {
        calls.push_back("stop");
        running = false;
    }
    void RestartStreams() override {
        calls.push_back("restart");
        running = true;
    }
    NTSTATUS CarryOutStop(io::FileObject* file) override {
        calls.push_back(file != nullptr ? "parked stop of a file" : "parked stop");
        return kernel::STATUS_DEVICE_BUSY;
    }

    CMutexLock lock;
    bool running = false;
    std::vector<std::string> calls;
};

TEST_F(AdapterPowerTest, RunningAsioStreamsStopForLowPowerAndStartAgainAtD0) {
    const struct {
        const char* name;
        bool running;
        std::vector<std::string> calls;
    } cases[] = {
        {"running", true, {"stop", "restart"}},
        {"idle", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        StartHeadset(false);
        CFakeAsio asio;
        asio.running = c.running;
        Adapter()->SetAsioPowerControl(&asio);
        for (DevicePowerState state :
             {DevicePowerState::D3, DevicePowerState::D2, DevicePowerState::D0}) {
            Call([this, state] {
                power->target->PowerChangeState(state);
                return kernel::STATUS_SUCCESS;
            });
        }
        EXPECT_EQ(asio.calls, c.calls);
        EXPECT_EQ(asio.running, c.running);
        Adapter()->SetAsioPowerControl(nullptr);
    }
}

TEST_F(AdapterPowerTest, APowerChangeWaitsForTheAsioLockBeforeItTouchesTheModel) {
    StartHeadset(false);
    CFakeAsio asio;
    Adapter()->SetAsioPowerControl(&asio);
    asio.lock.Lock();
    CSystemCall change([this] {
        power->target->PowerChangeState(DevicePowerState::D3);
        return kernel::STATUS_SUCCESS;
    });
    clock.settle();
    EXPECT_FALSE(change.Done());
    EXPECT_TRUE(Script().log.empty());
    asio.lock.Unlock();
    clock.settle();
    EXPECT_TRUE(change.Done());
    EXPECT_EQ(Script().log, std::vector<std::string>{"power D3"});
    Adapter()->SetAsioPowerControl(nullptr);
}

// A driver dispatch that parks every device control as the ASIO stop waiting for D0.
CUsbAudioAdapter* g_ParkingAdapter = nullptr;
NTSTATUS ParkStop(io::DeviceObject*, io::Irp* irp) {
    io::markPending(irp);
    g_ParkingAdapter->ParkAsioStop(irp);
    return kernel::STATUS_PENDING;
}

struct StopOutcome {
    bool done = false;
    NTSTATUS status = kernel::STATUS_PENDING;
};

NTSTATUS StopCompleted(io::DeviceObject*, io::Irp* irp, void* context) {
    *static_cast<StopOutcome*>(context) = {true, irp->ioStatus.status};
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

TEST_F(AdapterPowerTest, AParkedAsioStopIsCarriedOutAndCompletedAtD0) {
    StartHeadset(false);
    CFakeAsio asio;
    Adapter()->SetAsioPowerControl(&asio);
    Call([this] {
        power->target->PowerChangeState(DevicePowerState::D3);
        return kernel::STATUS_SUCCESS;
    });
    g_ParkingAdapter = Adapter();
    m_Driver.majorFunction[io::major::DeviceControl] = ParkStop;
    io::FileObject* file = nullptr;
    ASSERT_EQ(io::createFileObject(m_pDevice, kernel::makeUnicodeString(u"\\Asio"), &file),
              kernel::STATUS_SUCCESS);
    io::Irp* irp = io::allocateIrp(m_pDevice->stackSize());
    io::IoStackLocation* location = io::nextStackLocation(irp);
    location->majorFunction = io::major::DeviceControl;
    location->fileObject = file;
    StopOutcome outcome;
    io::setCompletionRoutine(irp, StopCompleted, &outcome, true, true, true);
    EXPECT_EQ(io::callDriver(m_pDevice, irp), kernel::STATUS_PENDING);
    clock.settle();
    EXPECT_FALSE(outcome.done);
    Call([this] {
        power->target->PowerChangeState(DevicePowerState::D0);
        return kernel::STATUS_SUCCESS;
    });
    clock.settle();
    EXPECT_TRUE(outcome.done);
    EXPECT_EQ(outcome.status, kernel::STATUS_DEVICE_BUSY);
    EXPECT_EQ(asio.calls, std::vector<std::string>{"parked stop of a file"});
    io::freeIrp(irp);
    kernel::dereferenceObject(*file);
    Adapter()->SetAsioPowerControl(nullptr);
}

} // namespace
} // namespace adapter_test
