// The work area of one transform call: the caller's buffer from its first
// 32-byte boundary, or a library block that lives as long as the call.
#pragma once

#include "sigproc/core/memory.h"
#include "sigproc/fft/record_layout.h"

class sigFftWorkArea {
public:
    sigFftWorkArea() = default;
    sigFftWorkArea(const sigFftWorkArea&) = delete;
    sigFftWorkArea& operator=(const sigFftWorkArea&) = delete;
    ~sigFftWorkArea() { sigFree_generic(owned_); }

    // False when the record needs an area, the caller gave none and the
    // allocator has none.
    bool acquire(const sigFftSpecHeader& spec, unsigned char* callerBuffer) {
        if (spec.workBytes <= 0) return true;
        if (callerBuffer != nullptr) {
            area_ = reinterpret_cast<float*>(sigAlignUp32(callerBuffer));
            return true;
        }
        owned_ = sigMalloc_8u(spec.workBytes);
        area_ = static_cast<float*>(owned_);
        return owned_ != nullptr;
    }

    float* get() const { return area_; }

private:
    void* owned_ = nullptr;
    float* area_ = nullptr;
};
