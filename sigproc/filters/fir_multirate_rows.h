// The structure of multi-rate FIR processing, shared by the generic routines
// and the processor slots' ones: the three layouts' rows, and a call's head,
// body and tail, with the kernel that computes a group of four outputs as a
// parameter. Only the routines' sources include it.
//
// X is the call's sequence: the q past inputs kept in the delay line, oldest
// first, followed by the call's inputs. Output k is a sum over one window of X
// with one row of the polyphase table; outputs run in groups of four (one
// table row each), groups in cycles of `up` phases, and every call starts at
// phase 0 because it consumes whole iterations.
//
// A call whose input fits the head block runs wholly in the delay line. A
// longer one runs its head block there, the rest straight from the source, and
// its last cycle one output at a time, so that no window reads past the input.
// The outputs one at a time are sums in double, oldest sample first, rounded
// to float once.
#pragma once

#include "sigproc/filters/fir_state.h"
#include "sigproc/vector/fill.h"

#include <algorithm>
#include <cstdint>

namespace sigFirMr {

// Where X lies for a stretch of outputs: X[j] = base[j - origin], j < end.
struct Source {
    const float* base;
    std::int64_t origin;
    std::int64_t end;
    const float* at(std::int64_t j) const { return base + (j - origin); }
};

// One group of four outputs: the window start of each row, and the taps, the
// tap of term j for row m at taps[4j + m] (taps[4j] for every row in mode 2).
struct Group {
    std::int64_t start[4];
    const float* taps;
};

inline const std::int32_t* phaseTable(const sigFirState* state) {
    return sigStateArea<const std::int32_t>(state, state->phaseTable);
}
inline const float* polyTaps(const sigFirState* state) {
    return sigStateArea<const float>(state, state->polyTaps);
}

// Mode 1: the four rows of a group share one window start; the starts advance
// from phase to phase by the table's steps.
class DenseRows {
public:
    static constexpr bool kSharedStart = true;
    static constexpr bool kOneRow = false;
    static constexpr bool kStopsAtInputEnd = true;

    explicit DenseRows(const sigFirState* s)
        : steps_(phaseTable(s)), taps_(polyTaps(s)), up_(s->up), length_(s->rowLen),
          start_(steps_[0]) {}
    std::int64_t length() const { return length_; }
    Group group() const { return {{start_, start_, start_, start_}, taps_ + 4 * length_ * phase_}; }
    void next() {
        if (phase_ + 1 < up_) {
            start_ += steps_[++phase_];
        } else {
            start_ += steps_[up_] + steps_[0];
            phase_ = 0;
        }
    }

private:
    const std::int32_t* steps_;
    const float* taps_;
    std::int64_t up_, length_, start_;
    std::int64_t phase_ = 0;
};

// Mode 2 (up = 1): one row of taps; output k's window starts k strides on.
class DownRows {
public:
    static constexpr bool kSharedStart = false;
    static constexpr bool kOneRow = true;
    static constexpr bool kStopsAtInputEnd = false;

    explicit DownRows(const sigFirState* s)
        : taps_(polyTaps(s)), length_(s->delayLen), start_(phaseTable(s)[0]),
          stride_(phaseTable(s)[1] - phaseTable(s)[0]) {}
    std::int64_t length() const { return length_; }
    Group group() const {
        return {{start_, start_ + stride_, start_ + 2 * stride_, start_ + 3 * stride_}, taps_};
    }
    void next() { start_ += 4 * stride_; }

private:
    const float* taps_;
    std::int64_t length_, start_, stride_;
};

// Mode 3: every row of every phase has its own start; a cycle moves them all
// by the table's last entry.
class IndexedRows {
public:
    static constexpr bool kSharedStart = false;
    static constexpr bool kOneRow = false;
    static constexpr bool kStopsAtInputEnd = true;

