#include "driver/miniport/wave_miniport.h"

#include "driver/common/interface_ids.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/terminal_item.h"
#include "driver/miniport/wave_automation.h"
#include "driver/miniport/wave_data_format.h"
#include "driver/miniport/wave_stream.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/format.h"
#include "platform/kernel/interlocked.h"

namespace {

// The type of the terminal entity that streams to or from the host.
constexpr std::uint32_t InputTerminalType = 0;
constexpr std::uint32_t OutputTerminalType = 1;
// The endpoint type of a terminal that faces the host.
constexpr std::uint32_t StreamEndpointType = 0;

} // namespace

// The port layer never aggregates a miniport, so the object is its own.
kernel::NTSTATUS CreateWaveMiniport(kernel::IUnknown** unknown, const kernel::Guid&,
                                    kernel::IUnknown* outer, kernel::PoolType poolType,
                                    std::uint32_t endpointIndex) {
    if (unknown == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *unknown = nullptr;
    if (outer != nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CWaveMiniport* miniport = nullptr;
    const kernel::NTSTATUS status =
        CreateDriverObject<CWaveMiniport>(&miniport, nullptr, poolType, WaveTag, endpointIndex);
    if (kernel::succeeded(status)) *unknown = miniport->GetOuterUnknown();
    return status;
}

CWaveMiniport::~CWaveMiniport() {
    // The port may drop the miniport while the audio engine still closes the
    // stream; the stream reads the miniport until it is destroyed.
    if (m_pHal != nullptr) kernel::waitForSingleObject(m_NoOpenStream, kernel::Timeout::infinite());
    ReleaseAll();
}

kernel::NTSTATUS CWaveMiniport::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, portcls::IID_IMiniport) || IsEqualId(id, portcls::IID_IMiniportWaveCyclic))
        return ReturnInterface(static_cast<portcls::IMiniportWaveCyclic*>(this), object);
    if (IsEqualId(id, portcls::IID_IMiniportAudioSignalProcessing))
        return ReturnInterface(static_cast<portcls::IMiniportAudioSignalProcessing*>(this), object);
    if (IsEqualId(id, IID_ISubdeviceName))
        return ReturnInterface(static_cast<ISubdeviceName*>(this), object);
    if (IsEqualId(id, portcls::IID_IPowerNotify))
        return ReturnInterface(static_cast<portcls::IPowerNotify*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(id, object);
}

