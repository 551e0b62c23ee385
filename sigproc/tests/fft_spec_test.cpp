// Real-FFT specifications: sizes, the built record and its tables, the
// allocate-and-build and free operations, and their statuses.
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/tests/fft_reference.h"
#include "testkit/alloc_hooks.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

namespace {

using testkit::CountingAllocator;
using testkit::GuardedBuffer;

using fftref::Sizes;

Sizes sizesOf(int order) {
    return fftref::queriedSizes(sigFftGetSize_R_32f, order, sigFftScaleInv);
}

using BuiltInCallerBuffers =
    fftref::BuiltRecord<sigFftSpec_R_32f, sigFftGetSize_R_32f, sigFftInit_R_32f>;

TEST(FftSpec, SizesOfTheDocumentedOrders) {
    for (int order = 0; order <= 3; ++order) EXPECT_EQ(sizesOf(order), (Sizes{116, 0, 0}));
    EXPECT_EQ(sizesOf(4), (Sizes{320, 0, 0}));
    EXPECT_EQ(sizesOf(5), (Sizes{448, 0, 0}));
    EXPECT_EQ(sizesOf(6), (Sizes{736, 0, 0}));
    EXPECT_EQ(sizesOf(7), (Sizes{1280, 0, 0}));
    EXPECT_EQ(sizesOf(8), (Sizes{2368, 0, 0}));
    EXPECT_EQ(sizesOf(9), (Sizes{4544, 0, 0}));
    EXPECT_EQ(sizesOf(10), (Sizes{8896, 0, 0}));
    EXPECT_EQ(sizesOf(11), (Sizes{17600, 2112, 0}));
    EXPECT_EQ(sizesOf(12), (Sizes{30912, 4160, 0}));
    EXPECT_EQ(sizesOf(13), (Sizes{53440, 8256, 0}));
    EXPECT_EQ(sizesOf(14), (Sizes{141792, 17536, 1056}));
    EXPECT_EQ(sizesOf(15), (Sizes{281312, 34976, 2080}));
    EXPECT_EQ(sizesOf(16), (Sizes{560352, 69856, 4128}));
    EXPECT_EQ(sizesOf(17), (Sizes{1118432, 139616, 8224}));
    EXPECT_EQ(sizesOf(20), (Sizes{8925408, 1082464, 32800}));
    EXPECT_EQ(sizesOf(24), (Sizes{142873856, 16790016, 8224}));
    EXPECT_EQ(sizesOf(27), (Sizes{1141387520, 134260096, 32800}));
}

TEST(FftSpec, SizesAreIndependentOfFlagAndHint) {
    for (int order = 0; order <= 27; ++order) {
        const Sizes reference = sizesOf(order);
        for (int flag : fftref::kFlags) {
            for (int hint : {0, 1, -5}) {
                Sizes s;
                ASSERT_EQ(sigFftGetSize_R_32f(order, flag, hint, &s.spec, &s.init, &s.work), sigOk);
                EXPECT_EQ(s, reference) << "order " << order;
            }
        }
    }
}

// The build stays inside buffers of exactly the queried sizes, wherever they
// start, and reports the same work size as the size query.
TEST(FftSpec, EveryOrderBuildsWithinItsQueriedSizes) {
    for (int order = 0; order <= 22; ++order) {
        for (std::size_t misalign : {std::size_t{0}, std::size_t{1}, std::size_t{31}}) {
            BuiltInCallerBuffers built(order, sigFftScaleNone, misalign);
            ASSERT_EQ(built.status(), sigOk) << order;
            EXPECT_TRUE(built.guardsIntact()) << "order " << order << " misalign " << misalign;
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(built.record()) % 32, 0u);
            EXPECT_LT(reinterpret_cast<unsigned char*>(built.record()) - built.buffer(), 32);
            int work = -1;
            ASSERT_EQ(sigFftGetBufSize_R_32f(built.record(), &work), sigOk);
            EXPECT_EQ(work, built.sizes().work) << order;
        }
    }
}

