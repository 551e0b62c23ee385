// Rounds to nearest for the life of the object and gives the caller's rounding
// mode back afterwards. Tables are data: they must not depend on the rounding
// mode of whoever happens to build them.
#pragma once

#include <cfenv>

class sigNearestRounding {
public:
    sigNearestRounding() : saved_(std::fegetround()) { std::fesetround(FE_TONEAREST); }
    ~sigNearestRounding() { std::fesetround(saved_); }
    sigNearestRounding(const sigNearestRounding&) = delete;
    sigNearestRounding& operator=(const sigNearestRounding&) = delete;

private:
    int saved_;
};
