// The checks of the real and the complex transforms, made before anything is
// written and in this order: the record (null: sigErrNullPtr; not of the
// transform's kind: sigErrStateMismatch), then the source and the destination
// (null: sigErrNullPtr). A record is transformed only by the processor slot
// that built it: the slots lay their tables out differently, so another
// slot's record is refused as not of the transform's kind.
#pragma once

#include "sigproc/fft/record_layout.h"
#include "sigproc/sigproc.h"

#include <cstdint>

inline int sigFftCheckTransform(const sigFftSpecHeader* spec, std::int32_t id, const float* src,
                                const float* dst, std::int32_t slot = 0) {
    if (spec == nullptr) return sigErrNullPtr;
    if (spec->id != id || spec->slot != slot) return sigErrStateMismatch;
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    return sigOk;
}