TEST(FftSpec, OrdersWhoseSizesExceedTheSizeWordsAreRefusedUnwritten) {
    for (int order : {-1, 28, 29, 30, 31, INT32_MIN}) {
        int spec = 11, init = 12, work = 13;
        EXPECT_EQ(sigFftGetSize_R_32f(order, sigFftScaleInv, 0, &spec, &init, &work),
                  sigErrFftOrder)
            << order;
        EXPECT_EQ(spec, 11);
        EXPECT_EQ(init, 12);
        EXPECT_EQ(work, 13);

        GuardedBuffer<unsigned char> buffer(256, 0, 0x5A);
        GuardedBuffer<unsigned char> initBuffer(256, 0, 0x5A);
        sigFftSpec_R_32f* record = nullptr;
        EXPECT_EQ(
            sigFftInit_R_32f(&record, order, sigFftScaleInv, 0, buffer.bytes(), initBuffer.bytes()),
            sigErrFftOrder);
        EXPECT_TRUE(buffer.unchanged());
        EXPECT_TRUE(initBuffer.unchanged());
        EXPECT_EQ(record, nullptr);

        CountingAllocator hooks;
        EXPECT_EQ(sigFftInitAlloc_R_32f(&record, order, sigFftScaleInv, 0), sigErrFftOrder);
        EXPECT_EQ(hooks.allocations(), 0);
        EXPECT_EQ(record, nullptr);
    }
}

TEST(FftSpec, SizeQueryChecksOrderThenPointersThenFlag) {
    int spec = 1, init = 2, work = 3;
    EXPECT_EQ(sigFftGetSize_R_32f(40, 3, 0, nullptr, &init, &work), sigErrFftOrder);
    EXPECT_EQ(sigFftGetSize_R_32f(10, 3, 0, nullptr, &init, &work), sigErrNullPtr);
    EXPECT_EQ(sigFftGetSize_R_32f(10, 3, 0, &spec, nullptr, &work), sigErrNullPtr);
    EXPECT_EQ(sigFftGetSize_R_32f(10, 3, 0, &spec, &init, nullptr), sigErrNullPtr);
    for (int flag : {0, 3, 5, 16, -1})
        EXPECT_EQ(sigFftGetSize_R_32f(10, flag, 0, &spec, &init, &work), sigErrFftFlag);
    EXPECT_EQ(spec, 1);
    EXPECT_EQ(init, 2);
    EXPECT_EQ(work, 3);
}

TEST(FftSpec, ScalingWordsFollowTheFlag) {
    struct Case {
        int flag, fwd, inv;
        float factor;
    };
    for (const Case& c :
         {Case{sigFftScaleFwd, 1, 0, 0.0009765625f}, Case{sigFftScaleInv, 0, 1, 0.0009765625f},
          Case{sigFftScaleBothSqrt, 1, 1, 0.03125f}, Case{sigFftScaleNone, 0, 0, 0.0f}}) {
        BuiltInCallerBuffers built(10, c.flag);
        ASSERT_EQ(built.status(), sigOk);
        const sigFftSpec_R_32f& s = *built.record();
        EXPECT_EQ(s.id, 6);
        EXPECT_EQ(s.order, 10);
        EXPECT_EQ(s.scaleFwd, c.fwd);
        EXPECT_EQ(s.scaleInv, c.inv);
        EXPECT_EQ(testkit::bitsOf(s.scaleFactor), testkit::bitsOf(c.factor)) << c.flag;
        EXPECT_EQ(s.hint, 7);
        EXPECT_EQ(s.allocated, 0);
    }
    BuiltInCallerBuffers eleven(11, sigFftScaleBothSqrt);
    EXPECT_EQ(eleven.record()->scaleFactor, 0.022097087f);
}

