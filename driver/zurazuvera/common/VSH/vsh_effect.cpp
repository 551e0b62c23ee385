#include "driver/zurazuvera/common/VSH/vsh_effect.h"

#include "driver/zurazuvera/common/VSH/headphone_fir_app.h"
#include "driver/zurazuvera/common/VSH/impulse_store.h"
#include "driver/zurazuvera/common/VSH/rate_factor.h"

namespace {

constexpr float DownmixGain = 1.0f / 2.0f;
constexpr float CentreWeight = 0.707f;

} // namespace

CVshEffect::CVshEffect() : m_pState(HeadphoneFirApp::Create()) {}

CVshEffect::~CVshEffect() { delete m_pState; }

int CVshEffect::AngleCode(int flag, int angle) {
    struct Row {
        int index;
        int degrees;
        int code;
    };
    static constexpr Row Rows[] = {{0, 25, 24}, {1, 30, 29}, {2, 35, 34}, {3, 40, 39}};
    if (angle == 31) return 31;
    for (const Row& row : Rows)
        if (angle == row.index || angle == row.degrees) return row.code + (flag != 0 ? 1 : 0);
    return -1;
}

int CVshEffect::SetFormat(const ks::WaveFormatEx* format) {
    m_bFormatReady = false;
    if (format == nullptr) return -1;
    // The bypass serves the stream whatever happens below, so it must know
    // how many planes the stream really has.
    m_nChannels = format->nChannels;
    const int rate = static_cast<int>(format->nSamplesPerSec);
    RateFactor factor;
    if (m_nChannels < 1 || m_nChannels > MaxChannels ||
        !ComputeRateFactor(rate, AudioApp::InnerRate, &factor))
        return -1;
    if (m_pState == nullptr || !m_pState->SetFormat(rate, MaxChannels, m_nChannels)) return 0;
    m_bFormatReady = true;
    return 1;
}

bool CVshEffect::CanRender() const {
    return m_nEnable != 0 && m_pState != nullptr && m_bFormatReady && m_nChannels >= 2 &&
           m_pState->IsReady();
}

void CVshEffect::Process(float* const* planes, int frames) {
    if (planes == nullptr || frames <= 0) return;
    if (CanRender()) {
        Render(planes, frames);
    } else {
        Downmix(planes, frames);
    }
}

void CVshEffect::Render(float* const* planes, int frames) {
    // The headphone FIR takes stereo, 5.1 or 7.1: a stream in between passes
    // as the next layout up with its missing planes silent (null).
    const int layout = m_nChannels == 2 ? 2 : m_nChannels <= 6 ? 6 : 8;
    float* inputs[MaxChannels] = {};
    for (int c = 0; c < m_nChannels; ++c) inputs[c] = planes[c];
    m_pState->Process(planes, 2, inputs, layout, frames);
}

void CVshEffect::Downmix(float* const* planes, int frames) const {
    if (m_nChannels <= 2) return;
    auto plane = [&](int c) -> const float* { return c < m_nChannels ? planes[c] : nullptr; };
    auto at = [](const float* p, int j) { return p != nullptr ? p[j] : 0.0f; };
    const float* centre = plane(2);
    const float* lfe = plane(3);
    const float* surroundLeft = plane(4);
    const float* surroundRight = plane(5);
    const float* backLeft = plane(6);
    const float* backRight = plane(7);
    for (int j = 0; j < frames; ++j) {
        const float common = CentreWeight * at(centre, j) + at(lfe, j);
        const float left = DownmixGain * (planes[0][j] + common + at(surroundLeft, j));
        const float right = DownmixGain * (planes[1][j] + common + at(surroundRight, j));
        planes[0][j] = left + DownmixGain * at(backLeft, j);
        planes[1][j] = right + DownmixGain * at(backRight, j);
    }
}

void CVshEffect::ApplyCtcAngle() {
    if (m_pState != nullptr) m_pState->Fir().SetCTCAngle(m_nOutputMode != 0 ? m_nCTCAngle : 0);
}

void CVshEffect::ApplyHeadphoneSet() {
    if (m_pState != nullptr && m_nOutputMode == 0)
        m_pState->Fir().SelectFilter(m_nHeadphoneRoom,
                                     AngleCode(m_nHeadphoneFlag, m_nHeadphoneAngle));
}

void CVshEffect::ApplySpeakerSet() {
    if (m_pState != nullptr && m_nOutputMode != 0)
        m_pState->Fir().SelectFilter(m_nSpeakerRoom, AngleCode(m_nSpeakerFlag, m_nSpeakerAngle));
}

void CVshEffect::SetOutputMode(int value) {
    m_nOutputMode = value;
    ApplyCtcAngle();
}

void CVshEffect::SetCTCAngle(int index) {
    m_nCTCAngle = index >= 0 && index < CrosstalkAngleCount ? CrosstalkAngles[index] : index;
    ApplyCtcAngle();
}

void CVshEffect::SetHeadphoneRoom(int value) {
    m_nHeadphoneRoom = value;
    ApplyHeadphoneSet();
}

void CVshEffect::SetHeadphoneAngle(int value) {
    m_nHeadphoneAngle = value;
    ApplyHeadphoneSet();
}

void CVshEffect::SetHeadphoneFlag(int value) {
    m_nHeadphoneFlag = value;
    ApplyHeadphoneSet();
}

void CVshEffect::SetSpeakerRoom(int value) {
    m_nSpeakerRoom = value;
    ApplySpeakerSet();
}

void CVshEffect::SetSpeakerAngle(int value) {
    m_nSpeakerAngle = value;
    ApplySpeakerSet();
}

void CVshEffect::SetSpeakerFlag(int value) {
    m_nSpeakerFlag = value;
    ApplySpeakerSet();
}
