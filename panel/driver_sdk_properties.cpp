// The driver properties the panel reads and writes, and the operations built
// on them.

#include "panel/driver_sdk.h"
#include "panel/wide_number.h"

#include <QDebug>

#include <cstring>
#include <string>

namespace panel {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr std::uint8_t kRead = 0;
constexpr std::uint8_t kWrite = 1;
constexpr int kMaster = -1;
constexpr int kLeft = 0;
constexpr int kRight = 1;
constexpr std::int32_t kSurroundGroup = 4;
// Room for the terminator in the 1024-byte buffer.
constexpr std::size_t kMaxTextUnits = 511;

constexpr const char16_t* kVolume = u"VolumeControl";
constexpr const char16_t* kMute = u"MuteControl";
constexpr const char16_t* kVolumeScalar = u"VolumeScalarControl";
constexpr const char16_t* kAaVolume = u"AAVolumeControl";
constexpr const char16_t* kAaMute = u"AAMuteControl";
constexpr const char16_t* kAaVolumeScalar = u"AAVolumeScalarControl";
constexpr const char16_t* kClarityEnable = u"Enable_VOICECLARITY_LFX";
constexpr const char16_t* kClarityLevel = u"VOICECLARITY_LEVEL";
constexpr const char16_t* kNoiseLevel = u"VOICECLARITY_NOISESUPP_LEVEL";
constexpr const char16_t* kChannelCopy = u"Enable_Channel_COPY_LFX";
constexpr const char16_t* kEqEnable = u"Enable_EQ_GFX";
constexpr const char16_t* kSurround = u"VirtualSurroundEffectControl";
constexpr const char16_t* kEnc = u"Enable_ENC_LFX";
constexpr const char16_t* kMagicEnable = u"Enable_MAGICVOICE";
constexpr const char16_t* kMagicSelection = u"MagicVoice_Selection";
constexpr const char16_t* kDefaultDevice = u"DefaultDeviceControl";

std::u16string eqSliderName(int band) {
    const std::string number = std::to_string(band);
    return u"EQ_Slider" + std::u16string(number.begin(), number.end());
}

} // namespace

// ---- calls -----------------------------------------------------------------

char16_t* DriverSdk::text() const { return reinterpret_cast<char16_t*>(m_getText.bytes.get()); }

std::int32_t DriverSdk::callProperty(const DriverDeviceId& device, const char16_t* name,
                                     const Selector& selector, std::uint8_t direction,
                                     bool guarded) {
    const bool reading = direction == kRead;
    const Buffer& buffer = reading ? m_getSelector : m_setSelector;
    void** selectorField = nullptr;
    if (selector.kind != SelectorKind::None) {
        buffer.clear();
        std::int32_t words[3] = {selector.value, 0, 0};
        if (selector.kind == SelectorKind::Surround) {
            words[0] = kSurroundGroup;
            words[1] = selector.value;
        }
        if (selector.kind != SelectorKind::Blank)
            std::memcpy(buffer.bytes.get(), words, sizeof words);
        selectorField = reading ? &m_getSelectorPtr : &m_setSelectorPtr;
    }
    void** data = reading ? &m_getTextPtr : &m_setValuePtr;
    if (guarded) return propertyControl(device, name, data, selectorField, direction);
    return callLibrary(device, name, data, selectorField, direction);
}

bool DriverSdk::readProperty(const DriverDeviceId& device, const char16_t* name,
                             const Selector& selector, bool guarded) {
    m_getText.clear();
    const std::int32_t result = callProperty(device, name, selector, kRead, guarded);
    // The library is given no size: a text that fills the buffer has no end.
    text()[kMaxTextUnits] = 0;
    return result == 0;
}

bool DriverSdk::write(const DriverDeviceId& device, const char16_t* name, const Selector& selector,
                      const void* value, bool guarded) {
    m_setValue.clear();
    std::memcpy(m_setValue.bytes.get(), value, 4);
    return callProperty(device, name, selector, kWrite, guarded) == 0;
}

bool DriverSdk::writeInt(const DriverDeviceId& device, const char16_t* name,
                         const Selector& selector, std::int32_t value, bool guarded) {
    return write(device, name, selector, &value, guarded);
}

bool DriverSdk::writeScalar(const DriverDeviceId& device, const char16_t* name,
                            const Selector& selector, float value) {
    return write(device, name, selector, &value, true);
}

int DriverSdk::textAsInt() const { return _wtoi(text()); }

