// A release-2 clock source: its rates come from the device's RANGE answer
// (discrete sub-ranges only), its current rate and validity from CUR. It has
// one control item, the clock's rate list.
#pragma once

#include "driver/devmodel/uac2_feature_unit.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/devmodel/unit_faces.h"

#include <cstdint>
#include <span>

class CUac2ClockSource : public CForwardingUnknown<CUacEntity, IClockSourceUnit> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;

    // The number of sub-ranges the device lists.
    kernel::NTSTATUS GetSampleRateCount(std::uint32_t* count) override;
    // The discrete rates among the first count sub-ranges; a continuous one
    // is left out and makes the result STATUS_INVALID_PARAMETER, the rates
    // stored so far still counted.
    kernel::NTSTATUS GetSampleRates(std::uint32_t* count, std::uint32_t* rates) override;
    kernel::NTSTATUS GetSampleRate(std::uint32_t* rate) override;
    kernel::NTSTATUS SetSampleRate(std::uint32_t rate) override;
    kernel::NTSTATUS GetClockValid(std::uint8_t* valid) override;

private:
    kernel::NTSTATUS Transfer(bool in, std::uint8_t request, std::uint8_t selector, void* buffer,
                              std::uint32_t length, std::uint32_t* returned = nullptr);
};
