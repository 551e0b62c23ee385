#include "driver/effects/hrtf_room.h"

#include "driver/effects/angle_wrap.h"
#include "driver/effects/hrtf_filter_set.h"

#include <algorithm>
#include <cmath>

std::uint8_t CHrtfRoom::CreateFilterSet() {
    if (m_pFilterSet == nullptr) {
        m_pFilterSet = new (kernel::PoolType::NonPagedNx, HrtfFilterSetTag) CHrtfFilterSet();
        if (m_pFilterSet == nullptr) return 0;
    }
    if (m_pFilterSet->Init(Channels)) return 1;
    FreeFilterSet();
    return 0;
}

void CHrtfRoom::FreeFilterSet() {
    if (m_pFilterSet == nullptr) return;
    m_pFilterSet->Free();
    delete m_pFilterSet;
    m_pFilterSet = nullptr;
}

void CHrtfRoom::SetDistance(float distance) {
    if (distance > 0.0f && std::isfinite(distance)) m_ReferenceDistance = distance;
}

void CHrtfRoom::SetRate(int rate) {
    m_Rate = rate;
    for (int plane = 0; plane < Channels; ++plane)
        SetSpeakerAngle(plane, static_cast<float>(HomeAngles[plane]), DefaultDistance);
}

bool CHrtfRoom::SetSpeakerAngle(int plane, float azimuth, float distance) {
    return SetSource(plane, azimuth, SourceElevation, distance);
}

bool CHrtfRoom::SetSource(int plane, float azimuth, float elevation, float distance) {
    if (plane < 0 || plane >= Channels) return false;
    if (!std::isfinite(azimuth) || !std::isfinite(elevation) || !std::isfinite(distance))
        return false;
    const float az = WrapDegrees(azimuth);
    const float el = std::clamp(elevation, -90.0f, 90.0f);
    HrtfPair left{}, right{};
    const bool found = LookupHrtfPair(plane, m_Rate, az, el, &left, &right);
    if (m_pFilterSet != nullptr)
        m_pFilterSet->Load(plane, az, el, DistanceGain(distance), found ? &left : nullptr,
                           found ? &right : nullptr);
    return true;
}

float CHrtfRoom::DistanceGain(float distance) const {
    if (!(distance > 0.0f)) return MaxDistanceGain;
    return std::min(m_ReferenceDistance / distance, MaxDistanceGain);
}

void CHrtfRoom::Process(float* const* planes, float* const*, int frames) {
    if (m_pFilterSet != nullptr) m_pFilterSet->Process(planes, planes, frames);
}

void CHrtfRoom::Reset() {
    if (m_pFilterSet != nullptr) m_pFilterSet->ClearHistory();
}