TEST(FftSpec, OrderTenLayout) {
    BuiltInCallerBuffers built(10, sigFftScaleInv);
    ASSERT_EQ(built.status(), sigOk);
    const sigFftSpec_R_32f& s = *built.record();
    EXPECT_EQ(s.workBytes, 0);
    EXPECT_EQ(s.bitRev, 84u); // right behind the header
    // 129 pair-table words, then 129 twiddle groups, then 256 pairs each of realSplit and realRot.
    EXPECT_EQ(std::int64_t{s.twiddles}, sigAlign32(84 + 129 * 4));
    EXPECT_EQ(std::int64_t{s.realSplit}, sigAlign32(s.twiddles + 129 * 24));
    EXPECT_EQ(std::int64_t{s.realRot}, sigAlign32(s.realSplit + 256 * 8));
    EXPECT_LE(s.realRot + 256 * 8 +
                  (reinterpret_cast<unsigned char*>(built.record()) - built.buffer()),
              8896);
    EXPECT_EQ(s.rotTable, 0u);
    EXPECT_EQ(s.reserved1, 0u);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(s.levelTwiddles[d], 0u);
        EXPECT_EQ(s.levelMatrix[d], 0u);
    }

    const float* rot = s.table<float>(s.realRot);
    EXPECT_EQ(rot[0], 1.0f);
    EXPECT_EQ(testkit::bitsOf(rot[1]), testkit::bitsOf(-0.0f));
    EXPECT_EQ(rot[256], 0.70710677f);
    EXPECT_EQ(rot[257], -0.70710677f);
    const float* split = s.table<float>(s.realSplit);
    EXPECT_EQ(split[0], 0.5f);
    EXPECT_EQ(split[1], 0.5f);
    // Group i of the twiddles holds W^i, W^2i, W^3i of the 512-point transform.
    const float* groups = s.table<float>(s.twiddles);
    for (int i = 0; i <= 128; ++i) {
        for (int power = 1; power <= 3; ++power) {
            const double angle = 2 * std::numbers::pi * power * i / 512.0;
            EXPECT_NEAR(groups[6 * i + 2 * power - 2], std::cos(angle), 6e-8) << i << " " << power;
            EXPECT_NEAR(groups[6 * i + 2 * power - 1], -std::sin(angle), 6e-8) << i << " " << power;
        }
    }
}

TEST(FftSpec, SmallOrdersHaveOnlyAHeader) {
    for (int order = 0; order <= 3; ++order) {
        GuardedBuffer<unsigned char> buffer(116, 5, 0x77);
        sigFftSpec_R_32f* record = nullptr;
        ASSERT_EQ(sigFftInit_R_32f(&record, order, sigFftScaleFwd, 0, buffer.bytes(), nullptr),
                  sigOk);
        EXPECT_TRUE(buffer.guardsIntact());
        EXPECT_EQ(record->workBytes, 0);
        for (std::uint32_t offset :
             {record->bitRev, record->twiddles, record->rotTable, record->realSplit,
              record->realRot, record->levelTwiddles[0], record->levelMatrix[0]}) {
            EXPECT_EQ(offset, 0u);
        }
        int work = -1;
        EXPECT_EQ(sigFftGetBufSize_R_32f(record, &work), sigOk);
        EXPECT_EQ(work, 0);
    }
}

TEST(FftSpec, SplitOrdersCarryTheirLevelTables) {
    for (int order : {12, 13}) {
        BuiltInCallerBuffers built(order, sigFftScaleInv);
        const sigFftSpec_R_32f& s = *built.record();
        EXPECT_NE(s.rotTable, 0u) << order;
        EXPECT_EQ(s.levelTwiddles[0], 0u);
        EXPECT_EQ(s.levelMatrix[0], 0u);
        EXPECT_EQ(s.workBytes, 0);
    }
    BuiltInCallerBuffers fourteen(14, sigFftScaleInv);
    const sigFftSpec_R_32f& s = *fourteen.record();
    EXPECT_EQ(s.rotTable, 0u);
    EXPECT_NE(s.levelTwiddles[0], 0u);
    EXPECT_NE(s.levelMatrix[0], 0u);
    EXPECT_EQ(s.levelTwiddles[1], 0u);
    EXPECT_EQ(s.workBytes, 1024);
    // The inter-block matrix of 2^13 values in 32 rows: entry (g*32 + c)*4 + t is
    // W^((4g+t) * rev5(c)).
    const float* matrix = s.table<float>(s.levelMatrix[0]);
    for (int g : {0, 1, 63}) {
        for (int c : {0, 1, 6, 31}) {
            const int reversed =
                ((c & 1) << 4) | ((c & 2) << 2) | (c & 4) | ((c & 8) >> 2) | ((c & 16) >> 4);
            for (int t = 0; t < 4; ++t) {
                const double angle = 2 * std::numbers::pi * (4 * g + t) * reversed / 8192.0;
                const float* entry = matrix + 2 * ((g * 32 + c) * 4 + t);
                EXPECT_NEAR(entry[0], std::cos(angle), 1e-7) << g << " " << c << " " << t;
                EXPECT_NEAR(entry[1], -std::sin(angle), 1e-7) << g << " " << c << " " << t;
            }
        }
    }
}

