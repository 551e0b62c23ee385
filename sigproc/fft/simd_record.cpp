#include "sigproc/fft/simd_record.h"

#include "sigproc/fft/nearest_rounding.h"
#include "sigproc/fft/simd_blocked.h"
#include "sigproc/fft/simd_passes.h"
#include "sigproc/fft/trig_tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The tiled bit reversal takes two tiles of 32 KB into the work area.
constexpr std::int64_t kTileWorkBytes = 65536;

enum class Path { closedForm, direct, passes, blocked };

// Where every table of a slot's record of one order lies, in bytes from the
// record's start, and what its transforms need.
struct Layout {
    Path path = Path::closedForm;
    int m = 0;
    int passMaxM = 0; // longest run of the pass routine
    int depths = 0;
    sigFftColumnPlan columns[sigFftLevelSlots] = {};
    std::int64_t bitRev = 0, twiddles = 0, realSplit = 0, realRot = 0, end = 0;
    std::int64_t levelMatrix[sigFftLevelSlots] = {};
    std::int64_t workBytes = 0;
};

Layout layoutOf(const sigFftSimdSlot& slot, int order) {
    Layout layout;
    layout.end = sigFftHeaderBytes;
    if (order <= sigFftClosedFormMaxOrder) return layout;
    const int m = order - 1;
    const std::int64_t n = std::int64_t{1} << m;
    layout.m = m;
    layout.passMaxM = m;
    std::int64_t bitRevWords = 0;
    if (m <= slot.directMaxM) {
        layout.path = Path::direct;
        bitRevWords = sigFftSimdGroupRevWords(m);
        layout.workBytes = 8 * n;
    } else {
        layout.path = m < slot.blockedFromM ? Path::passes : Path::blocked;
        bitRevWords = sigFftSimdBitRevWords(m);
        layout.workBytes = kTileWorkBytes;
    }
    if (layout.path == Path::blocked) {
        int rowM = m;
        while (rowM > slot.rowMaxM && layout.depths < sigFftLevelSlots) {
            const sigFftColumnPlan plan = sigFftColumnPlanOf(slot, rowM);
            layout.columns[layout.depths++] = plan;
            layout.workBytes =
                std::max(layout.workBytes, 8 * (std::int64_t{1} << plan.a) * plan.width);
            rowM -= plan.a;
        }
        layout.passMaxM = rowM;
    }
    layout.bitRev = sigAlign32(sigFftHeaderBytes);
    layout.twiddles = sigAlign32(layout.bitRev + 4 * bitRevWords);
    std::int64_t next = sigAlign32(layout.twiddles + 4 * sigFftSimdTwiddleFloats(layout.passMaxM));
    for (int d = 0; d < layout.depths; ++d) {
        layout.levelMatrix[d] = next;
        next = sigAlign32(next + 4 * sigFftColumnTwiddleFloats(layout.columns[d]));
    }
    // The split and merge factors: N/4 (cos, sin) pairs each.
    const std::int64_t realBytes = 2 * (std::int64_t{1} << order);
    layout.realSplit = next;
    layout.realRot = sigAlign32(layout.realSplit + realBytes);
    layout.end = sigAlign32(layout.realRot + realBytes);
    return layout;
}

// The twiddle table: the 16-point twiddles, then a radix-4 section per span.
void buildTwiddles(float* table, int maxM, const sigFftSine& sine) {
    for (int k0 = 1; k0 <= 3; ++k0) {
        for (int u0 = 0; u0 < 4; ++u0) {
            float c = 0, s = 0;
            sine.cosSin(u0 * k0, 4, c, s);
            table[8 * (k0 - 1) + u0] = c;
            table[8 * (k0 - 1) + 4 + u0] = -s;
        }
    }
    const std::int64_t floats = sigFftSimdTwiddleFloats(maxM);
    for (std::ptrdiff_t span = 16; sigFftSimdSectionOf(span) < floats; span *= 4) {
        float* section = table + sigFftSimdSectionOf(span);
        int q = 2;
        while ((std::ptrdiff_t{1} << q) < 4 * span) ++q;
        for (std::ptrdiff_t k0 = 0; k0 < span; k0 += 4) {
            for (int j = 1; j <= 3; ++j) {
                for (int t = 0; t < 4; ++t) {
                    float c = 0, s = 0;
                    sine.cosSin(j * (k0 + t), q, c, s);
                    section[t] = c;
                    section[4 + t] = -s;
                }
                section += 8;
            }
        }
    }
}

