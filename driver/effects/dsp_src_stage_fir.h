// The rational sample-rate stage between the 44100 Hz and the 48000 Hz
// families: 160:147 up, 147:160 down. Each channel keeps its own polyphase
// filter in a double-length delay line of 2 x 24 floats with its index, and
// the phase of the next output: up, phase p is output time 147 m less input
// time 160 i, and each output weighs the newest input with row p of the
// up table; down, the phase steps by 13 per output (160 = 147 + 13), and an
// input whose phase passes 147 enters the line without an output.
#pragma once

#include "driver/effects/dsp_src_stage.h"

class CDspSrcStageFir : public CDspSrcStage {
public:
    static constexpr std::uint32_t DelayLineFloats = 48;

    CDspSrcStageFir();

    std::uint32_t SizeA() const override;
    std::uint32_t SizeB() const override;
    // Up: each input is consumed once the phase wraps past 160, so an input
    // whose outputs did not all fit stays unconsumed and is given again.
    bool Process(std::uint32_t channel, const float* input, std::uint32_t* count) override;
    void Reset() override;

    int GetPhase(std::uint32_t channel) const { return m_Phases[channel]; }

private:
    std::uint32_t ProcessUp(std::uint32_t channel, const float* input, std::uint32_t count);
    std::uint32_t ProcessDown(std::uint32_t channel, const float* input, std::uint32_t count);
    // The input goes into the line without an output.
    void Skip(std::uint32_t channel, float sample);

    int m_Phases[Channels] = {};
    float m_DelayLines[Channels][DelayLineFloats] = {};
    int m_DelayIndices[Channels] = {};
};