TEST(FftSpec, PairTablesDriveTheBitReversal) {
    std::int32_t table[5];
    sigFftBuildPairTable(table, 3);
    EXPECT_EQ(std::vector<std::int32_t>(table, table + 3), (std::vector<std::int32_t>{0, 4, 0}));
    sigFftBuildPairTable(table, 4);
    EXPECT_EQ(std::vector<std::int32_t>(table, table + 5),
              (std::vector<std::int32_t>{4, 8, 0, 12, 0}));

    for (int q = 2; q <= 14; ++q) {
        const std::size_t n = std::size_t{1} << q;
        std::vector<std::int32_t> pairs(n / 4 + 1);
        sigFftBuildPairTable(pairs.data(), q);
        std::vector<float> data(2 * n), copy(2 * n);
        for (std::size_t i = 0; i < 2 * n; ++i) data[i] = float(i);
        sigFftBitRevCopy_32fc(data.data(), copy.data(), q, pairs.data());
        sigFftBitRevInPlace_32fc(data.data(), q, pairs.data());
        EXPECT_EQ(data, copy) << q;
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t reversed = 0;
            for (int bit = 0; bit < q; ++bit) reversed |= ((i >> bit) & 1) << (q - 1 - bit);
            ASSERT_EQ(data[2 * i], float(2 * reversed)) << "q " << q << " element " << i;
            ASSERT_EQ(data[2 * i + 1], float(2 * reversed + 1));
        }
    }
}

// Tables are data: the caller's rounding mode must not change one bit of them.
TEST(FftSpec, TablesDoNotDependOnTheRoundingMode) {
    for (int order : {10, 14}) {
        std::vector<unsigned char> reference;
        for (int mode : testkit::kRoundingModes) {
            testkit::FenvGuard rounding(mode);
            BuiltInCallerBuffers built(order, sigFftScaleBothSqrt);
            ASSERT_EQ(built.status(), sigOk);
            const auto* bytes = reinterpret_cast<const unsigned char*>(built.record());
            std::vector<unsigned char> image(bytes, bytes + built.sizes().spec - 32);
            if (reference.empty()) {
                reference = image;
            } else {
                EXPECT_TRUE(image == reference) << "order " << order << " mode " << mode;
            }
        }
    }
}

// Builds on several threads at once share the sine table made on first use:
// it is made once, and every record equals one built alone afterwards. (ctest
// runs each test in a process of its own, so these are the first builds.)
TEST(FftSpec, RecordsBuiltOnSeveralThreadsAtOnceAreTheSame) {
    constexpr int kThreads = 8;
    const std::size_t bytes = std::size_t(sizesOf(10).spec);
    std::vector<std::unique_ptr<GuardedBuffer<unsigned char>>> buffers;
    for (int t = 0; t < kThreads; ++t)
        buffers.push_back(std::make_unique<GuardedBuffer<unsigned char>>(bytes));
    std::vector<sigFftSpec_R_32f*> records(kThreads, nullptr);
    std::vector<int> statuses(kThreads, sigOk - 1);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            statuses[t] =
                sigFftInit_R_32f(&records[t], 10, sigFftScaleInv, 7, buffers[t]->bytes(), nullptr);
        });
    }
    for (std::thread& thread : threads) thread.join();

    BuiltInCallerBuffers alone(10, sigFftScaleInv);
    ASSERT_EQ(alone.status(), sigOk);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(statuses[t], sigOk) << t;
        EXPECT_EQ(std::memcmp(records[t], alone.record(), bytes - 32), 0) << "thread " << t;
    }
}

TEST(FftSpec, ARejectedFlagLeavesAnInvalidRecord) {
    for (int flag : {0, 3, 5, 16}) {
        GuardedBuffer<unsigned char> buffer(8896, 3, 0xFF);
        sigFftSpec_R_32f* record = nullptr;
        EXPECT_EQ(sigFftInit_R_32f(&record, 10, flag, 0, buffer.bytes(), nullptr), sigErrFftFlag);
        EXPECT_EQ(record, nullptr);
        std::int32_t id;
        std::memcpy(&id, buffer.bytes() + 29,
                    4); // the 32-byte boundary of a buffer 3 bytes past one
        EXPECT_EQ(id, 0);
        int work;
        EXPECT_EQ(
            sigFftGetBufSize_R_32f(reinterpret_cast<sigFftSpec_R_32f*>(buffer.bytes() + 29), &work),
            sigErrStateMismatch);
    }
}

