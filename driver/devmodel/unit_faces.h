// The faces of selector units and clock sources that their control items
// bind to. They share their identifiers with the items' own faces
// (ISelectorControl, IClockSource): an entity answers one, an item the other.
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

// A selector unit: inputs numbered from 1.
class ISelectorUnit : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetCurrentInput(std::uint32_t* input) = 0;
    virtual kernel::NTSTATUS SetCurrentInput(std::uint32_t input) = 0;
    virtual kernel::NTSTATUS GetInputCount(std::uint32_t* count) = 0;

protected:
    ~ISelectorUnit() = default;
};
inline constexpr const kernel::Guid& IID_ISelectorUnit = IID_ISelectorControl;

// A clock source: its discrete rates, the rate it runs at and whether its
// clock is valid.
class IClockSourceUnit : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetSampleRateCount(std::uint32_t* count) = 0;
    // count is in/out: the room on the way in, the rates stored on the way out.
    virtual kernel::NTSTATUS GetSampleRates(std::uint32_t* count, std::uint32_t* rates) = 0;
    virtual kernel::NTSTATUS GetSampleRate(std::uint32_t* rate) = 0;
    virtual kernel::NTSTATUS SetSampleRate(std::uint32_t rate) = 0;
    virtual kernel::NTSTATUS GetClockValid(std::uint8_t* valid) = 0;

protected:
    ~IClockSourceUnit() = default;
};
inline constexpr const kernel::Guid& IID_IClockSourceUnit = IID_IClockSource;
