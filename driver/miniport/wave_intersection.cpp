// The format the streaming pin proposes for a client's range: the endpoint
// format that fits both ranges, behind a format head.
#include "driver/miniport/wave_miniport.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t ProposedFormatSize = sizeof(ks::DataFormatWaveFormatExtensible);
constexpr kernel::Guid WildcardSpecifier = {};

struct Wanted {
    std::uint32_t channels;
    std::uint32_t rate;
    std::uint32_t validBits;
    kernel::Guid subFormat;
};

bool EngineHasSubFormat(IStreamEngine& engine, const kernel::Guid& subFormat) {
    const std::uint32_t count = engine.GetFormatCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        ks::WaveFormatExtensible format = {};
        if (kernel::succeeded(engine.GetFormat(i, &format)) &&
            IsEqualId(format.SubFormat, subFormat))
            return true;
    }
    return false;
}

bool FindEngineFormat(IStreamEngine& engine, const Wanted& wanted,
                      ks::WaveFormatExtensible* found) {
    const std::uint32_t count = engine.GetFormatCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        ks::WaveFormatExtensible format = {};
        if (kernel::succeeded(engine.GetFormat(i, &format)) &&
            format.Format.nChannels == wanted.channels &&
            format.Format.nSamplesPerSec == wanted.rate &&
            format.wValidBitsPerSample == wanted.validBits &&
            IsEqualId(format.SubFormat, wanted.subFormat)) {
            *found = format;
            return true;
        }
    }
    return false;
}

// The sizing answers: none with room for the proposal.
bool AnswerSizing(std::uint32_t room, std::uint32_t* length, kernel::NTSTATUS* status) {
    if (room == 0) {
        *length = ProposedFormatSize;
        *status = kernel::STATUS_BUFFER_OVERFLOW;
        return true;
    }
    if (room < ProposedFormatSize) {
        *status = kernel::STATUS_BUFFER_TOO_SMALL;
        return true;
    }
    return false;
}

bool RangesOverlap(const ks::DataRangeAudio& own, const ks::DataRangeAudio& client) {
    return own.MaximumSampleFrequency >= client.MinimumSampleFrequency &&
           client.MaximumSampleFrequency >= own.MinimumSampleFrequency &&
           own.MaximumBitsPerSample >= client.MinimumBitsPerSample &&
           client.MaximumBitsPerSample >= own.MinimumBitsPerSample;
}

} // namespace

kernel::NTSTATUS
CWaveMiniport::DataRangeIntersection(std::uint32_t, const ks::DataRange* clientRange,
                                     const ks::DataRange* myRange, std::uint32_t outputBufferLength,
                                     void* resultantFormat, std::uint32_t* resultantFormatLength) {
    if (clientRange == nullptr || myRange == nullptr || resultantFormatLength == nullptr ||
        myRange->FormatSize < sizeof(ks::DataRangeAudio))
        return kernel::STATUS_INVALID_PARAMETER;
    if (m_pEngine == nullptr) return kernel::STATUS_NO_MATCH;
    if (!IsEqualId(clientRange->MajorFormat, ks::KSDATAFORMAT_TYPE_AUDIO) ||
        !EngineHasSubFormat(*m_pEngine, clientRange->SubFormat))
        return kernel::STATUS_NO_MATCH;
    if (IsEqualId(clientRange->Specifier, ks::KSDATAFORMAT_SPECIFIER_DSOUND))
        return kernel::STATUS_NOT_SUPPORTED;

    const auto& own = *reinterpret_cast<const ks::DataRangeAudio*>(myRange);
    const bool wildcard = IsEqualId(clientRange->Specifier, WildcardSpecifier);
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (AnswerSizing(outputBufferLength, resultantFormatLength, &status)) return status;

    ks::DataFormat head = {};
    Wanted wanted = {};
    if (wildcard) {
        // The proposal keeps the own range's sub-format, so its head and its
        // wave record never name different encodings.
        head = own.DataRange;
        head.SampleSize = 0;
        wanted = {own.MaximumChannels, own.MaximumSampleFrequency, own.MaximumBitsPerSample,
                  own.DataRange.SubFormat};
    } else {
        if (clientRange->FormatSize < sizeof(ks::DataRangeAudio))
            return kernel::STATUS_INVALID_PARAMETER;
        const auto& client = *reinterpret_cast<const ks::DataRangeAudio*>(clientRange);
        if (!RangesOverlap(own, client)) return kernel::STATUS_NO_MATCH;
        head = client.DataRange;
        head.Specifier = ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
        wanted = {std::min(own.MaximumChannels, client.MaximumChannels),
                  std::min(own.MaximumSampleFrequency, client.MaximumSampleFrequency),
                  std::min(own.MaximumBitsPerSample, client.MaximumBitsPerSample),
                  client.DataRange.SubFormat};
    }
    if (resultantFormat == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    ks::WaveFormatExtensible format = {};
    if (!FindEngineFormat(*m_pEngine, wanted, &format)) return kernel::STATUS_NO_MATCH;
    if (!wildcard) head.SampleSize = format.Format.nBlockAlign;
    head.FormatSize = ProposedFormatSize;
    // No attribute list follows the proposal.
    head.Flags &= ~ks::data_flags::attributes;
    ks::DataFormatWaveFormatExtensible proposal = {head, format};
    std::memcpy(resultantFormat, &proposal, ProposedFormatSize);
    *resultantFormatLength = ProposedFormatSize;
    return kernel::STATUS_SUCCESS;
}
