// The multi-rate FIR routines of each layout, so that a test can force the
// layout the entries would not choose.
#pragma once

#include "sigproc/filters/fir_multirate.h"

namespace fir_mr_layouts {

struct Layout {
    const char* name;
    decltype(&sigFirMrStateSizeDense_32f) stateSize;
    decltype(&sigFirMrInitDense_32f) init;
    int mode(int up) const { return init == sigFirMrInitDense_32f ? 1 : up == 1 ? 2 : 3; }
};

inline constexpr Layout kDense{"dense", sigFirMrStateSizeDense_32f, sigFirMrInitDense_32f};
inline constexpr Layout kIndexed{"indexed", sigFirMrStateSizeIndexed_32f, sigFirMrInitIndexed_32f};
inline constexpr Layout kLayouts[] = {kDense, kIndexed};

} // namespace fir_mr_layouts
