// The wave subdevice of a stream engine: installed through the port layer
// while a terminal of the endpoint is connected, uninstalled otherwise.
#include "driver/engine/audio_hal.h"
#include "driver/engine/endpoint_terminals.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/stream_engine_base.h"
#include "driver/engine/subdevice_name.h"
#include "platform/portcls/adapter.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/port.h"

namespace {

// The pins of the physical connection: render runs from the wave filter's
// bridge pin to the topology pin, capture the other way.
struct WaveConnection {
    kernel::IUnknown* from;
    std::uint32_t fromPin;
    kernel::IUnknown* to;
    std::uint32_t toPin;
};

WaveConnection ConnectionOf(std::uint32_t direction, kernel::IUnknown* wavePort,
                            kernel::IUnknown* topologyPort, std::uint32_t topologyPin) {
    if (direction == EngineDirectionRender)
        return {wavePort, WaveBridgePin, topologyPort, topologyPin};
    return {topologyPort, topologyPin, wavePort, WaveBridgePin};
}

} // namespace

kernel::NTSTATUS CStreamEngine::SetTopology(portcls::IPortTopology* topologyPort,
                                            portcls::IMiniportTopology* topologyMiniport) {
    if (topologyPort == nullptr || topologyMiniport == nullptr)
        return kernel::STATUS_NO_SUCH_DEVICE;
    void* name = nullptr;
    const kernel::NTSTATUS status = topologyMiniport->QueryInterface(IID_ISubdeviceName, &name);
    if (!kernel::succeeded(status)) return status;
    // The port keeps its miniport alive; the engine keeps the port.
    static_cast<ISubdeviceName*>(name)->Release();
    topologyPort->AddRef();
    if (m_pTopologyPort != nullptr) m_pTopologyPort->Release();
    m_pTopologyPort = topologyPort;
    m_pTopologyName = static_cast<ISubdeviceName*>(name);
    return status;
}

kernel::NTSTATUS CStreamEngine::Install(io::DeviceObject* device, io::Irp* request,
                                        kernel::IUnknown* adapter) {
    if (m_WaveFactory == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    bool connected = false;
    const kernel::NTSTATUS status = IsEndpointConnected(m_Entities, m_ulDirection, &connected);
    if (!kernel::succeeded(status)) return status;
    if (!connected) return Uninstall(device, request, adapter);
    if (m_pWavePort != nullptr) return kernel::STATUS_SUCCESS;
    return CreateWaveSubdevice(device, request, adapter);
}

kernel::NTSTATUS CStreamEngine::FindEndpointIndex(kernel::IUnknown* adapter, std::uint32_t* index) {
    CQueriedInterface<IAudioHal> hal(adapter, IID_IAudioHal);
    if (!hal) return kernel::STATUS_UNSUCCESSFUL;
    const std::uint32_t count = hal->GetEndpointCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        IStreamEngine* endpoint = nullptr;
        if (kernel::succeeded(hal->GetEndpoint(i, &endpoint)) &&
            endpoint == static_cast<IStreamEngine*>(this)) {
            *index = i;
            return kernel::STATUS_SUCCESS;
        }
    }
    return kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CStreamEngine::CreateWaveSubdevice(io::DeviceObject* device, io::Irp* request,
                                                    kernel::IUnknown* adapter) {
    if (m_pTopologyPort == nullptr || m_pTopologyName == nullptr)
        return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t endpointIndex = 0;
    kernel::NTSTATUS status = FindEndpointIndex(adapter, &endpointIndex);
    if (!kernel::succeeded(status)) return status;

    CHeldInterface<portcls::IPort> port;
    status = portcls::PcNewPort(port.Out(), m_PortClassId);
    if (!kernel::succeeded(status)) return status;
    CHeldInterface<kernel::IUnknown> miniport;
    status = m_WaveFactory(miniport.Out(), m_PortClassId, nullptr, kernel::PoolType::NonPagedNx,
                           endpointIndex);
    if (!kernel::succeeded(status)) return status;
    if (miniport.Get() == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    status = port.Get()->Init(device, request, miniport.Get(), adapter, nullptr);
    if (!kernel::succeeded(status)) return status;

    CQueriedInterface<ISubdeviceName> waveName(miniport.Get(), IID_ISubdeviceName);
    if (!waveName) return kernel::STATUS_UNSUCCESSFUL;
    const char16_t* name = nullptr;
    status = waveName->GetName(&name);
    std::uint32_t terminal = 0;
    if (kernel::succeeded(status)) status = waveName->GetConnection(0, &terminal);
    std::uint32_t topologyPin = 0;
    if (kernel::succeeded(status)) status = m_pTopologyName->GetConnection(terminal, &topologyPin);
    if (kernel::succeeded(status)) status = portcls::PcRegisterSubdevice(device, name, port.Get());
    if (!kernel::succeeded(status)) return status;

    void* unknown = nullptr;
    status = port.Get()->QueryInterface(kernel::IID_IUnknown, &unknown);
    if (!kernel::succeeded(status)) return status;
    m_pWavePort = static_cast<kernel::IUnknown*>(unknown);
    m_ulTopologyPin = topologyPin;
    return RegisterWaveConnection(device);
}

kernel::NTSTATUS CStreamEngine::RegisterWaveConnection(io::DeviceObject* device) {
    const WaveConnection connection =
        ConnectionOf(m_ulDirection, m_pWavePort, m_pTopologyPort, m_ulTopologyPin);
    return portcls::PcRegisterPhysicalConnection(device, connection.from, connection.fromPin,
                                                 connection.to, connection.toPin);
}

kernel::NTSTATUS CStreamEngine::Uninstall(io::DeviceObject* device, io::Irp*, kernel::IUnknown*) {
    if (m_pWavePort == nullptr) return kernel::STATUS_SUCCESS;
    kernel::IUnknown* connectionOwner =
        m_ulDirection == EngineDirectionRender ? m_pWavePort : m_pTopologyPort;
    CQueriedInterface<portcls::IUnregisterPhysicalConnection> connections(
        connectionOwner, portcls::IID_IUnregisterPhysicalConnection);
    CQueriedInterface<portcls::IUnregisterSubdevice> subdevices(m_pWavePort,
                                                                portcls::IID_IUnregisterSubdevice);
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (connections) {
        const WaveConnection connection =
            ConnectionOf(m_ulDirection, m_pWavePort, m_pTopologyPort, m_ulTopologyPin);
        // A connection whose registration failed is not there to take off.
        connections->UnregisterPhysicalConnection(device, connection.from, connection.fromPin,
                                                  connection.to, connection.toPin);
    }
    if (subdevices)
        status = subdevices->UnregisterSubdevice(device, m_pWavePort);
    else
        status = kernel::STATUS_UNSUCCESSFUL;
    m_pWavePort->Release();
    m_pWavePort = nullptr;
    return status;
}
