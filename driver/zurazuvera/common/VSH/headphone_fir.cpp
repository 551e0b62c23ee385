#include "driver/zurazuvera/common/VSH/headphone_fir.h"

#include "driver/zurazuvera/common/VSH/impulse_store.h"
#include "driver/zurazuvera/common/VSH/vsh_assert.h"
#include "driver/zurazuvera/common/VSH/vsh_buffers.h"
#include "sigproc/sigproc.h"

#include <cstring>

namespace {

constexpr int N = HeadphoneFir::HEADPHONEFIR_N;
constexpr int FoldSame = 0; // index of the 0.95 weight
constexpr float FoldWeights[2] = {0.95f, 0.312f};

template <class T> void ZeroArray(T& array) { std::memset(&array, 0, sizeof(array)); }

bool IsInputCount(int nInCh) { return nInCh == 2 || nInCh == 6 || nInCh == 8; }

int MapRoom(int roomValue) {
    if (roomValue >= 0 && roomValue <= 2) return 3 - roomValue;
    VSH_ASSERT(0);
    return 2;
}

int MapAngleCode(int code) {
    for (int accepted : {24, 25, 29, 30, 31, 34, 35, 39, 40})
        if (code == accepted) return code;
    VSH_ASSERT(0);
    return 24;
}

} // namespace

int HeadphoneFir::Init() {
    Free();
    sigFftSpec_R_32f* spec = nullptr;
    if (sigFftInitAlloc_R_32f(&spec, FftOrder, sigFftScaleInv, 0) != sigOk) return 0;
    m_pFftSpec = spec;
    // The transforms' work buffer, taken once here so that no transform on the
    // render path allocates whatever the library's level (none is needed at 0).
    int workBytes = 0;
    sigFftGetBufSize_R_32f(spec, &workBytes);
    if (workBytes > 0)
        m_FftWorkBuffer = CPoolBuffer(kernel::PoolType::NonPagedNx, workBytes, VshStateTag);
    int stateBytes = 0;
    sigFirGetStateSize_32f(CtcTaps, &stateBytes);
    m_SumStateBuffer = CPoolBuffer(kernel::PoolType::NonPagedNx, stateBytes, VshStateTag);
    m_DiffStateBuffer = CPoolBuffer(kernel::PoolType::NonPagedNx, stateBytes, VshStateTag);
    if (!m_SumStateBuffer.IsValid() || !m_DiffStateBuffer.IsValid() ||
        (workBytes > 0 && !m_FftWorkBuffer.IsValid())) {
        Free();
        return 0;
    }
    ImpulseStore();
    m_nHeadParts = m_nTailParts = -1;
    m_nCTCAngle = CTCANGLE_UNDEFINED;
    Reset();
    m_nRoom = 1;
    m_nAngle = 29;
    LoadFilter();
    SetCTCAngle(0);
    return 1;
}

void HeadphoneFir::Free() {
    if (m_pFftSpec != nullptr) sigFftFree_R_32f(m_pFftSpec);
    m_pFftSpec = nullptr;
    m_FftWorkBuffer = CPoolBuffer();
    m_pSumFir = m_pDiffFir = nullptr;
    m_SumStateBuffer = CPoolBuffer();
    m_DiffStateBuffer = CPoolBuffer();
}

void HeadphoneFir::RestartCtc() {
    ZeroArray(m_SumInput);
    ZeroArray(m_DiffInput);
    ZeroArray(m_CtcOutput);
    if (!m_SumStateBuffer.IsValid() || !m_DiffStateBuffer.IsValid()) return;
    sigFirState* sum = nullptr;
    sigFirState* diff = nullptr;
    if (sigFirInit_32f(&sum, m_SumTaps, CtcTaps, nullptr, m_SumStateBuffer.Get<unsigned char>()) !=
            sigOk ||
        sigFirInit_32f(&diff, m_DiffTaps, CtcTaps, nullptr,
                       m_DiffStateBuffer.Get<unsigned char>()) != sigOk) {
        m_pSumFir = m_pDiffFir = nullptr;
        return;
    }
    m_pSumFir = sum;
    m_pDiffFir = diff;
}

void HeadphoneFir::Reset() {
    ZeroArray(m_History);
    ZeroArray(m_InputRings);
    ZeroArray(m_TailRing);
    ZeroArray(m_Accumulators);
    m_nHeadPos = 0;
    m_nTailPos = 0;
    // The crosstalk stage forgets its signal too: its delay line shares the
    // filter outputs' storage, and the filters' own delay lines start afresh.
    RestartCtc();
}

int HeadphoneFir::SelectFilter(int roomValue, int angleCode) {
    m_nRoom = MapRoom(roomValue);
    m_nAngle = MapAngleCode(angleCode);
    LoadFilter();
    return 1;
}

