#include "driver/effects/dsp_src_stage.h"

bool CDspSrcStage::Process(std::uint32_t, const float*, std::uint32_t* count) {
    return Refuse(count);
}

void CDspSrcStage::Reset() {
    ResetPositions();
    MarkReady(true);
}

bool CDspSrcStage::AllocateBuffers() {
    if (m_bAllocated) return false;
    const std::uint32_t sizeA = SizeA();
    const std::uint32_t sizeB = SizeB();
    if (sizeA == 0 || sizeB == 0) return false;
    m_OutputCapacity = OutputCapacity;
    for (std::uint32_t c = 0; c < Channels; ++c) {
        m_BuffersB[c] = CPoolBuffer(DspStagePool, sizeB, DspStageBufferTag);
        if (!m_BuffersB[c].IsValid()) return false;
        m_BuffersA[c] = CPoolBuffer(DspStagePool, sizeA, DspStageBufferTag);
        if (!m_BuffersA[c].IsValid()) return false;
        m_Outputs[c] = CPoolBuffer(DspStagePool, OutputCapacity * sizeof(float), DspStageBufferTag);
        if (!m_Outputs[c].IsValid()) return false;
    }
    m_bAllocated = true;
    return true;
}

void CDspSrcStage::SetDirection(SrcDirection direction) {
    // States built for the other direction have other factors and another
    // row count; processing with them would write past the output.
    if (direction != m_Direction) m_bReady = false;
    m_Direction = direction;
}

bool CDspSrcStage::CanProcess(std::uint32_t channel, const float* input,
                              const std::uint32_t* count) const {
    return channel < Channels && count != nullptr && (input != nullptr || *count == 0) && m_bReady;
}

bool CDspSrcStage::Refuse(std::uint32_t* count) {
    if (count != nullptr) *count = 0;
    return false;
}

void CDspSrcStage::ResetPositions() {
    for (std::uint32_t& position : m_OutputPositions) position = 0;
}

unsigned char* CDspSrcStage::StateBuffer(std::uint32_t channel) const {
    return (m_Direction == SrcDirection::Up ? m_BuffersA : m_BuffersB)[channel]
        .Get<unsigned char>();
}
