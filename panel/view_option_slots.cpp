// The view's setters of the current profile: each stores the block first and
// then hands the changed values to the engine, so the file always holds what
// was last sent. A list shorter than a setter reads is ignored.

#include "panel/lighting_push.h"
#include "panel/option_block.h"
#include "panel/option_edit.h"
#include "panel/view.h"
#include "panel/zen.h"

#include <algorithm>

namespace panel {

using namespace option;

// A setter of the device page: where its list lands in the option block,
// and what the engine is told afterwards (nothing for the storing-only ones).
// The lists that carry the LED settings have their mode settled as stored.
struct LiveSetter {
    std::span<const ByteRun> runs;
    void (*apply)(Zen&, const OptionBlock&);
    bool settlesLed = false;
};

namespace {

std::array<int, kEqBandCount> eqGains(const OptionBlock& b) {
    std::array<int, kEqBandCount> gains{};
    for (std::size_t i = 0; i < gains.size(); ++i) gains[i] = b[kEqBands + i] - kEqOffset;
    return gains;
}

int entriesRead(std::span<const ByteRun> runs) {
    std::size_t n = 0;
    for (const ByteRun& r : runs) n = std::max(n, r.src + r.count);
    return static_cast<int>(n);
}

constexpr ByteRun kSpeakerMuteRuns[] = {{0, kSpeakerMute, 1}};
constexpr ByteRun kMicMuteRuns[] = {{0, kMicMute, 1}};
// lock, slider side, left, right
constexpr ByteRun kSpeakerValueRuns[] = {{0, kSpeakerLock, 4}};
constexpr ByteRun kMicValueRuns[] = {{0, kMicLock, 4}};
constexpr ByteRun kEqEnableRuns[] = {{0, kEqEnable, 1}};
constexpr ByteRun kEqValueRuns[] = {{0, kEqPreset, 1}, {1, kEqBands, kEqBandCount}};
constexpr ByteRun kClarityRuns[] = {{0, kClarity, 1}};
constexpr ByteRun kClarityLevelRuns[] = {{0, kClarityLevel, 1}};
constexpr ByteRun kNoiseLevelRuns[] = {{0, kNoiseLevel, 1}};
constexpr ByteRun kSurroundRuns[] = {{0, kSurround, 1}};
constexpr ByteRun kEncRuns[] = {{0, kEnc, 1}};
constexpr ByteRun kMagicVoiceRuns[] = {{0, kMagicVoice, 1}};
constexpr ByteRun kMagicModeRuns[] = {{0, kMagicMode, 1}};

// The device page's APPLY list: seven colours, the LED settings, the voice
// and EQ switches, the EQ bands, then speaker and microphone.
constexpr ByteRun kOptionRuns[] = {
    {21, kLedEnable, 5}, {0, kLedColours, 21},  {26, kClarity, 9},
    {35, kEqBands, 10},  {45, kSpeakerMute, 5}, {50, kMicMute, 5},
};
// The lighting list: seven colours, the LED settings, then the switches the
// headset shows.
constexpr ByteRun kLightingRuns[] = {
    {26, kClarity, 1}, {27, kSurround, 1},  {28, kEnc, 1},        {29, kMagicVoice, 1},
    {30, kMicMute, 1}, {21, kLedEnable, 5}, {0, kLedColours, 21},
};

// The APPLY list reaches every part of the device.
void applyOption(Zen& z, const OptionBlock& b) {
    pushLighting(z.hid(), b, b[kEnc], ColourOrder::GreenBlueRed);
    z.setSpeakerVolumeAll(b[kSpeakerMute], b[kSpeakerLock], b[kSpeakerLeft], b[kSpeakerRight]);
    z.setMicVolumeAll(b[kMicMute], b[kMicLock], b[kMicLeft], b[kMicRight]);
    z.setEqAll(b[kEqEnable], eqGains(b));
    z.adjustVoiceClarity(b[kClarity], b[kClarityLevel], b[kNoiseLevel]);
    z.adjustSurroundHeadphone(b[kSurround]);
    z.setEncEnable(b[kEnc]);
    z.setMagicVoice(b[kMagicVoice], b[kMagicMode]);
}

void applyLighting(Zen& z, const OptionBlock& b) {
    pushLighting(z.hid(), b, b[kEnc], ColourOrder::RedGreenBlue);
}

const LiveSetter kApplyOption{kOptionRuns, applyOption, true};
const LiveSetter kSetAllLed{kLightingRuns, applyLighting, true};

constexpr std::size_t kKeyBytesFirst = 64, kKeyBytes = kSmallBlockBytes;

} // namespace

bool View::editCurrentOption(const std::function<void(OptionBlock&)>& change, OptionBlock& edited) {
    if (!attached()) return false;
    return m_profiles->editOption(m_profiles->profileId(), [&](OptionBlock& b) {
        change(b);
        edited = b;
    });
}

bool View::setLive(const LiveSetter& setter, const QVariantList& src) {
    if (src.size() < entriesRead(setter.runs)) return false;
    OptionBlock b{};
    const bool stored = editCurrentOption(
        [&](OptionBlock& block) {
            copyRuns(src, setter.runs, block);
            if (setter.settlesLed) settleLedMode(block);
        },
        b);
    if (stored && setter.apply) setter.apply(*m_owner, b);
    return stored;
}

void View::ui_setOption(const QVariantList& src) {
    if (setLive(kApplyOption, src)) chkProfileId();
}

void View::ui_set_All_led(const QVariantList& src) { setLive(kSetAllLed, src); }

void View::ui_setEqValue(const QVariantList& src) {
    OptionBlock b{};
    if (src.size() < int(1 + kEqBandCount)) return;
    // A preset the page does not have keeps its number but no positions.
    const uint preset = src[0].toUInt();
    editCurrentOption(
        [&](OptionBlock& block) {
            block[kEqSavedPreset] = static_cast<std::uint8_t>(preset);
            if (preset >= kEqPresets) return;
            for (std::size_t j = 0; j < kEqBandCount; ++j)
                block[kEqSavedPositions + kEqBandCount * preset + j] =
                    static_cast<std::uint8_t>(src[int(1 + j)].toUInt());
        },
        b);
}

void View::ui_setButtonValue(const QVariantList& src64) {
    if (!attached() || src64.size() < int(kKeyBytes)) return;
    std::array<std::uint8_t, kKeyBytes> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i)
        keys[i] = static_cast<std::uint8_t>(src64[int(i)].toUInt());
    m_profiles->editMatrix(m_profiles->profileId(), [&](MatrixBlock& m) {
        std::copy(keys.begin(), keys.end(), m.begin() + kKeyBytesFirst);
    });
    chkProfileId();
    m_owner->hid().writeCmd03(keys);
    m_owner->settings().stampTimeFlag();
}

