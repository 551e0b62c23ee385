#include "driver/devmodel/chips/n3w8/n3w8_configuration_rewrite.h"

#include "driver/common/pool_buffer.h"

#include <array>
#include <cstring>

namespace {

constexpr std::size_t WorkBufferLength = 4096;
constexpr std::size_t HeadLength = 28; // configuration, AudioControl interface, AC header
constexpr std::size_t HeaderTotalOffset = 23;
constexpr std::size_t ConfigurationTotalOffset = 2;

// The chip's elements in the order it reports them; each is copied from its
// fixed place whatever its own bLength says.
enum Element : std::size_t {
    PlaybackInput = 1,
    MicInput,
    MicRecord,
    MicThrough,
    OutputMixer,
    PlaybackFeature,
    PlaybackOutput,
    StereoMix,
    RecordOutput,
    RecordSelector,
    LineInput,
    LineRecord,
    LineThrough,
    SpdifInput,
    StereoMixRecord,
    SpdifRecord,
    PlaybackInterface,
    Playback8,
    Playback2,
    Playback4,
    Playback6,
    FurtherPlayback,
    Capture,
    ElementCount
};

struct Place {
    std::uint16_t offset;
    std::uint8_t length;
};

constexpr std::array<Place, ElementCount> Places = {{
    {0, HeadLength}, {28, 12}, {40, 12},  {52, 10},  {62, 10},  {72, 25},  {97, 16},  {113, 9},
    {122, 13},       {135, 9}, {144, 10}, {154, 12}, {166, 10}, {176, 10}, {186, 12}, {198, 10},
    {208, 10},       {218, 9}, {227, 46}, {273, 46}, {319, 46}, {365, 46}, {411, 43}, {454, 55},
}};
static_assert(Places[Capture].offset + Places[Capture].length == N3W8ConfigurationLength);

// Unit ids the rebuilt elements refer to.
constexpr std::uint8_t PlaybackInputId = 1;
constexpr std::uint8_t StereoMixRecordId = 2;
constexpr std::uint8_t MicRecordId = 8;
constexpr std::uint8_t MicThroughId = 9;
constexpr std::uint8_t LineThroughId = 11;
constexpr std::uint8_t LineRecordId = 15;
constexpr std::uint8_t SpdifRecordId = 16;

// 96000 as the 3-byte frequency at bytes 24-26 of the further setting.
constexpr std::uint8_t FurtherRate[] = {0x00, 0x77, 0x01};
constexpr std::size_t FurtherRateOffset = 24;

// A part switched off takes with it what depends on it.
N3W8ConfigurationSwitches WithImpliedSwitches(N3W8ConfigurationSwitches s) {
    if (s.DisableMicInTerminal) {
        s.DisableMicInAAUnit = s.DisableMicInRecUnit = s.DisableStereoMixRecUnit = true;
    }
    if (s.DisableLineInTerminal) {
        s.DisableLineInAAUnit = s.DisableLineInRecUnit = s.DisableStereoMixRecUnit = true;
    }
    if (s.DisableMicInAAUnit || s.DisableLineInAAUnit) s.DisableStereoMixRecUnit = true;
    return s;
}

void PutWord(std::uint8_t* at, std::size_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

// Appends elements to the scratch buffer, each behind the previous one.
class CElementWriter {
public:
    CElementWriter(const std::uint8_t* source, std::uint8_t* output)
        : m_pSource(source), m_pOutput(output) {}

    // Copies the element and answers where it landed, for changes.
    std::uint8_t* Copy(Element element, std::size_t length) {
        std::uint8_t* at = m_pOutput + m_Length;
        std::memcpy(at, m_pSource + Places[element].offset, length);
        m_Length += length;
        return at;
    }
    std::uint8_t* Copy(Element element) { return Copy(element, Places[element].length); }
    // Starts a rebuilt element with the source's type, subtype and id.
    void BeginRebuilt(Element element, std::size_t length) {
        Copy(element, 4)[0] = static_cast<std::uint8_t>(length);
    }
    void Put(std::uint8_t value) { m_pOutput[m_Length++] = value; }
    void PutZeros(std::size_t count) {
        std::memset(m_pOutput + m_Length, 0, count);
        m_Length += count;
    }
    std::size_t Length() const { return m_Length; }
    std::uint8_t* Output() const { return m_pOutput; }

private:
    const std::uint8_t* m_pSource;
    std::uint8_t* m_pOutput;
    std::size_t m_Length = 0;
};

struct Layout {
    bool micThrough;
    bool lineThrough;
    bool micRecord;
    bool lineRecord;
    bool stereoMixRecord;
    bool spdif;
    bool eightChannels;
    std::uint8_t channels;
    std::uint16_t channelConfig;

    int RecordSources() const {
        return int{micRecord} + int{lineRecord} + int{stereoMixRecord} + int{spdif};
    }
};

Layout LayoutOf(const N3W8ConfigurationSwitches& s) {
    const bool eight = !s.Disable8ChOutSupported;
    return {.micThrough = !s.DisableMicInAAUnit,
            .lineThrough = !s.DisableLineInAAUnit,
            .micRecord = !s.DisableMicInRecUnit,
            .lineRecord = !s.DisableLineInRecUnit,
            .stereoMixRecord = !s.DisableStereoMixRecUnit,
            .spdif = !s.DisableSpdifInTerminal,
            .eightChannels = eight,
            .channels = static_cast<std::uint8_t>(eight ? 8 : 6),
            .channelConfig = static_cast<std::uint16_t>(eight ? 0x063F : 0x003F)};
}

void WriteOutputMixer(CElementWriter& out, const Layout& layout) {
    const std::size_t pins = 1 + int{layout.micThrough} + int{layout.lineThrough};
    const std::size_t inputChannels =
        layout.channels + 2 * (int{layout.micThrough} + int{layout.lineThrough});
    const std::size_t controlBytes = (inputChannels * layout.channels + 7) / 8;
    out.BeginRebuilt(OutputMixer, 10 + pins + controlBytes);
    out.Put(static_cast<std::uint8_t>(pins));
    out.Put(PlaybackInputId);
    if (layout.micThrough) out.Put(MicThroughId);
    if (layout.lineThrough) out.Put(LineThroughId);
    out.Put(layout.channels);
    out.Put(static_cast<std::uint8_t>(layout.channelConfig));
    out.Put(static_cast<std::uint8_t>(layout.channelConfig >> 8));
    out.PutZeros(1 + controlBytes + 1); // iChannelNames, bmControls, iMixer
}

void WriteRecordSelector(CElementWriter& out, const Layout& layout) {
    const std::size_t pins = static_cast<std::size_t>(layout.RecordSources());
    out.BeginRebuilt(RecordSelector, 6 + pins);
    out.Put(static_cast<std::uint8_t>(pins));
    if (layout.micRecord) out.Put(MicRecordId);
    if (layout.lineRecord) out.Put(LineRecordId);
    if (layout.spdif) out.Put(SpdifRecordId);
    if (layout.stereoMixRecord) out.Put(StereoMixRecordId);
    out.Put(0); // iSelector
}

void WriteRecordOutput(CElementWriter& out, const Layout& layout) {
    std::uint8_t* terminal = out.Copy(RecordOutput);
    if (layout.RecordSources() >= 2) return;
    // With one source the selector is gone and the terminal takes that
    // source; with the stereo mix alone it keeps what it had.
    constexpr std::size_t SourceByte = 7;
    if (layout.micRecord) terminal[SourceByte] = MicRecordId;
    if (layout.lineRecord) terminal[SourceByte] = LineRecordId;
    if (layout.spdif) terminal[SourceByte] = SpdifRecordId;
}

void WriteAudioControl(CElementWriter& out, const N3W8ConfigurationSwitches& s,
                       const Layout& layout) {
    std::uint8_t* playbackInput = out.Copy(PlaybackInput);
    if (!layout.eightChannels) {
        playbackInput[7] = layout.channels;
        PutWord(playbackInput + 8, layout.channelConfig);
    }
    if (!s.DisableMicInTerminal) out.Copy(MicInput);
    if (layout.micRecord) out.Copy(MicRecord);
    if (layout.micThrough) out.Copy(MicThrough);
    const bool mixer = layout.micThrough || layout.lineThrough;
    if (mixer) WriteOutputMixer(out, layout);
    if (layout.eightChannels) {
        std::uint8_t* feature = out.Copy(PlaybackFeature);
        if (!mixer) feature[4] = PlaybackInputId;
    } else {
        constexpr std::size_t SixChannelLength = 14;
        std::uint8_t* feature = out.Copy(PlaybackFeature, SixChannelLength);
        feature[0] = SixChannelLength;
        feature[SixChannelLength - 1] = 0; // iFeature
        if (!mixer) feature[4] = PlaybackInputId;
    }
    out.Copy(PlaybackOutput);
    if (layout.stereoMixRecord) out.Copy(StereoMix);
    const bool anyInput =
        !(s.DisableMicInTerminal && s.DisableLineInTerminal && s.DisableSpdifInTerminal);
    if (anyInput) WriteRecordOutput(out, layout);
    if (layout.RecordSources() >= 2) WriteRecordSelector(out, layout);
    if (!s.DisableLineInTerminal) out.Copy(LineInput);
    if (layout.lineRecord) out.Copy(LineRecord);
    if (layout.lineThrough) out.Copy(LineThrough);
    if (layout.spdif) out.Copy(SpdifInput);
    if (layout.stereoMixRecord) out.Copy(StereoMixRecord);
    if (layout.spdif) out.Copy(SpdifRecord);
}

void WriteStreaming(CElementWriter& out, const N3W8ConfigurationSwitches& s) {
    out.Copy(PlaybackInterface);
    if (!s.Disable8ChOutSupported) out.Copy(Playback8);
    if (!s.Disable2ChOutSupported) out.Copy(Playback2);
    if (!s.Disable4ChOutSupported) out.Copy(Playback4);
    if (!s.Disable6ChOutSupported) out.Copy(Playback6);
    std::memcpy(out.Copy(FurtherPlayback) + FurtherRateOffset, FurtherRate, sizeof FurtherRate);
    if (!(s.DisableMicInTerminal && s.DisableLineInTerminal && s.DisableSpdifInTerminal))
        out.Copy(Capture);
}

} // namespace

kernel::NTSTATUS RewriteConfiguration(std::span<std::uint8_t> configuration,
                                      const N3W8ConfigurationSwitches& requested) {
    // Every element is read at its fixed place: a shorter configuration
    // cannot be the chip's, and reading it would run past what is held.
    if (configuration.size() < N3W8ConfigurationLength) return kernel::STATUS_UNSUCCESSFUL;
    const std::size_t announced =
        configuration[ConfigurationTotalOffset] | configuration[ConfigurationTotalOffset + 1] << 8;
    if (announced < N3W8ConfigurationLength) return kernel::STATUS_UNSUCCESSFUL;

    CPoolBuffer work(kernel::PoolType::Paged, WorkBufferLength, N3W8RewriteTag);
    if (!work.IsValid()) return kernel::STATUS_UNSUCCESSFUL;
    std::memset(work.Get(), 0, WorkBufferLength);

    const N3W8ConfigurationSwitches s = WithImpliedSwitches(requested);
    if (s.Disable8ChOutSupported && s.Disable6ChOutSupported) return kernel::STATUS_UNSUCCESSFUL;
    const Layout layout = LayoutOf(s);

    CElementWriter out(configuration.data(), work.Get<std::uint8_t>());
    out.Copy(Element{0});
    WriteAudioControl(out, s, layout);
    constexpr std::size_t HeaderStart = 18;
    PutWord(out.Output() + HeaderTotalOffset, out.Length() - HeaderStart);
    WriteStreaming(out, s);
    PutWord(out.Output() + ConfigurationTotalOffset, out.Length());

    std::memcpy(configuration.data(), out.Output(), out.Length());
    return kernel::STATUS_SUCCESS;
}
