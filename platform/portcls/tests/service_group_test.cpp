// Service groups run their members in a deferred procedure call, once for
// however many notifications came before it ran, and never in the context
// of the one that notified.
#include "platform/kernel/clock.h"
#include "platform/kernel/irql.h"
#include "platform/portcls/service_group.h"
#include "toy_unknown.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace portcls::testing {
namespace {

class ToySink final : public IServiceSink, public ToyCounted {
public:
    ToySink(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<IServiceSink*>(this)},
                {IID_IServiceSink, static_cast<IServiceSink*>(this)})
    void RequestService() override {
        log_.push_back(
            name_ + (kernel::currentIrql() == kernel::Irql::Dispatch ? " deferred" : " in caller"));
    }

private:
    std::vector<std::string>& log_;
    const std::string name_;
};

class ServiceGroupTest : public ::testing::Test {
protected:
    ServiceGroupTest() { EXPECT_EQ(PcNewServiceGroup(&group, nullptr), kernel::STATUS_SUCCESS); }
    ~ServiceGroupTest() override {
        group->Release();
        first->Release();
        second->Release();
        EXPECT_EQ(liveToys.load(), toysAtStart);
    }

    const int toysAtStart = liveToys.load();
    kernel::ManualClock clock;
    std::vector<std::string> log;
    IServiceGroup* group = nullptr;
    ToySink* first = new ToySink(log, "first");
    ToySink* second = new ToySink(log, "second");
};

TEST_F(ServiceGroupTest, MembersRunInOneDeferredCallPerBatchOfNotifications) {
    ASSERT_EQ(group->AddMember(first), kernel::STATUS_SUCCESS);
    ASSERT_EQ(group->AddMember(second), kernel::STATUS_SUCCESS);
    group->RequestService();
    group->RequestService();
    EXPECT_TRUE(log.empty());
    clock.settle();
    group->RequestService();
    clock.settle();
    EXPECT_EQ(log, (std::vector<std::string>{"first deferred", "second deferred", "first deferred",
                                             "second deferred"}));
}

TEST_F(ServiceGroupTest, MembersJoinOnceAndRemovedOnesNoLongerRun) {
    ASSERT_EQ(group->AddMember(first), kernel::STATUS_SUCCESS);
    EXPECT_EQ(group->AddMember(first), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(group->AddMember(nullptr), kernel::STATUS_INVALID_PARAMETER);
    ASSERT_EQ(group->AddMember(second), kernel::STATUS_SUCCESS);
    group->RequestService();
    group->RemoveMember(first);
    group->RemoveMember(first); // not a member: nothing
    clock.settle();
    EXPECT_EQ(log, std::vector<std::string>{"second deferred"});
}

TEST_F(ServiceGroupTest, AGroupOutlivesItsLastReferenceUntilAQueuedCallRan) {
    IServiceGroup* other = nullptr;
    ASSERT_EQ(PcNewServiceGroup(&other, nullptr), kernel::STATUS_SUCCESS);
    ASSERT_EQ(other->AddMember(first), kernel::STATUS_SUCCESS);
    other->RequestService();
    other->Release();
    clock.settle();
    EXPECT_EQ(log, std::vector<std::string>{"first deferred"});
}

TEST_F(ServiceGroupTest, GroupsAreNotAggregated) {
    IServiceGroup* other = group;
    EXPECT_EQ(PcNewServiceGroup(&other, first), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(other, nullptr);
}

} // namespace
} // namespace portcls::testing