// The scalar in percent, plus a half so that truncating it rounds.
float DriverSdk::textAsPercent() const {
    const auto scalar = static_cast<float>(_wtof(text()));
    return static_cast<float>(scalar * 100.0 + 0.5);
}

bool DriverSdk::setInt(const DriverDeviceId& device, const char16_t* name, const Selector& read,
                       const Selector& write, int value) {
    if (!readProperty(device, name, read)) return false;
    writeInt(device, name, write, value);
    return true;
}

// A single-property setter is this call alone, so it takes the lock itself.
bool DriverSdk::setInt(const DriverDeviceId& device, const char16_t* name, int value) {
    Lock lock(m_mutex);
    return setInt(device, name, {}, {}, value);
}

// ---- getters ---------------------------------------------------------------

void DriverSdk::readSpeakerVolume() {
    Lock lock(m_mutex);
    if (readProperty(m_render, kMute, {})) m_values.speakerMute = textAsInt();
    if (readProperty(m_render, kVolumeScalar, {SelectorKind::Word, kMaster}))
        m_values.speakerVolume = textAsPercent();
}

void DriverSdk::readSpeakerVolumeLR() {
    Lock lock(m_mutex);
    if (readProperty(m_render, kMute, {})) m_values.speakerMute = textAsInt();
    if (readProperty(m_render, kVolumeScalar, {SelectorKind::Word, kLeft}))
        m_values.speakerLeft = textAsPercent();
    if (readProperty(m_render, kVolumeScalar, {SelectorKind::Word, kRight}))
        m_values.speakerRight = textAsPercent();
}

void DriverSdk::readMicVolume() {
    Lock lock(m_mutex);
    if (readProperty(m_capture, kMute, {})) m_values.micMute = textAsInt();
    if (readProperty(m_capture, kVolumeScalar, {SelectorKind::Word, kMaster}))
        m_values.micVolume = textAsPercent();
}

void DriverSdk::readSurround() {
    Lock lock(m_mutex);
    if (readProperty(m_render, kSurround, {SelectorKind::Surround, -1}))
        m_values.surround = textAsInt();
}

void DriverSdk::readEnc() {
    Lock lock(m_mutex);
    if (readProperty(m_capture, kEnc, {SelectorKind::Blank})) m_values.enc = textAsInt();
}

void DriverSdk::readVoiceClarity() {
    Lock lock(m_mutex);
    if (readProperty(m_render, kClarityEnable, {})) m_values.vcEnable = textAsInt();
    if (readProperty(m_render, kClarityLevel, {})) m_values.vcLevel = textAsInt();
    if (readProperty(m_render, kNoiseLevel, {})) m_values.vcNoise = textAsInt();
}

void DriverSdk::readMagicVoice() {
    Lock lock(m_mutex);
    if (readProperty(m_capture, kMagicEnable, {})) m_values.magicEnable = textAsInt();
    if (readProperty(m_capture, kMagicSelection, {})) m_values.magicMode = textAsInt();
}

void DriverSdk::readEq() {
    Lock lock(m_mutex);
    if (readProperty(m_render, kEqEnable, {})) m_values.eqEnable = textAsInt();
    for (int band = 1; band <= 10; ++band)
        if (readProperty(m_render, eqSliderName(band).c_str(), {}))
            m_values.eq[band - 1] = textAsInt();
}

// ---- setters ---------------------------------------------------------------

// Separate channels take first and second; otherwise the master takes first.
void DriverSdk::setVolume(const DriverDeviceId& device, const char16_t* volume, int separate,
                          int first, int second) {
    const auto put = [&](int channel, int percent) {
        const Selector selector{SelectorKind::Word, channel};
        if (readProperty(device, volume, selector))
            writeScalar(device, volume, selector, static_cast<float>(percent / 100.0));
    };
    if (separate != 0) {
        put(kLeft, first);
        put(kRight, second);
    } else {
        put(kMaster, first);
    }
}

void DriverSdk::setMuteAndVolume(const DriverDeviceId& device, const char16_t* mute,
                                 const char16_t* volume, int muteValue, int separate, int first,
                                 int second) {
    setInt(device, mute, muteValue);
    setVolume(device, volume, separate, first, second);
}

void DriverSdk::setSpeakerVolumeAll(int mute, int separate, int first, int second) {
    Lock lock(m_mutex);
    setMuteAndVolume(m_render, kMute, kVolumeScalar, mute, separate, first, second);
}

