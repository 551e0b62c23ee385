#include "driver/common/pool_object.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr kernel::PoolTag SampleTag = kernel::poolTag("Smpl");

TEST(PoolOperators, BlocksAreZeroFilledAndCarryTypeAndTag) {
    struct CSample : CPoolObject {
        int m_nValue;
        unsigned char m_Bytes[40];
    };
    CSample* sample = new (kernel::PoolType::Paged, SampleTag) CSample;
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->m_nValue, 0);
    const unsigned char zeros[40] = {};
    EXPECT_EQ(std::memcmp(sample->m_Bytes, zeros, 40), 0);
    const auto block = kernel::poolFindBlock(sample);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->type, kernel::PoolType::Paged);
    EXPECT_EQ(block->tag, SampleTag);
    delete sample;
    CSample* none = nullptr;
    delete none; // ignored
}

TEST(PoolOperators, RefusedBlockGivesNullAndNoConstruction) {
    struct CCounted : CPoolObject {
        explicit CCounted(int& constructions) { ++constructions; }
    };
    kernel::failPoolTag(SampleTag);
    int constructions = 0;
    CCounted* object = new (kernel::PoolType::NonPagedNx, SampleTag) CCounted(constructions);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(constructions, 0);
}

} // namespace
