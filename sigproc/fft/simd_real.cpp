// The forward and inverse members of slots 1 to 5, their in-place entries
// and their set-up, size query and allocate bodies.
#include "sigproc/core/dispatch.h"
#include "sigproc/fft/simd_blocked.h"
#include "sigproc/fft/simd_fft.h"
#include "sigproc/fft/simd_passes.h"
#include "sigproc/fft/simd_record.h"
#include "sigproc/fft/small_orders.h"
#include "sigproc/fft/transform_checks.h"
#include "sigproc/fft/work_area.h"
#include "sigproc/sigproc.h"

#include <cstddef>

namespace {

template <bool Inverse>
int transform(const sigFftSimdSlot& slot, const float* src, float* dst,
              const sigFftSpec_R_32f* spec, unsigned char* workBuf) {
    if (const int status = sigFftCheckTransform(spec, sigFftSpecId, src, dst, slot.slot);
        status != sigOk)
        return status;
    const int order = spec->order;
    const bool scaled = (Inverse ? spec->scaleInv : spec->scaleFwd) != 0;
    if (order <= sigFftClosedFormMaxOrder) {
        sigFftSmall_R_32f<Inverse>(src, dst, order, scaled ? spec->scaleFactor : 1.0f);
        return sigOk;
    }
    sigFftWorkArea work;
    if (!work.acquire(*spec, workBuf)) return sigErrNoMemory;

    const int m = order - 1;
    const std::ptrdiff_t n = std::ptrdiff_t{1} << m;
    const auto* bitRev = spec->table<std::int32_t>(spec->bitRev);
    const float* twiddles = spec->table<float>(spec->twiddles);
    if constexpr (Inverse) {
        sigFftSimdRealPreInv_32f(src, dst, n, spec->table<float>(spec->realRot));
        src = dst; // the merged spectrum is transformed where it stands
    }
    if (m >= slot.blockedFromM) {
        // Scales its rows itself.
        if constexpr (Inverse) {
            sigFftSimdBlockedInv_32fc(slot, *spec, src, dst, m, work.get());
        } else {
            sigFftSimdBlockedFwd_32fc(slot, *spec, src, dst, m, work.get());
        }
    } else {
        if (m <= slot.directMaxM) {
            if constexpr (Inverse) {
                sigFftSimdDirectInv_32fc(src, dst, n, twiddles, bitRev, work.get(),
                                         slot.blockValues);
            } else {
                sigFftSimdDirectFwd_32fc(src, dst, n, twiddles, bitRev, work.get(),
                                         slot.blockValues);
            }
        } else {
            if (src == dst) {
                sigFftSimdBitRevInPlace_32fc(dst, m, bitRev, work.get());
            } else {
                sigFftSimdBitRevCopy_32fc(src, dst, m, bitRev, work.get());
            }
            if constexpr (Inverse) {
                sigFftSimdPassesInv_32fc(dst, n, twiddles, true, slot.blockValues);
            } else {
                sigFftSimdPassesFwd_32fc(dst, n, twiddles, true, slot.blockValues);
            }
        }
        if (scaled) {
            sigDispatchTable.mulConstInPlace_32f[slot.slot](spec->scaleFactor, dst,
                                                            static_cast<int>(2 * n));
        }
    }
    if constexpr (!Inverse) sigFftSimdRealPostFwd_32f(dst, n, spec->table<float>(spec->realSplit));
    return sigOk;
}

template <const sigFftSimdSlot& Slot> sigFftSizes sizesOf(int order) {
    return sigFftSimdSizesOf(Slot, order);
}

template <const sigFftSimdSlot& Slot>
int buildRecord(sigFftSpecHeader*& record, const sigFftRecordKind&, int order, int flag, int hint,
                unsigned char* specBuf, unsigned char* initBuf) {
    return sigFftSimdBuildRecord(Slot, record, order, flag, hint, specBuf, initBuf);
}

template <const sigFftSimdSlot& Slot>
constexpr sigFftRecordKind kKind{sigFftSpecId, sizesOf<Slot>, true, nullptr, buildRecord<Slot>};

template <const sigFftSimdSlot& Slot>
int initRecord(sigFftSpec_R_32f** pSpec, int order, int flag, int hint, unsigned char* specBuf,
               unsigned char* initBuf) {
    if (pSpec == nullptr) return sigErrNullPtr;
    sigFftSpecHeader* record = nullptr;
    const int status = sigFftSimdBuildRecord(Slot, record, order, flag, hint, specBuf, initBuf);
    if (status == sigOk) *pSpec = static_cast<sigFftSpec_R_32f*>(record);
    return status;
}

} // namespace

