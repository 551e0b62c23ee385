// The USB audio adapter's tests: a function on the simulated bus under a
// manual clock, the driver's device on it, a power manager that hands device
// power requests to the adapter on a thread of its own, stand-in device
// models that log what is done to them, and calls made on system threads so
// that the adapter may wait on the bus while the test steps the clock.
#pragma once

#include "driver/adapter/device_model_table.h"
#include "driver/adapter/usb_audio_adapter.h"
#include "driver/devmodel/audio_device_model.h"
#include "driver/devmodel/uac_device.h"
#include "driver/engine/audio_hal.h"
#include "platform/io/device_object.h"
#include "platform/io/power_request.h"
#include "platform/io/registry.h"
#include "platform/io/system_folder.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"
#include "sim/usb/simulated_bus.h"
#include "sim/usb/usb_function.h"
#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace adapter_test {

using kernel::NTSTATUS;
using namespace std::chrono_literals;

// What the stand-in models do and what was done to them, for one test.
struct ModelScript {
    NTSTATUS parseStatus = kernel::STATUS_SUCCESS;
    std::uint32_t endpoints = 0;
    bool asioEndpoint = false;
    std::vector<std::string> log; // "create <kind>", "parse", "power D<n>"
};
ModelScript& Script();

// A device model that parses nothing: it answers the HAL and the model
// faces, reports the script's endpoints and logs its power changes.
class CTestModel : public CForwardingUnknown<CAudioHal, IAudioDeviceModel> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    NTSTATUS ParseDescriptors() override;
    std::uint32_t GetEndpointCount() override { return Script().endpoints; }
    NTSTATUS GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) override;
    void PowerChangeState(io::DevicePowerState state) override;

    NTSTATUS UpdateEndpoints(std::uint32_t) override { return kernel::STATUS_SUCCESS; }
    NTSTATUS GetCallbackObject(kernel::CallbackObject** object) override;
    NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor*, std::uint32_t) override {
        return kernel::STATUS_SUCCESS;
    }
    NTSTATUS ParseStreamingInterfaces(const usb::ConfigurationDescriptor*,
                                      const usb::InterfaceDescriptor*, std::uint32_t) override {
        return kernel::STATUS_SUCCESS;
    }
    NTSTATUS AfterParse() override { return kernel::STATUS_SUCCESS; }
};

// One row per model the driver knows, each creating a CTestModel that logs
// its kind: the release 2 model, the chip models by product code, the
// generic release 1 model last.
DeviceModelTable TestModelTable();

// The model the recording table last made (null before one is made and
// after a factory failed) and the starting thread's allocation count just
// before it was made.
struct RecordedModel {
    INonDelegatingUnknown* model = nullptr;
    std::uint64_t createdAt = 0;
    // The model as the device model class; null when none was made.
    CUacDevice* Uac() const;
};
RecordedModel& LastModel();
// The driver's own model table, each factory also recording what it made
// in LastModel().
std::vector<DeviceModelRow> RecordingModelTable();

// A call on a system thread of its own; the destructor waits for its end.
class CSystemCall {
public:
    explicit CSystemCall(std::function<NTSTATUS()> work);
    ~CSystemCall();
    CSystemCall(const CSystemCall&) = delete;
    CSystemCall& operator=(const CSystemCall&) = delete;
    bool Done() const;
    NTSTATUS Status() const { return m_Status; }

private:
    static void Run(void* context);
    std::function<NTSTATUS()> m_Work;
    std::atomic<NTSTATUS> m_Status{kernel::STATUS_PENDING};
    kernel::ThreadObject* m_pThread = nullptr;
};

// The power manager: each device power request goes to the adapter's power
// management on the manager's own thread and is then completed.
class CPowerHost {
public:
    CPowerHost();
    ~CPowerHost();
    CPowerHost(const CPowerHost&) = delete;
    CPowerHost& operator=(const CPowerHost&) = delete;

    portcls::IAdapterPowerManagement* target = nullptr;
    std::vector<io::DevicePowerState> Served() const;

private:
    static NTSTATUS Receive(void* self, io::DeviceObject* device, io::Irp* irp);
    static void Run(void* self);

    mutable std::mutex m_Lock;
    std::deque<io::Irp*> m_Queue;
    std::vector<io::DevicePowerState> m_Served;
    bool m_bStop = false;
    kernel::Event m_Wake{kernel::EventType::Synchronization, false};
    kernel::ThreadObject* m_pThread = nullptr;
};

// Its parts are open to the table-driven cases' functions.
class AdapterWorld : public ::testing::Test {
public:
    void TearDown() override;

    // The function on a bus, the driver's device on it, with its hardware
    // key; with a device between them that refuses the bus interface.
    void Plug(usbsim::FunctionDescription description, bool refuseBusInterface = false);
    // Creates the adapter with the table and runs its Init; Init's status.
    NTSTATUS Start(DeviceModelTable models = TestModelTable());
    void ReleaseAdapter();
    // Sets "SelectiveSuspendEnabled" in the device's hardware key.
    void EnableSelectiveSuspend();

    // Runs the call on a system thread, stepping the clock a millisecond at
    // a time until it returns (at most `limit`); its status.
    NTSTATUS Call(std::function<NTSTATUS()> work, kernel::Duration limit = 1s);
    void Advance(kernel::Duration time);

    IUsbDevice* Usb() const { return m_pUsb; }
    IAudioHal* Hal() const { return m_pHal; }
    CUsbAudioAdapter* Adapter() const { return static_cast<CUsbAudioAdapter*>(m_pUsb); }
    // Standard GET_DESCRIPTOR requests for strings the function saw.
    std::vector<std::uint8_t> StringRequests() const;

    std::optional<io::Registry> m_Registry; // a fresh one for each device plugged
    testkit::TempFolder m_Folder;
    io::SystemRoot m_SystemRoot{m_Folder.path()};
    kernel::ManualClock clock;
    std::unique_ptr<usbsim::UsbFunction> function;
    std::unique_ptr<usbsim::SimulatedBus> bus;
    io::DriverObject m_Driver;
    io::DriverObject m_Filter;
    io::DeviceObject* m_pFilter = nullptr;
    io::DeviceObject* m_pDevice = nullptr;
    io::DeviceObject* m_pLower = nullptr;
    std::unique_ptr<CPowerHost> power;
    kernel::IUnknown* m_pAdapter = nullptr;
    IUsbDevice* m_pUsb = nullptr;
    IAudioHal* m_pHal = nullptr;
};

} // namespace adapter_test
