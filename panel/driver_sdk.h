#pragma once

// The panel's only road to the driver's settings: the driver-configuration
// library `Mixcore`, loaded at run time from the program's folder, its device
// list, and driver properties read and written by name.
//
// Getters run on the device worker's pool thread while setters run on the GUI
// thread, and both share the four buffers, lastResult and the cached values:
// every operation holds the client's lock for its whole sequence (a read and
// the write that follows it included), and the cached values are handed out as
// a snapshot under it. The lock is recursive because operations are built of
// other operations (initDriver runs the whole device set-up).

#include "panel/driver_client.h"
#include "panel/message_box.h"
#include "panel/mixcore_entries.h"
#include "panel/sleeper.h"

#include <QLibrary>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace panel {

// The four words of the chosen device's record, passed by value with every
// property call.
struct DriverDeviceId {
    std::array<std::uint32_t, 4> words{};
    bool operator==(const DriverDeviceId&) const = default;
};

// What GetDeviceById fills.
struct DevInfo {
    std::uint32_t word0 = 0; // the library's own
    std::uint32_t JackType = 0;
    std::uint32_t DataFlow = 0;
    std::uint32_t state = 0; // 1: active
};
static_assert(sizeof(DevInfo) == 16, "the library fills 16 bytes");

// How a property call's selector is made up.
enum class PropertySelectorKind {
    None,     // no selector
    Word,     // one 32-bit word: a volume channel (-1 master, 0 left, 1 right)
    Surround, // {4, item, 0}
    Blank,    // the zero-filled buffer
};
struct PropertySelector {
    PropertySelectorKind kind = PropertySelectorKind::None;
    int value = 0; // the word, or the surround item
};

class DriverSdk final : public IDriverClient {
public:
    // The library is "Mixcore" in `folder` (the program's own folder: a bare
    // name would not look there).
    DriverSdk(const QString& folder, ISleeper& sleeper, IMessageBox& messages);
    // ConfLibUnInit; the library stays loaded.
    ~DriverSdk() override;
    DriverSdk(const DriverSdk&) = delete;
    DriverSdk& operator=(const DriverSdk&) = delete;

    // Library binding and device set-up.
    void setConnectionTest(std::function<bool()> connected) override;
    void reload() override; // loadLibrary, confLibInit, createDeviceList
    void loadLibrary();
    void confLibInit();
    void createDeviceList() override;
    bool isReady() const override;
    void selectDevices();
    void initDriver() override;
    // The call every property operation makes: skipped (kNotCalled, lastResult
    // unchanged) without a headset or without the entry.
    static constexpr std::int32_t kNotCalled = -1;
    std::int32_t propertyControl(const DriverDeviceId& device, const char16_t* name, void** data,
                                 void** selector, std::uint8_t direction);

