#include "driver/devmodel/uac_entity.h"
#include "driver/tests/engine_test_doubles.h"
#include "entity_test_support.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using namespace devmodel_test;

// A feature unit of id 5 fed by entity 2, with three bytes of the next
// descriptor behind it.
const std::vector<std::uint8_t> FeatureUnitBytes = {0x09, 0x24, 0x06, 0x05, 0x02, 0x01,
                                                    0x03, 0x00, 0x00, 0x09, 0x24, 0x03};

struct EntityFixture : ::testing::Test {
    void SetUp() override { ASSERT_NE(entity.get(), nullptr); }
    void TearDown() override { kernel::clearPoolFaults(); }

    void Store() {
        ASSERT_EQ(entity->StoreDescriptor(FeatureUnitBytes, device.get()), STATUS_SUCCESS);
    }
    // A plain node of the type, added to the entity; the entity holds the
    // only reference afterwards.
    IAudioNode* Add(std::uint32_t id, std::uint32_t type) {
        Held<CAudioNode> item(Make<CAudioNode>(id, type));
        EXPECT_EQ(entity->AddItem(item.get()), STATUS_SUCCESS);
        return item.get();
    }

    Held<CAudioNode> device{Make<CAudioNode>(99u, 0u)};
    Held<CUacEntity> entity{Make<CUacEntity>()};
};

TEST_F(EntityFixture, StoreDescriptorTakesOnlyWholeDescriptors) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool withDevice;
        NTSTATUS expected;
    };
    const NTSTATUS Broken = STATUS_UNSUCCESSFUL;
    const Case cases[] = {
        {"bLength 0", {0x00, 0x24, 0x06, 0x05}, true, Broken},
        {"bLength 1", {0x01, 0x24, 0x06, 0x05}, true, Broken},
        {"class descriptor of two bytes", {0x02, 0x24, 0x06, 0x05}, true, Broken},
        {"bLength past the end", {0x09, 0x24, 0x06, 0x05, 0x02, 0x01, 0x03, 0x00}, true, Broken},
        {"a single byte", {0x09}, true, Broken},
        {"no device", FeatureUnitBytes, false, STATUS_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held<CUacEntity> fresh(Make<CUacEntity>());
        EXPECT_EQ(fresh->StoreDescriptor(c.bytes, c.withDevice ? device.get() : nullptr),
                  c.expected);
        std::uint32_t count = 0;
        EXPECT_EQ(fresh->GetItemCount(&count), STATUS_UNSUCCESSFUL);
        EXPECT_EQ(kernel::poolLiveBlocks(EntityTag), 0u);
    }
}

