// A release-1 feature unit: its controls per channel come from the
// descriptor's bmaControls (bControlSize bytes per element, the master
// channel first) and, for vendor selectors (128 and above), from a control
// map the device supplies (GET_MEM). Logical channels count the channels
// that have the control; values cross the wire as 1/256 dB in 16 bits, or
// quarter dB in 8 bits for bass, mid and treble.
#pragma once

#include "driver/devmodel/feature_unit.h"

#include <cstdint>
#include <span>

inline constexpr kernel::PoolTag Uac1EntityTag = kernel::poolTag("UA10");

class CUac1FeatureUnit : public CFeatureUnit {
public:
    using CFeatureUnit::CFeatureUnit;

    // Checks and copies the descriptor at the start of bytes, reads the
    // vendor control map and creates the controls.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);

    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
    // The device reports no per-control change the unit could re-read.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t, std::uint8_t, std::uint32_t*) override {
        return kernel::STATUS_SUCCESS;
    }

    kernel::NTSTATUS GetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t* value) override;
    kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t value) override;
    kernel::NTSTATUS GetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t* value) override;
    kernel::NTSTATUS SetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t value) override;
    kernel::NTSTATUS GetRange(std::uint8_t selector, std::int32_t* maximum, std::int32_t* minimum,
                              std::int32_t* resolution) override;

protected:
    std::size_t ElementCount(std::uint8_t selector) const override;
    std::uint32_t ElementBits(std::uint8_t selector, std::size_t index) const override;

private:
    // The control bits of one element for the selector, and how many
    // elements there are; none for a vendor selector without a map.
    struct Elements {
        std::span<const std::uint8_t> bytes;
        std::size_t size = 0; // bytes per element
        std::size_t count = 0;
        bool usable = false; // the selector can be tested at all
    };
    Elements ElementsFor(std::uint8_t selector) const;
    static bool ElementHas(const Elements& elements, std::size_t index, std::uint8_t selector);
    // The device channel number of a logical channel.
    kernel::NTSTATUS ChannelNumber(std::uint8_t selector, std::uint32_t channel,
                                   std::uint8_t* number);
    kernel::NTSTATUS Transfer(std::uint8_t selector, std::uint8_t request, std::uint8_t channel,
                              void* buffer, std::uint32_t length);
};