void DriverSdk::setMicVolumeAll(int mute, int separate, int first, int second) {
    Lock lock(m_mutex);
    setMuteAndVolume(m_capture, kMute, kVolumeScalar, mute, separate, first, second);
}

void DriverSdk::setAaVolumeAll(int mute, int separate, int first, int second) {
    Lock lock(m_mutex);
    setMuteAndVolume(m_capture, kAaMute, kAaVolumeScalar, mute, separate, first, second);
}

void DriverSdk::setSpeakerVolume(int separate, int first, int second) {
    Lock lock(m_mutex);
    setVolume(m_render, kVolumeScalar, separate, first, second);
}

void DriverSdk::setMicVolume(int separate, int first, int second) {
    Lock lock(m_mutex);
    setVolume(m_capture, kVolumeScalar, separate, first, second);
}

void DriverSdk::setSpeakerMute(int value) { setInt(m_render, kMute, value); }

void DriverSdk::setMicMute(int value) { setInt(m_capture, kMute, value); }

void DriverSdk::setAaMute(int value) { setInt(m_capture, kAaMute, value); }

void DriverSdk::setEqBands(const std::array<int, 10>& bands) {
    for (int band = 1; band <= 10; ++band)
        setInt(m_render, eqSliderName(band).c_str(), bands[band - 1]);
}

void DriverSdk::setEqAll(int enable, const std::array<int, 10>& bands) {
    Lock lock(m_mutex);
    setInt(m_render, kEqEnable, enable);
    setEqBands(bands);
}

void DriverSdk::setEqEnable(int value) { setInt(m_render, kEqEnable, value); }

void DriverSdk::setEqSliders(const std::array<int, 10>& bands) {
    Lock lock(m_mutex);
    setEqBands(bands);
}

void DriverSdk::adjustVoiceClarity(int enable, int level, int level2) {
    Lock lock(m_mutex);
    qDebug() << "User -- Adjust_VoiceClarity , enable = " << enable << " , level = " << level
             << " , level2 = " << level2;
    setInt(m_render, kClarityEnable, enable);
    setInt(m_render, kClarityLevel, level);
    setInt(m_render, kNoiseLevel, level2);
}

void DriverSdk::setVoiceClarityEnable(int value) { setInt(m_render, kClarityEnable, value); }

void DriverSdk::setVoiceClarityLevel(int value) { setInt(m_render, kClarityLevel, value); }

void DriverSdk::setNoiseSuppressionLevel(int value) { setInt(m_render, kNoiseLevel, value); }

void DriverSdk::adjustSurroundHeadphone(int enable) {
    Lock lock(m_mutex);
    // Item -1 carries the switch; items 1 and 0 are always set to 0 and 1.
    const std::pair<int, int> items[] = {{-1, enable}, {1, 0}, {0, 1}};
    for (const auto& [item, value] : items) {
        const Selector selector{SelectorKind::Surround, item};
        if (!readProperty(m_render, kSurround, selector)) continue;
        const int before = textAsInt();
        if (writeInt(m_render, kSurround, selector, value))
            qDebug() << "PropertyControl - Adjust_SurroundHeadphone ok , return = " << before;
    }
}

void DriverSdk::setEncEnable(int value) {
    Lock lock(m_mutex);
    qDebug() << "Enable_ENC_LFX ==  " << value;
    setInt(m_capture, kEnc, {SelectorKind::Blank}, {}, value);
}

void DriverSdk::setMagicVoice(int enable, int mode) {
    Lock lock(m_mutex);
    qDebug() << "Enable_MAGICVOICE ==  " << enable << "mode = " << mode;
    setInt(m_capture, kMagicEnable, enable);
    setInt(m_capture, kMagicSelection, mode);
}

void DriverSdk::setMagicVoiceEnable(int value) { setInt(m_capture, kMagicEnable, value); }

void DriverSdk::setMagicVoiceSelection(int value) { setInt(m_capture, kMagicSelection, value); }

void DriverSdk::setChannelCopy(int value) {
    Lock lock(m_mutex);
    qDebug() << "Surround Max enable ==  " << value;
    setInt(m_render, kChannelCopy, value);
}

// ---- defaults --------------------------------------------------------------

void DriverSdk::applyDefault(const DriverDeviceId& device, const char16_t* name,
                             const Selector& read, const Selector& write) {
    if (!readProperty(device, name, read)) writeInt(device, name, write, 0);
}

