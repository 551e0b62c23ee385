#include "driver/miniport/wave_data_format.h"

#include "driver/common/object_model.h"
#include "driver/engine/format_list.h"

#include <cstring>

namespace {

// Where the wave record starts for a format of the size; 0 for a size the
// port layer never builds.
std::uint32_t WaveRecordOffset(std::uint32_t formatSize, bool attributes) {
    if (formatSize == 104) return 64;
    if (attributes) return formatSize == 88 ? 64 : formatSize == 96 ? 72 : 0;
    return formatSize == 82 ? 64 : formatSize == 90 ? 72 : 0;
}

constexpr std::uint32_t ExtensibleExtraBytes =
    sizeof(ks::WaveFormatExtensible) - sizeof(ks::WaveFormatEx);

// The engine's record a basic format stands for (the one its check matched).
kernel::NTSTATUS EquivalentEngineFormat(IStreamEngine& engine, const ks::WaveFormatEx& basic,
                                        ks::WaveFormatExtensible* wave) {
    const std::uint32_t count = engine.GetFormatCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        ks::WaveFormatExtensible record = {};
        if (!kernel::succeeded(engine.GetFormat(index, &record)) ||
            !RecordMatchesBasicFormat(record, basic))
            continue;
        *wave = record;
        return kernel::STATUS_SUCCESS;
    }
    return kernel::STATUS_INVALID_PARAMETER;
}

} // namespace

kernel::NTSTATUS ReadStreamFormat(IStreamEngine& engine, const ks::DataFormat* format,
                                  ks::WaveFormatExtensible* wave) {
    if (format == nullptr || wave == nullptr || format->FormatSize <= 81 ||
        !IsEqualId(format->MajorFormat, ks::KSDATAFORMAT_TYPE_AUDIO))
        return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t offset =
        WaveRecordOffset(format->FormatSize, (format->Flags & ks::data_flags::attributes) != 0);
    if (offset == 0) return kernel::STATUS_INVALID_PARAMETER;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(format) + offset;
    ks::WaveFormatExtensible record = {};
    std::memcpy(&record.Format, bytes, sizeof(ks::WaveFormatEx));
    // The extra bytes the record claims must be inside the format.
    const std::uint32_t room = format->FormatSize - offset - sizeof(ks::WaveFormatEx);
    if (record.Format.cbSize > ExtensibleExtraBytes || record.Format.cbSize > room)
        return kernel::STATUS_INVALID_PARAMETER;
    std::memcpy(&record, bytes, sizeof(ks::WaveFormatEx) + record.Format.cbSize);
    if (!kernel::succeeded(engine.CheckFormat(&record.Format)))
        return kernel::STATUS_INVALID_PARAMETER;
    if (record.Format.wFormatTag != ks::format_tag::extensible)
        return EquivalentEngineFormat(engine, record.Format, wave);
    *wave = record;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CheckSignalProcessingMode(const ks::DataFormat* format) {
    if (format == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if ((format->Flags & ks::data_flags::attributes) == 0) return kernel::STATUS_SUCCESS;
    const auto* list =
        reinterpret_cast<const std::uint8_t*>(format) + ks::alignUp8(format->FormatSize);
    ks::MultipleItem head = {};
    std::memcpy(&head, list, sizeof(head));
    if (head.Size < sizeof(head)) return kernel::STATUS_INVALID_PARAMETER;
    // Each attribute and its successor's start stay inside the list's own
    // size, however many the count claims.
    kernel::Guid mode = ks::AUDIO_SIGNALPROCESSING_MODE_RAW;
    std::uint64_t at = sizeof(head);
    for (std::uint32_t i = 0; i < head.Count; ++i) {
        if (at + sizeof(ks::Attribute) > head.Size) return kernel::STATUS_INVALID_PARAMETER;
        ks::Attribute attribute = {};
        std::memcpy(&attribute, list + at, sizeof(attribute));
        if (!IsEqualId(attribute.Attribute, ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE))
            return kernel::STATUS_NOT_SUPPORTED;
        if (attribute.Size != sizeof(ks::AudioSignalProcessingModeAttribute) ||
            at + attribute.Size > head.Size)
            return kernel::STATUS_INVALID_PARAMETER;
        std::memcpy(&mode,
                    list + at +
                        offsetof(ks::AudioSignalProcessingModeAttribute, SignalProcessingMode),
                    sizeof(mode));
        at += ks::alignUp8(attribute.Size);
    }
    return IsEqualId(mode, ks::AUDIO_SIGNALPROCESSING_MODE_RAW)
               ? kernel::STATUS_SUCCESS
               : kernel::STATUS_INVALID_DEVICE_REQUEST;
}