// The live setters. A name ending in "_p" only stores.
namespace {

const LiveSetter kStoreSpeakerMute{kSpeakerMuteRuns, nullptr};
const LiveSetter kStoreMicMute{kMicMuteRuns, nullptr};
const LiveSetter kStoreSpeakerValue{kSpeakerValueRuns, nullptr};
const LiveSetter kStoreMicValue{kMicValueRuns, nullptr};
const LiveSetter kStoreEqValue{kEqValueRuns, nullptr};
const LiveSetter kStoreClarityLevel{kClarityLevelRuns, nullptr};
const LiveSetter kStoreNoiseLevel{kNoiseLevelRuns, nullptr};

const LiveSetter kSetSpeakerMute{
    kSpeakerMuteRuns, [](Zen& z, const OptionBlock& b) { z.setSpeakerMute(b[kSpeakerMute]); }};
const LiveSetter kSetSpeakerValue{kSpeakerValueRuns, [](Zen& z, const OptionBlock& b) {
                                      z.setSpeakerVolume(b[kSpeakerLock], b[kSpeakerLeft],
                                                         b[kSpeakerRight]);
                                  }};
const LiveSetter kSetMicMute{kMicMuteRuns,
                             [](Zen& z, const OptionBlock& b) { z.setMicMute(b[kMicMute]); }};
const LiveSetter kSetMicValue{kMicValueRuns, [](Zen& z, const OptionBlock& b) {
                                  z.setMicVolume(b[kMicLock], b[kMicLeft], b[kMicRight]);
                              }};
const LiveSetter kSetEqEnable{kEqEnableRuns,
                              [](Zen& z, const OptionBlock& b) { z.setEqEnable(b[kEqEnable]); }};
const LiveSetter kSetEqValue{kEqValueRuns,
                             [](Zen& z, const OptionBlock& b) { z.setEqSliders(eqGains(b)); }};
const LiveSetter kSetClarity{
    kClarityRuns, [](Zen& z, const OptionBlock& b) { z.setVoiceClarityEnable(b[kClarity]); }};
const LiveSetter kSetClarityLevel{kClarityLevelRuns, [](Zen& z, const OptionBlock& b) {
                                      z.setVoiceClarityLevel(b[kClarityLevel]);
                                  }};
const LiveSetter kSetNoiseLevel{kNoiseLevelRuns, [](Zen& z, const OptionBlock& b) {
                                    z.setNoiseSuppressionLevel(b[kNoiseLevel]);
                                }};
const LiveSetter kSetSurround{
    kSurroundRuns, [](Zen& z, const OptionBlock& b) { z.adjustSurroundHeadphone(b[kSurround]); }};
const LiveSetter kSetEnc{kEncRuns, [](Zen& z, const OptionBlock& b) { z.setEncEnable(b[kEnc]); }};
const LiveSetter kSetMagicVoice{
    kMagicVoiceRuns, [](Zen& z, const OptionBlock& b) { z.setMagicVoiceEnable(b[kMagicVoice]); }};
const LiveSetter kSetMagicMode{
    kMagicModeRuns, [](Zen& z, const OptionBlock& b) { z.setMagicVoiceSelection(b[kMagicMode]); }};

} // namespace

