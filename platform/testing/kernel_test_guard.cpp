// Around every test: a failed kernel check fails the running test (or is
// recorded inside an ExpectKernelChecks scope), and every check the layers of
// the platform registered runs: before the test it puts the layer's switches
// back, after it the test fails for whatever it left behind.
#include "platform/testing/kernel_checks.h"

#include "platform/kernel/check.h"
#include "platform/kernel/test_checks.h"

#include <gtest/gtest.h>

#include <mutex>

namespace kernel::testing {
namespace {

struct Expectations {
    std::mutex lock;
    int scopes = 0;
    std::vector<std::string> messages;
};

Expectations& expectations() {
    static Expectations* instance =
        new Expectations; // a thread of the layer may fail a check at exit
    return *instance;
}

void failTheTest(const char* message) {
    {
        Expectations& e = expectations();
        std::lock_guard guard(e.lock);
        if (e.scopes > 0) {
            e.messages.emplace_back(message);
            return;
        }
    }
    ADD_FAILURE() << "kernel check failed: " << message;
}

class KernelTestGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        setCheckHandler(failTheTest);
        for (const TestCheck& check : registeredTestChecks())
            if (check.beforeTest != nullptr) check.beforeTest();
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        for (const TestCheck& check : registeredTestChecks()) {
            if (check.afterTest == nullptr) continue;
            const std::string left = check.afterTest();
            EXPECT_TRUE(left.empty()) << check.name << ": " << left;
        }
    }
};

[[maybe_unused]] const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new KernelTestGuard);
    return true;
}();

} // namespace

ExpectKernelChecks::ExpectKernelChecks() {
    Expectations& e = expectations();
    std::lock_guard guard(e.lock);
    if (e.scopes++ == 0) e.messages.clear();
}

ExpectKernelChecks::~ExpectKernelChecks() {
    Expectations& e = expectations();
    std::lock_guard guard(e.lock);
    --e.scopes;
}

std::vector<std::string> ExpectKernelChecks::messages() const {
    Expectations& e = expectations();
    std::lock_guard guard(e.lock);
    return e.messages;
}

} // namespace kernel::testing
