// The DSP host of a stream engine: three chains of DSP nodes (A, B, C) that
// every packet of the stream passes through, in blocks of at most
// MaxDspBlockFrames frames. Integer PCM reaches the nodes as float planes
// (converted from and back to the packet around the chains); any other format
// reaches chain A alone as the packet's own bytes.
//
// The stream engine owns one host. Chain A is filled while the device is
// parsed, before streaming; chains B and C change while the stream runs,
// under the engine's spin lock, which ProcessAllChains holds over a whole
// packet, so a chain never changes under a pass. The engine guards its client
// lists with the same lock (GetSpinLock).
//
// Every pass runs with the caller's floating-point state saved, flush-to-zero
// and round-to-nearest set, and the caller's state restored afterwards. When
// the state cannot be saved the pass is skipped: the packet is left as it
// came and the result is success.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/common/pool_buffer.h"
#include "driver/effects/dsp_chain.h"
#include "platform/kernel/spin_lock.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

// The engine's packet buffers: one interleaved float block and the planes.
inline constexpr kernel::PoolTag StreamEngineTag = kernel::poolTag("Stre");

class CDspHost {
public:
    CDspHost() = default;
    virtual ~CDspHost() = default;
    CDspHost(const CDspHost&) = delete;
    CDspHost& operator=(const CDspHost&) = delete;

    // The interleaved float block and the eight planes, non-paged. Success
    // when all exist afterwards; blocks already present stay.
    kernel::NTSTATUS AllocatePacketBuffers();

    // The format of the stream's buffers. Integer PCM must carry 1 to 8
    // channels and, at 16, 24 or 32 bits, exactly one sample per channel in
    // a frame; anything else is refused (STATUS_INVALID_PARAMETER) and the
    // format in use stays.
    kernel::NTSTATUS SetCurrentWaveFormat(const ks::WaveFormatExtensible& format);
    const ks::WaveFormatExtensible& GetCurrentWaveFormat() const { return m_CurrentWaveFormat; }

    kernel::SpinLock& GetSpinLock() { return m_SpinLock; }

    // The packet buffers, for the engine's own passes over a packet.
    float* const* GetPlanes() { return m_Planes; }
    float* GetFloatBuffer() { return m_FloatBuffer.Get<float>(); }

    // The packet operation: chains A, B and C over the packet, under the spin
    // lock. A length that is not a whole number of frames (or a format
    // without a frame size) is refused with STATUS_UNSUCCESSFUL and the
    // packet is left alone. The first negative node status ends the pass: the
    // block it happened in keeps its samples, later blocks are not touched.
    kernel::NTSTATUS ProcessAllChains(void* buffer, std::uint32_t bytes);
    // One chain alone over a buffer, without the lock. Chains B and C run
    // only on float planes; for other formats they do nothing.
    kernel::NTSTATUS ProcessChainA(void* buffer, std::uint32_t bytes);
    kernel::NTSTATUS ProcessChainB(void* buffer, std::uint32_t bytes);
    kernel::NTSTATUS ProcessChainC(void* buffer, std::uint32_t bytes);

    // One pass of a chain over one block: chain A on the planes for integer
    // PCM (tag 1) or on the given bytes otherwise, chains B and C on the
    // planes. A derived engine may replace them.
    virtual kernel::NTSTATUS RunChainA(void* buffer, std::uint32_t frames, std::uint16_t tag);
    virtual kernel::NTSTATUS RunChainB(std::uint32_t frames);
    virtual kernel::NTSTATUS RunChainC(std::uint32_t frames);

    // Chain A: filled while the device is parsed, no lock.
    kernel::NTSTATUS AddChainANode(IDspNode* node);
    // A stream starting and stopping: chain A's nodes learn the format
    // (stopping at the first refusal) and flush what they hold.
    kernel::NTSTATUS SetChainAFormat(const ks::WaveFormatExtensible* format) const {
        return m_ChainA.SetFormatAll(format);
    }
    void FlushChainA() const { m_ChainA.FlushAll(); }
    // Chains B and C: under the spin lock. Adding takes a reference (dropped
    // again with STATUS_INSUFFICIENT_RESOURCES when the list cannot take the
    // node); removing drops it, STATUS_UNSUCCESSFUL when the node is not in
    // the chain.
    kernel::NTSTATUS AddChainBNode(IDspNode* node);
    kernel::NTSTATUS AddChainCNode(IDspNode* node);
    kernel::NTSTATUS RemoveChainBNode(IDspNode* node);
    kernel::NTSTATUS RemoveChainCNode(IDspNode* node);
    void ReleaseChainB();
    void ReleaseChainC();

    std::int32_t GetChainACount() const { return m_ChainA.GetCount(); }
    std::int32_t GetChainBCount() const { return m_ChainB.GetCount(); }
    std::int32_t GetChainCCount() const { return m_ChainC.GetCount(); }

private:
    enum ChainSet : unsigned { ChainA = 1, ChainB = 2, ChainC = 4 };

    kernel::NTSTATUS ProcessChains(void* buffer, std::uint32_t bytes, unsigned chains,
                                   bool underLock);
    kernel::NTSTATUS RunBlocks(unsigned char* buffer, std::uint32_t frames, unsigned chains);
    kernel::NTSTATUS RunPlaneBlock(unsigned char* position, std::uint32_t frames, unsigned chains);
    bool HasNodes(unsigned chains) const;
    bool HasPacketBuffers() const;

    kernel::NTSTATUS AddLocked(CDspChain& chain, IDspNode* node);
    kernel::NTSTATUS RemoveLocked(CDspChain& chain, IDspNode* node);
    void ReleaseLocked(CDspChain& chain);

    CDspChain m_ChainA;
    CDspChain m_ChainB;
    CDspChain m_ChainC;
    CPoolBuffer m_FloatBuffer;
    CPoolBuffer m_PlaneBlocks[MaxDspChannels];
    float* m_Planes[MaxDspChannels] = {};
    kernel::SpinLock m_SpinLock;
    ks::WaveFormatExtensible m_CurrentWaveFormat{};
};
