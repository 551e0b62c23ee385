// The user-mode side of the headset driver's ASIO interface, as an ASIO host
// program's driver uses it: it opens the interface's file, asks for the
// channels, sets the sample type and the rate, creates buffers for every
// channel it is given, starts with an event and then, each time the event
// wakes it, writes a ramp into the render rings ahead of the driver and reads
// the capture rings behind it (or a signal of the caller's); it stops, gives the buffers up and
// closes. Requests are carried out on a system thread while the simulated system steps, so the
// streams run in lockstep with the bus and every run gives the same result.
#pragma once

#include "driver/usermode/asio_interface.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"
#include "sim/os/simulated_system.h"
#include "sim/os/user_client.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace ossim {

namespace asio {
// The interface's class and reference string, as the driver registers them.
inline constexpr kernel::Guid interfaceClass = GUID_ASIO_PRIVATE_INTERFACE;
inline constexpr const char16_t* interfaceReference = AsioInterfaceReference;

// The requests the client sends, its kinds and the ring header, as the
// driver defines them for user mode (driver/usermode/asio_interface.h).
inline constexpr std::uint32_t getChannels = asio_control::GetChannels;
inline constexpr std::uint32_t getChannelInfo = asio_control::GetChannelInfo;
inline constexpr std::uint32_t getSampleTypes = asio_control::GetSampleTypes;
inline constexpr std::uint32_t setSampleType = asio_control::SetSampleType;
inline constexpr std::uint32_t canSampleRate = asio_control::CanSampleRate;
inline constexpr std::uint32_t setSampleRate = asio_control::SetSampleRate;
inline constexpr std::uint32_t getBufferSize = asio_control::GetBufferSize;
inline constexpr std::uint32_t createBuffers = asio_control::CreateBuffers;
inline constexpr std::uint32_t disposeBuffers = asio_control::DisposeBuffers;
inline constexpr std::uint32_t start = asio_control::Start;
inline constexpr std::uint32_t stop = asio_control::Stop;
inline constexpr std::uint32_t setKind = asio_control::SetKind;

// The client's kinds: PCM samples, or DSD (one bit a sample, most
// significant first, 64 of them a channel in each 8-byte word).
inline constexpr std::uint32_t kindPcm = AsioKindPcm;
inline constexpr std::uint32_t kindDsd = AsioKindDsd;
inline constexpr std::uint32_t dsdWordBytes = 8;

using RingHeader = AsioRingHeader;

// Bytes of one sample of an ASIO sample type (16: 2, 17: 3, the others: 4).
std::uint32_t sampleBytes(std::uint32_t sampleType);
} // namespace asio

struct AsioClientSettings {
    std::uint32_t kind = asio::kindPcm;
    std::uint32_t sampleRate = 48000; // a DSD client's: the DSD rate
    std::uint32_t sampleType = 16;    // 16-bit integer; not asked for by a DSD client
    std::uint32_t bufferFrames = 256; // 0: the driver's preferred size at the rate
    bool render = true;               // buffers for every output channel
    bool capture = true;              // and for every input channel
    // The next frame's sample, the same in every channel, little-endian in
    // the sample's width; the ramp below when not given.
    std::function<std::uint32_t()> signal;
};

// One ring as the client sees it after CreateBuffers.
struct AsioClientRing {
    asio::RingHeader* header = nullptr; // in the client's view of the ring block
    std::uint64_t driverBytes = 0;      // how far the driver has come, unwrapped
    std::uint64_t clientBytes = 0;      // how far the client has come, unwrapped
    std::vector<std::uint8_t> captured; // capture: what was read, in order
    std::uint64_t lostBytes = 0;        // render written late / capture overrun
    std::uint32_t lastPosition = 0;     // the header's position when last seen
    std::uint32_t startOffset = 0;      // the header's position at the start: byte 0 of the counts
    bool served = false;                // render: written since the start

    bool isCapture() const { return header->direction == 1; }
    std::uint8_t* data() const { return reinterpret_cast<std::uint8_t*>(header + 1); }
    // Where in the ring a byte of the running counts lies.
    std::uint32_t offsetOf(std::uint64_t count) const {
        return static_cast<std::uint32_t>((startOffset + count) % header->ringBytes);
    }
};

class AsioClient {
public:
    // The system must outlive the client.
    explicit AsioClient(SimulatedSystem& system) : m_system(system), m_user(system.clock()) {}
    // Stops, gives the buffers up and closes what is still open.
    ~AsioClient();
    AsioClient(const AsioClient&) = delete;
    AsioClient& operator=(const AsioClient&) = delete;

