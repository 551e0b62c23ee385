// A system thread running a test's callable. The callable gets a stop event,
// which leaving the scope sets before it waits for the thread's end and
// gives the thread object back; so a test that fails half-way never hangs on
// a thread still waiting for it.
#pragma once

#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace kernel::testing {

class TestThread {
public:
    explicit TestThread(std::function<void(Event& stop)> body) : body_(std::move(body)) {
        EXPECT_EQ(createSystemThread(
                      &thread_,
                      [](void* context) {
                          auto* self = static_cast<TestThread*>(context);
                          self->body_(self->stop_);
                      },
                      this),
                  STATUS_SUCCESS);
    }
    ~TestThread() {
        if (thread_ == nullptr) return;
        stop_.set();
        waitForSingleObject(*thread_, Timeout::infinite());
        dereferenceObject(*thread_);
    }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

private:
    std::function<void(Event&)> body_;
    Event stop_{EventType::Notification, false};
    ThreadObject* thread_ = nullptr;
};

} // namespace kernel::testing
