// A stream engine's list of supported formats: owned copies of 40-byte
// extensible records, freed with the list. Filled while the device is
// parsed, only read afterwards.
#pragma once

#include "driver/common/list.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

// Whether a record stands for a basic (not extensible) wave format: the
// same channels, rate and container bits, and a sub-format whose first 16
// bits are the format's tag. The first such record is the one a basic
// format is taken as.
bool RecordMatchesBasicFormat(const ks::WaveFormatExtensible& record,
                              const ks::WaveFormatEx& format);

class CFormatList {
public:
    explicit CFormatList(kernel::PoolTag tag) : m_Tag(tag) {}
    ~CFormatList() { Free(); }
    CFormatList(const CFormatList&) = delete;
    CFormatList& operator=(const CFormatList&) = delete;

    // An empty list, unless there is one already.
    kernel::NTSTATUS Create();
    // Frees every record and the list.
    void Free();
    bool Exists() const { return m_pList != nullptr; }

    // Appends a copy of the record; STATUS_INSUFFICIENT_RESOURCES (nothing
    // kept) when the copy or its node cannot be had, STATUS_UNSUCCESSFUL
    // without a list.
    kernel::NTSTATUS Append(const ks::WaveFormatExtensible& record);

    std::uint32_t Count() const;
    // Copies the record: STATUS_UNSUCCESSFUL without a list or entry,
    // STATUS_INVALID_PARAMETER for an index at or beyond the count or a null
    // out record.
    kernel::NTSTATUS Get(std::uint32_t index, ks::WaveFormatExtensible* record) const;

    // Finds a record that matches the format, and for a basic format rewrites
    // it from that record. STATUS_NO_MATCH when there is no list or nothing
    // matches.
    kernel::NTSTATUS Check(ks::WaveFormatEx* format) const;

    // Takes out every record of the format tag (an extensible record's
    // sub-format tag); the count taken.
    std::uint32_t RemoveTag(std::uint16_t tag);

private:
    template <class Match> const ks::WaveFormatExtensible* FindFirst(Match match) const;

    const kernel::PoolTag m_Tag;
    CList* m_pList = nullptr;
};
