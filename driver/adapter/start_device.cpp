// The device's start: the USB adapter, the topology subdevice, one named
// wave subdevice per endpoint, then the private interfaces. What a failed
// start made is taken down again, so the device is left as it was added.
#include "driver/adapter/driver_entry.h"

#include "driver/adapter/driver_extension.h"
#include "driver/adapter/driver_parts.h"
#include "driver/adapter/usb_audio_adapter.h"
#include "driver/common/pool_buffer.h"
#include "driver/engine/endpoint_names.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/subdevice_name.h"
#include "driver/engine/terminal_item.h"
#include "driver/miniport/topology_miniport.h"
#include "platform/io/device_interface.h"
#include "platform/portcls/adapter.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/port.h"

namespace {

// 51 characters with the terminating zero.
constexpr std::size_t NameBufferBytes = 102;
constexpr std::uint32_t NameBufferChars = NameBufferBytes / sizeof(char16_t);

kernel::NTSTATUS CheckPortClsVersion() {
    CHeldInterface<portcls::IPort> port;
    kernel::NTSTATUS status = portcls::PcNewPort(port.Out(), portcls::CLSID_PortWaveCyclic);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<portcls::IPortClsVersion> version(port.Get(), portcls::IID_IPortClsVersion);
    if (!version || version->GetVersion() < OldestPortClsVersion)
        return kernel::STATUS_UNSUCCESSFUL;
    return kernel::STATUS_SUCCESS;
}

// What a start has made so far; whatever the start did not hand to the
// device extension is undone when it ends.
class CStartProgress {
public:
    CStartProgress(io::DeviceObject* device, io::Irp* irp) : m_pDevice(device), m_pIrp(irp) {}
    ~CStartProgress() {
        if (!m_bKept) Undo();
    }
    CStartProgress(const CStartProgress&) = delete;
    CStartProgress& operator=(const CStartProgress&) = delete;

    kernel::IUnknown** AdapterOut() { return m_Adapter.Out(); }
    kernel::IUnknown* Adapter() const { return m_Adapter.Get(); }
    kernel::NTSTATUS QueryHal() {
        void* hal = nullptr;
        const kernel::NTSTATUS status = m_Adapter->QueryInterface(IID_IAudioHal, &hal);
        if (kernel::succeeded(status)) *m_Hal.Out() = static_cast<IAudioHal*>(hal);
        return status;
    }
    IAudioHal* Hal() const { return m_Hal.Get(); }
    kernel::IUnknown** TopologyPortOut() { return m_TopologyPort.Out(); }
    kernel::IUnknown** TopologyMiniportOut() { return m_TopologyMiniport.Out(); }
    kernel::IUnknown* TopologyPort() const { return m_TopologyPort.Get(); }
    kernel::IUnknown* TopologyMiniport() const { return m_TopologyMiniport.Get(); }

    // The endpoints before this index may have wave subdevices.
    void NoteEndpointTried(std::uint32_t index) { m_ulEndpointsTried = index + 1; }
    void NoteHalStarted() { m_bHalStarted = true; }
    void NoteAsioEnabled(PrivateInterfaceState* asio) { m_pAsioEnabled = asio; }

    // The start succeeded: the HAL and the topology port go to the
    // extension with a reference each.
    void Keep(DriverExtension& extension) {
        m_bKept = true;
        extension.pHal = m_Hal.Get();
        extension.pHal->AddRef();
        extension.pTopologyPort = m_TopologyPort.Get();
        extension.pTopologyPort->AddRef();
    }

private:
    void Undo() {
        if (m_pAsioEnabled != nullptr) {
            io::setDeviceInterfaceState(m_pAsioEnabled->symbolicLink, false);
            m_pAsioEnabled->enabled = false;
        }
        if (m_bHalStarted) m_Hal->Stop();
        for (std::uint32_t index = 0; index < m_ulEndpointsTried; ++index) {
            IStreamEngine* engine = nullptr;
            if (kernel::succeeded(m_Hal->GetEndpoint(index, &engine)))
                engine->Uninstall(m_pDevice, m_pIrp, m_Hal.Get());
        }
        if (m_TopologyPort) UninstallSubdevice(m_pDevice, m_TopologyPort.Get());
    }

