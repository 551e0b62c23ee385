#include "platform/kernel/callback_object.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kernel;

struct Calls {
    std::vector<std::string> seen;
    static void note(void* context, void* argument1, void* argument2) {
        auto* entry = static_cast<std::pair<Calls*, const char*>*>(context);
        entry->first->seen.push_back(std::string(entry->second) + ":" +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(argument1)) +
                                     ":" +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(argument2)) +
                                     (currentIrql() == Irql::Dispatch ? ":dispatch" : ":below"));
    }
};

CallbackObject* create(const char16_t* name, bool allowMultiple = true) {
    CallbackObject* object = nullptr;
    EXPECT_EQ(createCallbackObject(&object, makeUnicodeString(name), true, allowMultiple),
              STATUS_SUCCESS);
    return object;
}

TEST(CallbackObject, NotifyCallsEveryRegistrationInOrderAtDispatchLevel) {
    CallbackObject* object = create(u"\\Callback\\Order");
    Calls calls;
    std::pair<Calls*, const char*> first{&calls, "first"}, second{&calls, "second"};
    CallbackRegistration* a = registerCallback(*object, Calls::note, &first);
    CallbackRegistration* b = registerCallback(*object, Calls::note, &second);
    ASSERT_TRUE(a && b);

    notifyCallback(*object, reinterpret_cast<void*>(7), nullptr);
    EXPECT_EQ(calls.seen, (std::vector<std::string>{"first:7:0:dispatch", "second:7:0:dispatch"}));
    EXPECT_EQ(currentIrql(), Irql::Passive);

    unregisterCallback(a);
    calls.seen.clear();
    notifyCallback(*object, nullptr, reinterpret_cast<void*>(3));
    EXPECT_EQ(calls.seen, (std::vector<std::string>{"second:0:3:dispatch"}));
    unregisterCallback(b);
    dereferenceObject(*object);
}

TEST(CallbackObject, OpensTheExistingObjectByNameWithoutRegardToCase) {
    CallbackObject* created = create(u"\\Callback\\AudioHalAddr00000000CAFE0000");
    CallbackObject* opened = nullptr;
    EXPECT_EQ(createCallbackObject(&opened,
                                   makeUnicodeString(u"\\callback\\audiohaladdr00000000cafe0000"),
                                   false, true),
              STATUS_SUCCESS);
    EXPECT_EQ(opened, created);

    CallbackObject* missing = reinterpret_cast<CallbackObject*>(1);
    EXPECT_EQ(createCallbackObject(&missing, makeUnicodeString(u"\\Callback\\Other"), false, true),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);

    dereferenceObject(*opened);
    dereferenceObject(*created);
    // The name goes with the last reference: a new object is made.
    CallbackObject* fresh = nullptr;
    EXPECT_EQ(createCallbackObject(&fresh,
                                   makeUnicodeString(u"\\callback\\audiohaladdr00000000cafe0000"),
                                   false, true),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST(CallbackObject, SingleCallbackObjectTakesOneRegistrationAtATime) {
    CallbackObject* object = create(u"\\Callback\\Single", false);
    Calls calls;
    std::pair<Calls*, const char*> entry{&calls, "x"};
    CallbackRegistration* first = registerCallback(*object, Calls::note, &entry);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(registerCallback(*object, Calls::note, &entry), nullptr);
    unregisterCallback(first);
    CallbackRegistration* again = registerCallback(*object, Calls::note, &entry);
    EXPECT_NE(again, nullptr);
    unregisterCallback(again);
    dereferenceObject(*object);
}

TEST(CallbackObject, RegistrationKeepsTheObjectAlive) {
    CallbackObject* object = create(u"\\Callback\\Kept");
    Calls calls;
    std::pair<Calls*, const char*> entry{&calls, "kept"};
    CallbackRegistration* registration = registerCallback(*object, Calls::note, &entry);
    dereferenceObject(*object); // the creator lets go first
    notifyCallback(*object, nullptr, nullptr);
    EXPECT_EQ(calls.seen.size(), 1u);
    unregisterCallback(registration);
    EXPECT_EQ(poolLiveBlocks(poolTag("KCbo")), 0u);
}

TEST(CallbackObject, RegistrationFailsWhenThePoolRefuses) {
    CallbackObject* object = create(u"\\Callback\\Refused");
    failPoolTag(poolTag("KCbr"));
    EXPECT_EQ(registerCallback(*object, Calls::note, nullptr), nullptr);
    dereferenceObject(*object);
}

struct InFlight {
    Event entered{EventType::Notification, false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    static void call(void* context, void*, void*) {
        auto* self = static_cast<InFlight*>(context);
        self->entered.set();
        // A long call at dispatch level: it may not wait, so it spins.
        while (!self->release.load()) std::this_thread::yield();
        self->finished = true;
    }
};

TEST(CallbackObject, UnregisterWaitsForACallInFlight) {
    CallbackObject* object = create(u"\\Callback\\InFlight");
    InFlight state;
    CallbackRegistration* registration = registerCallback(*object, InFlight::call, &state);
    std::thread notifier([&] { notifyCallback(*object, nullptr, nullptr); });
    waitForSingleObject(state.entered, Timeout::infinite());

    std::atomic<bool> unregistered{false};
    std::thread unregisterer([&] {
        unregisterCallback(registration);
        unregistered = true;
    });
    ASSERT_TRUE(awaitBlockedThreads(1)); // the unregister waits for the call
    EXPECT_FALSE(unregistered.load());

    state.release = true;
    unregisterer.join();
    EXPECT_TRUE(state.finished.load()); // the call ended before unregister returned
    notifier.join();
    dereferenceObject(*object);
}

TEST(CallbackObject, ACallbackMayUnregisterItself) {
    CallbackObject* object = create(u"\\Callback\\Self");
    struct State {
        CallbackRegistration* registration = nullptr;
        int calls = 0;
    } state;
    state.registration = registerCallback(
        *object,
        [](void* context, void*, void*) {
            auto* s = static_cast<State*>(context);
            ++s->calls;
            unregisterCallback(s->registration);
        },
        &state);
    notifyCallback(*object, nullptr, nullptr);
    notifyCallback(*object, nullptr, nullptr);
    EXPECT_EQ(state.calls, 1);
    EXPECT_EQ(poolLiveBlocks(poolTag("KCbr")), 0u);
    dereferenceObject(*object);
}

} // namespace
