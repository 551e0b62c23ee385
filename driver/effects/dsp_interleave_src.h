// The format adapter of a wave stream: the conversion stages between the
// device's running format (input) and the stream's own format (output). It
// holds every stage it may need, made once at passive level by Create: the
// split stage with its channel conversion, the factor-2, factor-4 and
// rational rate stages. SetFormat checks both formats and lists the stages
// the pair needs, in order: the split stage first, then at most two rate
// stages, so that the rational stage always works at the lower rate (going
// down the integer stage comes first, going up the rational one).
//
// The stages are building blocks: the adapter runs no samples through them.
//
// The owner allocates the adapter (AdapterTag), calls Create once, then Reset
// and SetFormat on each change of the device format (at dispatch level, under
// its lock: neither allocates), and Destroy, which the destructor repeats.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/common/pool_object.h"
#include "driver/effects/dsp_split_stage.h"
#include "driver/effects/dsp_src_stage_factor.h"
#include "driver/effects/dsp_src_stage_fir.h"
#include "platform/ks/wave_format.h"

#include <cstdint>
#include <memory>

// The adapter object itself, as its owner allocates it.
inline constexpr kernel::PoolTag DspAdapterTag = kernel::poolTag("CCST");

class CDspInterleaveSrc : public CPoolObject {
public:
    static constexpr std::uint32_t MaxStages = 3;
    static constexpr std::uint32_t WorkBufferFloats = 30720;

    CDspInterleaveSrc() = default;
    ~CDspInterleaveSrc() { Destroy(); }
    CDspInterleaveSrc(const CDspInterleaveSrc&) = delete;
    CDspInterleaveSrc& operator=(const CDspInterleaveSrc&) = delete;

    // Every stage with its buffers, and the work buffer. False on a second
    // call, and on the first allocation the pool refuses; what was made then
    // stays for Destroy.
    bool Create();
    // Frees what Create made: work buffer, split stage, rational, factor-4
    // and factor-2 stage. Safe to repeat.
    void Destroy();
    // Every stage back to the start of a stream; always true.
    bool Reset();
    // Checks both formats (effective tag PCM or float, at most eight
    // channels, a listed rate, 16, 24 or 32 bits), stores them, sets the
    // split stage and lists the stages for the pair of rates, each reset in
    // its direction. False, with a debug message, on the first check that
    // fails; nothing is then stored.
    bool SetFormat(ks::WaveFormatExtensible input, ks::WaveFormatExtensible output);

    bool IsCreated() const { return m_bCreated; }
    // Entry `index` of the stage list; null past its end.
    CDspSrcStage* GetStage(std::uint32_t index) const {
        return index < MaxStages ? m_StageList[index] : nullptr;
    }
    const ks::WaveFormatExtensible& GetInputFormat() const { return m_InFormat; }
    const ks::WaveFormatExtensible& GetOutputFormat() const { return m_OutFormat; }
    CDspSplitStage* GetSplitStage() const { return m_pSplit.get(); }
    CDspSrcStage2x* GetStage2x() const { return m_pSrc2x.get(); }
    CDspSrcStage4x* GetStage4x() const { return m_pSrc4x.get(); }
    CDspSrcStageFir* GetStageFir() const { return m_pSrcFir.get(); }

private:
    bool CreateSplit();
    template <class Stage> static bool CreateStage(std::unique_ptr<Stage>& stage);
    bool CheckFormats(const ks::WaveFormatExtensible& input,
                      const ks::WaveFormatExtensible& output) const;
    void ListRateStages(std::uint32_t inputRate, std::uint32_t outputRate);

    ks::WaveFormatExtensible m_InFormat{};
    ks::WaveFormatExtensible m_OutFormat{};
    std::unique_ptr<CDspSplitStage> m_pSplit;
    std::unique_ptr<CDspSrcStage2x> m_pSrc2x;
    std::unique_ptr<CDspSrcStage4x> m_pSrc4x;
    std::unique_ptr<CDspSrcStageFir> m_pSrcFir;
    CPoolBuffer m_WorkBuffer;
    bool m_bCreated = false;
    CDspSrcStage* m_StageList[MaxStages] = {};
};