int HeadphoneFir::SetCTCAngle(int nCTCAngle) {
    VSH_ASSERT(nCTCAngle != CTCANGLE_UNDEFINED);
    if (nCTCAngle == m_nCTCAngle) return 1;
    m_nCTCAngle = nCTCAngle;
    if (const float* table = FindCrosstalkTable(nCTCAngle)) {
        m_nCTCTaps = CtcTaps;
        for (int i = 0; i < CtcTaps; ++i) {
            m_SumTaps[i] = table[i] + table[CtcTaps + i];
            m_DiffTaps[i] = table[i] - table[CtcTaps + i];
        }
    } else {
        m_nCTCTaps = 1;
        m_SumTaps[0] = m_DiffTaps[0] = 1.0f;
    }
    RestartCtc();
    return 1;
}

void HeadphoneFir::LoadFilter() {
    VSH_ASSERT(m_nRoom != ROOMSIZE_UNDEFINED && m_nAngle != SPEAKERANGLE_UNDEFINED);
    m_nHeadParts = m_nTailParts = -1;
    m_pLoadedHead = m_pLoadedTail = nullptr;
    ImpulseSelection selection;
    if (!FindImpulseSet(m_nRoom, m_nAngle, &selection)) {
        VSH_ASSERT(0);
        return;
    }
    InitFilterSpectra(selection.head, HeadFilterLength, selection.tail, selection.tailLength);
    m_pLoadedHead = selection.head;
    m_pLoadedTail = selection.tail;
}

void HeadphoneFir::InitFilterSpectra(const float* head, int headLength, const float* tail,
                                     int tailLength) {
    if (!VSH_ASSERT(headLength % N == 0) || !VSH_ASSERT(tailLength % N == 0) ||
        !VSH_ASSERT(headLength / N == HeadParts) || !VSH_ASSERT(tailLength / N <= MaxTailParts))
        return;
    const int tailParts = tailLength / N;
    LoadSpectra(&m_HeadSpectra[0][0][0], HeadParts, head, HeadFilters, HeadParts);
    LoadSpectra(&m_TailSpectra[0][0][0], MaxTailParts, tail, 2, tailParts);
    m_nHeadParts = HeadParts;
    m_nTailParts = tailParts;
}

// `filters` filters of `parts` blocks of N taps each, one after another at
// `taps`: each block zero-padded and transformed into its spectrum, the
// spectra of a filter `spectraPerFilter` apart.
void HeadphoneFir::LoadSpectra(float* spectra, int spectraPerFilter, const float* taps, int filters,
                               int parts) {
    for (int f = 0; f < filters; ++f) {
        for (int k = 0; k < parts; ++k) {
            float* spectrum = spectra + (f * spectraPerFilter + k) * FftLength;
            sigCopy_32f(taps + (f * parts + k) * N, spectrum, N);
            sigZero_32f(spectrum + N, N);
            sigFftFwdInPlace_R_32f(spectrum, m_pFftSpec, FftWork());
        }
    }
}

void HeadphoneFir::Process(float* const* out, int nOutCh, float* const* in, int nInCh, int len) {
    const bool outputs = VSH_ASSERT(nOutCh == 2) && out != nullptr;
    const bool valid = outputs && VSH_ASSERT(IsInputCount(nInCh)) && VSH_ASSERT(len == N) &&
                       in != nullptr && IsReady();
    if (!valid) {
        if (outputs && len > 0) {
            sigZero_32f(out[0], len);
            sigZero_32f(out[1], len);
        }
        return;
    }
    ProcessConvolution(out, nOutCh, in, nInCh, len);
    ProcessCTC(out, 2, 2, N);
    FlushSubnormals(out[0], N);
    FlushSubnormals(out[1], N);
}

void HeadphoneFir::StageFrame(int source, const float* history, const float* input, int slot) {
    float* frame = m_InputRings[source][slot];
    sigCopy_32f(history, frame, N);
    sigCopy_32f(input, frame + N, N);
}

