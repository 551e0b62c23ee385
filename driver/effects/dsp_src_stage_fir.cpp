#include "driver/effects/dsp_src_stage_fir.h"

#include "driver/effects/src_coefficients.h"
#include "sigproc/sigproc.h"

namespace {

// Up: 147 output steps make 160 input steps; down the other way round.
constexpr int UpStep = SrcFirDownPhases;
constexpr int DownStep = SrcFirUpPhases - SrcFirDownPhases;

std::uint32_t SingleRateStateBytes(int tapsLen) {
    int bytes = 0;
    if (sigFirGetStateSize_32f(tapsLen, &bytes) != sigOk || bytes < 0) return 0;
    return static_cast<std::uint32_t>(bytes);
}

} // namespace

CDspSrcStageFir::CDspSrcStageFir() {
    // Generated here, at passive level, rather than on the first packet.
    SrcFirUpCoefficients();
    SrcFirDownCoefficients();
}

std::uint32_t CDspSrcStageFir::SizeA() const { return SingleRateStateBytes(SrcFirUpTaps); }

std::uint32_t CDspSrcStageFir::SizeB() const { return SingleRateStateBytes(SrcFirDownTaps); }

void CDspSrcStageFir::Reset() {
    ResetPositions();
    for (std::uint32_t c = 0; c < Channels; ++c) {
        m_Phases[c] = 0;
        sigZero_32f(m_DelayLines[c], DelayLineFloats);
        m_DelayIndices[c] = 0;
    }
    MarkReady(false);
    if (!m_bAllocated) return;
    const bool up = m_Direction == SrcDirection::Up;
    const float* firstRow =
        up ? SrcFirUpCoefficients()[0].data() : SrcFirDownCoefficients()[0].data();
    for (std::uint32_t c = 0; c < Channels; ++c) {
        m_FilterStates[c] = nullptr;
        if (sigFirInit_32f(&m_FilterStates[c], firstRow, up ? SrcFirUpTaps : SrcFirDownTaps,
                           nullptr, StateBuffer(c)) != sigOk)
            return;
    }
    MarkReady(true);
}

bool CDspSrcStageFir::Process(std::uint32_t channel, const float* input, std::uint32_t* count) {
    if (!CanProcess(channel, input, count)) return Refuse(count);
    *count = m_Direction == SrcDirection::Up ? ProcessUp(channel, input, *count)
                                             : ProcessDown(channel, input, *count);
    return true;
}

std::uint32_t CDspSrcStageFir::ProcessUp(std::uint32_t channel, const float* input,
                                         std::uint32_t count) {
    const SrcFirUpTable& rows = SrcFirUpCoefficients();
    int& phase = m_Phases[channel];
    int& index = m_DelayIndices[channel];
    std::uint32_t used = 0;
    while (used < count && OutputSpace(channel) > 0) {
        const int kept = index;
        sigFirOneSample_32f(input[used], OutputAt(channel), rows[phase].data(), SrcFirUpTaps,
                            m_DelayLines[channel], &index);
        ++m_OutputPositions[channel];
        phase += UpStep;
        if (phase >= SrcFirUpPhases) {
            phase -= SrcFirUpPhases;
            ++used;
        } else {
            // The same input is newest again for the next output.
            index = kept;
        }
    }
    return used;
}

std::uint32_t CDspSrcStageFir::ProcessDown(std::uint32_t channel, const float* input,
                                           std::uint32_t count) {
    const SrcFirDownTable& rows = SrcFirDownCoefficients();
    int& phase = m_Phases[channel];
    std::uint32_t used = 0;
    // A skip that the last call had no input left for.
    if (phase >= SrcFirDownPhases && used < count) {
        Skip(channel, input[used++]);
        phase -= SrcFirDownPhases;
    }
    while (used < count && OutputSpace(channel) > 0) {
        sigFirOneSample_32f(input[used++], OutputAt(channel), rows[phase].data(), SrcFirDownTaps,
                            m_DelayLines[channel], &m_DelayIndices[channel]);
        ++m_OutputPositions[channel];
        phase += DownStep;
        if (phase >= SrcFirDownPhases && used < count) {
            Skip(channel, input[used++]);
            phase -= SrcFirDownPhases;
        }
    }
    return used;
}

void CDspSrcStageFir::Skip(std::uint32_t channel, float sample) {
    float* line = m_DelayLines[channel];
    int& index = m_DelayIndices[channel];
    line[index] = sample;
    line[index + SrcFirDownTaps] = sample;
    index = (index + 1) % SrcFirDownTaps;
}
