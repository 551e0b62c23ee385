// The device controls of an ASIO client's file: each code's length
// condition, the operation it calls and the byte count it reports. Input and
// output share the system buffer, so an operation reads its input before it
// writes.
#include "driver/adapter/asio_private.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t FirstWord(const void* buffer) {
    std::uint32_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    return value;
}

// A query that fills a fixed record: out must hold it; the byte count is
// the record's size, so nothing else of the system buffer reaches the client.
template <class Record, class Query>
kernel::NTSTATUS FillRecord(void* buffer, std::uint32_t out, std::uint32_t* bytes, Query query) {
    if (buffer == nullptr || out < sizeof(Record)) return kernel::STATUS_BUFFER_TOO_SMALL;
    Record record = {};
    std::memcpy(&record, buffer, std::min<std::size_t>(out, sizeof record));
    const kernel::NTSTATUS status = query(&record);
    if (!kernel::succeeded(status)) return status;
    std::memcpy(buffer, &record, sizeof record);
    *bytes = sizeof record;
    return status;
}

// A query of `words` ULONGs that needs out >= 4 x words; the byte count is out.
template <std::size_t Words, class Query>
kernel::NTSTATUS FillWords(void* buffer, std::uint32_t out, std::uint32_t* bytes, Query query) {
    if (buffer == nullptr || out < Words * 4) return kernel::STATUS_SUCCESS;
    std::uint32_t words[Words] = {};
    const kernel::NTSTATUS status = query(words);
    if (kernel::succeeded(status) || status == kernel::STATUS_BUFFER_OVERFLOW) {
        std::memcpy(buffer, words, sizeof words);
        *bytes = out;
    }
    return status;
}

} // namespace

kernel::NTSTATUS CAsioPrivate::DeviceControl(io::FileObject* file, io::Irp* request,
                                             std::uint32_t code, void* buffer, std::uint32_t in,
                                             std::uint32_t out, std::uint32_t* bytes) {
    *bytes = 0;
    const bool hasWord = buffer != nullptr && in >= 4;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    switch (code) {
    case asio_control::GetDeviceName: {
        std::uint32_t length = buffer != nullptr ? out : 0;
        status = GetDeviceName(file, static_cast<char*>(buffer), &length);
        if (kernel::succeeded(status) || status == kernel::STATUS_BUFFER_OVERFLOW) *bytes = length;
        return status;
    }
    case asio_control::GetChannels:
        return FillRecord<AsioChannels>(buffer, out, bytes,
                                        [&](AsioChannels* r) { return GetChannels(file, r); });
    case asio_control::GetChannelInfo:
        return FillRecord<AsioChannelInfo>(
            buffer, out, bytes, [&](AsioChannelInfo* r) { return GetChannelInfo(file, r); });
    case asio_control::SetConfigEvent:
        return in == 4 && buffer != nullptr ? SetConfigEvent(file, FirstWord(buffer)) : status;
    case asio_control::ReleaseConfigEvent:
        return in == 0 || buffer == nullptr ? ReleaseConfigEvent(file) : status;
    case asio_control::GetBuffersHeld: {
        if (out == 0 || buffer == nullptr) {
            *bytes = 4;
            return kernel::STATUS_BUFFER_OVERFLOW;
        }
        if (out < 4) return kernel::STATUS_BUFFER_TOO_SMALL;
        std::uint32_t held = 0;
        status = GetBuffersHeld(file, &held);
        if (kernel::succeeded(status)) {
            std::memcpy(buffer, &held, sizeof held);
            *bytes = 4;
        }
        return status;
    }
    case asio_control::GetSampleTypes:
    case asio_control::GetLatencyList: {
        std::uint32_t length = buffer != nullptr ? out : 0;
        // The list is built aside: the system buffer need not be aligned.
        std::uint32_t list[16] = {};
        const std::uint32_t room = std::min<std::uint32_t>(length, sizeof list);
        std::uint32_t given = room;
        status = code == asio_control::GetSampleTypes
                     ? GetSampleTypes(file, given != 0 ? list : nullptr, &given)
                     : GetLatencyList(file, given != 0 ? list : nullptr, &given);
        if (kernel::succeeded(status) && room != 0) std::memcpy(buffer, list, given);
        if (kernel::succeeded(status) || status == kernel::STATUS_BUFFER_OVERFLOW) *bytes = given;
        return status;
    }
    case asio_control::SetSampleType:
        return hasWord ? SetSampleType(file, FirstWord(buffer)) : status;
    case asio_control::SetLatency:
        return hasWord ? SetLatency(file, FirstWord(buffer)) : status;
    case asio_control::GetLatencies:
        return FillWords<2>(buffer, out, bytes,
                            [&](std::uint32_t* w) { return GetLatencies(file, w); });
    case asio_control::GetSampleRate:
        return FillWords<1>(buffer, out, bytes,
                            [&](std::uint32_t* w) { return GetSampleRate(file, w); });
    case asio_control::CanSampleRate:
        return hasWord ? CanSampleRate(file, FirstWord(buffer)) : status;
    case asio_control::SetSampleRate:
        return hasWord ? SetSampleRate(file, FirstWord(buffer)) : status;
    case asio_control::GetBufferSize:
        status = FillWords<4>(buffer, out, bytes,
                              [&](std::uint32_t* w) { return GetBufferSize(file, w); });
        if (!kernel::succeeded(status)) *bytes = 0;
        return status;
    case asio_control::CreateBuffers:
        if (in == 0 || buffer == nullptr) return status;
        status = CreateBuffers(file, buffer, in, buffer, out);
        if (kernel::succeeded(status)) *bytes = out;
        return status;
    case asio_control::DisposeBuffers:
        return DisposeBuffers(file);
    case asio_control::Start:
        return in == 4 && buffer != nullptr ? Start(file, FirstWord(buffer)) : status;
    case asio_control::Stop:
        return in == 0 || buffer == nullptr ? Stop(file, request) : status;
    case asio_control::CanKind:
        return hasWord ? CanKind(file, FirstWord(buffer)) : status;
    case asio_control::SetKind:
        return hasWord ? SetKind(file, FirstWord(buffer)) : status;
    case asio_control::GetKind:
        status =
            FillWords<1>(buffer, out, bytes, [&](std::uint32_t* w) { return GetKind(file, w); });
        if (*bytes != 0) *bytes = 4;
        return status;
    default:
        return kernel::STATUS_NOT_SUPPORTED;
    }
}
