// The convolution engine of the headphone virtualizer. It renders blocks of
// 512 samples of a stereo, 5.1 or 7.1 signal at 44100 Hz to two ear signals:
// every source is convolved with a pair of 1024-tap head filters and the sum
// of all sources, 1024 samples later, with a two-channel reverberation tail,
// by uniformly partitioned overlap-save convolution over 1024-point real
// transforms. A crosstalk-cancellation stage then turns the ear signals into
// a loudspeaker pair, or delays them by 255 samples when it is off.
//
// Sources: 0 left (+ LFE), 1 right (+ LFE), 2 centre, 3 left surround,
// 4 right surround; head filter 2s + e convolves source s for ear e. For 7.1
// the back pair is folded into the surround pair first.
//
// A plain object inside the virtualizer's state block: Init once (it
// allocates the transform specification and the crosstalk filter states),
// Free at the end. Filter selection and crosstalk changes transform at once
// and allocate nothing; Process allocates nothing.
#pragma once

#include "driver/common/pool_buffer.h"

struct sigFftSpec_R_32f;
struct sigFirState;

class HeadphoneFir {
public:
    static constexpr int HEADPHONEFIR_N = 512;
    static constexpr int FftLength = 2 * HEADPHONEFIR_N;
    static constexpr int FftOrder = 10;
    static constexpr int HeadFilters = 10;
    static constexpr int HeadParts = 2;
    static constexpr int MaxTailParts = 14;
    static constexpr int Sources = 5;
    static constexpr int MaxInputs = 8;
    static constexpr int ROOMSIZE_UNDEFINED = -1;
    static constexpr int SPEAKERANGLE_UNDEFINED = -1;
    static constexpr int CTCANGLE_UNDEFINED = -1;
    static constexpr int CtcTaps = 256;
    static constexpr int CtcOffDelay = 255;
    static constexpr int CtcBufferLength = 768;
    static constexpr float OutputGain = 2.0f;
    static constexpr float CtcGain = 0.5f;

    // 1 when the object is ready: transform and crosstalk states built, the
    // start set (table room 1, code 29) loaded, crosstalk off.
    int Init();
    void Free();
    HeadphoneFir() = default;
    ~HeadphoneFir() { Free(); }
    HeadphoneFir(const HeadphoneFir&) = delete;
    HeadphoneFir& operator=(const HeadphoneFir&) = delete;
    bool IsReady() const { return m_pFftSpec != nullptr; }
    // Clears the signal state: input histories, spectrum rings, accumulators,
    // the crosstalk buffers and filter delay lines. Filters stay.
    void Reset();

    // Room value 0, 1, 2 selects table room 3, 2, 1; angle codes 24, 25, 29,
    // 30, 31, 34, 35, 39, 40. Others fail their check and take room 2 or
    // code 24. Loads at once; the new filters apply from the next block.
    int SelectFilter(int roomValue, int angleCode);
    // 5, 10, 15, 20 or 30 degrees turn cancellation on; any other value
    // turns it off. A change clears the crosstalk stage's signal.
    int SetCTCAngle(int nCTCAngle);

    // One block: nOutCh 2, nInCh 2, 6 or 8, len 512. Input planes 4 and 5
    // receive the fold of a 7.1 input. Other counts fail their check and
    // leave silence in the output planes.
    void Process(float* const* out, int nOutCh, float* const* in, int nInCh, int len);

    int Room() const { return m_nRoom; }
    int AngleCode() const { return m_nAngle; }
    int HeadPartCount() const { return m_nHeadParts; }
    int TailPartCount() const { return m_nTailParts; }
    int CtcAngle() const { return m_nCTCAngle; }
    int CtcTapCount() const { return m_nCTCTaps; }
    // The source taps of the loaded set, for the owner's tests.
    const float* LoadedHead() const { return m_pLoadedHead; }
    const float* LoadedTail() const { return m_pLoadedTail; }

    // The two stages of Process: the ear signals of a block (checked by
    // Process), then the crosstalk stage in place on them.
    void ProcessConvolution(float* const* out, int nOutCh, float* const* in, int nInCh, int len);
    void ProcessCTC(float* const* planes, int nOutCh, int nInCh, int len);

private:
    void LoadFilter();
    void InitFilterSpectra(const float* head, int headLength, const float* tail, int tailLength);
    void StageInputs(float* const* in, int nInCh, int slot, int tailSlot);
    void StageFrame(int source, const float* history, const float* input, int slot);
    void Accumulate(const float* filterA, const float* filterB, const float* input);
    // The crosstalk filters rebuilt from m_SumTaps and m_DiffTaps, their
    // signal cleared.
    void RestartCtc();
    unsigned char* FftWork() const { return m_FftWorkBuffer.Get<unsigned char>(); }
    void LoadSpectra(float* spectra, int spectraPerFilter, const float* taps, int filters,
                     int parts);

    int m_nRoom = ROOMSIZE_UNDEFINED;
    int m_nAngle = SPEAKERANGLE_UNDEFINED;
    int m_nHeadParts = -1;
    int m_nTailParts = -1;
    alignas(32) float m_HeadSpectra[HeadFilters][HeadParts][FftLength] = {};
    alignas(32) float m_TailSpectra[2][MaxTailParts][FftLength] = {};
    int m_nCTCAngle = CTCANGLE_UNDEFINED;
    int m_nCTCTaps = 1;
    float m_SumTaps[CtcTaps] = {};
    float m_DiffTaps[CtcTaps] = {};
    alignas(32) float m_SumInput[CtcBufferLength] = {};
    alignas(32) float m_DiffInput[CtcBufferLength] = {};
    sigFftSpec_R_32f* m_pFftSpec = nullptr;
    CPoolBuffer m_FftWorkBuffer; // empty when the transforms need no work area
    alignas(32) float m_CtcOutput[2][CtcBufferLength] = {};
    alignas(32) float m_ProductA[FftLength] = {};
    alignas(32) float m_ProductB[FftLength] = {};
    CPoolBuffer m_SumStateBuffer;
    CPoolBuffer m_DiffStateBuffer;
    sigFirState* m_pSumFir = nullptr;
    sigFirState* m_pDiffFir = nullptr;
    alignas(32) float m_History[MaxInputs][HEADPHONEFIR_N] = {};
    alignas(32) float m_InputRings[MaxInputs][HeadParts][FftLength] = {};
    alignas(32) float m_TailRing[MaxTailParts][FftLength] = {};
    alignas(32) float m_Accumulators[2][FftLength] = {};
    int m_nHeadPos = 0;
    int m_nTailPos = 0;
    const float* m_pLoadedHead = nullptr;
    const float* m_pLoadedTail = nullptr;
};
