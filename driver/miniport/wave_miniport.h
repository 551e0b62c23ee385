// The wave-cyclic miniport of one endpoint: a filter of a streaming pin and
// a bridge pin around one converter node, offering the endpoint's formats,
// with one stream at a time. Its destructor waits until that stream is gone.
#pragma once

#include "driver/common/object_model.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/stream_engine.h"
#include "driver/engine/subdevice_name.h"
#include "driver/miniport/wave_filter.h"
#include "platform/kernel/event.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/port.h"

#include <cstdint>

// The engine's name with this appended names the wave subdevice.
inline constexpr char16_t WaveNameSuffix[] = u"Wave";
inline constexpr std::uint32_t WaveNameChars = 51;

class CWaveMiniport : public CForwardingUnknown<CUnknown, portcls::IMiniportWaveCyclic,
                                                portcls::IMiniportAudioSignalProcessing,
                                                ISubdeviceName, portcls::IPowerNotify> {
public:
    CWaveMiniport(kernel::IUnknown* outer, std::uint32_t endpointIndex)
        : CForwardingUnknown(outer), m_ulEndpointIndex(endpointIndex) {}
    // Waits, passive level, until the stream is destroyed.
    ~CWaveMiniport() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // STATUS_DEVICE_CONFIGURATION_ERROR before a successful Init.
    kernel::NTSTATUS GetDescription(const portcls::FilterDescriptor** description) override;
    kernel::NTSTATUS DataRangeIntersection(std::uint32_t pinId, const ks::DataRange* clientRange,
                                           const ks::DataRange* myRange,
                                           std::uint32_t outputBufferLength, void* resultantFormat,
                                           std::uint32_t* resultantFormatLength) override;
    // Finds the endpoint in the HAL the adapter answers and builds the
    // filter from its formats. Once only: a second call is
    // STATUS_INVALID_DEVICE_REQUEST.
    kernel::NTSTATUS Init(kernel::IUnknown* unknownAdapter, const io::ResourceList* resourceList,
                          portcls::IPortWaveCyclic* port) override;
    kernel::NTSTATUS NewStream(portcls::IMiniportWaveCyclicStream** stream,
                               kernel::IUnknown* outerUnknown, kernel::PoolType poolType,
                               std::uint32_t pin, bool capture, const ks::DataFormat* dataFormat,
                               portcls::IDmaChannel** dmaChannel,
                               portcls::IServiceGroup** serviceGroup) override;

    kernel::NTSTATUS GetModes(std::uint32_t pin, kernel::Guid* modes,
                              std::uint32_t* count) override;
    // The id of the endpoint's streaming terminal (value is ignored).
    kernel::NTSTATUS GetConnection(std::uint32_t value, std::uint32_t* terminalId) override;
    kernel::NTSTATUS GetName(const char16_t** name) override;
    void PowerChangeNotify(io::DevicePowerState newState) override;

    // What the property handlers and the stream use.
    static CWaveMiniport* FromTarget(kernel::IUnknown* majorTarget);
    IAudioHal* Hal() const { return m_pHal; }
    IStreamEngine* Engine() const { return m_pEngine; }
    portcls::IPortWaveCyclic* Port() const { return m_pPort; }
    std::uint32_t EndpointIndex() const { return m_ulEndpointIndex; }
    io::DevicePowerState GetPowerState() const { return m_PowerState; }
    bool StreamExists() const { return m_bStreamExists; }
    // A stream's Init succeeded / that stream is destroyed.
    void StreamOpened();
    void StreamClosed();

private:
    kernel::NTSTATUS Build(kernel::IUnknown* unknownAdapter);
    kernel::NTSTATUS BuildName();
    void ReleaseAll();

    const std::uint32_t m_ulEndpointIndex;
    portcls::IPortWaveCyclic* m_pPort = nullptr;
    IAudioHal* m_pHal = nullptr;
    IStreamEngine* m_pEngine = nullptr;
    CWaveFilter m_Filter;
    char16_t m_Name[WaveNameChars] = {};
    bool m_bStreamExists = false;
    io::DevicePowerState m_PowerState = io::DevicePowerState::Unspecified;
    std::int32_t m_lOpenStreams = 0;
    kernel::Event m_NoOpenStream{kernel::EventType::Notification, true};
};

// The factory the stream engines install their wave subdevice with: the
// miniport's own unknown with one reference; STATUS_INSUFFICIENT_RESOURCES
// when it cannot be allocated, STATUS_INVALID_PARAMETER for an outer object.
kernel::NTSTATUS CreateWaveMiniport(kernel::IUnknown** unknown, const kernel::Guid& classId,
                                    kernel::IUnknown* outer, kernel::PoolType poolType,
                                    std::uint32_t endpointIndex);
