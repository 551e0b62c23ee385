#include "driver/common/list.h"
#include "driver/common/mutex_lock.h"
#include "driver/common/object_model.h"
#include "driver/common/pool_object.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace {

constexpr kernel::PoolTag SampleTag = kernel::poolTag("Smpl");

TEST(PoolObject, BlockIsZeroFilledAndCarriesTypeAndTag) {
    constexpr std::size_t bytes = 44;
    void* block = CPoolObject::operator new(bytes, kernel::PoolType::Paged, SampleTag);
    ASSERT_NE(block, nullptr);
    const unsigned char zeros[bytes] = {};
    EXPECT_EQ(std::memcmp(block, zeros, bytes), 0); // not the pool's own fill
    const auto found = kernel::poolFindBlock(block);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->type, kernel::PoolType::Paged);
    EXPECT_EQ(found->tag, SampleTag);
    EXPECT_EQ(found->bytes, bytes);
    CPoolObject::operator delete(block);
    EXPECT_EQ(kernel::poolLiveBlocks(SampleTag), 0u);
    CPoolObject::operator delete(nullptr); // ignored
}

TEST(PoolObject, RefusedBlockGivesNullAndNoConstruction) {
    struct CCounted : CPoolObject {
        explicit CCounted(int& constructions) { ++constructions; }
    };
    kernel::failPoolTag(SampleTag);
    int constructions = 0;
    CCounted* object = new (kernel::PoolType::NonPagedNx, SampleTag) CCounted(constructions);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(constructions, 0);
}

// A fresh pool block holds 0xA5 in every byte. Built there rather than in a
// zero-filled block, an object shows any member its constructors leave alone.
// Without arguments it is default-initialised, as `new (type, tag) T` does;
// `T()` would zero the members first and hide the fault.
template <class T, class... Args> T* NewOnFreshBlock(Args&&... args) {
    void* block = kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(T), SampleTag);
    if (block == nullptr) return nullptr;
    if constexpr (sizeof...(Args) == 0)
        return ::new (block) T;
    else
        return ::new (block) T(std::forward<Args>(args)...);
}

TEST(FreshBlock, ListStartsEmptyAndLinksItsFirstNode) {
    CList* list = NewOnFreshBlock<CList>();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->IsEmpty());
    EXPECT_EQ(list->GetHead(), nullptr);
    int payload = 7;
    void* data = &payload;
    EXPECT_FALSE(list->GetTailData(&data));
    EXPECT_EQ(data, nullptr);

    CListNode* node = list->AddTail(&payload);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->m_pNext, nullptr);
    EXPECT_EQ(node->m_pPrev, nullptr);
    EXPECT_TRUE(list->GetHeadData(&data));
    EXPECT_EQ(data, &payload);
    EXPECT_EQ(list->GetCount(), 1);
    delete list;
    EXPECT_EQ(kernel::poolLiveBlocks(ListNodeTag), 0u);
    EXPECT_EQ(kernel::poolLiveBlocks(SampleTag), 0u);
}

TEST(FreshBlock, ObjectCountsFromZeroAndIsItsOwnOuterUnknown) {
    CUnknown* object = NewOnFreshBlock<CUnknown>(nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->NonDelegatingAddRef(), 1u);
    kernel::IUnknown* outer = object->GetOuterUnknown();
    void* identity = nullptr;
    ASSERT_EQ(outer->QueryInterface(kernel::IID_IUnknown, &identity), kernel::STATUS_SUCCESS);
    EXPECT_EQ(identity, outer);
    EXPECT_EQ(outer->Release(), 1u);
    EXPECT_EQ(outer->Release(), 0u);
    EXPECT_EQ(kernel::poolLiveBlocks(SampleTag), 0u);
}

TEST(FreshBlock, EmbeddedLockStartsFree) {
    // Owners such as the stream engines embed their lock and lists by value.
    struct COwner : CPoolObject {
        CMutexLock m_Lock;
        CList m_Items;
    };
    COwner* owner = NewOnFreshBlock<COwner>();
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(owner->m_Lock.TryLock());
    owner->m_Lock.Unlock();
    EXPECT_TRUE(owner->m_Items.IsEmpty());
    delete owner;
}

} // namespace
