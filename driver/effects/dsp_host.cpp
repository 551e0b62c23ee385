#include "driver/effects/dsp_host.h"

#include "driver/effects/float_pass.h"
#include "driver/effects/pcm_planes.h"
#include "platform/kernel/debug_print.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::size_t FloatBufferBytes = MaxDspChannels * MaxDspBlockFrames * sizeof(float);
constexpr std::size_t PlaneBytes = MaxDspBlockFrames * sizeof(float);

bool IsPcm(const ks::WaveFormatExtensible& format) {
    return ks::effectiveFormatTag(format) == ks::format_tag::pcm;
}

} // namespace

kernel::NTSTATUS CDspHost::AllocatePacketBuffers() {
    if (!m_FloatBuffer.IsValid())
        m_FloatBuffer =
            CPoolBuffer(kernel::PoolType::NonPagedNx, FloatBufferBytes, StreamEngineTag);
    for (std::uint32_t c = 0; c < MaxDspChannels; ++c) {
        if (m_PlaneBlocks[c].IsValid()) continue;
        m_PlaneBlocks[c] = CPoolBuffer(kernel::PoolType::NonPagedNx, PlaneBytes, StreamEngineTag);
        m_Planes[c] = m_PlaneBlocks[c].Get<float>();
    }
    return HasPacketBuffers() ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

bool CDspHost::HasPacketBuffers() const {
    return m_FloatBuffer.IsValid() &&
           std::all_of(std::begin(m_PlaneBlocks), std::end(m_PlaneBlocks),
                       [](const CPoolBuffer& plane) { return plane.IsValid(); });
}

kernel::NTSTATUS CDspHost::SetCurrentWaveFormat(const ks::WaveFormatExtensible& format) {
    if (IsPcm(format)) {
        const std::uint32_t channels = format.Format.nChannels;
        if (channels == 0 || channels > MaxDspChannels) return kernel::STATUS_INVALID_PARAMETER;
        const std::uint16_t bits = format.Format.wBitsPerSample;
        if (IsPlaneConvertibleWidth(bits) && format.Format.nBlockAlign != channels * bits / 8)
            return kernel::STATUS_INVALID_PARAMETER;
    }
    m_CurrentWaveFormat = format;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CDspHost::ProcessAllChains(void* buffer, std::uint32_t bytes) {
    return ProcessChains(buffer, bytes, ChainA | ChainB | ChainC, true);
}

kernel::NTSTATUS CDspHost::ProcessChainA(void* buffer, std::uint32_t bytes) {
    return ProcessChains(buffer, bytes, ChainA, false);
}

kernel::NTSTATUS CDspHost::ProcessChainB(void* buffer, std::uint32_t bytes) {
    return ProcessChains(buffer, bytes, ChainB, false);
}

kernel::NTSTATUS CDspHost::ProcessChainC(void* buffer, std::uint32_t bytes) {
    return ProcessChains(buffer, bytes, ChainC, false);
}

kernel::NTSTATUS CDspHost::ProcessChains(void* buffer, std::uint32_t bytes, unsigned chains,
                                         bool underLock) {
    const ks::WaveFormatEx& format = m_CurrentWaveFormat.Format;
    if (format.nBlockAlign == 0 || bytes % format.nBlockAlign != 0) {
        kernel::debugPrint("0 != lBufSize(%d) Div m_CurrentWaveFormat.Format.nBlockAlign(%d) \n",
                           static_cast<std::int32_t>(bytes),
                           static_cast<std::int32_t>(format.nBlockAlign));
        return kernel::STATUS_UNSUCCESSFUL;
    }
    const std::uint32_t frames = bytes / format.nBlockAlign;
    if (frames == 0) return kernel::STATUS_SUCCESS;
    if (buffer == nullptr) return kernel::STATUS_INVALID_PARAMETER;

    // Only PCM is taken apart into planes; chains B and C run on nothing else.
    const bool planes = IsPcm(m_CurrentWaveFormat);
    if (!planes) chains &= ChainA;
    if (!underLock && !HasNodes(chains)) return kernel::STATUS_SUCCESS;
    if (planes && !IsPlaneConvertibleWidth(format.wBitsPerSample)) return kernel::STATUS_SUCCESS;

    CFloatPass pass;
    if (!pass.Active()) return kernel::STATUS_SUCCESS;
    std::optional<kernel::SpinLockGuard> lock;
    if (underLock) lock.emplace(m_SpinLock);
    if (!HasNodes(chains)) return kernel::STATUS_SUCCESS;
    if (planes && !HasPacketBuffers()) {
        kernel::debugPrint("DSP host: no packet buffers for %d frames\n",
                           static_cast<std::int32_t>(frames));
        return kernel::STATUS_UNSUCCESSFUL;
    }
    return RunBlocks(static_cast<unsigned char*>(buffer), frames, chains);
}

bool CDspHost::HasNodes(unsigned chains) const {
    return ((chains & ChainA) && m_ChainA.GetCount() != 0) ||
           ((chains & ChainB) && m_ChainB.GetCount() != 0) ||
           ((chains & ChainC) && m_ChainC.GetCount() != 0);
}

kernel::NTSTATUS CDspHost::RunBlocks(unsigned char* buffer, std::uint32_t frames, unsigned chains) {
    const std::uint16_t tag = ks::effectiveFormatTag(m_CurrentWaveFormat);
    const std::size_t frameBytes = m_CurrentWaveFormat.Format.nBlockAlign;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t block = std::min(frames - done, MaxDspBlockFrames);
        unsigned char* position = buffer + done * frameBytes;
        if (tag == ks::format_tag::pcm)
            status = RunPlaneBlock(position, block, chains);
        else if (chains & ChainA)
            status = RunChainA(position, block, tag);
        if (status < 0) break;
        done += block;
    }
    return status;
}

kernel::NTSTATUS CDspHost::RunPlaneBlock(unsigned char* position, std::uint32_t frames,
                                         unsigned chains) {
    PcmToFloatPlanes(position, m_Planes, GetFloatBuffer(), frames, m_CurrentWaveFormat);
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if ((chains & ChainA) && m_ChainA.GetCount() != 0)
        status = RunChainA(position, frames, ks::format_tag::pcm);
    if (status >= 0 && (chains & ChainB) && m_ChainB.GetCount() != 0) status = RunChainB(frames);
    if (status >= 0 && (chains & ChainC) && m_ChainC.GetCount() != 0) status = RunChainC(frames);
    if (status < 0) return status;
    FloatPlanesToPcm(position, m_Planes, GetFloatBuffer(), frames, m_CurrentWaveFormat);
    return status;
}

kernel::NTSTATUS CDspHost::RunChainA(void* buffer, std::uint32_t frames, std::uint16_t tag) {
    void* data = tag == ks::format_tag::pcm ? static_cast<void*>(m_Planes) : buffer;
    return m_ChainA.Run(&m_CurrentWaveFormat, data, frames);
}

kernel::NTSTATUS CDspHost::RunChainB(std::uint32_t frames) {
    return m_ChainB.Run(&m_CurrentWaveFormat, m_Planes, frames);
}

kernel::NTSTATUS CDspHost::RunChainC(std::uint32_t frames) {
    return m_ChainC.Run(&m_CurrentWaveFormat, m_Planes, frames);
}

kernel::NTSTATUS CDspHost::AddChainANode(IDspNode* node) { return m_ChainA.Add(node); }
kernel::NTSTATUS CDspHost::AddChainBNode(IDspNode* node) { return AddLocked(m_ChainB, node); }
kernel::NTSTATUS CDspHost::AddChainCNode(IDspNode* node) { return AddLocked(m_ChainC, node); }
kernel::NTSTATUS CDspHost::RemoveChainBNode(IDspNode* node) { return RemoveLocked(m_ChainB, node); }
kernel::NTSTATUS CDspHost::RemoveChainCNode(IDspNode* node) { return RemoveLocked(m_ChainC, node); }
void CDspHost::ReleaseChainB() { ReleaseLocked(m_ChainB); }
void CDspHost::ReleaseChainC() { ReleaseLocked(m_ChainC); }

kernel::NTSTATUS CDspHost::AddLocked(CDspChain& chain, IDspNode* node) {
    kernel::SpinLockGuard lock(m_SpinLock);
    return chain.Add(node);
}

// References are dropped after the lock is released: a node's last release
// may run code of its own, which must not find the engine's lock held.
kernel::NTSTATUS CDspHost::RemoveLocked(CDspChain& chain, IDspNode* node) {
    IDspNode* unlinked = nullptr;
    {
        kernel::SpinLockGuard lock(m_SpinLock);
        unlinked = chain.Unlink(node);
    }
    if (unlinked == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    unlinked->Release();
    return kernel::STATUS_SUCCESS;
}

void CDspHost::ReleaseLocked(CDspChain& chain) {
    for (;;) {
        IDspNode* head = nullptr;
        {
            kernel::SpinLockGuard lock(m_SpinLock);
            head = chain.UnlinkHead();
        }
        if (head == nullptr) return;
        head->Release();
    }
}
