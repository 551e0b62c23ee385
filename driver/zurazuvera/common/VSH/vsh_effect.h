// The driver's handle on the headphone virtualizer. It owns the state object,
// keeps one parameter set for headphone output and one for loudspeaker output
// with crosstalk cancellation, applies changes at once and processes the
// float planes of a stream in place: rendered to planes 0 and 1 (one block of
// the frame driver late) while enabled, downmixed to them while disabled.
//
// Rendering needs a successful SetFormat of 2 to 8 channels; a stream of one
// channel, or one whose format was refused, is served by the bypass. Streams
// of 3 to 5 channels render as 5.1 and of 7 as 7.1, the missing planes
// silent. No lock: the owner serialises every call.
#pragma once

#include "driver/common/pool_object.h"
#include "platform/ks/wave_format.h"

class HeadphoneFirApp;

class CVshEffect : public CPoolObject {
public:
    CVshEffect();
    virtual ~CVshEffect();
    CVshEffect(const CVshEffect&) = delete;
    CVshEffect& operator=(const CVshEffect&) = delete;

    // 1 when the format is set up for rendering or bypass; -1 for a format it
    // cannot render (none, 0 or more than 8 channels, a rate the frame driver
    // does not convert: 22050 to 96000 Hz); 0 for one it renders when memory
    // is short, now or when the state object was made. The bypass serves the
    // stream after either refusal.
    int SetFormat(const ks::WaveFormatEx* format);
    void Process(float* const* planes, int frames);

    void SetEnable(int value) { m_nEnable = value; }
    void SetOutputMode(int value);
    void SetCTCAngle(int index);
    void SetHeadphoneRoom(int value);
    void SetHeadphoneAngle(int value);
    void SetHeadphoneFlag(int value);
    void SetSpeakerRoom(int value);
    void SetSpeakerAngle(int value);
    void SetSpeakerFlag(int value);

    int GetOutputMode() const { return m_nOutputMode; }
    int GetHeadphoneFlag() const { return m_nHeadphoneFlag; }
    int GetHeadphoneRoom() const { return m_nHeadphoneRoom; }
    int GetSpeakerFlag() const { return m_nSpeakerFlag; }
    int GetSpeakerRoom() const { return m_nSpeakerRoom; }

    bool HasState() const { return m_pState != nullptr; }
    // The angle code of a table flag and an angle, -1 for an unknown angle.
    static int AngleCode(int flag, int angle);
    static constexpr int MaxChannels = 8;

private:
    bool CanRender() const;
    void Render(float* const* planes, int frames);
    void Downmix(float* const* planes, int frames) const;
    void ApplyCtcAngle();
    void ApplyHeadphoneSet();
    void ApplySpeakerSet();

    HeadphoneFirApp* m_pState = nullptr;
    int m_nOutputMode = 0;
    int m_nEnable = 0;
    int m_nSpeakerRoom = 1;
    int m_nHeadphoneRoom = 1;
    int m_nSpeakerAngle = 40;
    int m_nHeadphoneAngle = 40;
    int m_nCTCAngle = 20;
    int m_nSpeakerFlag = 0;
    int m_nHeadphoneFlag = 0;
    int m_nChannels = 8;
    bool m_bFormatReady = false;
};
