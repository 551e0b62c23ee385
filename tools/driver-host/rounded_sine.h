// The sine sample the host plays, llround(scale * sin(2 * pi * turns)),
// exactly as those two library calls give it but at a fraction of their
// cost: a table of anchors and short series give the sine to within a few
// units in its last place, and the library's sine is asked only when the
// scaled value lies so near a half that the approximation cannot tell on
// which side of it the exact value falls.
#pragma once

#include <array>
#include <cstdint>

namespace driverhost {

class RoundedSine {
public:
    RoundedSine();

    // `turns` in [0, 1), `scale` above zero.
    std::int64_t operator()(double turns, double scale) const;

private:
    static constexpr int anchors = 256; // a power of two: turns * anchors is exact
    std::array<double, anchors> m_sin{};
    std::array<double, anchors> m_cos{};
};

} // namespace driverhost
