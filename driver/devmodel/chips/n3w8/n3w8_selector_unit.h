// The N3W8 record selector. The chip numbers its record inputs itself
// (microphone 1, line 2, S/PDIF 3, stereo mix 4), whatever positions the
// rewritten descriptor gives them, so positions are translated both ways.
#pragma once

#include "driver/devmodel/selector_unit.h"
#include "driver/devmodel/uac1_units.h"

#include <cstdint>

inline constexpr SelectorProtocol N3W8SelectorProtocol = {usb::AudioRelease::uac1, 5, 0x81, 0x01, 0,
                                                          kernel::poolTag("N3W8")};

class CN3W8SelectorUnit : public CSelectorUnit {
public:
    explicit CN3W8SelectorUnit(kernel::IUnknown* outer)
        : CSelectorUnit(outer, N3W8SelectorProtocol) {}

    // The position (from 1) of the chip's current input in the source list;
    // an input the list lacks is replaced by the first position's.
    kernel::NTSTATUS GetCurrentInput(std::uint32_t* input) override;
    kernel::NTSTATUS SetCurrentInput(std::uint32_t input) override;

private:
    // The chip's number of the source at the position; 0 for a source the
    // chip has no number for.
    std::uint8_t ChipInputAt(std::uint32_t position) const;
};