TEST_F(EntityFixture, StoredDescriptorGivesIdAndKind) {
    Store();
    EXPECT_EQ(entity->GetId(), 5u);
    EXPECT_EQ(entity->GetType(), 6u);
    std::uint32_t count = 7;
    EXPECT_EQ(entity->GetItemCount(&count), STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_GE(kernel::poolLiveBytes(EntityTag), 9u);
}

TEST_F(EntityFixture, EitherAllocationFailingLeavesNothing) {
    for (std::uint64_t n : {1u, 2u}) {
        SCOPED_TRACE(n);
        Held<CUacEntity> fresh(Make<CUacEntity>());
        kernel::failPoolRequest(n);
        EXPECT_EQ(fresh->StoreDescriptor(FeatureUnitBytes, device.get()),
                  STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(EntityTag), 0u);
        EXPECT_EQ(fresh->AddItem(device.get()), STATUS_UNSUCCESSFUL);
    }
}

TEST_F(EntityFixture, ItemsGoToTheFrontAndAreReleasedWithTheEntity) {
    EXPECT_EQ(entity->AddItem(device.get()), STATUS_UNSUCCESSFUL); // no list yet
    Store();
    EXPECT_EQ(entity->AddItem(nullptr), STATUS_INVALID_PARAMETER);
    Held<CAudioNode> first(Make<CAudioNode>(10u, 2u));
    Held<CAudioNode> second(Make<CAudioNode>(11u, 3u));
    ASSERT_EQ(entity->AddItem(first.get()), STATUS_SUCCESS);
    ASSERT_EQ(entity->AddItem(second.get()), STATUS_SUCCESS);
    EXPECT_EQ(References(*first.get()), 2u);

    IAudioNode* item = nullptr;
    EXPECT_EQ(entity->GetItemAt(0, &item), STATUS_SUCCESS);
    EXPECT_EQ(item, static_cast<IAudioNode*>(second.get()));
    EXPECT_EQ(entity->GetItemAt(2, &item), STATUS_SUCCESS);
    EXPECT_EQ(item, nullptr);

    entity->ReleaseItems();
    EXPECT_EQ(References(*first.get()), 1u);
    EXPECT_EQ(References(*second.get()), 1u);
}

TEST_F(EntityFixture, ARefusedListNodeDropsTheReference) {
    Store();
    Held<CAudioNode> item(Make<CAudioNode>(10u, 2u));
    kernel::failPoolTag(ListNodeTag);
    EXPECT_EQ(entity->AddItem(item.get()), STATUS_UNSUCCESSFUL);
    kernel::clearPoolFaults();
    EXPECT_EQ(References(*item.get()), 1u);
}

TEST_F(EntityFixture, ChainRunsFromTheLastAddedToTheFirst) {
    Store();
    IAudioNode* first = Add(10, item_type::mute);
    IAudioNode* second = Add(11, item_type::volume);
    IAudioNode* third = Add(12, item_type::bass);
    ASSERT_EQ(entity->ChainItems(), STATUS_SUCCESS);
    EXPECT_EQ(IdsOf(*second), std::vector<std::uint32_t>{12});
    EXPECT_EQ(IdsOf(*first), std::vector<std::uint32_t>{11});
    EXPECT_TRUE(IdsOf(*third).empty());
    std::uint32_t output = 0;
    EXPECT_EQ(entity->GetOutputNodeId(&output), STATUS_SUCCESS);
    EXPECT_EQ(output, 10u);
}

TEST_F(EntityFixture, OutputTypesStandInParallelBehindTheSwitch) {
    Store();
    IAudioNode* types[] = {Add(20, item_type::outputTerminal), Add(21, item_type::outputTerminal),
                           Add(22, item_type::outputTerminal)};
    Add(23, item_type::terminalTypeSelection);
    ASSERT_EQ(entity->ChainItems(), STATUS_SUCCESS);
    for (IAudioNode* type : types) EXPECT_EQ(IdsOf(*type), std::vector<std::uint32_t>{23});
    std::uint32_t output = 0;
    EXPECT_EQ(entity->GetOutputNodeId(&output), STATUS_SUCCESS);
    EXPECT_EQ(output, 20u);
}

TEST_F(EntityFixture, ChainKeepsTheRestOfALongerListAndSkipsOwnSourceKinds) {
    Store();
    IAudioNode* back = Add(30, item_type::volume);
    const std::uint32_t longer[] = {7, 8, 9};
    ASSERT_EQ(back->SetIdList(3, longer), STATUS_SUCCESS);
    IAudioNode* clock = Add(31, item_type::clockRates);
    Add(32, item_type::mute);
    ASSERT_EQ(entity->ChainItems(), STATUS_SUCCESS);
    EXPECT_TRUE(IdsOf(*clock).empty());
    EXPECT_EQ(IdsOf(*back), (std::vector<std::uint32_t>{31, 8, 9}));
}

TEST_F(EntityFixture, SourcesGoToTheFrontItemByItsKind) {
    struct Case {
        const char* name;
        std::uint32_t frontType;
        std::uint32_t inputs; // entries of the front item's list before
        std::vector<std::uint32_t> sources;
        std::vector<std::uint32_t> after;
    };
    const Case cases[] = {
        {"mixer takes every source", item_type::mixer, 3, {4, 5, 6}, {4, 5, 6}},
        {"mixer keeps its table for a short list", item_type::mixer, 3, {4, 5}, {0, 0, 0}},
        {"selector takes every source", item_type::selector, 2, {4, 5}, {4, 5}},
        {"an empty mute list gets the first source", item_type::mute, 0, {4, 5}, {4}},
        {"a clock item keeps its list", item_type::clockRates, 0, {4}, {}},
        {"an input terminal keeps its list", item_type::inputTerminal, 0, {4}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held<CUacEntity> fresh(Make<CUacEntity>());
        ASSERT_EQ(fresh->StoreDescriptor(FeatureUnitBytes, device.get()), STATUS_SUCCESS);
        Held<CAudioNode> front(Make<CAudioNode>(40u, c.frontType));
        const std::vector<std::uint32_t> zeros(c.inputs, 0);
        ASSERT_EQ(front->SetIdList(c.inputs, zeros.data()), STATUS_SUCCESS);
        ASSERT_EQ(fresh->AddItem(front.get()), STATUS_SUCCESS);
        EXPECT_EQ(
            fresh->SetSourceIds(static_cast<std::uint32_t>(c.sources.size()), c.sources.data()),
            STATUS_SUCCESS);
        EXPECT_EQ(IdsOf(*front.get()), c.after);
    }
}

TEST_F(EntityFixture, SourcesNeedIdsAndAnItem) {
    const std::uint32_t source = 4;
    EXPECT_EQ(entity->SetSourceIds(1, &source), STATUS_UNSUCCESSFUL);
    Store();
    EXPECT_EQ(entity->SetSourceIds(1, &source), STATUS_UNSUCCESSFUL);
    Add(10, item_type::mute);
    EXPECT_EQ(entity->SetSourceIds(1, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(entity->SetSourceIds(0, &source), STATUS_INVALID_PARAMETER);
}

TEST_F(EntityFixture, DeviceChangeNamesTheOnlyItem) {
    Store();
    std::uint32_t node = 0;
    EXPECT_EQ(entity->OnDeviceChange(1, 0, &node), STATUS_UNSUCCESSFUL);
    Add(10, item_type::mute);
    EXPECT_EQ(entity->OnDeviceChange(1, 0, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(entity->OnDeviceChange(1, 0, &node), STATUS_SUCCESS);
    EXPECT_EQ(node, 10u);
    Add(11, item_type::volume);
    EXPECT_EQ(entity->OnDeviceChange(1, 0, &node), STATUS_UNSUCCESSFUL);
}

TEST_F(EntityFixture, AnswersItsEntityFace) {
    Store();
    IUacEntity* face = nullptr;
    ASSERT_EQ(entity->NonDelegatingQueryInterface(IID_IUacEntity, reinterpret_cast<void**>(&face)),
              STATUS_SUCCESS);
    EXPECT_EQ(face->CreateControls(nullptr), kernel::STATUS_NOT_IMPLEMENTED);
    face->Release();
}

} // namespace
