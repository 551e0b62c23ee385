// The base of every stream engine: one endpoint of the device with its
// direction, name, formats, entities, clients, DSP chains (the DSP host it
// derives from) and the wave subdevice it installs through the port layer.
// The device models create engines while they parse the streaming
// interfaces; the streaming engines derive from it and add the transfer.
#pragma once

#include "driver/common/mutex_lock.h"
#include "driver/common/object_model.h"
#include "driver/effects/dsp_host.h"
#include "driver/engine/audio_node.h"
#include "driver/engine/format_list.h"
#include "driver/engine/reference_list.h"
#include "driver/engine/stream_client_list.h"
#include "driver/engine/stream_engine.h"
#include "platform/kernel/callback_object.h"

#include <cstdint>

class ISubdeviceName;

// How often the destructor looks whether every client has gone.
inline constexpr kernel::Duration EngineClientPollInterval = std::chrono::milliseconds(50);
// The wave filter's bridge pin, wired to the topology filter.
inline constexpr std::uint32_t WaveBridgePin = 1;

class CStreamEngine : public CForwardingUnknown<CUnknown, IStreamEngine>, public CDspHost {
public:
    CStreamEngine(kernel::IUnknown* outer, std::uint32_t ownerValue)
        : CForwardingUnknown(outer), m_ulOwnerValue(ownerValue) {}
    // Waits, passive level, until every client list is empty.
    ~CStreamEngine() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    std::uint32_t GetDirection() override { return m_ulDirection; }
    std::uint32_t GetEndpointType() override;
    kernel::NTSTATUS SetName(const char16_t* text) override;
    kernel::NTSTATUS GetName(char16_t* buffer, std::uint32_t roomChars) override;
    std::uint32_t GetFormatCount() override { return OfferedFormats().Count(); }
    kernel::NTSTATUS GetFormat(std::uint32_t index, ks::WaveFormatExtensible* record) override {
        return OfferedFormats().Get(index, record);
    }
    std::uint32_t GetEntityCount() override { return m_Entities.Count(); }
    kernel::NTSTATUS GetEntity(std::uint32_t index, IAudioNode** entity) override {
        return m_Entities.GetAt(index, entity);
    }
    kernel::NTSTATUS SetConnection(WaveMiniportFactory waveFactory,
                                   const kernel::Guid& portClassId) override;
    kernel::NTSTATUS SetTopology(portcls::IPortTopology* topologyPort,
                                 portcls::IMiniportTopology* topologyMiniport) override;
    kernel::NTSTATUS Install(io::DeviceObject* device, io::Irp* request,
                             kernel::IUnknown* adapter) override;
    kernel::NTSTATUS Uninstall(io::DeviceObject* device, io::Irp* request,
                               kernel::IUnknown* adapter) override;
    kernel::NTSTATUS CheckFormat(ks::WaveFormatEx* format) override {
        return m_Formats.Check(format);
    }
    kernel::NTSTATUS RegisterCallback(kernel::CallbackFunction function, void* context,
                                      kernel::CallbackRegistration** handle) override;
    kernel::NTSTATUS UnregisterCallback(kernel::CallbackRegistration* handle) override;

    kernel::NTSTATUS ProcessAllChains(void* buffer, std::uint32_t bytes) override {
        return CDspHost::ProcessAllChains(buffer, bytes);
    }
    kernel::NTSTATUS ProcessChainA(void* buffer, std::uint32_t bytes) override {
        return CDspHost::ProcessChainA(buffer, bytes);
    }
    kernel::NTSTATUS RunChainA(void* buffer, std::uint32_t frames, std::uint16_t tag) override {
        return CDspHost::RunChainA(buffer, frames, tag);
    }
    kernel::NTSTATUS ProcessChainB(void* buffer, std::uint32_t bytes) override {
        return CDspHost::ProcessChainB(buffer, bytes);
    }
    kernel::NTSTATUS RunChainB(std::uint32_t frames) override {
        return CDspHost::RunChainB(frames);
    }
    kernel::NTSTATUS ProcessChainC(void* buffer, std::uint32_t bytes) override {
        return CDspHost::ProcessChainC(buffer, bytes);
    }
    kernel::NTSTATUS RunChainC(std::uint32_t frames) override {
        return CDspHost::RunChainC(frames);
    }

