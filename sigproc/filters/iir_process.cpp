// IIR processing. Every product and sum of a step is carried in double; a value
// is rounded to single precision only when it is stored, into a delay word or
// into the output. Each step reads its input samples before it writes its
// outputs, so the source may be the destination.
#include "sigproc/filters/iir.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

namespace {

// b0 and a0 sit at fixed places of the normalised taps b0..bN, a1..aN.
struct DirectTaps {
    const float* t;
    std::int64_t n;
    double b(std::int64_t i) const { return t[i]; }
    double a(std::int64_t i) const { return t[n + i]; }
};

void firstOrder(const float* src, float* dst, int len, const DirectTaps& c, float* d) {
    for (int i = 0; i < len; ++i) {
        const double x = src[i];
        const double y = c.b(0) * x + d[0];
        d[0] = static_cast<float>(c.b(1) * x - c.a(1) * y);
        dst[i] = static_cast<float>(y);
    }
}

// Two steps of the transposed direct form II folded together, so that the
// state between the two samples is never rounded. d[n] is the zero word.
void pairStep(double x0, double x1, const DirectTaps& c, float* d, double& y0, double& y1) {
    const std::int64_t n = c.n;
    y0 = c.b(0) * x0 + d[0];
    y1 = (c.b(1) * x0 + (c.b(0) * x1 + d[1])) - c.a(1) * y0;
    for (std::int64_t j = 0; j + 2 <= n; ++j) {
        d[j] = static_cast<float>(
            (((c.b(j + 1) * x1 - c.a(j + 1) * y1) + c.b(j + 2) * x0) - c.a(j + 2) * y0) + d[j + 2]);
    }
    d[n - 1] = static_cast<float>(c.b(n) * x1 - c.a(n) * y1);
}

double singleStep(double x, const DirectTaps& c, float* d) {
    const double y = c.b(0) * x + d[0];
    for (std::int64_t j = 0; j < c.n; ++j) {
        d[j] = static_cast<float>((c.b(j + 1) * x - c.a(j + 1) * y) + d[j + 1]);
    }
    return y;
}

// Pairs restart at every call: an odd length ends with a single step.
void higherOrder(const float* src, float* dst, int len, const DirectTaps& c, float* d) {
    int i = 0;
    for (; i + 1 < len; i += 2) {
        const double x0 = src[i];
        const double x1 = src[i + 1];
        double y0 = 0.0;
        double y1 = 0.0;
        pairStep(x0, x1, c, d, y0, y1);
        dst[i] = static_cast<float>(y0);
        dst[i + 1] = static_cast<float>(y1);
    }
    if (i < len) dst[i] = static_cast<float>(singleStep(src[i], c, d));
}

// Sections run while delay floats remain, two per section; the signal passes
// unrounded from one section to the next. A record with no delay floats has
// no sections and passes its input through.
void biquadCascade(const float* src, float* dst, int len, const sigIirState* state) {
    const float* taps = state->tapsArea();
    float* delay = state->delayArea();
    for (int i = 0; i < len; ++i) {
        double x = src[i];
        double y = x;
        for (std::int64_t used = 0; used < state->order; used += 2) {
            const float* c = taps + used / 2 * 5;
            float* e = delay + used;
            y = c[0] * x + e[0];
            e[0] = static_cast<float>((c[1] * x + e[1]) - c[3] * y);
            e[1] = static_cast<float>(c[2] * x + (-static_cast<double>(c[4])) * y);
            x = y;
        }
        dst[i] = static_cast<float>(y);
    }
}

int filter(const float* src, float* dst, int len, sigIirState* state) {
    if (state->id == sigIirIdDirect) {
        sigIirTdf2Kernel_32f(src, dst, len, state);
        return sigOk;
    }
    if (state->id == sigIirIdBiquad) {
        biquadCascade(src, dst, len, state);
        return sigOk;
    }
    return sigErrStateMismatch;
}

} // namespace

void sigIirTdf2Kernel_32f(const float* src, float* dst, int len, sigIirState* state) {
    const DirectTaps taps{state->tapsArea(), state->order};
    float* delay = state->delayArea();
    if (state->order == 1) {
        firstOrder(src, dst, len, taps, delay);
    } else {
        higherOrder(src, dst, len, taps, delay);
    }
}

int sigIirProcess_32f_generic(const float* src, float* dst, int len, sigIirState* state) {
    if (state == nullptr || src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    return filter(src, dst, len, state);
}

int sigIirProcessInPlace_32f_generic(float* srcDst, int len, sigIirState* state) {
    if (state == nullptr || srcDst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    return filter(srcDst, srcDst, len, state);
}

int sigIirProcess_32f(const float* src, float* dst, int len, sigIirState* state) {
    return sigDispatch(sigDispatchTableA.iirProcess_32f, src, dst, len, state);
}