// The id is written last: a build refused for want of its init buffer never
// leaves a record that the transforms would accept.
TEST(FftSpec, AMissingInitBufferLeavesAnInvalidRecord) {
    GuardedBuffer<unsigned char> buffer(17600, 0, 0xFF);
    sigFftSpec_R_32f* record = nullptr;
    EXPECT_EQ(sigFftInit_R_32f(&record, 11, sigFftScaleInv, 0, buffer.bytes(), nullptr),
              sigErrNullPtr);
    EXPECT_EQ(record, nullptr);
    auto* header = reinterpret_cast<sigFftSpec_R_32f*>(buffer.bytes());
    EXPECT_EQ(header->id, 0);
    std::vector<float> data(2048, 1.0f);
    EXPECT_EQ(sigFftFwd_R_32f(data.data(), data.data(), header, nullptr), sigErrStateMismatch);
    EXPECT_EQ(sigFftInvInPlace_R_32f(data.data(), header, nullptr), sigErrStateMismatch);
}

TEST(FftSpec, BuildChecksPointersAndOrderFirst) {
    unsigned char buffer[256];
    sigFftSpec_R_32f* record = nullptr;
    EXPECT_EQ(sigFftInit_R_32f(nullptr, 40, 3, 0, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftInit_R_32f(&record, 40, 3, 0, nullptr, nullptr), sigErrFftOrder);
    EXPECT_EQ(sigFftInit_R_32f(&record, 4, 3, 0, nullptr, nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftInit_R_32f(&record, 4, 3, 0, buffer, nullptr), sigErrFftFlag);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(sigFftInitAlloc_R_32f(nullptr, 4, 3, 0), sigErrNullPtr);
    EXPECT_EQ(sigFftInitAlloc_R_32f(&record, 4, 3, 0), sigErrFftFlag);
}

TEST(FftSpec, FreeInvalidatesACallerRecordAndReleasesOnlyLibraryBlocks) {
    CountingAllocator hooks;
    BuiltInCallerBuffers built(10, sigFftScaleInv);
    EXPECT_EQ(sigFftFree_R_32f(built.record()), sigOk);
    EXPECT_EQ(sigFftFree_R_32f(built.record()), sigErrStateMismatch);
    int work;
    EXPECT_EQ(sigFftGetBufSize_R_32f(built.record(), &work), sigErrStateMismatch);
    EXPECT_EQ(hooks.releases(), 0);

    sigFftSpec_R_32f* record = nullptr;
    ASSERT_EQ(sigFftInitAlloc_R_32f(&record, 14, sigFftScaleInv, 0), sigOk);
    EXPECT_EQ(record->allocated, 1);
    EXPECT_EQ(hooks.liveBlocks(), 1u); // the init block is already back
    EXPECT_EQ(sigFftFree_R_32f(record), sigOk);
    EXPECT_EQ(hooks.liveBlocks(), 0u);
    EXPECT_EQ(hooks.foreignReleases(), 0);

    EXPECT_EQ(sigFftFree_R_32f(nullptr), sigErrNullPtr);
    EXPECT_EQ(sigFftGetBufSize_R_32f(nullptr, &work), sigErrNullPtr);
    EXPECT_EQ(sigFftGetBufSize_R_32f(built.record(), nullptr), sigErrNullPtr);
}

// Every allocation the allocate-and-build variant makes can fail; each
// failure gives -9, leaves no block behind and does not touch the result.
TEST(FftSpec, AllocationFailureInsideInitAllocLeaksNothing) {
    for (int order : {3, 10, 11, 14}) {
        int attempts = 0;
        for (int failing = 1;; ++failing) {
            CountingAllocator hooks;
            hooks.failNth(failing);
            auto* const untouched = reinterpret_cast<sigFftSpec_R_32f*>(std::uintptr_t{0x1234});
            sigFftSpec_R_32f* record = untouched;
            const int status = sigFftInitAlloc_R_32f(&record, order, sigFftScaleInv, 0);
            if (status == sigOk) {
                EXPECT_EQ(hooks.liveBlocks(), 1u);
                EXPECT_EQ(sigFftFree_R_32f(record), sigOk);
                EXPECT_EQ(hooks.liveBlocks(), 0u);
                break;
            }
            ++attempts;
            EXPECT_EQ(status, sigErrNoMemory) << "order " << order << " failing " << failing;
            EXPECT_EQ(record, untouched);
            EXPECT_EQ(hooks.liveBlocks(), 0u) << "order " << order << " failing " << failing;
            EXPECT_EQ(hooks.foreignReleases(), 0);
            ASSERT_LT(failing, 10);
        }
        EXPECT_EQ(attempts, sizesOf(order).init > 0 ? 2 : 1) << order;
    }
}

} // namespace
