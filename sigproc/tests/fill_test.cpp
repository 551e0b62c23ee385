#include "sigproc/vector/fill.h"

#include "sigproc/sigproc.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

using testkit::bitsOf;
using testkit::floatOf;
using testkit::GuardedBuffer;

// Every length from 1 to 80 bytes at every offset within a word: exactly the
// requested bytes change, whatever the start address and remainder.
TEST(ByteKernels, WriteExactlyTheRequestedBytesAtAnyAlignment) {
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::int64_t bytes = 1; bytes <= 80; ++bytes) {
            GuardedBuffer<unsigned char> zeroed(static_cast<std::size_t>(bytes), offset, 0xFF);
            EXPECT_EQ(sigZeroBytes_8u(zeroed.data(), bytes), zeroed.data());
            for (std::int64_t i = 0; i < bytes; ++i)
                ASSERT_EQ(zeroed.get(static_cast<std::size_t>(i)), 0);
            EXPECT_TRUE(zeroed.guardsIntact()) << "zero offset " << offset << " bytes " << bytes;

            GuardedBuffer<unsigned char> source(static_cast<std::size_t>(bytes), (offset * 3) % 8);
            for (std::int64_t i = 0; i < bytes; ++i)
                source.set(static_cast<std::size_t>(i), static_cast<unsigned char>(i * 7 + 1));
            GuardedBuffer<unsigned char> copied(static_cast<std::size_t>(bytes), offset);
            sigCopyBytes_8u(source.data(), copied.data(), bytes);
            for (std::int64_t i = 0; i < bytes; ++i)
                ASSERT_EQ(copied.get(static_cast<std::size_t>(i)),
                          source.get(static_cast<std::size_t>(i)));
            EXPECT_TRUE(copied.guardsIntact()) << "copy offset " << offset << " bytes " << bytes;
        }
    }
}

// The test buffers themselves: fences and body inside their storage at any
// misalignment, not only below one 64-byte block.
TEST(GuardedBuffers, StayInsideTheirStorageAtAnyMisalignment) {
    for (std::size_t misalign : {0u, 1u, 63u, 64u, 65u, 100u, 257u}) {
        GuardedBuffer<float> buffer(3, misalign);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 64, misalign % 64);
        EXPECT_EQ(sigZero_32f(buffer.data(), 3), sigOk);
        EXPECT_TRUE(buffer.guardsIntact()) << misalign;
    }
}

