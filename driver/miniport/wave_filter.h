// The filter descriptor the wave miniport hands the port: the streaming pin
// with one audio range per sub-format of the endpoint's formats (each range
// followed by the signal-processing attribute list), the bridge pin towards
// the topology filter, the converter node and the two connections. Every
// block is the filter's own and lives until it is freed.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/engine/stream_engine.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>

inline constexpr kernel::PoolTag WaveTag = kernel::poolTag("WAVC");

// The wave filter's pins.
inline constexpr std::uint32_t WaveStreamingPin = 0;

class CWaveFilter {
public:
    // STATUS_INSUFFICIENT_RESOURCES when a block cannot be had or the engine
    // offers no PCM format. Nothing is kept after a failure.
    kernel::NTSTATUS Build(IStreamEngine& engine, const portcls::AutomationTable* filterTable);
    void Free();

    bool IsBuilt() const { return m_Descriptor.IsValid(); }
    const portcls::FilterDescriptor* Descriptor() const {
        return m_Descriptor.Get<portcls::FilterDescriptor>();
    }
    std::uint32_t RangeCount() const { return m_ulRangeCount; }
    const ks::DataRangeAudio& Range(std::uint32_t index) const {
        return m_Ranges.Get<ks::DataRangeAudio>()[index];
    }

private:
    kernel::NTSTATUS BuildRanges(IStreamEngine& engine);
    kernel::NTSTATUS BuildPins(bool capture);
    kernel::NTSTATUS BuildNode(bool capture);
    kernel::NTSTATUS BuildConnections(bool capture);

    CPoolBuffer m_Descriptor;
    CPoolBuffer m_Pins;
    CPoolBuffer m_Nodes;
    CPoolBuffer m_Connections;
    CPoolBuffer m_Ranges;     // the audio ranges
    CPoolBuffer m_RangeTable; // what the streaming pin lists: range, attributes, range, ...
    std::uint32_t m_ulRangeCount = 0;
};
