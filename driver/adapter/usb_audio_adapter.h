// The driver's object for a USB audio function. It reads the device's
// descriptors, selects its configuration, sends its requests with a time-out
// and recovers its port, picks and aggregates the device model (the adapter
// is the model's outer unknown and forwards most HAL operations to it),
// names the device in the registry, keeps the ASIO settings, and runs
// selective suspend and the device's power changes.
#pragma once

#include "driver/adapter/asio_power_control.h"
#include "driver/adapter/asio_private.h"
#include "driver/adapter/asio_settings.h"
#include "driver/adapter/device_model_table.h"
#include "driver/adapter/selective_suspend.h"
#include "driver/common/mutex_lock.h"
#include "driver/common/pool_buffer.h"
#include "driver/devmodel/audio_device_model.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/usb_device.h"
#include "platform/usb/bus_interface.h"
#include "platform/usb/select_request.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

class CUsbAudioAdapter : public CForwardingUnknown<CAudioHal, IUsbDevice>, private IAsioHost {
public:
    // A request record that has not come back by then is cancelled.
    static constexpr kernel::Duration RequestTimeout = std::chrono::milliseconds(500);
    // A port that did not answer is asked once more after this pause.
    static constexpr kernel::Duration PortRetryDelay = std::chrono::milliseconds(100);
    // The system timer resolution the device's streaming needs: 1 ms.
    static constexpr std::uint32_t StreamingTimerResolution = 10000;

    CUsbAudioAdapter(kernel::IUnknown* outer, DeviceModelTable models);
    ~CUsbAudioAdapter() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // IUsbDevice
    const usb::ConfigurationDescriptor* GetConfigurationDescriptor() override;
    usb::ConfigurationHandle GetConfigurationHandle() override { return m_ConfigurationHandle; }
    std::uint8_t GetControlInterfaceNumber() override { return m_ControlInterface; }
    kernel::NTSTATUS SetDevicePresent(std::uint8_t present) override;
    kernel::NTSTATUS SendIrp(io::Irp* irp) override;
    kernel::NTSTATUS SubmitUrb(usb::RequestHeader* request) override;
    kernel::NTSTATUS QueryBusTime(std::uint32_t* frame) override;
    io::Irp* AllocateIrp() override { return io::allocateIrp(m_IrpStackSize); }
    kernel::NTSTATUS FreeIrp(io::Irp* irp) override;
    bool IsHighSpeed() override { return m_bHighSpeed; }
    bool IsDeviceGone() override;
    kernel::NTSTATUS CyclePort() override;
    kernel::NTSTATUS ResetPort() override;
    io::DeviceObject* GetLowerDevice() override { return GetLowerDeviceObject(); }
    std::int32_t AddActiveStream() override { return m_Suspend.AddActiveStream(); }
    std::int32_t ReleaseActiveStream() override { return m_Suspend.ReleaseActiveStream(); }
    kernel::NTSTATUS CreateAudioDevice() override;

    // IAudioHal: the model answers for the device's endpoints and children.
    kernel::NTSTATUS GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) override;
    kernel::NTSTATUS GetComponentId(ComponentId* id) override;
    std::uint32_t GetEndpointCount() override;
    kernel::NTSTATUS GetEndpoint(std::uint32_t index, IStreamEngine** engine) override;
    std::uint32_t GetChildCount() override;
    kernel::NTSTATUS GetChild(std::uint32_t index, IAudioNode** child) override;
    kernel::NTSTATUS Init(const io::ResourceList* resources, io::DeviceObject* device,
                          io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice) override;
    kernel::NTSTATUS Start() override;
    kernel::NTSTATUS Stop() override;
    kernel::NTSTATUS RegisterCallback(kernel::CallbackFunction function, void* context,
                                      kernel::CallbackRegistration** handle) override;
    kernel::NTSTATUS UnregisterCallback(kernel::CallbackRegistration* handle) override;
    kernel::NTSTATUS WakeDevice() override;
    kernel::NTSTATUS ParseDescriptors() override;
    // The model links its own graph when it initialises.
    kernel::NTSTATUS ConnectGraph() override { return kernel::STATUS_SUCCESS; }

    // IAdapterPowerManagement
    void PowerChangeState(io::DevicePowerState newState) override;

    // The ASIO interface's side of power changes; null while there is none.
    void SetAsioPowerControl(IAsioPowerControl* control) { m_pAsio = control; }
    // A stop request of the ASIO interface that must wait for D0.
    void ParkAsioStop(io::Irp* irp) { m_pParkedAsioStop.store(irp); }
    CAsioPrivate& GetAsioPrivate() { return m_AsioPrivate; }
    const AsioSettings& GetAsioSettings() const { return m_Asio; }
    std::uint16_t GetVendorId() const { return m_VendorId; }
    std::uint16_t GetProductId() const { return m_ProductId; }
    const CSelectiveSuspend& GetSelectiveSuspend() const { return m_Suspend; }

