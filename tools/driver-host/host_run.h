// One run of the driver on a simulated headset: load and start it from its
// entry point, play the signal through the first render wave pin (and run
// the first capture pin beside it when its frames are wanted), in lockstep
// or at the pace of the wall clock, then remove the device.
#pragma once

#include "platform/kernel/status.h"
#include "tools/driver-host/channel_levels.h"
#include "tools/driver-host/host_formats.h"
#include "tools/driver-host/host_options.h"
#include "tools/driver-host/stream_losses.h"
#include "tools/driver-host/wav_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

struct RunResult {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    std::string failure;        // what failed, when status does not succeed
    bool deviceStarted = false; // the run got as far as a started device
    // The formats the pins ran at and the layout the OUT endpoint carried.
    std::optional<PinFormat> renderFormat;
    std::optional<PinFormat> captureFormat;
    WavFormat deviceFormat;
    std::uint64_t frames = 0;    // the OUT endpoint received
    std::uint64_t packets = 0;   // OUT packets
    std::uint64_t transfers = 0; // OUT transfers the bus served whole
    std::uint64_t gaps = 0;      // OUT packet slots that passed without a packet
    std::uint64_t notifications = 0;
    std::uint64_t underruns = 0;
    std::uint64_t capturedFrames = 0; // handed to the system by the capture pin
    // What the run lost. Render: the frames of the packet slots that passed
    // without a packet, or, when more, the frames the device received short
    // of the run's seconds (beyond the transfer and the packet a stop may
    // cut). Capture: the microphone's count where it did not go on by one.
    std::uint64_t renderFramesLost = 0;
    // Render: frames the pin played before the engine had written them (the
    // buffer's stale frames). Capture: frames the engine dropped unread.
    std::uint64_t staleFrames = 0;
    std::uint64_t captureOverrunFrames = 0;
    CaptureLosses captureLosses;
    // Samples the device received at full scale: clipped on the way, or
    // played at the very top.
    std::uint64_t fullScaleSamples = 0;
    bool lostFrames() const {
        return underruns != 0 || gaps != 0 || renderFramesLost != 0 || staleFrames != 0 ||
               captureOverrunFrames != 0 || captureLosses.any();
    }
    // Frames from the start of the device's stream to the signal's first
    // frame in it (negative when the signal never reached the device): the
    // limiter's delay of 256 frames, and the rest, the frames in flight the
    // engine filled before the signal's place in the buffer came (0 through
    // ASIO, where the delay is not split).
    std::int64_t delayFrames = -1;
    std::int64_t inFlightFrames = 0;
    std::int64_t limiterDelayFrames() const { return delayFrames - inFlightFrames; }
    // With the channel bursts into a stereo device: what each channel became
    // in the two ears.
    std::vector<EarLevels> channelLevels;
    std::uint32_t feedbackRate = 0; // Hz, last reported; 0 without feedback
    // CPU time of all threads while playing, per second of audio: all of it,
    // and the user-mode part (lockstep hands time over between threads
    // through the system's futexes, which a real system does not).
    // Through ASIO: the times the client's event woke it, the waking ring's
    // completion counter at the last wake, and the render frames the driver
    // took before the client had written them.
    std::uint64_t asioEvents = 0;
    std::uint32_t asioCompletions = 0;
    std::uint64_t asioRingUnderruns = 0;
    double cpuMsPerAudioSecond = 0;
    double userCpuMsPerAudioSecond = 0;
    std::size_t poolBlocksLeft = 0; // after the device and the driver are gone
    std::size_t threadsLeft = 0;    // system threads still running then
    // On the real clock: the system's threads ran under real-time scheduling.
    bool realTimeScheduling = false;
};

// The host late on purpose, as a loaded machine makes it on the real clock,
// for the tests in lockstep: `at` seconds into the play, one part of it
// waits `length` seconds before it comes again, and then catches up on all
// that passed meanwhile.
struct Stall {
    enum class Late {
        bus,     // the bus's wakes: its frames pass unserved, then are served at once
        render,  // the engine's render pump: the pin plays frames never written
        capture, // the capture reader: the microphone's frames wait unread
    };
    Late late = Late::bus;
    double at = 0;     // seconds into the play
    double length = 0; // seconds late
};

RunResult runDriverHost(const Options& options, std::optional<Stall> stall = std::nullopt);

} // namespace driverhost
