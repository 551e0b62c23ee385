#include "driver/devmodel/uac2_clock_source.h"

#include "driver/common/pool_buffer.h"
#include "driver/devmodel/entity_controls.h"
#include "driver/devmodel/entity_request.h"
#include "driver/devmodel/unit_controls.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/little_endian.h"

#include <algorithm>

namespace {

using usb::uac2::clock_source_control::clockValidity;
using usb::uac2::clock_source_control::samplingFrequency;

// A RANGE answer: the number of sub-ranges, then minimum, maximum and
// resolution of each, 32 bits apiece.
constexpr std::uint32_t RangeHeader = 2;
constexpr std::uint32_t SubRangeBytes = 12;

} // namespace

kernel::NTSTATUS CUac2ClockSource::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                               void** object) {
    return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                           static_cast<IClockSourceUnit*>(this), id, IID_IClockSourceUnit, object);
}

kernel::NTSTATUS CUac2ClockSource::Parse(std::span<const std::uint8_t> bytes,
                                         kernel::IUnknown* device, CAudioHal* hal) {
    return ParseEntity(bytes, device, hal, usb::AudioRelease::uac2,
                       usb::uac2::ac_subtype::clockSource);
}

kernel::NTSTATUS CUac2ClockSource::CreateControls(CAudioHal* hal) {
    if (hal == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::NTSTATUS status = SetIdList(0, nullptr);
    if (!kernel::succeeded(status)) return status;
    return AddEntityControl<CUacClockControl>(
        *this, *hal, Uac2EntityTag, [&](CUacClockControl& control) {
            return control.Bind(static_cast<IClockSourceUnit*>(this));
        });
}

kernel::NTSTATUS CUac2ClockSource::Transfer(bool in, std::uint8_t request, std::uint8_t selector,
                                            void* buffer, std::uint32_t length,
                                            std::uint32_t* returned) {
    return SendEntityRequest(Device(),
                             {false, in, request, usb::controlValue(selector, 0),
                              static_cast<std::uint8_t>(GetId()), buffer, length},
                             returned);
}

kernel::NTSTATUS CUac2ClockSource::GetSampleRateCount(std::uint32_t* count) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t first[RangeHeader + SubRangeBytes] = {};
    std::uint32_t returned = 0;
    const kernel::NTSTATUS status = Transfer(true, usb::uac2::request::range, samplingFrequency,
                                             first, sizeof(first), &returned);
    if (!kernel::succeeded(status)) return status;
    if (returned < RangeHeader) return kernel::STATUS_UNSUCCESSFUL;
    *count = usb::readLittleEndian<2>(first, 0);
    return kernel::STATUS_SUCCESS;
}

// Only whole sub-ranges the device returned are read.
kernel::NTSTATUS CUac2ClockSource::GetSampleRates(std::uint32_t* count, std::uint32_t* rates) {
    if (count == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t listed = 0;
    kernel::NTSTATUS status = GetSampleRateCount(&listed);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t wanted = std::min(*count, listed);
    *count = 0;
    if (wanted != 0 && rates == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CPoolBuffer answer(kernel::PoolType::NonPagedNx, SubRangeBytes * wanted + RangeHeader,
                       Uac2EntityTag);
    if (!answer.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t returned = 0;
    status = Transfer(true, usb::uac2::request::range, samplingFrequency, answer.Get(),
                      static_cast<std::uint32_t>(answer.Size()), &returned);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t whole =
        returned >= RangeHeader ? (returned - RangeHeader) / SubRangeBytes : 0;
    const std::span<const std::uint8_t> bytes(answer.Get<const std::uint8_t>(), answer.Size());
    for (std::uint32_t i = 0; i < std::min(wanted, whole); ++i) {
        const std::size_t at = RangeHeader + SubRangeBytes * i;
        const std::uint32_t minimum = usb::readLittleEndian<4>(bytes, at);
        const std::uint32_t maximum = usb::readLittleEndian<4>(bytes, at + 4);
        const std::uint32_t resolution = usb::readLittleEndian<4>(bytes, at + 8);
        if (minimum == maximum && resolution == 0)
            rates[(*count)++] = minimum;
        else
            status = kernel::STATUS_INVALID_PARAMETER;
    }
    return status;
}

kernel::NTSTATUS CUac2ClockSource::GetSampleRate(std::uint32_t* rate) {
    if (rate == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint8_t bytes[4] = {};
    const kernel::NTSTATUS status = ReadEntityExactly(
        Device(), {false, true, usb::uac2::request::cur, usb::controlValue(samplingFrequency, 0),
                   static_cast<std::uint8_t>(GetId()), bytes, sizeof(bytes)});
    if (kernel::succeeded(status)) *rate = usb::readLittleEndian<4>(bytes, 0);
    return status;
}

kernel::NTSTATUS CUac2ClockSource::SetSampleRate(std::uint32_t rate) {
    usb::Le32 bytes = usb::Le32::of(rate);
    return Transfer(false, usb::uac2::request::cur, samplingFrequency, bytes.bytes,
                    sizeof(bytes.bytes));
}

kernel::NTSTATUS CUac2ClockSource::GetClockValid(std::uint8_t* valid) {
    if (valid == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    return ReadEntityExactly(Device(), {false, true, usb::uac2::request::cur,
                                        usb::controlValue(clockValidity, 0),
                                        static_cast<std::uint8_t>(GetId()), valid, 1});
}