private:
    // IAsioHost
    kernel::IUnknown* AsioOuterUnknown() override { return GetOuterUnknown(); }
    IAudioHal& AsioHal() override { return *this; }
    IUsbDevice& AsioUsb() override { return *this; }
    io::DeviceObject* AsioSettingsDevice() override { return GetDeviceObject(); }
    AsioSettings& AsioSettingsRecord() override { return m_Asio; }
    AsioDeviceIds AsioIds() override { return {m_VendorId, m_ProductId, m_ProductString}; }
    bool AsioDeviceWorking() override;
    bool ParkStopRequest(io::Irp* request) override;
    io::Irp* TakeParkedStop(io::FileObject* file) override;

    kernel::NTSTATUS ReadDescriptors();
    kernel::NTSTATUS ReadDescriptor(std::uint8_t type, void* buffer, std::uint32_t length,
                                    std::uint32_t* received);
    kernel::NTSTATUS SelectConfiguration();
    kernel::NTSTATUS QueryBusInterface();
    kernel::NTSTATUS CreateModel(DeviceModelFactory create);
    // The device's product code string; none when neither string can be
    // read. A read that could not be made for want of memory fails with
    // STATUS_INSUFFICIENT_RESOURCES: the device is not taken for one without
    // a code, whose model would be the wrong one.
    kernel::NTSTATUS ReadProductCode(char16_t* text, std::size_t room,
                                     std::optional<std::u16string_view>* code);
    kernel::NTSTATUS LoadAsio();
    // An internal device control to the bus, waited for without limit.
    kernel::NTSTATUS SendPortControl(std::uint32_t code, void* argument);
    // Sends the request down and waits: at most `timeout`, then it is
    // cancelled and waited for.
    kernel::NTSTATUS SendAndWait(std::uint32_t code, void* argument, kernel::Timeout timeout);
    // After the port came back by itself: reset it and let the model restore its state.
    void RecoverPort();
    void HoldTimerResolution(bool hold);
    void ChangePowerState(io::DevicePowerState newState);
    void FinishParkedAsioStop();
    void ReleaseModel();

    const DeviceModelTable m_Models;
    CSelectiveSuspend m_Suspend;
    CMutexLock m_PowerLock;

    CPoolBuffer m_Configuration;   // the whole configuration descriptor
    usb::RequestBlock m_Selection; // the select request: the interfaces' information records
    usb::ConfigurationHandle m_ConfigurationHandle = nullptr;
    std::uint32_t m_InterfaceCount = 0;
    std::uint16_t m_VendorId = 0;
    std::uint16_t m_ProductId = 0;
    std::uint8_t m_ManufacturerString = 0;
    std::uint8_t m_ProductString = 0;
    std::uint8_t m_ControlInterface = 0;
    bool m_bHighSpeed = false;
    std::int8_t m_IrpStackSize = 0;
    std::uint32_t m_Present = 0;
    std::int32_t m_PortCycled = 0;
    usb::BusInterface m_BusInterface = {};
    bool m_bBusInterface = false;
    bool m_bTimerResolutionHeld = false;

    INonDelegatingUnknown* m_pModelUnknown = nullptr;
    IAudioHal* m_pModelHal = nullptr;
    IAudioDeviceModel* m_pModel = nullptr;
    portcls::IAdapterPowerManagement* m_pModelPower = nullptr;

    AsioSettings m_Asio;
    bool m_bAsioSuspended = false;
    // Taken by whoever completes it: the D0 change, a cancel or a close.
    std::atomic<io::Irp*> m_pParkedAsioStop{nullptr};
    CAsioPrivate m_AsioPrivate{*this};
    IAsioPowerControl* m_pAsio = &m_AsioPrivate;
};

// Creates the adapter with the models it may choose from; its IUnknown (the
// IAudioHal face) with one reference.
kernel::NTSTATUS CreateUsbAudioAdapter(kernel::IUnknown** adapter, DeviceModelTable models);
// The same aggregated into an outer object, which every face of the adapter
// counts on and asks for interfaces; the adapter's own unknown comes back
// with one reference, for the outer object to keep and release.
kernel::NTSTATUS CreateUsbAudioAdapter(INonDelegatingUnknown** adapter, kernel::IUnknown* outer,
                                       DeviceModelTable models);
