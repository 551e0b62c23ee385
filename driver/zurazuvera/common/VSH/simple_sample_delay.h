// A delay line for blocks of up to m_nBufSize samples: after Push, the first
// `size` floats of Output() are the pushed block delayed by `delay` samples.
#pragma once

#include "driver/common/pool_buffer.h"

class SimpleSampleDelay {
public:
    SimpleSampleDelay(int delay, int bufSize);
    ~SimpleSampleDelay() { Free(); }
    SimpleSampleDelay(const SimpleSampleDelay&) = delete;
    SimpleSampleDelay& operator=(const SimpleSampleDelay&) = delete;

    bool IsValid() const { return m_bValid; }
    void Clear();
    // Returns size, or 0 and pushes nothing when the block is longer than
    // m_nBufSize (or the line has no buffer).
    int Push(const float* input, int size);
    const float* Output() const { return m_Buffer.Get<float>(); }
    void Free();

private:
    bool m_bValid = false;
    int m_nBufSize = 0;
    CPoolBuffer m_Buffer; // delay + m_nBufSize floats
    int m_nDelay = 0;
    int m_nLastSize = 0; // length of the last block pushed
};
