// The frame driver: lets a block process that needs fixed blocks of 512
// samples at 44100 Hz run inside a stream of any call length and of another
// rate. It gathers the caller's samples into blocks of m_nRealDataLen at the
// stream rate, converts each to the internal rate, runs the block process,
// converts back and hands the result out one block later.
//
// Supported stream rates are those whose integer factor to 44100 Hz is 1 or 2
// (22050 to 96000 Hz); 48000 Hz runs as factor 1 through the converter's
// filters. Other rates are refused by Setup, and a refused or failed format
// leaves the object without buffers: Process then changes nothing.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/zurazuvera/common/VSH/src_converter.h"

class AudioApp {
public:
    static constexpr int EachChannelSampleCntMax = 1024;
    static constexpr int MaxChannels = 8;
    static constexpr int InnerRate = 44100;
    static constexpr int DataLen = 512;

    AudioApp(int nInCh, int nOutCh, float gain);
    virtual ~AudioApp() { FreeAll(); }
    AudioApp(const AudioApp&) = delete;
    AudioApp& operator=(const AudioApp&) = delete;

    // Stores the format, rebuilds every buffer (Setup) and resets the block
    // process. 1 on success; 0 when the rate or channel counts are not
    // supported or memory is short, with nothing left allocated.
    int SetFormat(int sampleRate, int nInCh, int nOutCh);
    int Setup();
    void FreeAll();
    bool IsReady() const { return m_bReady; }

    // Any number of frames; input and output arrays may be the same (the
    // process then runs in place). A null input plane is silence; channels
    // beyond the format's counts are ignored.
    void Process(float* const* out, int nOutCh, float* const* in, int nInCh, int frames);

    int RealDataLen() const { return m_nRealDataLen; }
    int SrcMode() const { return m_nSrcMode; }
    int SrcFactor() const { return m_nSrcFactor; }

protected:
    // One block of DataLen samples at the internal rate, with the channel
    // counts of the Process call that completed it.
    virtual void ProcessBlock(float* const* out, int nOutCh, float* const* in, int nInCh, int len);
    // Clears the block process's signal state.
    virtual void Reset();

private:
    void RunBlock();
    float* InBlock(int c) const { return m_InBlocks[c].Get<float>(); }
    float* OutBlock(int c) const { return m_OutBlocks[c].Get<float>(); }

    int m_nSampleRate = 0;
    int m_nRealDataLen = 0;
    int m_nInCh;
    int m_nOutCh;
    float m_fGain;
    int m_nPos = 0;
    CPoolBuffer m_InBlocks[MaxChannels];
    CPoolBuffer m_OutBlocks[MaxChannels];
    int m_nSrcMode = 0;
    int m_nSrcFactor = 1;
    SRC m_Converters[MaxChannels];
    CPoolBuffer m_InnerIn[MaxChannels];
    CPoolBuffer m_InnerOut[MaxChannels];
    float* m_InnerInPlanes[MaxChannels] = {};
    float* m_InnerOutPlanes[MaxChannels] = {};
    int m_nCallInCh = 0;
    int m_nCallOutCh = 0;
    bool m_bReady = false;
};