const sigFftSimdSlot& sigFftSimdSlotOf(int slot) {
    switch (slot) {
    case 1:
        return sigFftSlotSse;
    case 2:
        return sigFftSlotSse2;
    case 3:
        return sigFftSlotSse3;
    case 4:
        return sigFftSlotSsse3;
    default:
        return sigFftSlotSse41;
    }
}

// Every body of a slot is built for the slot's instruction set.
#define SIG_FFT_SIMD_DEFINE(suffix, traits, isa)                                                   \
    __attribute__((target(isa))) int sigFftGetSize_R_32f_##suffix(                                 \
        int order, int flag, int, int* pSpecBytes, int* pInitBytes, int* pWorkBytes) {             \
        return sigFftQuerySizes(sizesOf<traits>, order, flag, pSpecBytes, pInitBytes, pWorkBytes); \
    }                                                                                              \
    __attribute__((target(isa))) int sigFftInit_R_32f_##suffix(                                    \
        sigFftSpec_R_32f** pSpec, int order, int flag, int hint, unsigned char* specBuf,           \
        unsigned char* initBuf) {                                                                  \
        return initRecord<traits>(pSpec, order, flag, hint, specBuf, initBuf);                     \
    }                                                                                              \
    __attribute__((target(isa))) int sigFftInitAlloc_R_32f_##suffix(                               \
        sigFftSpec_R_32f** pSpec, int order, int flag, int hint) {                                 \
        return sigFftInitAllocRecord(pSpec, kKind<traits>, order, flag, hint);                     \
    }                                                                                              \
    __attribute__((target(isa))) int sigFftFwd_R_32f_##suffix(                                     \
        const float* src, float* dst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {      \
        return transform<false>(traits, src, dst, spec, workBuf);                                  \
    }                                                                                              \
    __attribute__((target(isa))) int sigFftInv_R_32f_##suffix(                                     \
        const float* src, float* dst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {      \
        return transform<true>(traits, src, dst, spec, workBuf);                                   \
    }                                                                                              \
    __attribute__((target(isa))) int sigFftFwdInPlace_R_32f_##suffix(                              \
        float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {                     \
        return transform<false>(traits, srcDst, srcDst, spec, workBuf);                            \
    }                                                                                              \
    __attribute__((target(isa))) int sigFftInvInPlace_R_32f_##suffix(                              \
        float* srcDst, const sigFftSpec_R_32f* spec, unsigned char* workBuf) {                     \
        return transform<true>(traits, srcDst, srcDst, spec, workBuf);                             \
    }

SIG_FFT_SIMD_DEFINE(sse41, sigFftSlotSse41, "sse4.1")
SIG_FFT_SIMD_DEFINE(ssse3, sigFftSlotSsse3, "ssse3")
SIG_FFT_SIMD_DEFINE(sse3, sigFftSlotSse3, "sse3")
SIG_FFT_SIMD_DEFINE(sse2, sigFftSlotSse2, "sse2")
SIG_FFT_SIMD_DEFINE(sse, sigFftSlotSse, "sse")

#undef SIG_FFT_SIMD_DEFINE
