// The generic multi-rate FIR routines: every group's four sums in double,
// oldest sample first, each rounded to float once, so outputs equal the plain
// definition bit for bit.
#include "sigproc/filters/fir_multirate.h"

#include "sigproc/filters/double_lanes.h"
#include "sigproc/filters/fir_multirate_rows.h"
#include "sigproc/sigproc.h"

namespace {

using sigFirMr::Group;
using sigFirMr::Source;
using Lanes = sigDoubleLanes;

// The four running sums of a group.
struct Sums {
    Lanes low = {0.0, 0.0};
    Lanes high = {0.0, 0.0};

    // Adds taps[m] · samples[m] to sum m.
    void add(const Lanes& tapsLow, const Lanes& tapsHigh, const Lanes& samplesLow,
             const Lanes& samplesHigh) {
        low += tapsLow * samplesLow;
        high += tapsHigh * samplesHigh;
    }
    void store(float* y) const {
        y[0] = static_cast<float>(low[0]);
        y[1] = static_cast<float>(low[1]);
        y[2] = static_cast<float>(high[0]);
        y[3] = static_cast<float>(high[1]);
    }
};

struct DoubleSums {
    // The four outputs of a group, in one pass over the row length.
    template <typename Rows>
    static void four(const Group& g, std::int64_t length, const Source& x, float* y) {
        Sums sums;
        Lanes tapsLow, tapsHigh;
        if constexpr (Rows::kSharedStart) {
            const float* w = x.at(g.start[0]);
            for (std::int64_t j = 0; j < length; ++j) {
                sigWidenQuad(g.taps + 4 * j, tapsLow, tapsHigh);
                const Lanes sample = {w[j], w[j]};
                sums.add(tapsLow, tapsHigh, sample, sample);
            }
        } else {
            const float* w[4] = {x.at(g.start[0]), x.at(g.start[1]), x.at(g.start[2]),
                                 x.at(g.start[3])};
            for (std::int64_t j = 0; j < length; ++j) {
                if constexpr (Rows::kOneRow) {
                    tapsLow = tapsHigh = Lanes{g.taps[4 * j], g.taps[4 * j]};
                } else {
                    sigWidenQuad(g.taps + 4 * j, tapsLow, tapsHigh);
                }
                sums.add(tapsLow, tapsHigh, Lanes{w[0][j], w[1][j]}, Lanes{w[2][j], w[3][j]});
            }
        }
        sums.store(y);
    }
};

} // namespace

int sigFirMrProcessDense_32f(sigFirState* state, const float* src, float* dst, int numIters) {
    sigFirMr::process<DoubleSums, sigFirMr::DenseRows>(state, src, dst, numIters);
    return sigOk;
}

int sigFirMrProcessDown_32f(sigFirState* state, const float* src, float* dst, int numIters) {
    sigFirMr::process<DoubleSums, sigFirMr::DownRows>(state, src, dst, numIters);
    return sigOk;
}

int sigFirMrProcessIndexed_32f(sigFirState* state, const float* src, float* dst, int numIters) {
    sigFirMr::process<DoubleSums, sigFirMr::IndexedRows>(state, src, dst, numIters);
    return sigOk;
}
