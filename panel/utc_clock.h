#pragma once

// The wall clock the panel stamps settings with, in seconds since 1970 (UTC).

#include <cstdint>

namespace panel {

class IUtcClock {
public:
    virtual ~IUtcClock() = default;
    virtual std::int64_t nowSeconds() const = 0;
};

class SystemUtcClock final : public IUtcClock {
public:
    std::int64_t nowSeconds() const override;
};

} // namespace panel
