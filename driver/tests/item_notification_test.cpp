// The orders in which selector items and terminal-type selections tell the
// nodes that follow them.
#include "driver/engine/selector_item.h"
#include "driver/engine/terminal_type_item.h"
#include "engine_test_doubles.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

namespace {

using engine_test::CTestNode;
using engine_test::Held;
using engine_test::Log;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

// Two followers, 21 and 22; the first may refuse what it is told.
struct Followers {
    explicit Followers(Log* log, bool firstFails = false)
        : first(Make<CTestNode>(21u, item_type::volume, log)),
          second(Make<CTestNode>(22u, item_type::mute, log)) {
        if (firstFails) first->bindingStatus = STATUS_UNSUCCESSFUL;
    }
    Held<CTestNode> first;
    Held<CTestNode> second;
};

TEST(SelectorItem, ChangeTellsEveryFollowerBeforeAndAfter) {
    struct Case {
        const char* name;
        std::uint32_t value;
        bool firstFails;
        NTSTATUS expected;
        std::uint32_t after;
        Log log;
    };
    const Case cases[] = {
        {"a listed input",
         2,
         false,
         STATUS_SUCCESS,
         2,
         {"21:changing 2<-1", "22:changing 2<-1", "21:current 2", "22:current 2"}},
        {"a failing follower ends each round",
         3,
         true,
         STATUS_SUCCESS,
         3,
         {"21:changing 3<-1", "21:current 3"}},
        {"above the inputs", 4, false, STATUS_INVALID_PARAMETER, 1, {}},
        {"input zero", 0, false, STATUS_INVALID_PARAMETER, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        Followers followers(&log, c.firstFails);
        Held selector(Make<CSelectorItem>(20u));
        ASSERT_EQ(selector->AllocateInputs(3), STATUS_SUCCESS);
        ASSERT_EQ(selector->AddListener(followers.first.get()), STATUS_SUCCESS);
        ASSERT_EQ(selector->AddListener(followers.second.get()), STATUS_SUCCESS);
        EXPECT_EQ(selector->SetCurrentInput(c.value), c.expected);
        EXPECT_EQ(log, c.log);
        std::uint32_t current = 0;
        selector->GetCurrentInput(&current);
        EXPECT_EQ(current, c.after);
    }
}

TEST(SelectorItem, FollowersAreHeldUntilTheSelectorGoes) {
    Log log;
    CTestNode* follower = Make<CTestNode>(21u, item_type::volume, &log);
    Held selector(Make<CSelectorItem>(20u));
    ASSERT_EQ(selector->AddListener(follower), STATUS_SUCCESS);
    EXPECT_EQ(follower->NonDelegatingRelease(), 1u); // the selector's reference remains
    EXPECT_EQ(selector->AddListener(nullptr), STATUS_INVALID_PARAMETER);
}

TEST(SelectorItem, FollowerThatCannotBeListedIsNotHeld) {
    Log log;
    Held follower(Make<CTestNode>(21u, item_type::volume, &log));
    Held selector(Make<CSelectorItem>(20u));
    const std::uint64_t before = kernel::poolRequestCount();
    ASSERT_EQ(selector->AddListener(follower.get()), STATUS_SUCCESS);
    const std::uint64_t requests = kernel::poolRequestCount() - before;
    for (std::uint64_t n = 1; n <= requests; ++n) {
        SCOPED_TRACE(n);
        Held other(Make<CSelectorItem>(30u));
        kernel::failPoolRequest(n);
        EXPECT_EQ(other->AddListener(follower.get()), STATUS_INSUFFICIENT_RESOURCES);
        kernel::clearPoolFaults();
    }
    EXPECT_EQ(follower->NonDelegatingAddRef(), 3u); // the creator's, the first selector's, this
    follower->NonDelegatingRelease();
}

TEST(TerminalTypeItem, SelectingANewCodeMarksTheChangeAndTellsFollowers) {
    struct Case {
        const char* name;
        std::uint32_t code;
        bool firstFails;
        NTSTATUS expected;
        std::uint32_t current, changed;
        Log log;
    };
    const Case cases[] = {
        {"another listed code",
         2,
         false,
         STATUS_SUCCESS,
         2,
         1,
         {"21:changing 2<-0", "22:changing 2<-0"}},
        {"the current code again", 14, false, STATUS_SUCCESS, 14, 0, {}},
        {"an unlisted code", 7, false, STATUS_INVALID_PARAMETER, 14, 0, {}},
        {"a failing follower ends the round", 3, true, STATUS_SUCCESS, 3, 1, {"21:changing 3<-0"}},
    };
    const std::uint32_t codes[] = {14, 2, 3};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        Followers followers(&log, c.firstFails);
        Held item(Make<CTerminalTypeItem>(20u));
        ASSERT_EQ(item->SetUpTypes(3, codes), STATUS_SUCCESS);
        ASSERT_EQ(item->AddFollower(followers.first.get()), STATUS_SUCCESS);
        ASSERT_EQ(item->AddFollower(followers.second.get()), STATUS_SUCCESS);
        EXPECT_EQ(item->SelectType(c.code), c.expected);
        EXPECT_EQ(log, c.log);
        std::uint32_t current = 0, changed = 99;
        item->GetCurrentType(&current);
        item->GetChanged(&changed);
        EXPECT_EQ(current, c.current);
        EXPECT_EQ(changed, c.changed);
        item->ClearChanged();
        item->GetChanged(&changed);
        EXPECT_EQ(changed, 0u);
    }
}

} // namespace
