// Sizes of the FFT specification records, computed in 64 bits so that orders whose
// sizes the 32-bit size words cannot carry are refused rather than wrapped.
#pragma once

#include <cstdint>

struct sigFftSizes {
    std::int64_t specBytes; // record, tables and 128 bytes for the header and pointer rounding
    std::int64_t initBytes; // sine table and split scratch, needed only while building
    std::int64_t workBytes; // one work buffer with 32 bytes of rounding slack, or 0
};

using sigFftSizesRule = sigFftSizes (*)(int order);

// Sizes of a real-FFT record of an order 0..30, and of a complex-FFT record.
sigFftSizes sigFftSizesOf(int order);
sigFftSizes sigFftComplexSizesOf(int order);

// An order whose record can be built: 0..30 with every size within 32 bits.
bool sigFftOrderBuildable(int order, sigFftSizesRule sizesOf);

// The size query of either record: an order that cannot be built gives
// sigErrFftOrder, a null out pointer sigErrNullPtr, a flag other than
// 1, 2, 4, 8 sigErrFftFlag; nothing is written on failure.
int sigFftQuerySizes(sigFftSizesRule sizesOf, int order, int flag, int* pSpecBytes, int* pInitBytes,
                     int* pWorkBytes);
