// Kernel checks in tests. Outside an ExpectKernelChecks scope a failed check
// fails the running test; inside one it is only recorded, for the test to
// assert on.
#pragma once

#include <string>
#include <vector>

namespace kernel::testing {

class ExpectKernelChecks {
public:
    ExpectKernelChecks();
    ~ExpectKernelChecks();
    ExpectKernelChecks(const ExpectKernelChecks&) = delete;
    ExpectKernelChecks& operator=(const ExpectKernelChecks&) = delete;

    std::vector<std::string> messages() const;
    std::size_t count() const { return messages().size(); }
};

} // namespace kernel::testing