    // Lighting and memory forwards; no flow of the panel calls them.
    std::int32_t rgbI2cMode(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    std::int32_t setPattern(std::uint8_t pattern, std::uint8_t speed);
    std::int32_t setRgb(std::uint8_t zone, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    std::int32_t onTimerApp();
    std::int32_t saveToMcu();
    // Frees the library; every entry is null afterwards.
    void unload();

    // Getters: each cached value changes only when its read succeeded.
    void readSpeakerVolume() override;
    void readSpeakerVolumeLR() override;
    void readMicVolume() override;
    void readSurround() override;
    void readEnc() override;
    void readVoiceClarity() override;
    void readMagicVoice() override;
    void readEq() override;
    DriverValues values() const override;

    // Setters: each property is read first and written only when that read
    // succeeded.
    void setSpeakerVolumeAll(int mute, int separate, int first, int second) override;
    void setMicVolumeAll(int mute, int separate, int first, int second) override;
    void setAaVolumeAll(int mute, int separate, int first, int second) override;
    void setEqAll(int enable, const std::array<int, 10>& bands) override;
    void adjustVoiceClarity(int enable, int level, int level2) override;
    void adjustSurroundHeadphone(int enable) override;
    void setEncEnable(int value) override;
    void setMagicVoice(int enable, int mode) override;
    void setSpeakerMute(int value) override;
    void setSpeakerVolume(int separate, int first, int second) override;
    void setMicMute(int value) override;
    void setMicVolume(int separate, int first, int second) override;
    void setEqEnable(int value) override;
    void setEqSliders(const std::array<int, 10>& bands) override;
    void setVoiceClarityEnable(int value) override;
    void setVoiceClarityLevel(int value) override;
    void setNoiseSuppressionLevel(int value) override;
    void setMagicVoiceEnable(int value) override;
    void setMagicVoiceSelection(int value) override;
    void setAaMute(int value);
    void setChannelCopy(int value);

    // Defaults pass: a property whose read fails is written with 0.
    void applyDefaults();
    void applyVolumeDefaults();

    // Diagnostics: straight to the library, without the connection test.
    void getDeviceId();
    void getSupportFeature();
    void getSymbolicLink();
    void getEndpointEnable();
    void getExControl();
    void setDefaultDevice();
    void printDriverEvent(int type, int id, int componentType, int eventId);

    std::int32_t lastResult() const;
    bool confLibReady() const;
    DriverDeviceId renderId() const;
    DriverDeviceId captureId() const;

private:
    using SelectorKind = PropertySelectorKind;
    using Selector = PropertySelector;
    // A 1024-byte buffer of its own, so that a text running off its end is a
    // fault the memory checker sees.
    struct Buffer {
        static constexpr std::size_t kBytes = 1024;
        std::unique_ptr<std::byte[]> bytes{new std::byte[kBytes]()};
        void clear() const;
    };

    bool connected() const;
    std::int32_t countDevices(std::int32_t flow, std::uint32_t& count);
    std::int32_t getDeviceById(std::int32_t flow, std::int32_t index);
    void logDevice(const char* stateText) const;
    // The library call itself, after the guard's checks.
    std::int32_t callLibrary(const DriverDeviceId& device, const char16_t* name, void** data,
                             void** selector, std::uint8_t direction);
    std::int32_t callProperty(const DriverDeviceId& device, const char16_t* name,
                              const Selector& selector, std::uint8_t direction, bool guarded);
    char16_t* text() const;

    // One read into the get text buffer, terminated within it; true on success.
    bool readProperty(const DriverDeviceId& device, const char16_t* name, const Selector& selector,
                      bool guarded = true);
    bool writeInt(const DriverDeviceId& device, const char16_t* name, const Selector& selector,
                  std::int32_t value, bool guarded = true);
    bool writeScalar(const DriverDeviceId& device, const char16_t* name, const Selector& selector,
                     float value);
    bool write(const DriverDeviceId& device, const char16_t* name, const Selector& selector,
               const void* value, bool guarded);
    int textAsInt() const;
    float textAsPercent() const;

    // Read-before-write of one property; false when the read failed.
    bool setInt(const DriverDeviceId& device, const char16_t* name, const Selector& read,
                const Selector& write, int value);
    bool setInt(const DriverDeviceId& device, const char16_t* name, int value);
    void setMuteAndVolume(const DriverDeviceId& device, const char16_t* mute,
                          const char16_t* volume, int muteValue, int separate, int first,
                          int second);
    void setVolume(const DriverDeviceId& device, const char16_t* volume, int separate, int first,
                   int second);
    void setEqBands(const std::array<int, 10>& bands);
    void applyDefault(const DriverDeviceId& device, const char16_t* name, const Selector& read = {},
                      const Selector& write = {});
    void logDiagnostic(const DriverDeviceId& device, const char16_t* name, const Selector& selector,
                       const char* text);
    DriverDeviceId infoDevice() const;

    mutable std::recursive_mutex m_mutex;
    const QString m_libraryPath;
    // A fresh handle for each attempt while the library is missing: a
    // QLibrary that failed once does not look again.
    std::unique_ptr<QLibrary> m_library;
    ISleeper& m_sleeper;
    IMessageBox& m_messages;
    std::function<bool()> m_connected;
    MixcoreEntries m_entries;

    bool m_rgbReady = false; // nothing sets it
    bool m_smbReady = false; // nothing sets it
    bool m_isHXok = false;   // one render and one capture device
    bool m_confLibReady = false;
    std::int32_t m_lastResult = 0;
    std::uint32_t m_renderCount = 0;
    std::uint32_t m_captureCount = 0;
    DevInfo m_devInfo;
    DriverDeviceId m_render;
    DriverDeviceId m_capture;
    DriverValues m_values;

    Buffer m_setValue;
    Buffer m_setSelector;
    Buffer m_getText;
    Buffer m_getSelector;
    // The library is handed the address of a field holding a buffer's address.
    void* m_setValuePtr = m_setValue.bytes.get();
    void* m_setSelectorPtr = m_setSelector.bytes.get();
    void* m_getTextPtr = m_getText.bytes.get();
    void* m_getSelectorPtr = m_getSelector.bytes.get();
};

} // namespace panel
