// The clock item: the discrete sample rates of a clock source (at most 30)
// and the rate last set.
#pragma once

#include "driver/engine/audio_node.h"

#include <cstdint>

inline constexpr kernel::PoolTag ClockRateTag = kernel::poolTag("cloc");
inline constexpr std::uint32_t MaxClockRates = 30;

// The clock item's face. Its id is shared: a clock source (an entity)
// answers IClockSourceUnit (driver/devmodel/unit_faces.h) under the same id,
// with its slots in another order. Only items are children of the HAL, so
// a caller that queries this face takes its object from the HAL, never from
// an entity list.
class IClockSource : public kernel::IUnknown {
public:
    // count is in/out: the room on the way in, the rates copied on the way out.
    virtual kernel::NTSTATUS GetSampleRates(std::uint32_t* count, std::uint32_t* rates) = 0;
    virtual kernel::NTSTATUS GetSampleRateCount(std::uint32_t* count) = 0;
    virtual kernel::NTSTATUS SetSampleRate(std::uint32_t rate) = 0;
    virtual kernel::NTSTATUS GetSampleRate(std::uint32_t* rate) = 0;
    virtual kernel::NTSTATUS GetClockValid(std::uint8_t* valid) = 0;

protected:
    ~IClockSource() = default;
};

class CClockItem : public CForwardingUnknown<CAudioNode, IClockSource> {
public:
    CClockItem(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, item_type::clockRates) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetSampleRates(std::uint32_t* count, std::uint32_t* rates) override;
    kernel::NTSTATUS GetSampleRateCount(std::uint32_t* count) override {
        return ReportValue(m_ulRateCount, count);
    }
    kernel::NTSTATUS SetSampleRate(std::uint32_t rate) override {
        m_ulCurrentRate = rate;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetSampleRate(std::uint32_t* rate) override {
        return ReportValue(m_ulCurrentRate, rate);
    }
    // The item holds no clock that could fail: always valid.
    kernel::NTSTATUS GetClockValid(std::uint8_t* valid) override;

    // Refused for null rates or more than MaxClockRates.
    kernel::NTSTATUS SetUpRates(const std::uint32_t* rates, std::uint32_t count);

private:
    CPoolBuffer m_Rates;
    std::uint32_t m_ulRateCount = 0;
    std::uint32_t m_ulCurrentRate = 0;
};