    io::DeviceObject* const m_pDevice;
    io::Irp* const m_pIrp;
    // Released in reverse: the miniports and ports before the adapter.
    CHeldInterface<kernel::IUnknown> m_Adapter;
    CHeldInterface<IAudioHal> m_Hal;
    CHeldInterface<kernel::IUnknown> m_TopologyPort;
    CHeldInterface<kernel::IUnknown> m_TopologyMiniport;
    std::uint32_t m_ulEndpointsTried = 0;
    bool m_bHalStarted = false;
    PrivateInterfaceState* m_pAsioEnabled = nullptr;
    bool m_bKept = false;
};

kernel::NTSTATUS NameEndpoint(DriverExtension& extension, IStreamEngine& engine, char16_t* name) {
    const std::uint32_t direction = engine.GetDirection() == EngineDirectionRender ? 0 : 1;
    const std::uint32_t type = engine.GetEndpointType();
    if (type >= EndpointNameCounterTypes) return kernel::STATUS_UNSUCCESSFUL;
    std::uint8_t& counter = extension.nameCounters[direction][type];
    const kernel::NTSTATUS status =
        FormatEndpointName(name, NameBufferChars, direction, type, counter);
    if (!kernel::succeeded(status)) return status;
    ++counter;
    return engine.SetName(name);
}

kernel::NTSTATUS InstallEndpoint(io::DeviceObject* device, io::Irp* irp, DriverExtension& extension,
                                 CStartProgress& progress, IStreamEngine& engine, char16_t* name) {
    kernel::NTSTATUS status = NameEndpoint(extension, engine, name);
    if (kernel::succeeded(status))
        status =
            engine.SetConnection(ZovraghDriverParts().waveFactory, portcls::CLSID_PortWaveCyclic);
    CQueriedInterface<portcls::IPortTopology> topologyPort(progress.TopologyPort(),
                                                           portcls::IID_IPortTopology);
    CQueriedInterface<portcls::IMiniportTopology> topologyMiniport(progress.TopologyMiniport(),
                                                                   portcls::IID_IMiniportTopology);
    if (kernel::succeeded(status))
        status = engine.SetTopology(topologyPort.Get(), topologyMiniport.Get());
    if (kernel::succeeded(status)) status = engine.Install(device, irp, progress.Adapter());
    return status;
}

bool EndpointServesAsio(IAudioHal& hal, std::uint32_t index) {
    EndpointInfoRecord record{};
    return kernel::succeeded(hal.GetInfoRecord(index, &record)) &&
           (record.words[InfoRecordAsioWord] & InfoRecordAsioBit) != 0;
}

} // namespace

kernel::NTSTATUS UninstallSubdevice(io::DeviceObject* deviceObject, kernel::IUnknown* port) {
    CQueriedInterface<portcls::IUnregisterSubdevice> subdevices(port,
                                                                portcls::IID_IUnregisterSubdevice);
    if (!subdevices) return kernel::STATUS_UNSUCCESSFUL;
    return subdevices->UnregisterSubdevice(deviceObject, port);
}