    // The lists, the name and the callback object; STATUS_INSUFFICIENT_RESOURCES
    // when any cannot be had (what was made stays for a later call or the
    // destructor).
    kernel::NTSTATUS Init(std::uint32_t direction) override;

    // Adds a reference and appends the entity unless one of its id is listed
    // already (then nothing happens); an entity that is also a DSP node joins
    // chain A.
    kernel::NTSTATUS AddUniqueEntity(IAudioNode* entity);
    // A copy in the format list, and one in the two-channel list for a
    // two-channel record. STATUS_INVALID_PARAMETER for null.
    kernel::NTSTATUS AddFormat(const ks::WaveFormatExtensible* record);

    // The client lists, each under the spin lock. Records stay the caller's.
    kernel::NTSTATUS AddRegisteredClient(StreamClientRecord* record);
    StreamClientRecord* FindRegisteredClient(const void* handle);
    StreamClientRecord* RemoveRegisteredClient(const void* handle);
    kernel::NTSTATUS InsertOpenClient(StreamClientRecord* record);
    StreamClientRecord* FindOpenClient(const void* handle);
    StreamClientRecord* GetTopOpenClient();
    StreamClientRecord* RemoveOpenClient(const void* handle);
    kernel::NTSTATUS InsertRunningClient(StreamClientRecord* record);
    StreamClientRecord* GetTopRunningClient();
    StreamClientRecord* RemoveRunningClient(const void* handle);

    std::uint32_t GetOwnerValue() const { return m_ulOwnerValue; }
    bool IsInstalled() const { return m_pWavePort != nullptr; }
    std::uint32_t GetTopologyPin() const { return m_ulTopologyPin; }
    kernel::CallbackObject* GetCallbackObject() const { return m_pCallback; }

protected:
    // Every format the engine took, whatever its endpoint type offers.
    const CFormatList& AllFormats() const { return m_Formats; }
    // Takes every format of the tag out of the engine's lists.
    void RemoveFormatsOfTag(std::uint16_t tag) {
        m_Formats.RemoveTag(tag);
        m_TwoChannelFormats.RemoveTag(tag);
    }

    // Taken by the client operations of the streaming engines.
    CMutexLock m_Lock;

private:
    const CFormatList& OfferedFormats();
    kernel::NTSTATUS CreateCallbackObject();
    bool HasClients();
    kernel::NTSTATUS FindEndpointIndex(kernel::IUnknown* adapter, std::uint32_t* index);
    kernel::NTSTATUS CreateWaveSubdevice(io::DeviceObject* device, io::Irp* request,
                                         kernel::IUnknown* adapter);
    kernel::NTSTATUS RegisterWaveConnection(io::DeviceObject* device);

    const std::uint32_t m_ulOwnerValue;
    std::uint32_t m_ulDirection = EngineDirectionRender;
    CPoolBuffer m_Name;
    kernel::IUnknown* m_pWavePort = nullptr;
    kernel::Guid m_PortClassId{};
    WaveMiniportFactory m_WaveFactory = nullptr;
    portcls::IPortTopology* m_pTopologyPort = nullptr;
    ISubdeviceName* m_pTopologyName = nullptr; // the topology miniport's, no reference
    std::uint32_t m_ulTopologyPin = 0;
    CReferenceList<IAudioNode> m_Entities;
    CFormatList m_Formats{StreamEngineTag};
    CFormatList m_TwoChannelFormats{StreamEngineTag};
    CStreamClientList m_RegisteredClients;
    CStreamClientList m_OpenClients;
    CStreamClientList m_RunningClients;
    kernel::CallbackObject* m_pCallback = nullptr;
};
