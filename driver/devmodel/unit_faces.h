// The faces of selector units and clock sources that their control items
// bind to. Each shares its id with the item's own face (ISelectorControl,
// IClockSource in driver/engine) but not its slots: an entity answers one,
// an item the other, so a face queried of the wrong kind of object calls the
// wrong operations. Only the item that the entity made asks an entity for
// these faces; everything the HAL hands out is an item
// (driver/tests/sim/shared_face_test.cpp holds every model to it).
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

// A selector unit: inputs numbered from 1. Shares its id with the selector
// item's ISelectorControl, whose first three slots are these and which adds
// AddListener.
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
// clock is valid. Shares its id with the clock item's IClockSource, whose
// slots run GetSampleRates, GetSampleRateCount, SetSampleRate,
// GetSampleRate, GetClockValid.
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