    // Opens the interface's file; STATUS_OBJECT_NAME_NOT_FOUND when no
    // device offers it. While the file is open the client hears of an
    // orderly removal of the device first, and then stops, gives its
    // buffers up and closes, as an ASIO driver does when told its device
    // is about to go.
    kernel::NTSTATUS open();
    // Channels, sample type (a DSD client: the kind instead), rate and
    // buffers, in that order; the first failure is returned.
    // STATUS_NOT_SUPPORTED when the sample type is not one every ASIO
    // endpoint offers, STATUS_INVALID_PARAMETER when the buffer size lies
    // outside the driver's range. The driver makes a requested sample type
    // the one its rings carry only once no file holds buffers and a file
    // closes: when the type it reports for the first channel is another,
    // the client closes its file and opens it again.
    kernel::NTSTATUS configure(const AsioClientSettings& settings);
    // From GetSampleTypes: the sample types every ASIO endpoint offers, in
    // the driver's order (empty when the request fails).
    std::vector<std::uint32_t> sampleTypes();
    // From CanSampleRate: whether every ASIO endpoint takes the rate.
    bool canSampleRate(std::uint32_t rate);
    // Creates the buffer event and starts the streams.
    kernel::NTSTATUS start();
    // Moves time on frame by frame; each frame the event is found set, the
    // client serves its rings.
    void run(kernel::Duration duration);
    kernel::NTSTATUS stop();
    kernel::NTSTATUS disposeBuffers();
    kernel::NTSTATUS close();

    // From GetChannels: outputs and inputs.
    std::uint32_t outputChannels() const { return m_outputs; }
    std::uint32_t inputChannels() const { return m_inputs; }
    // From GetBufferSize: minimum, maximum, preferred, granularity.
    const std::uint32_t (&bufferSizes() const)[4] { return m_bufferSizes; }
    // One per ASIO endpoint, in the driver's order.
    std::span<AsioClientRing> rings() { return m_rings; }
    // How many times the event woke the client.
    std::uint64_t wakes() const { return m_wakes; }
    // The waking ring's completion counter at each wake since the start.
    const std::vector<std::uint32_t>& wakeCompletions() const { return m_wakeCompletions; }
    // The value the ramp gives frame i (every channel the same): i + 1 in the
    // sample's width (a DSD word's low four bytes), little-endian; never 0,
    // it starts again after 32767.
    static std::uint32_t rampValue(std::uint64_t frame) {
        return static_cast<std::uint32_t>(frame % 32767) + 1;
    }

    // One request through the client's file, on a system thread while time
    // moves on; the request's status and the bytes it returned.
    kernel::NTSTATUS control(std::uint32_t code, std::span<const std::uint8_t> input,
                             std::span<std::uint8_t> output, std::uint32_t* returned = nullptr);

private:
    void serve();
    void serveRender(AsioClientRing& ring);
    void serveCapture(AsioClientRing& ring);
    void unwrapDriverPosition(AsioClientRing& ring);
    kernel::NTSTATUS word(std::uint32_t code, std::uint32_t value);
    kernel::NTSTATUS negotiateSampleType(std::uint32_t sampleType);
    // The sample type GetChannelInfo reports for the first output (else
    // input) channel: the one the rings will carry; 0 when unknown.
    std::uint32_t activeSampleType();
    // Stop, buffers and file, as far as each is there.
    void closeAll();

    SimulatedSystem& m_system;
    UserClient m_user;
    std::uint32_t m_file = 0;
    std::uint32_t m_event = 0;
    std::uint32_t m_removalNotice = 0; // while the file is open
    bool m_running = false;
    bool m_buffers = false;
    std::uint32_t m_sampleBytes = 2;  // of one channel in a ring frame
    std::uint32_t m_bufferFrames = 0; // in ring frames
    std::uint32_t m_outputs = 0;
    std::uint32_t m_inputs = 0;
    std::uint32_t m_bufferSizes[4] = {};
    std::vector<AsioClientRing> m_rings;
    std::uint64_t m_rampFrames = 0;
    std::function<std::uint32_t()> m_signal; // empty: the ramp
    std::uint64_t m_wakes = 0;
    std::vector<std::uint32_t> m_wakeCompletions;
};

} // namespace ossim
