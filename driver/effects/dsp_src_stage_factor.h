// The integer-factor sample-rate stages: factor 2 (44100 <-> 88200,
// 48000 <-> 96000, 88200 <-> 176400, 96000 <-> 192000) and factor 4
// (44100 <-> 176400, 48000 <-> 192000). Each channel runs a multi-rate FIR
// state of the stage's symmetric low-pass: up k and down 1 in buffer A when
// the direction is up, up 1 and down k in buffer B when it is down.
#pragma once

#include "driver/effects/dsp_src_stage.h"

class CDspSrcStageFactor : public CDspSrcStage {
public:
    std::uint32_t SizeA() const override;
    std::uint32_t SizeB() const override;
    // Up: as many inputs as leave k outputs each room; the outputs are
    // scaled by k for the gain that zero-stuffing takes. Down: whole groups
    // of k inputs, one output each; a shorter remainder stays unconsumed.
    bool Process(std::uint32_t channel, const float* input, std::uint32_t* count) override;
    void Reset() override;

    int GetFactor() const { return m_Factor; }

protected:
    CDspSrcStageFactor(int factor, const float* taps, int tapsLen)
        : m_Factor(factor), m_pTaps(taps), m_TapsLen(tapsLen) {}

private:
    std::uint32_t ProcessUp(std::uint32_t channel, const float* input, std::uint32_t count);
    std::uint32_t ProcessDown(std::uint32_t channel, const float* input, std::uint32_t count);

    int m_Factor;
    const float* m_pTaps;
    int m_TapsLen;
};

class CDspSrcStage2x : public CDspSrcStageFactor {
public:
    CDspSrcStage2x();
};

class CDspSrcStage4x : public CDspSrcStageFactor {
public:
    CDspSrcStage4x();
};
