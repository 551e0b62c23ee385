#include "sigproc/core/dispatch.h"

#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

namespace {

int memberAt0(int x) { return x + 0; }
int memberAt1(int x) { return x + 100; }
int memberAt2(int x) { return x + 200; }
int memberAt3(int x) { return x + 300; }
int memberAt4(int x) { return x + 400; }
int memberAt5(int x) {
    return -x;
} // a member whose result is a warning-like positive or negative value

const sigGroup<int(int)> distinctMembers{
    {memberAt0, memberAt1, memberAt2, memberAt3, memberAt4, memberAt5}};

class LevelOverride {
public:
    explicit LevelOverride(int level) { sigCpuLevel.store(level); }
    ~LevelOverride() { sigCpuLevel.store(0); }
};

TEST(Dispatch, LevelStartsAtZeroSoTheGenericMemberRuns) {
    EXPECT_EQ(sigCpuLevel.load(), 0);
    EXPECT_EQ(sigDispatch(distinctMembers, 7), 7);
}

TEST(Dispatch, EachLevelSelectsItsSlotAndOutOfRangeReadsSlotZero) {
    for (int level = 0; level < sigSlotCount; ++level) {
        LevelOverride override(level);
        EXPECT_EQ(sigDispatch(distinctMembers, 5), level == 5 ? -5 : 5 + 100 * level);
    }
    for (int level : {-1, 6, 1000, INT32_MIN}) {
        LevelOverride override(level);
        EXPECT_EQ(sigDispatch(distinctMembers, 5), 5) << "level " << level;
    }
}

TEST(Dispatch, EntryReturnsTheMembersStatusUnchanged) {
    // A positive warning travels through the entry point as the member gave it.
    float plane[4] = {};
    const float* planes[] = {plane + 1}; // misaligned on purpose
    float out[4];
    EXPECT_EQ(sigInterleave_32f(planes, 1, 2, out), sigWarnMisaligned);
}

} // namespace
