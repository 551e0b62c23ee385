// For tests of level rules: the one check a refused call failed names the
// service first and the level it was called at.
#pragma once

#include "platform/kernel/irql.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace kernel::testing {

inline void expectLevelRuleCheck(const ExpectKernelChecks& expect, const char* service,
                                 Irql callerLevel) {
    ASSERT_EQ(expect.count(), 1u);
    const std::string message = expect.messages()[0];
    EXPECT_EQ(message.rfind(service, 0), 0u) << message;
    EXPECT_NE(message.find(callerLevel == Irql::Apc ? "at APC level" : "at dispatch level"),
              std::string::npos)
        << message;
}

} // namespace kernel::testing