    explicit IndexedRows(const sigFirState* s)
        : starts_(phaseTable(s)), taps_(polyTaps(s)), up_(s->up), length_(s->delayLen) {}
    std::int64_t length() const { return length_; }
    Group group() const {
        const std::int32_t* row = starts_ + 4 * phase_;
        return {{cycleStart_ + row[0], cycleStart_ + row[1], cycleStart_ + row[2],
                 cycleStart_ + row[3]},
                taps_ + 4 * length_ * phase_};
    }
    void next() {
        if (++phase_ == up_) {
            phase_ = 0;
            cycleStart_ += starts_[4 * up_];
        }
    }

private:
    const std::int32_t* starts_;
    const float* taps_;
    std::int64_t up_, length_;
    std::int64_t phase_ = 0;
    std::int64_t cycleStart_ = 0;
};

// Kernel::four<Rows>(group, length, x, y) computes a group's four outputs.
template <typename Kernel, typename Rows>
void groupedOutputs(Rows& rows, const Source& x, float* y, std::int64_t count) {
    for (std::int64_t k = 0; k < count; k += 4, rows.next())
        Kernel::template four<Rows>(rows.group(), rows.length(), x, y + k);
}

// The last outputs of a call, one at a time from a group boundary on. In
// modes 1 and 3 a sum stops at the last input: the terms beyond meet only the
// zero taps past the filter's end, and the samples there do not exist.
template <typename Rows>
void singleOutputs(Rows& rows, const Source& x, float* y, std::int64_t count) {
    for (std::int64_t k = 0; k < count; ++k) {
        if (k > 0 && k % 4 == 0) rows.next();
        const Group g = rows.group();
        const int m = static_cast<int>(k % 4);
        std::int64_t terms = rows.length();
        if constexpr (Rows::kStopsAtInputEnd)
            terms = std::clamp<std::int64_t>(x.end - g.start[m], 0, terms);
        const float* taps = Rows::kOneRow ? g.taps : g.taps + m;
        const float* w = terms > 0 ? x.at(g.start[m]) : nullptr;
        double sum = 0.0;
        for (std::int64_t j = 0; j < terms; ++j) sum += double{taps[4 * j]} * w[j];
        y[k] = static_cast<float>(sum);
    }
}

template <typename Kernel, typename Rows>
void process(sigFirState* state, const float* src, float* dst, int numIters) {
    const std::int64_t q = state->delayLen, headIn = state->headLen, headOut = state->headOut;
    const std::int64_t cycle = 4 * std::int64_t{state->up};
    const std::int64_t inputs = std::int64_t{numIters} * state->down;
    const std::int64_t outputs = std::int64_t{numIters} * state->up;
    float* delay = state->delayArea();
    Rows rows(state);

    if (inputs <= headIn) {
        sigCopyBytes_8u(src, delay + q, 4 * inputs);
        // The last groups may read slots beyond the inputs, against zero taps.
        // Zeros there keep a stale infinity or NaN from entering a sum.
        sigZeroBytes_8u(delay + q + inputs, 4 * (headIn + 1 - inputs));
        const Source line{delay, 0, q + inputs};
        const std::int64_t tail = outputs % cycle;
        groupedOutputs<Kernel>(rows, line, dst, outputs - tail);
        singleOutputs(rows, line, dst + (outputs - tail), tail);
        sigMove_32f_generic(delay + inputs, delay, static_cast<int>(q));
        return;
    }

    sigCopyBytes_8u(src, delay + q, 4 * headIn);
    groupedOutputs<Kernel>(rows, Source{delay, 0, q + headIn}, dst, headOut);
    // The new history, before the rest is computed from the source.
    sigCopyBytes_8u(src + (inputs - q), delay, 4 * q);
    std::int64_t tail = (outputs - headOut) % cycle;
    std::int64_t body = outputs - headOut - tail;
    if (body > 0) {
        body -= cycle;
        tail += cycle;
    }
    const Source input{src, q, q + inputs};
    groupedOutputs<Kernel>(rows, input, dst + headOut, body);
    singleOutputs(rows, input, dst + headOut + body, tail);
}

} // namespace sigFirMr
