#include "driver/common/list.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr kernel::PoolTag OwnerTag = kernel::poolTag("HALB");

int payloads[6] = {0, 1, 2, 3, 4, 5};
void* payload(int i) { return &payloads[i]; }

// The usual walk: count, head, then GetNext count times.
std::vector<int> contents(const CList& list) {
    std::vector<int> seen;
    CListNode* position = list.GetHead();
    const std::int32_t count = list.GetCount();
    for (std::int32_t i = 0; i < count; ++i) {
        void* data = nullptr;
        EXPECT_TRUE(list.GetNext(position, &data));
        seen.push_back(*static_cast<int*>(data));
    }
    EXPECT_EQ(position, nullptr);
    return seen;
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Owners allocate their lists from the pool under their own tag.
        list = new (kernel::PoolType::NonPagedNx, OwnerTag) CList;
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override { delete list; }
    CList* list = nullptr;
};

TEST_F(ListTest, NewListIsEmpty) {
    EXPECT_TRUE(list->IsEmpty());
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetHead(), nullptr);
    void* data = payload(1);
    EXPECT_FALSE(list->GetHeadData(&data));
    EXPECT_EQ(data, nullptr); // set to null on an empty list
    data = payload(1);
    EXPECT_FALSE(list->GetTailData(&data));
    EXPECT_EQ(data, nullptr);
    EXPECT_FALSE(list->RemoveHead(&data));
    data = payload(1);
    EXPECT_FALSE(list->GetAt(0, &data));
    EXPECT_EQ(data, payload(1)); // untouched
}

TEST_F(ListTest, AddsAtBothEndsAndInsertsBefore) {
    list->AddTail(payload(2));
    list->AddHead(payload(1));
    CListNode* four = list->AddTail(payload(4));
    list->InsertBefore(four, payload(3));
    list->InsertBefore(nullptr, payload(0));         // null position: at the head
    list->InsertBefore(list->GetHead(), payload(5)); // head position: at the head
    EXPECT_EQ(contents(*list), (std::vector<int>{5, 0, 1, 2, 3, 4}));
    EXPECT_EQ(list->GetCount(), 6);

    void* data = nullptr;
    EXPECT_TRUE(list->GetHeadData(&data));
    EXPECT_EQ(data, payload(5));
    EXPECT_TRUE(list->GetTailData(&data));
    EXPECT_EQ(data, payload(4));
    EXPECT_TRUE(list->GetData(four, &data));
    EXPECT_EQ(data, payload(4));
    EXPECT_EQ(kernel::poolLiveBlocks(ListNodeTag), 6u);
}

TEST_F(ListTest, GetAtWalksFromTheHeadAndStopsAtTheCount) {
    for (int i = 0; i < 3; ++i) list->AddTail(payload(i));
    void* data = nullptr;
    EXPECT_TRUE(list->GetAt(2, &data));
    EXPECT_EQ(data, payload(2));
    data = payload(5);
    EXPECT_FALSE(list->GetAt(3, &data)); // equal to the count
    EXPECT_EQ(data, payload(5));
    EXPECT_FALSE(list->GetAt(0xFFFFFFFFu, &data));
}

TEST_F(ListTest, RemovingTheOnlyNodeLeavesAnEmptyList) {
    CListNode* only = list->AddTail(payload(3));
    list->RemoveAt(only);
    EXPECT_EQ(list->GetHead(), nullptr);
    EXPECT_EQ(list->GetCount(), 0);
    void* data = payload(1);
    EXPECT_FALSE(list->GetTailData(&data));
    EXPECT_EQ(kernel::poolLiveBlocks(ListNodeTag), 0u);

    list->AddTail(payload(4)); // head and tail are both usable again
    EXPECT_EQ(contents(*list), (std::vector<int>{4}));
}

TEST_F(ListTest, RemovesFromTheMiddleAndTheHead) {
    list->AddTail(payload(0));
    CListNode* middle = list->AddTail(payload(1));
    CListNode* last = list->AddTail(payload(2));
    list->RemoveAt(middle);
    EXPECT_EQ(contents(*list), (std::vector<int>{0, 2}));
    list->RemoveAt(last);
    EXPECT_EQ(contents(*list), (std::vector<int>{0}));

    void* data = nullptr;
    EXPECT_FALSE(list->RemoveHead(nullptr));
    EXPECT_TRUE(list->RemoveHead(&data));
    EXPECT_EQ(data, payload(0));
    EXPECT_TRUE(list->IsEmpty());
    list->RemoveAt(nullptr); // ignored
}

TEST_F(ListTest, NullArgumentsAreRefused) {
    CListNode* node = list->AddTail(payload(1));
    void* data = nullptr;
    EXPECT_FALSE(list->GetData(nullptr, &data));
    EXPECT_FALSE(list->GetData(node, nullptr));
    EXPECT_FALSE(list->GetHeadData(nullptr));
    CListNode* position = nullptr;
    EXPECT_FALSE(list->GetNext(position, &data));
    position = node;
    EXPECT_FALSE(list->GetNext(position, nullptr));
    EXPECT_EQ(position, node); // not moved
}

TEST_F(ListTest, AllocationFailureLeavesTheListUnchanged) {
    list->AddTail(payload(1));
    CListNode* tail = list->AddTail(payload(2));
    kernel::failPoolTag(ListNodeTag);
    EXPECT_EQ(list->AddTail(payload(3)), nullptr);
    EXPECT_EQ(list->AddHead(payload(3)), nullptr);
    EXPECT_EQ(list->InsertBefore(tail, payload(3)), nullptr);
    EXPECT_EQ(list->InsertBefore(nullptr, payload(3)), nullptr);
    kernel::clearPoolFaults();
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(contents(*list), (std::vector<int>{1, 2}));
}

TEST_F(ListTest, DestroyingTheListFreesItsNodesButNotThePayloads) {
    int* owned = static_cast<int*>(
        kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(int), OwnerTag));
    list->AddTail(owned);
    list->AddTail(payload(1));
    delete list;
    list = nullptr;
    EXPECT_EQ(kernel::poolLiveBlocks(ListNodeTag), 0u);
    EXPECT_TRUE(kernel::poolFindBlock(owned).has_value());
    kernel::freePool(owned);
}

} // namespace
