// Multi-rate FIR filtering as the driver's sample-rate converter stages run
// it: 66 taps for a factor of 2 and 132 taps for a factor of 4, up and down,
// 512 outputs or inputs per call. Each is measured beside a plain polyphase
// loop that sums, in double, only the products of real (not inserted) samples.
#include "sigproc/bench/fir_stream.h"
#include "sigproc/sigproc.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Stage {
    int tapsLen, up, down;
    int iterations() const { return 512 / std::max(up, down); }
    int inputs() const { return iterations() * down; }
    int outputs() const { return iterations() * up; }
    FirStream stream() const { return FirStream(tapsLen, inputs(), outputs(), iterations()); }
};

// Output o at up-sampled position o·down; input i at i·up. Only taps that
// meet an input are visited: k = o·down - i·up for the inputs i in reach.
class ReferencePolyphase {
public:
    ReferencePolyphase(const Stage& stage, const std::vector<float>& taps)
        : taps_(taps), up_(stage.up), down_(stage.down), keep_((stage.tapsLen + up_ - 1) / up_),
          line_(static_cast<std::size_t>(keep_ + stage.inputs()), 0.0f) {}

    void process(const float* x, float* y, int iterations) {
        const int inputs = iterations * down_;
        std::copy(x, x + inputs, line_.begin() + keep_);
        const long tapsLen = static_cast<long>(taps_.size());
        for (long o = 0; o < long{iterations} * up_; ++o) {
            const long position = o * down_;
            double sum = 0.0;
            // Oldest input in reach first.
            const long newest = position / up_;
            const long oldest =
                std::max(-long{keep_}, newest - (tapsLen - 1 - position % up_) / up_);
            for (long i = oldest; i <= newest; ++i)
                sum += double{taps_[static_cast<std::size_t>(position - i * up_)]} *
                       line_[static_cast<std::size_t>(i + keep_)];
            y[o] = static_cast<float>(sum);
        }
        std::memmove(line_.data(), line_.data() + inputs, static_cast<std::size_t>(keep_) * 4);
    }

private:
    std::vector<float> taps_;
    int up_, down_, keep_;
    std::vector<float> line_;
};

void multiRateLibrary(benchmark::State& state, Stage stage) {
    FirStream s = stage.stream();
    int size = 0;
    sigFirMrGetStateSize_32f(stage.tapsLen, stage.up, stage.down, &size);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    sigFirState* fir = nullptr;
    if (sigFirMrInit_32f(&fir, s.taps.data(), stage.tapsLen, stage.up, 0, stage.down, 0, nullptr,
                         buffer.data()) != sigOk) {
        state.SkipWithError("no multi-rate state");
        return;
    }
    timeCalls(state, s, [&](const float* x, float* y, int n) { sigFirProcess_32f(x, y, n, fir); });
}

void multiRateReference(benchmark::State& state, Stage stage) {
    FirStream s = stage.stream();
    ReferencePolyphase fir(stage, s.taps);
    timeCalls(state, s, [&](const float* x, float* y, int n) { fir.process(x, y, n); });
}

} // namespace

BENCHMARK_CAPTURE(multiRateLibrary, up2, Stage{66, 2, 1})->Name("firmr66_up2/sigFirProcess_32f");
BENCHMARK_CAPTURE(multiRateReference, up2, Stage{66, 2, 1})
    ->Name("firmr66_up2/reference_polyphase_loop");
BENCHMARK_CAPTURE(multiRateLibrary, down2, Stage{66, 1, 2})
    ->Name("firmr66_down2/sigFirProcess_32f");
BENCHMARK_CAPTURE(multiRateReference, down2, Stage{66, 1, 2})
    ->Name("firmr66_down2/reference_polyphase_loop");
BENCHMARK_CAPTURE(multiRateLibrary, up4, Stage{132, 4, 1})->Name("firmr132_up4/sigFirProcess_32f");
BENCHMARK_CAPTURE(multiRateReference, up4, Stage{132, 4, 1})
    ->Name("firmr132_up4/reference_polyphase_loop");
BENCHMARK_CAPTURE(multiRateLibrary, down4, Stage{132, 1, 4})
    ->Name("firmr132_down4/sigFirProcess_32f");
BENCHMARK_CAPTURE(multiRateReference, down4, Stage{132, 1, 4})
    ->Name("firmr132_down4/reference_polyphase_loop");