// Ranges that touch or overlap: one just behind the other is a plain copy,
// and a destination below its source reads every byte before it is written,
// as a move does.
TEST(ByteKernels, CopiesBetweenTouchingAndOverlappingRanges) {
    for (std::int64_t bytes = 1; bytes <= 80; ++bytes)
        for (std::int64_t shift : {std::int64_t{1}, std::int64_t{4}, std::int64_t{7}, bytes}) {
            std::vector<unsigned char> buffer(std::size_t(bytes + shift) + 8);
            for (std::size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = static_cast<unsigned char>(i * 13 + 5);
            std::vector<unsigned char> want = buffer;
            std::memmove(want.data() + 3, want.data() + 3 + shift, std::size_t(bytes));
            sigCopyBytes_8u(buffer.data() + 3 + shift, buffer.data() + 3, bytes);
            ASSERT_EQ(buffer, want) << "bytes " << bytes << " shift " << shift;
        }
}

TEST(ByteKernels, NonPositiveCountsWriteNothing) {
    GuardedBuffer<unsigned char> buffer(8);
    sigZeroBytes_8u(buffer.data(), 0);
    sigZeroBytes_8u(buffer.data(), -4);
    sigCopyBytes_8u(buffer.data() + 4, buffer.data(), -1);
    sigSetKernel_32s(7, buffer.data(), 0);
    EXPECT_TRUE(buffer.unchanged());
}

TEST(Zero, OneElementAtAnOddAddressClearsExactlyFourBytes) {
    GuardedBuffer<float> buffer(1, 1, 0xFF);
    EXPECT_EQ(sigZero_32f(buffer.data(), 1), sigOk);
    EXPECT_EQ(bitsOf(buffer.get(0)), 0u);
    EXPECT_TRUE(buffer.guardsIntact());
}

TEST(Set, StoresTheBitPatternUnchanged) {
    for (std::uint32_t pattern : {0x80000000u /* -0.0 */, 0x7FC01234u /* quiet NaN payload */,
                                  0x7F800001u /* signalling NaN */, 0x00000001u /* denormal */}) {
        GuardedBuffer<float> buffer(19, 2);
        EXPECT_EQ(sigSet_32f(floatOf(pattern), buffer.data(), 19), sigOk);
        for (std::size_t i = 0; i < 19; ++i) EXPECT_EQ(bitsOf(buffer.get(i)), pattern) << i;
        EXPECT_TRUE(buffer.guardsIntact());
    }
    GuardedBuffer<std::int32_t> words(9, 1);
    EXPECT_EQ(sigSet_32s(-1, words.data(), 9), sigOk);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(words.get(i), -1);
    EXPECT_TRUE(words.guardsIntact());
    EXPECT_EQ(sigSet_32s(1, nullptr, 0), sigErrNullPtr);
    EXPECT_EQ(sigSet_32s(1, words.data(), 0), sigErrLength);
}

class MoveTest : public ::testing::Test {
protected:
    std::vector<float> ramp(std::size_t n) {
        std::vector<float> v(n);
        std::iota(v.begin(), v.end(), 1.0f);
        return v;
    }
};

TEST_F(MoveTest, ShiftsDownAndUpThroughOverlap) {
    std::vector<float> v = ramp(40);
    EXPECT_EQ(sigMove_32f_generic(v.data() + 1, v.data(), 39), sigOk); // down by one
    for (int i = 0; i < 39; ++i) EXPECT_EQ(v[static_cast<std::size_t>(i)], float(i + 2));
    EXPECT_EQ(v[39], 40.0f);

    v = ramp(40);
    EXPECT_EQ(sigMove_32f_generic(v.data(), v.data() + 1, 39), sigOk); // up by one
    EXPECT_EQ(v[0], 1.0f);
    for (int i = 1; i < 40; ++i) EXPECT_EQ(v[static_cast<std::size_t>(i)], float(i));

    v = ramp(40);
    EXPECT_EQ(sigMove_32f_generic(v.data(), v.data(), 40), sigOk);
    EXPECT_EQ(v, ramp(40));
}

TEST_F(MoveTest, DistantArraysAndLargeOverlapsMoveWhole) {
    std::vector<float> far = ramp(1000);
    std::vector<float> other(1000);
    EXPECT_EQ(sigMove_32f_generic(far.data(), other.data(), 1000), sigOk);
    EXPECT_EQ(other, far);

    std::vector<float> v = ramp(1000);
    EXPECT_EQ(sigMove_32f_generic(v.data(), v.data() + 333, 667), sigOk);
    for (int i = 0; i < 667; ++i) ASSERT_EQ(v[static_cast<std::size_t>(333 + i)], float(i + 1));
}

TEST_F(MoveTest, ChecksPointersThenLength) {
    float x[2] = {};
    EXPECT_EQ(sigMove_32f_generic(nullptr, x, 0), sigErrNullPtr);
    EXPECT_EQ(sigMove_32f_generic(x, nullptr, 1), sigErrNullPtr);
    EXPECT_EQ(sigMove_32f_generic(x, x + 1, 0), sigErrLength);
}

TEST(Copy, SameRangeIsAccepted) {
    std::vector<float> v{1.0f, -2.0f, 3.5f};
    EXPECT_EQ(sigCopy_32f(v.data(), v.data(), 3), sigOk);
    EXPECT_EQ(v, (std::vector<float>{1.0f, -2.0f, 3.5f}));
}

} // namespace
