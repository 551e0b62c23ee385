#include "driver/engine/clock_item.h"

#include <cstring>

kernel::NTSTATUS CClockItem::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<IClockSource*>(this), id, IID_IClockSource, object);
}

kernel::NTSTATUS CClockItem::GetSampleRates(std::uint32_t* count, std::uint32_t* rates) {
    if (count == nullptr || rates == nullptr || *count < m_ulRateCount)
        return kernel::STATUS_INVALID_PARAMETER;
    *count = m_ulRateCount;
    if (m_ulRateCount != 0) std::memcpy(rates, m_Rates.Get(), m_Rates.Size());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CClockItem::GetClockValid(std::uint8_t* valid) {
    return ReportValue<std::uint8_t>(1, valid);
}

kernel::NTSTATUS CClockItem::SetUpRates(const std::uint32_t* rates, std::uint32_t count) {
    if (rates == nullptr || count > MaxClockRates) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    CPoolBuffer copy;
    if (count != 0) {
        copy = CPoolBuffer(kernel::PoolType::NonPagedNx, std::size_t{count} * sizeof *rates,
                           ClockRateTag);
        if (!copy.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        std::memcpy(copy.Get(), rates, copy.Size());
    }
    m_Rates = std::move(copy);
    m_ulRateCount = count;
    return kernel::STATUS_SUCCESS;
}
