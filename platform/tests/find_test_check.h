// The registered end-of-test check of that name, for tests of the checks.
#pragma once

#include "platform/kernel/test_checks.h"

#include <optional>
#include <string>

namespace kernel::testing {

inline std::optional<TestCheck> findTestCheck(const std::string& name) {
    for (const TestCheck& check : registeredTestChecks())
        if (name == check.name) return check;
    return std::nullopt;
}

} // namespace kernel::testing