void HeadphoneFir::StageInputs(float* const* in, int nInCh, int slot, int tailSlot) {
    const int sources = nInCh == 2 ? 2 : Sources;
    float* tailFrame = m_TailRing[tailSlot];
    sigCopy_32f(m_InputRings[0][slot], tailFrame, FftLength);
    for (int s = 1; s < sources; ++s)
        sigAddInPlace_32f(m_InputRings[s][slot], tailFrame, FftLength);

    if (nInCh == 8) {
        float* a = m_ProductA;
        float* b = m_ProductB;
        for (int j = 0; j < N; ++j) {
            a[j] = FoldWeights[FoldSame] * in[4][j] + FoldWeights[1] * in[5][j];
            b[j] = FoldWeights[1] * in[4][j] + FoldWeights[FoldSame] * in[5][j];
        }
        for (int j = 0; j < N; ++j) {
            in[4][j] = a[j] + in[6][j];
            in[5][j] = b[j] + in[7][j];
        }
    }
    if (nInCh == 2) {
        for (int s = 0; s < 2; ++s) StageFrame(s, m_History[s], in[s], slot);
        for (int s = 0; s < 2; ++s) sigCopy_32f(in[s], m_History[s], N);
    } else {
        // Sources 0..2 from inputs 0..2, the LFE (input 3) into both front
        // sources, the surround pair (inputs 4, 5) as sources 3 and 4.
        for (int s = 0; s < 3; ++s) StageFrame(s, m_History[s], in[s], slot);
        for (int s = 0; s < 2; ++s) {
            sigAddInPlace_32f(m_History[3], m_InputRings[s][slot], N);
            sigAddInPlace_32f(in[3], m_InputRings[s][slot] + N, N);
        }
        StageFrame(3, m_History[4], in[4], slot);
        StageFrame(4, m_History[5], in[5], slot);
        for (int c = 0; c < 6; ++c) sigCopy_32f(in[c], m_History[c], N);
    }
    for (int s = 0; s < sources; ++s)
        sigFftFwdInPlace_R_32f(m_InputRings[s][slot], m_pFftSpec, FftWork());
}

void HeadphoneFir::Accumulate(const float* filterA, const float* filterB, const float* input) {
    sigMulPack_32f(filterA, input, m_ProductA, FftLength);
    sigMulPack_32f(filterB, input, m_ProductB, FftLength);
    sigAddInPlace_32f(m_ProductA, m_Accumulators[0], FftLength);
    sigAddInPlace_32f(m_ProductB, m_Accumulators[1], FftLength);
}

void HeadphoneFir::ProcessConvolution(float* const* out, int, float* const* in, int nInCh, int) {
    const int h = m_nHeadPos;
    const int t = m_nTailPos;
    StageInputs(in, nInCh, h, t);
    sigZero_32f(m_Accumulators[0], FftLength);
    sigZero_32f(m_Accumulators[1], FftLength);

    const int sources = nInCh == 2 ? 2 : Sources;
    for (int k = 0, s = h; k < m_nHeadParts; ++k, s = (s + 1) % m_nHeadParts)
        for (int source = 0; source < sources; ++source)
            Accumulate(m_HeadSpectra[2 * source][k], m_HeadSpectra[2 * source + 1][k],
                       m_InputRings[source][s]);
    for (int k = 0, s = t; k < m_nTailParts; ++k, s = (s + 1) % m_nTailParts)
        Accumulate(m_TailSpectra[0][k], m_TailSpectra[1][k], m_TailRing[s]);

    for (int e = 0; e < 2; ++e) {
        sigFftInvInPlace_R_32f(m_Accumulators[e], m_pFftSpec, FftWork());
        sigMulConst_32f(m_Accumulators[e] + N, OutputGain, out[e], N);
    }
    if (m_nHeadParts > 0) m_nHeadPos = (h - 1 + m_nHeadParts) % m_nHeadParts;
    if (m_nTailParts > 0) m_nTailPos = (t - 1 + m_nTailParts) % m_nTailParts;
}

void HeadphoneFir::ProcessCTC(float* const* planes, int nOutCh, int nInCh, int len) {
    if (!VSH_ASSERT(nOutCh == 2 && nInCh == 2 && len == HEADPHONEFIR_N)) return;
    float* left = planes[0];
    float* right = planes[1];
    if (m_nCTCTaps == CtcTaps && m_pSumFir != nullptr && m_pDiffFir != nullptr) {
        for (int j = 0; j < N; ++j) {
            m_SumInput[j] = left[j] + right[j];
            m_DiffInput[j] = left[j] - right[j];
        }
        sigFirProcess_32f(m_SumInput, m_CtcOutput[0], N, m_pSumFir);
        sigFirProcess_32f(m_DiffInput, m_CtcOutput[1], N, m_pDiffFir);
        for (int j = 0; j < N; ++j) {
            left[j] = CtcGain * (m_CtcOutput[0][j] + m_CtcOutput[1][j]);
            right[j] = CtcGain * (m_CtcOutput[0][j] - m_CtcOutput[1][j]);
        }
        return;
    }
    constexpr int Tail = CtcBufferLength - N; // 256
    for (int e = 0; e < 2; ++e) {
        float* line = m_CtcOutput[e];
        sigCopy_32f(planes[e], line + Tail, N);
        sigCopy_32f(line + Tail - CtcOffDelay, planes[e], N);
        std::memmove(line, line + N, Tail * sizeof(float));
    }
}
