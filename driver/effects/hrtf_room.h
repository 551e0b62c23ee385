// The second stage of the 3D speaker virtualizer: renders the eight planes
// binaurally through a head-related filter pair per channel (CHrtfFilterSet)
// into planes 0 and 1, each channel at its own direction and with a distance
// gain (reference distance / distance, at most 6.31).
//
// A plain object: CreateFilterSet before Process, SetRate on every format
// change (which loads the filters of the rate), Reset to forget the past
// signal. It allocates nothing while processing and takes no lock.
#pragma once

#include "driver/common/pool_object.h"

#include <cstdint>

class CHrtfFilterSet;

inline constexpr kernel::PoolTag HrtfFilterSetTag = kernel::poolTag("HRTF");

class CHrtfRoom : public CPoolObject {
public:
    static constexpr int Channels = 8;
    static constexpr float DefaultDistance = 30.0f;
    static constexpr float MaxDistanceGain = 6.31f;
    static constexpr float SourceElevation = 0.5f;
    // Each plane's direction in degrees, loaded by SetRate.
    static constexpr int HomeAngles[Channels] = {-30, 30, 0, 0, -150, 150, -100, 100};

    CHrtfRoom() { SetDistance(DefaultDistance); }
    ~CHrtfRoom() { FreeFilterSet(); }
    CHrtfRoom(const CHrtfRoom&) = delete;
    CHrtfRoom& operator=(const CHrtfRoom&) = delete;

    // Creates (tag "HRTF") and initialises the filter set once; 1 when it is
    // ready, 0 when the pool refuses the object or its block (nothing kept).
    std::uint8_t CreateFilterSet();
    void FreeFilterSet();
    const CHrtfFilterSet* FilterSet() const { return m_pFilterSet; }

    // The distance at which the distance gain is 1; only values above 0.
    void SetDistance(float distance);
    // Stores the rate and loads every channel at its own direction and the
    // reference distance of 30.
    void SetRate(int rate);
    bool SetSpeakerAngle(int plane, float azimuth, float distance);
    // Loads a plane's filters for a direction (azimuth brought into
    // -180..180, elevation clamped to +-90) and distance. False, changing
    // nothing, for a plane outside 0..7 or a non-finite value.
    bool SetSource(int plane, float azimuth, float elevation, float distance);
    // Reference distance / distance, at most 6.31 (also for 0, a negative
    // distance or NaN).
    float DistanceGain(float distance) const;

    // The planes in place, any number of frames (the filter set works in
    // chunks of 64); the output planes are not used. Nothing without a filter
    // set.
    void Process(float* const* planes, float* const* unused, int frames);
    // Forgets the past signal (filters and gains stay), so that a new format
    // or a burst of bad samples leaves nothing behind.
    void Reset();

private:
    float m_ReferenceDistance = DefaultDistance;
    int m_Rate = 48000;
    CHrtfFilterSet* m_pFilterSet = nullptr;
};
