#pragma once

// What the panel engine uses of the driver-configuration client: the reads
// that refresh its cached values, the values themselves, and the setters the
// page reaches through the engine.

#include <array>
#include <functional>

namespace panel {

struct DriverValues {
    int speakerMute = 0;
    int micMute = 0;
    float speakerVolume = 0;
    float speakerLeft = 0;
    float speakerRight = 0;
    float micVolume = 0;
    int surround = 0;
    int enc = 0;
    int vcEnable = 0;
    int vcLevel = 0;
    int vcNoise = 0;
    int magicEnable = 0;
    int magicMode = 0;
    int eqEnable = 0;
    std::array<int, 10> eq{};
};

class IDriverClient {
public:
    virtual ~IDriverClient() = default;

    // The owner's headset test, asked before each property call; without
    // one, no headset is connected.
    virtual void setConnectionTest(std::function<bool()> connected) = 0;
    // Set-up: load the library, initialise it and build its device list.
    virtual void reload() = 0;
    virtual void createDeviceList() = 0;
    // The device list holds the headset's render and capture devices.
    virtual bool isReady() const = 0;
    // Full initialisation once a headset is connected.
    virtual void initDriver() = 0;

    // Reads refresh the cached values.
    virtual void readSpeakerVolume() = 0;
    virtual void readSpeakerVolumeLR() = 0;
    virtual void readMicVolume() = 0;
    virtual void readSurround() = 0;
    virtual void readEnc() = 0;
    virtual void readVoiceClarity() = 0;
    virtual void readMagicVoice() = 0;
    virtual void readEq() = 0;
    virtual DriverValues values() const = 0;

    virtual void setSpeakerVolumeAll(int mute, int separate, int first, int second) = 0;
    virtual void setMicVolumeAll(int mute, int separate, int first, int second) = 0;
    virtual void setAaVolumeAll(int mute, int separate, int first, int second) = 0;
    virtual void setEqAll(int enable, const std::array<int, 10>& bands) = 0;
    virtual void adjustVoiceClarity(int enable, int level, int level2) = 0;
    virtual void adjustSurroundHeadphone(int enable) = 0;
    virtual void setEncEnable(int value) = 0;
    virtual void setMagicVoice(int enable, int mode) = 0;
    virtual void setSpeakerMute(int value) = 0;
    virtual void setSpeakerVolume(int separate, int first, int second) = 0;
    virtual void setMicMute(int value) = 0;
    virtual void setMicVolume(int separate, int first, int second) = 0;
    virtual void setEqEnable(int value) = 0;
    virtual void setEqSliders(const std::array<int, 10>& bands) = 0;
    virtual void setVoiceClarityEnable(int value) = 0;
    virtual void setVoiceClarityLevel(int value) = 0;
    virtual void setNoiseSuppressionLevel(int value) = 0;
    virtual void setMagicVoiceEnable(int value) = 0;
    virtual void setMagicVoiceSelection(int value) = 0;
};

} // namespace panel