kernel::NTSTATUS InstallSubdevice(io::DeviceObject* deviceObject, io::Irp* irp,
                                  const kernel::Guid& portClassId,
                                  const kernel::Guid& miniportClassId, MiniportFactory factory,
                                  kernel::IUnknown* unknownAdapter, kernel::IUnknown** port,
                                  kernel::IUnknown** miniport) {
    if (factory == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CQueriedInterface<IAudioHal> hal(unknownAdapter, IID_IAudioHal);
    CHeldInterface<portcls::IPort> newPort;
    kernel::NTSTATUS status = portcls::PcNewPort(newPort.Out(), portClassId);
    if (!kernel::succeeded(status)) return status;
    CHeldInterface<kernel::IUnknown> newMiniport;
    status = factory(newMiniport.Out(), miniportClassId, nullptr, kernel::PoolType::NonPagedNx);
    if (!kernel::succeeded(status)) return status;
    if (!newMiniport) return kernel::STATUS_UNSUCCESSFUL;
    status = newPort->Init(deviceObject, irp, newMiniport.Get(), unknownAdapter, nullptr);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<ISubdeviceName> subdeviceName(newMiniport.Get(), IID_ISubdeviceName);
    if (!subdeviceName) return kernel::STATUS_UNSUCCESSFUL;
    const char16_t* name = nullptr;
    status = subdeviceName->GetName(&name);
    if (!kernel::succeeded(status)) return status;
    status = portcls::PcRegisterSubdevice(deviceObject, name, newPort.Get());
    if (!kernel::succeeded(status)) return status;

    if (port != nullptr) {
        void* unknown = nullptr;
        newPort->QueryInterface(kernel::IID_IUnknown, &unknown);
        *port = static_cast<kernel::IUnknown*>(unknown);
    }
    if (miniport != nullptr) {
        *miniport = newMiniport.Get();
        newMiniport->AddRef();
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS StartDevice(io::DeviceObject* deviceObject, io::Irp* irp,
                             const io::ResourceList* resourceList) {
    DriverExtension* extension = DriverExtensionOf(deviceObject);
    // A stop hands back what the earlier start kept.
    if (extension == nullptr || extension->pHal != nullptr)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    kernel::NTSTATUS status = CheckPortClsVersion();
    if (!kernel::succeeded(status)) return status;

    CStartProgress progress(deviceObject, irp);
    const DriverParts& parts = ZovraghDriverParts();
    status = parts.createAdapter(progress.AdapterOut(), parts.models);
    if (!kernel::succeeded(status)) return status;
    status = progress.QueryHal();
    if (!kernel::succeeded(status)) return status;
    IAudioHal& hal = *progress.Hal();
    status =
        hal.Init(resourceList, deviceObject, extension->pLowerDevice, extension->pPhysicalDevice);
    if (!kernel::succeeded(status)) return status;
    status = portcls::PcRegisterAdapterPowerManagement(&hal, deviceObject);
    if (!kernel::succeeded(status)) return status;

    CPoolBuffer nameBuffer(kernel::PoolType::Paged, NameBufferBytes, TemporaryTag);
    if (!nameBuffer.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    status =
        InstallSubdevice(deviceObject, irp, portcls::CLSID_PortTopology,
                         portcls::IID_IMiniportTopology, CreateTopologyMiniport, progress.Adapter(),
                         progress.TopologyPortOut(), progress.TopologyMiniportOut());
    if (!kernel::succeeded(status)) return status;

    bool asioNeeded = false;
    const std::uint32_t endpoints = hal.GetEndpointCount();
    for (std::uint32_t index = 0; index < endpoints; ++index) {
        IStreamEngine* engine = nullptr;
        status = hal.GetEndpoint(index, &engine);
        if (!kernel::succeeded(status)) return status;
        progress.NoteEndpointTried(index);
        status = InstallEndpoint(deviceObject, irp, *extension, progress, *engine,
                                 nameBuffer.Get<char16_t>());
        if (!kernel::succeeded(status)) return status;
        asioNeeded = asioNeeded || EndpointServesAsio(hal, index);
    }

    status = hal.Start();
    if (!kernel::succeeded(status)) return status;
    progress.NoteHalStarted();
    if (asioNeeded && extension->asioInterface.registered &&
        kernel::succeeded(
            io::setDeviceInterfaceState(extension->asioInterface.symbolicLink, true))) {
        extension->asioInterface.enabled = true;
        progress.NoteAsioEnabled(&extension->asioInterface);
    }
    if (!extension->enumInterface.registered) return kernel::STATUS_UNSUCCESSFUL;
    status = io::setDeviceInterfaceState(extension->enumInterface.symbolicLink, true);
    if (!kernel::succeeded(status)) return status;
    extension->enumInterface.enabled = true;
    progress.Keep(*extension);
    return status;
}
