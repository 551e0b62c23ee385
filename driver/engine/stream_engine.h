// One audio endpoint of the device as the HAL and the port layer see it: a
// direction, an endpoint type that names it, its formats, the entities on its
// path, its wave subdevice and the DSP chains its packets pass.
#pragma once

#include "driver/common/object_model.h"
#include "driver/engine/audio_node.h"
#include "platform/kernel/callback_object.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

namespace io {
class DeviceObject;
class Irp;
} // namespace io

namespace portcls {
class IPortTopology;
class IMiniportTopology;
} // namespace portcls

inline constexpr std::uint32_t EngineDirectionRender = 0;
inline constexpr std::uint32_t EngineNameMaxChars = 50;

// The factory of an endpoint's wave miniport, as a miniport factory with the
// endpoint's index in the HAL's endpoint list added.
using WaveMiniportFactory = kernel::NTSTATUS (*)(kernel::IUnknown** unknown,
                                                 const kernel::Guid& classId,
                                                 kernel::IUnknown* outer, kernel::PoolType poolType,
                                                 std::uint32_t endpointIndex);

class IStreamEngine : public kernel::IUnknown {
public:
    // 0 render, non-zero capture.
    virtual std::uint32_t GetDirection() = 0;
    // The endpoint type code 0..18 that names the endpoint.
    virtual std::uint32_t GetEndpointType() = 0;
    // Refused for a text longer than EngineNameMaxChars; the old name stays.
    virtual kernel::NTSTATUS SetName(const char16_t* text) = 0;
    // Copies the name with its terminating zero; refused when it does not fit.
    virtual kernel::NTSTATUS GetName(char16_t* buffer, std::uint32_t roomChars) = 0;
    virtual std::uint32_t GetFormatCount() = 0;
    virtual kernel::NTSTATUS GetFormat(std::uint32_t index, ks::WaveFormatExtensible* record) = 0;
    virtual std::uint32_t GetEntityCount() = 0;
    // No reference is added.
    virtual kernel::NTSTATUS GetEntity(std::uint32_t index, IAudioNode** entity) = 0;
    virtual kernel::NTSTATUS SetConnection(WaveMiniportFactory waveFactory,
                                           const kernel::Guid& portClassId) = 0;
    virtual kernel::NTSTATUS SetTopology(portcls::IPortTopology* topologyPort,
                                         portcls::IMiniportTopology* topologyMiniport) = 0;
    // Installs the wave subdevice while a terminal of the endpoint is
    // connected; uninstalls it otherwise.
    virtual kernel::NTSTATUS Install(io::DeviceObject* device, io::Irp* request,
                                     kernel::IUnknown* adapter) = 0;
    virtual kernel::NTSTATUS Uninstall(io::DeviceObject* device, io::Irp* request,
                                       kernel::IUnknown* adapter) = 0;
    // Finds a supported format that matches and, for a basic record, rewrites
    // the caller's record from it.
    virtual kernel::NTSTATUS CheckFormat(ks::WaveFormatEx* format) = 0;
    virtual kernel::NTSTATUS RegisterCallback(kernel::CallbackFunction function, void* context,
                                              kernel::CallbackRegistration** handle) = 0;
    virtual kernel::NTSTATUS UnregisterCallback(kernel::CallbackRegistration* handle) = 0;

    // The DSP chains: a packet of bytes through every chain in blocks of at
    // most MaxDspBlockFrames frames, or one chain alone; one pass of a chain
    // over one block.
    virtual kernel::NTSTATUS ProcessAllChains(void* buffer, std::uint32_t bytes) = 0;
    virtual kernel::NTSTATUS ProcessChainA(void* buffer, std::uint32_t bytes) = 0;
    virtual kernel::NTSTATUS RunChainA(void* buffer, std::uint32_t frames,
                                       std::uint16_t effectiveTag) = 0;
    virtual kernel::NTSTATUS ProcessChainB(void* buffer, std::uint32_t bytes) = 0;
    virtual kernel::NTSTATUS RunChainB(std::uint32_t frames) = 0;
    virtual kernel::NTSTATUS ProcessChainC(void* buffer, std::uint32_t bytes) = 0;
    virtual kernel::NTSTATUS RunChainC(std::uint32_t frames) = 0;

    virtual kernel::NTSTATUS Init(std::uint32_t direction) = 0;

protected:
    ~IStreamEngine() = default;
};