void buildTables(sigFftSpecHeader& spec, const Layout& layout, const sigFftSine& sine) {
    spec.bitRev = static_cast<std::uint32_t>(layout.bitRev);
    auto* bitRev = spec.table<std::int32_t>(spec.bitRev);
    if (layout.path == Path::direct) {
        if (layout.m >= 4) sigFftSimdBuildGroupRev(bitRev, layout.m);
    } else {
        sigFftSimdBuildBitRev(bitRev, layout.m);
    }
    spec.twiddles = static_cast<std::uint32_t>(layout.twiddles);
    if (layout.passMaxM >= 4)
        buildTwiddles(spec.table<float>(spec.twiddles), layout.passMaxM, sine);
    for (int d = 0; d < layout.depths; ++d) {
        spec.levelMatrix[d] = static_cast<std::uint32_t>(layout.levelMatrix[d]);
        sigFftBuildColumnTwiddles(spec.table<float>(spec.levelMatrix[d]), layout.columns[d],
                                  [&](std::int64_t k, int q, float& c, float& negatedSine) {
                                      float s = 0;
                                      sine.cosSin(k, q, c, s);
                                      negatedSine = -s;
                                  });
    }
    spec.realSplit = static_cast<std::uint32_t>(layout.realSplit);
    sigFftBuildRealSplit(spec.table<float>(spec.realSplit), spec.order, sine);
    spec.realRot = static_cast<std::uint32_t>(layout.realRot);
    sigFftBuildRotation(spec.table<float>(spec.realRot), spec.order, sine);
    spec.workBytes = static_cast<std::int32_t>(layout.workBytes);
}

std::int64_t sineTableBytes(int order) {
    return order <= sigFftPieceOrder ? 0 : sigAlign32(4 * ((std::int64_t{1} << order) / 4 + 1));
}

} // namespace

sigFftSizes sigFftSimdSizesOf(const sigFftSimdSlot& slot, int order) {
    const Layout layout = layoutOf(slot, order);
    // 32 bytes for rounding each caller buffer up to its first 32-byte boundary.
    const std::int64_t init = sineTableBytes(order);
    return {layout.end + 32, init > 0 ? init + 32 : 0,
            layout.workBytes > 0 ? layout.workBytes + 32 : 0};
}

int sigFftSimdBuildRecord(const sigFftSimdSlot& slot, sigFftSpecHeader*& record, int order,
                          int flag, int hint, unsigned char* specBuf, unsigned char* initBuf) {
    if (order < 0 || order > sigFftMaxOrder) return sigErrFftOrder;
    const sigFftSizes sizes = sigFftSimdSizesOf(slot, order);
    constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();
    if (sizes.specBytes > most || sizes.initBytes > most || sizes.workBytes > most)
        return sigErrFftOrder;
    if (specBuf == nullptr) return sigErrNullPtr;

    sigNearestRounding nearest;
    sigFftSpecHeader* spec = sigFftStartHeader(specBuf, order, hint);
    spec->slot = slot.slot;
    if (!sigFftSetScaling(*spec, flag)) return sigErrFftFlag;
    if (order > sigFftClosedFormMaxOrder) {
        sigFftSine sine{};
        if (!sigFftRecordSine(order, initBuf, sine)) return sigErrNullPtr;
        buildTables(*spec, layoutOf(slot, order), sine);
    }
    // Last, so that a build that stops early never leaves a record that looks valid.
    spec->id = sigFftSpecId;
    record = spec;
    return sigOk;
}