kernel::NTSTATUS CWaveMiniport::GetDescription(const portcls::FilterDescriptor** description) {
    if (description == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!m_Filter.IsBuilt()) return kernel::STATUS_DEVICE_CONFIGURATION_ERROR;
    *description = m_Filter.Descriptor();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CWaveMiniport::Init(kernel::IUnknown* unknownAdapter, const io::ResourceList*,
                                     portcls::IPortWaveCyclic* port) {
    if (port == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pPort != nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    port->AddRef();
    m_pPort = port;
    m_PowerState = io::DevicePowerState::D0;
    const kernel::NTSTATUS status = Build(unknownAdapter);
    if (!kernel::succeeded(status)) ReleaseAll();
    return status;
}

kernel::NTSTATUS CWaveMiniport::Build(kernel::IUnknown* unknownAdapter) {
    if (unknownAdapter == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    void* face = nullptr;
    kernel::NTSTATUS status = unknownAdapter->QueryInterface(IID_IAudioHal, &face);
    if (!kernel::succeeded(status)) return status;
    m_pHal = static_cast<IAudioHal*>(face);
    IStreamEngine* engine = nullptr;
    status = m_pHal->GetEndpoint(m_ulEndpointIndex, &engine);
    if (!kernel::succeeded(status)) return status;
    if (engine == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    engine->AddRef();
    m_pEngine = engine;
    status = m_Filter.Build(*m_pEngine, &wave_automation::filter);
    if (kernel::succeeded(status)) status = BuildName();
    return status;
}

kernel::NTSTATUS CWaveMiniport::BuildName() {
    char16_t engineName[WaveNameChars] = {};
    const kernel::NTSTATUS status = m_pEngine->GetName(engineName, WaveNameChars);
    if (!kernel::succeeded(status)) return status;
    // A long engine name is cut so the name still fits the buffer.
    const kernel::NTSTATUS formatted =
        kernel::formatString(m_Name, WaveNameChars, u"%s%s", engineName, WaveNameSuffix);
    return formatted == kernel::STATUS_BUFFER_OVERFLOW ? kernel::STATUS_SUCCESS : formatted;
}

// Called at Init failures (the stream cannot exist then) and by the
// destructor once the stream is gone.
void CWaveMiniport::ReleaseAll() {
    if (m_pPort != nullptr) m_pPort->Release();
    m_pPort = nullptr;
    m_Filter.Free();
    if (m_pEngine != nullptr) m_pEngine->Release();
    m_pEngine = nullptr;
    if (m_pHal != nullptr) m_pHal->Release();
    m_pHal = nullptr;
    m_Name[0] = u'\0';
}

kernel::NTSTATUS CWaveMiniport::NewStream(portcls::IMiniportWaveCyclicStream** stream,
                                          kernel::IUnknown*, kernel::PoolType, std::uint32_t pin,
                                          bool capture, const ks::DataFormat* dataFormat,
                                          portcls::IDmaChannel** dmaChannel,
                                          portcls::IServiceGroup** serviceGroup) {
    if (stream == nullptr || dmaChannel == nullptr || serviceGroup == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    *stream = nullptr;
    *dmaChannel = nullptr;
    *serviceGroup = nullptr;
    if (m_bStreamExists) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    if (m_pEngine == nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    ks::WaveFormatExtensible wave = {};
    kernel::NTSTATUS status = ReadStreamFormat(*m_pEngine, dataFormat, &wave);
    if (kernel::succeeded(status)) status = CheckSignalProcessingMode(dataFormat);
    if (!kernel::succeeded(status)) return status;
    return CreateWaveCyclicStream(this, pin, capture, dataFormat, stream, dmaChannel, serviceGroup);
}

kernel::NTSTATUS CWaveMiniport::GetModes(std::uint32_t pin, kernel::Guid* modes,
                                         std::uint32_t* count) {
    if (pin != WaveStreamingPin) return kernel::STATUS_NOT_SUPPORTED;
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t room = *count;
    *count = 1;
    if (modes == nullptr) return kernel::STATUS_SUCCESS;
    if (room == 0) return kernel::STATUS_BUFFER_TOO_SMALL;
    modes[0] = ks::AUDIO_SIGNALPROCESSING_MODE_RAW;
    return kernel::STATUS_SUCCESS;
}

// The terminal on the host's side of the endpoint: an input terminal for
// render, an output terminal for capture; the last one listed wins.
kernel::NTSTATUS CWaveMiniport::GetConnection(std::uint32_t, std::uint32_t* terminalId) {
    if (terminalId == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *terminalId = 0;
    if (m_pEngine == nullptr) return kernel::STATUS_SUCCESS;
    const std::uint32_t wanted =
        m_pEngine->GetDirection() != EngineDirectionRender ? OutputTerminalType : InputTerminalType;
    const std::uint32_t count = m_pEngine->GetEntityCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        IAudioNode* entity = nullptr;
        if (!kernel::succeeded(m_pEngine->GetEntity(i, &entity)) || entity == nullptr ||
            entity->GetType() != wanted)
            continue;
        CQueriedInterface<ITerminalInfo> terminal(entity, IID_ITerminalInfo);
        std::uint32_t endpointType = 0;
        if (terminal && kernel::succeeded(terminal->GetEndpointType(&endpointType)) &&
            endpointType == StreamEndpointType)
            *terminalId = entity->GetId();
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CWaveMiniport::GetName(const char16_t** name) {
    return ReportValue<const char16_t*>(m_Name, name);
}

void CWaveMiniport::PowerChangeNotify(io::DevicePowerState newState) {
    if (newState != m_PowerState && newState >= io::DevicePowerState::D0 &&
        newState <= io::DevicePowerState::D3)
        m_PowerState = newState;
}

// The port hands every handler the miniport it was bound to, and only this
// miniport's tables name these handlers.
CWaveMiniport* CWaveMiniport::FromTarget(kernel::IUnknown* majorTarget) {
    return static_cast<CWaveMiniport*>(
        static_cast<portcls::IMiniportWaveCyclic*>(static_cast<portcls::IMiniport*>(majorTarget)));
}

void CWaveMiniport::StreamOpened() {
    if (kernel::interlockedIncrement(m_lOpenStreams) == 1) m_NoOpenStream.clear();
    m_bStreamExists = true;
}

void CWaveMiniport::StreamClosed() {
    m_bStreamExists = false;
    if (kernel::interlockedDecrement(m_lOpenStreams) == 0) m_NoOpenStream.set();
}
