// The eight-channel look-ahead limiter: one gain common to all channels of a
// stream of float planes, never above the gain limit, lowered ahead of time
// so that no output sample exceeds the threshold. It works in blocks of 128
// frames, looks one block ahead, holds block peaks for 20 blocks and delays
// the signal by 256 frames; after Reset the first 256 output frames are
// silence.
//
// A plain object: the owner creates it in non-paged pool (under its own tag),
// calls Allocate, then SetMode, SetTargetGain and SetParam, SetFormat whenever
// the stream format is applied, Process per block, Reset when the stream
// stops, Free and delete at the end. It takes no lock and allocates nothing
// while processing; the owner serialises the calls and saves the
// floating-point state around Process.
//
// SetFormat also prepares a 101-tap FIR state per channel from the
// coefficient set of the stream's rate; no processing path runs them.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/common/pool_buffer.h"
#include "driver/common/pool_object.h"
#include "driver/effects/fir8_coefficients.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

struct sigFirState;

// The limiter's own buffers.
inline constexpr kernel::PoolTag LimiterBufferTag = kernel::poolTag("DSPs");

class CFir8 : public CPoolObject {
public:
    static constexpr std::uint32_t Channels = MaxDspChannels;
    static constexpr std::uint32_t BlockFrames = 128;
    static constexpr std::uint32_t HoldBlocks = 20;
    static constexpr std::uint32_t PeakRingBlocks = 200;
    // A rise without a pending ramp closes this share of the distance per frame.
    static constexpr float SlowRiseDivisor = 10240.0f;

    CFir8();
    ~CFir8() { Free(); }
    CFir8(const CFir8&) = delete;
    CFir8& operator=(const CFir8&) = delete;

    // 1 when every buffer exists (also when already allocated), 0 on the
    // first allocation the pool refuses; what was allocated stays for Free,
    // and the object is not to be processed.
    int Allocate();
    void Free();
    // Back to the start of a block sequence: buffers and peak history cleared,
    // ramps pending; gains, limits, threshold and mode kept.
    void Reset();
    // Reset, then the stream's format. A format of more than eight channels
    // leaves no channel to process.
    void SetFormat(const ks::WaveFormatExtensible* format);
    void SetMode(int mode);
    void SetParam(float threshold);
    // The gain limit of every channel; in mode 0 the next block reaches it.
    void SetTargetGain(float gain);

    // The planes in place, any number of frames: the output is the input of
    // 256 frames earlier, limited. Nothing happens before Allocate succeeded
    // or without channels.
    void Process(float* const* planes, int frames);

    // What the gain stage has reached, for the owner's tests and meters.
    float GetCurrentGain(std::uint32_t channel) const { return m_CurrentGains[channel]; }
    std::uint32_t GetChannelCount() const { return m_nChannels; }

private:
    void ProcessBlock(std::uint32_t count);
    void UpdateGains(std::uint32_t count);
    static float BlockPeak(const float* samples, int count);
    float* InputHalf(std::uint32_t channel, int half) const;
    float* OutputHalf(std::uint32_t channel, int half) const;
    void SetRampFlags();
    void PrepareFilters(std::uint32_t rate);

    std::uint32_t m_nChannels = 0;
    CPoolBuffer m_Input[Channels];  // two halves of BlockFrames each
    CPoolBuffer m_Output[Channels]; // two halves of BlockFrames each
    int m_Bank = 0;
    std::uint32_t m_FillIndex = 0;
    std::uint32_t m_ReadIndex = 0;
    float m_GainLimits[Channels] = {};
    float m_CurrentGains[Channels];
    float m_ChannelGains[Channels];
    float m_PeakRing[Channels][PeakRingBlocks] = {};
    float m_Threshold = 1.0f;
    std::uint32_t m_RingPosition = 0;
    int m_Mode = 0;
    bool m_RampFlags[Channels];
    bool m_Allocated = false;

    Fir8Coefficients m_Coefficients{};
    CPoolBuffer m_FirDelayLines[Channels];
    CPoolBuffer m_FirStateBuffers[Channels];
    sigFirState* m_FirStates[Channels] = {};
};
