// A release-2 feature unit: a 32-bit control word per element (the master
// channel first) with a two-bit field per control, the lower bit readable,
// the upper writable; vendor selectors (128 and above) use a control map the
// device supplies. Requests are CUR and RANGE class requests; there is no
// channel renumbering.
#pragma once

#include "driver/devmodel/feature_unit.h"

#include <cstdint>
#include <span>

inline constexpr kernel::PoolTag Uac2EntityTag = kernel::poolTag("UA20");

class CUac2FeatureUnit : public CFeatureUnit {
public:
    using CFeatureUnit::CFeatureUnit;

    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);

    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
    // Re-reads the item of the control that changed and names it; no name is
    // written when the unit has no item of that kind.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;

    kernel::NTSTATUS GetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t* value) override;
    kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t value) override;
    kernel::NTSTATUS GetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t* value) override;
    kernel::NTSTATUS SetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t value) override;
    // A single sub-range only; any other number is STATUS_UNSUCCESSFUL.
    kernel::NTSTATUS GetRange(std::uint8_t selector, std::int32_t* maximum, std::int32_t* minimum,
                              std::int32_t* resolution) override;

protected:
    std::size_t ElementCount(std::uint8_t selector) const override;
    std::uint32_t ElementBits(std::uint8_t selector, std::size_t index) const override;

private:
    // The control words for the selector: where they start and how many.
    struct Words {
        std::span<const std::uint8_t> bytes;
        std::size_t count = 0;
    };
    Words WordsFor(std::uint8_t selector) const;
    // The field's bits of element index: bit 0 readable, bit 1 writable.
    static std::uint32_t Field(const Words& words, std::size_t index, std::uint8_t selector);
    kernel::NTSTATUS ChannelNumber(std::uint8_t selector, std::uint32_t channel, bool write,
                                   std::uint8_t* number);
    kernel::NTSTATUS Transfer(std::uint8_t selector, std::uint8_t request, bool in,
                              std::uint8_t channel, void* buffer, std::uint32_t length);
};