void DriverSdk::applyDefaults() {
    Lock lock(m_mutex);
    for (const char16_t* name :
         {kClarityEnable, kClarityLevel, kNoiseLevel, kChannelCopy, kEqEnable})
        applyDefault(m_render, name);
    for (int band = 1; band <= 10; ++band) {
        const std::u16string name = eqSliderName(band);
        // The cache holds what the driver holds: the value read, or the 0
        // written in its place. A write that failed leaves the cache alone.
        if (readProperty(m_render, name.c_str(), {}))
            m_values.eq[band - 1] = textAsInt();
        else if (writeInt(m_render, name.c_str(), {}, 0))
            m_values.eq[band - 1] = 0;
    }
    applyDefault(m_render, kSurround, {SelectorKind::Surround, -1}, {SelectorKind::Surround, -1});
    applyDefault(m_capture, kEnc, {SelectorKind::Blank}, {});
    applyDefault(m_capture, kMagicEnable);
    applyDefault(m_capture, kMagicSelection);
    applyVolumeDefaults();
}

void DriverSdk::applyVolumeDefaults() {
    Lock lock(m_mutex);
    for (int channel : {kMaster, kLeft, kRight})
        applyDefault(m_render, kVolume, {SelectorKind::Word, channel},
                     {SelectorKind::Word, channel});
    applyDefault(m_render, kMute);
    applyDefault(m_render, kVolumeScalar, {SelectorKind::Word, kMaster},
                 {SelectorKind::Word, kMaster});
    for (int channel : {kMaster, kLeft, kRight})
        applyDefault(m_capture, kAaVolume, {SelectorKind::Word, channel},
                     {SelectorKind::Word, channel});
    applyDefault(m_capture, kAaMute);
    applyDefault(m_capture, kAaVolumeScalar, {SelectorKind::Word, kLeft},
                 {SelectorKind::Word, kLeft});
}

// ---- diagnostics -----------------------------------------------------------

DriverDeviceId DriverSdk::infoDevice() const {
    return {{m_devInfo.word0, m_devInfo.JackType, m_devInfo.DataFlow, m_devInfo.state}};
}

void DriverSdk::logDiagnostic(const DriverDeviceId& device, const char16_t* name,
                              const Selector& selector, const char* text) {
    if (readProperty(device, name, selector, false)) qDebug() << text << textAsInt();
}

void DriverSdk::getDeviceId() {
    Lock lock(m_mutex);
    logDiagnostic(infoDevice(), u"GetDeviceID", {}, "PropertyControl - GetDeviceID ok , return = ");
}

void DriverSdk::getSupportFeature() {
    Lock lock(m_mutex);
    logDiagnostic(m_render, u"GetSupportFeature", {},
                  "PropertyControl - GetSupportFeature ok , return =  ");
}

void DriverSdk::getSymbolicLink() {
    Lock lock(m_mutex);
    logDiagnostic(infoDevice(), u"GetSymbolicLink", {},
                  "PropertyControl - GetSymbolicLink ok , return = ");
}

void DriverSdk::getEndpointEnable() {
    Lock lock(m_mutex);
    logDiagnostic(infoDevice(), u"EndpointEnableControl", {SelectorKind::Blank},
                  "PropertyControl - get EndpointEnableControl ok , return = ");
}

void DriverSdk::getExControl() {
    Lock lock(m_mutex);
    logDiagnostic(infoDevice(), u"EXControl", {SelectorKind::Blank},
                  "PropertyControl - get EXControl ok , return = ");
}

void DriverSdk::setDefaultDevice() {
    Lock lock(m_mutex);
    const DriverDeviceId device = infoDevice();
    const Selector first{SelectorKind::Word, 0};
    if (!readProperty(device, kDefaultDevice, first, false)) return;
    qDebug() << "PropertyControl - get DefaultDeviceControl ok , return = " << textAsInt();
    if (writeInt(device, kDefaultDevice, first, 0, false))
        qDebug() << "PropertyControl - DefaultDeviceControl set ok , device type is =  "
                 << m_devInfo.JackType;
}

void DriverSdk::printDriverEvent(int type, int id, int componentType, int eventId) {
    Lock lock(m_mutex);
    qDebug() << "Type = " << type;
    qDebug() << "Id = " << id;
    qDebug() << "ComponentType = " << componentType;
    qDebug() << "EventId = " << eventId;
}

} // namespace panel