void View::ui_set_volume_speaker_mute_p(const QVariantList& s) { setLive(kStoreSpeakerMute, s); }
void View::ui_set_volume_mic_mute_p(const QVariantList& s) { setLive(kStoreMicMute, s); }
void View::ui_set_volume_speaker_value_p(const QVariantList& s) { setLive(kStoreSpeakerValue, s); }
void View::ui_set_volume_mic_value_p(const QVariantList& s) { setLive(kStoreMicValue, s); }
void View::ui_set_volume_speaker_mute(const QVariantList& s) { setLive(kSetSpeakerMute, s); }
void View::ui_set_volume_speaker_value(const QVariantList& s) { setLive(kSetSpeakerValue, s); }
void View::ui_set_volume_mic_mute(const QVariantList& s) { setLive(kSetMicMute, s); }
void View::ui_set_volume_mic_value(const QVariantList& s) { setLive(kSetMicValue, s); }
void View::ui_set_eq_enable(const QVariantList& s) { setLive(kSetEqEnable, s); }
void View::ui_set_eq_value(const QVariantList& s) { setLive(kSetEqValue, s); }
void View::ui_set_eq_value_p(const QVariantList& s) { setLive(kStoreEqValue, s); }
void View::ui_set_clarity_enable(const QVariantList& s) { setLive(kSetClarity, s); }
void View::ui_set_clarity_level(const QVariantList& s) { setLive(kSetClarityLevel, s); }
void View::ui_set_clarity_supp(const QVariantList& s) { setLive(kSetNoiseLevel, s); }
void View::ui_set_clarity_level_p(const QVariantList& s) { setLive(kStoreClarityLevel, s); }
void View::ui_set_clarity_supp_p(const QVariantList& s) { setLive(kStoreNoiseLevel, s); }
void View::ui_set_surround_headphone(const QVariantList& s) { setLive(kSetSurround, s); }
void View::ui_set_enc(const QVariantList& s) { setLive(kSetEnc, s); }
void View::ui_set_magic_voice_enable(const QVariantList& s) { setLive(kSetMagicVoice, s); }
void View::ui_set_magic_voice_mode(const QVariantList& s) { setLive(kSetMagicMode, s); }

} // namespace panel
