// The device-wide object of the driver: the list of endpoints (one stream
// engine each) and the list of child nodes of the device model (its control
// items and software nodes; entities stay in the model's own list), the parse
// and connect steps of its initialisation, start, stop and power of the
// children, and the callback object through which control changes are
// published. The device models derive from it and parse their descriptors.
#pragma once

#include "driver/common/object_model.h"
#include "driver/engine/audio_node.h"
#include "driver/engine/reference_list.h"
#include "driver/engine/stream_engine.h"
#include "driver/engine/terminal_item.h"
#include "platform/io/power_state.h"
#include "platform/kernel/callback_object.h"
#include "platform/portcls/adapter_power.h"

#include <cstdint>

namespace io {
struct ResourceList;
} // namespace io

class ISelectorControl;

// The HAL's child and endpoint lists.
inline constexpr kernel::PoolTag HalListTag = kernel::poolTag("HALB");
// Short-lived buffers, such as the callback object's name.
inline constexpr kernel::PoolTag TemporaryTag = kernel::poolTag("Temp");

// Word 6 bit 1 of an endpoint's record: the ASIO interface serves it.
inline constexpr std::uint32_t InfoRecordAsioWord = 6;
inline constexpr std::uint32_t InfoRecordAsioBit = 1u << 1;

// The identity the adapter reports for the device: manufacturer, product,
// component and name identifiers, version and revision.
struct ComponentId {
    kernel::Guid manufacturer;
    kernel::Guid product;
    kernel::Guid component;
    kernel::Guid name;
    std::uint32_t version;
    std::uint32_t revision;
};
static_assert(sizeof(ComponentId) == 72);

class IAudioHal : public kernel::IUnknown {
public:
    // The device-wide record here; the device models give the endpoint's.
    virtual kernel::NTSTATUS GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) = 0;
    virtual kernel::NTSTATUS GetComponentId(ComponentId* id) = 0;
    virtual std::uint32_t GetEndpointCount() = 0;
    // No reference is added.
    virtual kernel::NTSTATUS GetEndpoint(std::uint32_t index, IStreamEngine** engine) = 0;
    virtual std::uint32_t GetChildCount() = 0;
    virtual kernel::NTSTATUS GetChild(std::uint32_t index, IAudioNode** child) = 0;
    virtual io::DeviceObject* GetDeviceObject() = 0;
    virtual kernel::NTSTATUS Init(const io::ResourceList* resources, io::DeviceObject* device,
                                  io::DeviceObject* lowerDevice,
                                  io::DeviceObject* physicalDevice) = 0;
    virtual kernel::NTSTATUS Start() = 0;
    virtual kernel::NTSTATUS Stop() = 0;
    virtual kernel::NTSTATUS RegisterCallback(kernel::CallbackFunction function, void* context,
                                              kernel::CallbackRegistration** handle) = 0;
    virtual kernel::NTSTATUS UnregisterCallback(kernel::CallbackRegistration* handle) = 0;
    virtual kernel::NTSTATUS WakeDevice() = 0;
    virtual kernel::NTSTATUS ParseDescriptors() = 0;
    virtual kernel::NTSTATUS ConnectGraph() = 0;
    // The record for a direction (0 render, 1 capture) and an endpoint type.
    virtual kernel::NTSTATUS GetEndpointInfoRecord(std::uint32_t direction,
                                                   std::uint32_t endpointType,
                                                   EndpointInfoRecord* record) = 0;

protected:
    ~IAudioHal() = default;
};

class CAudioHal : public CForwardingUnknown<CUnknown, IAudioHal, portcls::IAdapterPowerManagement> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    ~CAudioHal() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) override;
    kernel::NTSTATUS GetComponentId(ComponentId*) override {
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    }
    std::uint32_t GetEndpointCount() override { return m_Endpoints.Count(); }
    kernel::NTSTATUS GetEndpoint(std::uint32_t index, IStreamEngine** engine) override {
        return m_Endpoints.GetAt(index, engine);
    }
    std::uint32_t GetChildCount() override { return m_Children.Count(); }
    kernel::NTSTATUS GetChild(std::uint32_t index, IAudioNode** child) override {
        return m_Children.GetAt(index, child);
    }
    io::DeviceObject* GetDeviceObject() override { return m_pDeviceObject; }
    kernel::NTSTATUS Init(const io::ResourceList* resources, io::DeviceObject* device,
                          io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice) override;
    kernel::NTSTATUS Start() override;
    kernel::NTSTATUS Stop() override;
    kernel::NTSTATUS RegisterCallback(kernel::CallbackFunction function, void* context,
                                      kernel::CallbackRegistration** handle) override;
    kernel::NTSTATUS UnregisterCallback(kernel::CallbackRegistration* handle) override;
    kernel::NTSTATUS WakeDevice() override { return kernel::STATUS_SUCCESS; }
    // The device models parse their descriptors; the base has none.
    kernel::NTSTATUS ParseDescriptors() override { return kernel::STATUS_NOT_IMPLEMENTED; }
    kernel::NTSTATUS ConnectGraph() override;
    kernel::NTSTATUS GetEndpointInfoRecord(std::uint32_t direction, std::uint32_t endpointType,
                                           EndpointInfoRecord* record) override;

    void PowerChangeState(io::DevicePowerState newState) override;
    kernel::NTSTATUS QueryPowerChangeState(io::DevicePowerState) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS QueryDeviceCapabilities(io::DeviceCapabilities* capabilities) override;

    // Adds a reference and appends; the reference is dropped again when the
    // list node cannot be had.
    kernel::NTSTATUS AddChildObject(IAudioNode* child) { return m_Children.Append(child); }
    kernel::NTSTATUS AddEndpoint(IStreamEngine* engine) { return m_Endpoints.Append(engine); }
    // The last child of that id; no reference is added.
    kernel::NTSTATUS FindChildById(std::uint32_t id, IAudioNode** child) const;
    // Writes every child's cached values to the device, in list order;
    // stops at the first failure and returns it.
    kernel::NTSTATUS ApplyToChildren();
    // Announces a changed control value to the listeners of the callback
    // object (nothing before Init).
    void SendControlChange(std::uint32_t nodeId);

    kernel::CallbackObject* GetCallbackObject() const { return m_pCallback; }
    io::DevicePowerState GetPowerState() const { return m_PowerState; }
    io::DeviceObject* GetLowerDeviceObject() const { return m_pLowerDeviceObject; }
    io::DeviceObject* GetPhysicalDeviceObject() const { return m_pPhysicalDeviceObject; }

protected:
    // The device models keep the power state they act on here.
    void SetPowerState(io::DevicePowerState state) { m_PowerState = state; }

    EndpointInfoRecord m_InfoRecord = {};

private:
    kernel::NTSTATUS CreateCallbackObject();
    void FreeLists();
    void LinkSelectors();
    void LinkSelectorInput(std::uint32_t input, ISelectorControl& selector, std::uint32_t id,
                           std::uint32_t depth);
    void BindEndpoints();

    io::DeviceObject* m_pDeviceObject = nullptr;
    io::DeviceObject* m_pLowerDeviceObject = nullptr;
    io::DeviceObject* m_pPhysicalDeviceObject = nullptr;
    CReferenceList<IAudioNode> m_Children;
    CReferenceList<IStreamEngine> m_Endpoints;
    kernel::CallbackObject* m_pCallback = nullptr;
    io::DevicePowerState m_PowerState = io::DevicePowerState::Unspecified;
};
