// The wave miniport over a HAL with one scripted endpoint: an engine with
// the test's formats whose client interface records what the stream asks
// and lets the test send the stream messages a USB stream engine would, and
// a port that counts the notifications it gets.
#pragma once

#include "driver/engine/audio_hal.h"
#include "driver/miniport/wave_miniport.h"
#include "driver/miniport/wave_stream.h"
#include "driver/usbstream/usb_stream_control.h"
#include "engine_test_doubles.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace wave_test {

using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;

inline constexpr std::uint32_t Render = 0;
inline constexpr std::uint32_t Capture = 1;

inline ks::WaveFormatExtensible
Extensible(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate,
           std::uint16_t validBits = 0,
           const kernel::Guid& subFormat = ks::KSDATAFORMAT_SUBTYPE_PCM) {
    ks::WaveFormatExtensible format{};
    format.Format.wFormatTag = ks::format_tag::extensible;
    format.Format.nChannels = channels;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * rate;
    format.Format.cbSize = 22;
    format.wValidBitsPerSample = validBits != 0 ? validBits : bits;
    format.SubFormat = subFormat;
    return format;
}

// A data format as a pin is created with: the head, the wave record at
// `offset`, FormatSize `size`, and the attribute list bytes after it.
struct FormatBlock {
    std::vector<std::uint64_t> words; // 8-byte aligned storage
    const ks::DataFormat* get() const {
        return reinterpret_cast<const ks::DataFormat*>(words.data());
    }
    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(words.data()); }
};
inline FormatBlock MakeFormat(const ks::WaveFormatExtensible& wave, std::uint32_t size = 104,
                              std::uint32_t offset = 64, std::vector<std::uint8_t> attributes = {},
                              std::uint32_t waveBytes = 40) {
    FormatBlock block;
    block.words.assign((ks::alignUp8(size) + attributes.size()) / 8 + 8, 0);
    ks::DataFormat head{};
    head.FormatSize = size;
    head.Flags = attributes.empty() ? 0 : ks::data_flags::attributes;
    head.MajorFormat = ks::KSDATAFORMAT_TYPE_AUDIO;
    head.SubFormat = wave.SubFormat;
    head.Specifier = ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    std::memcpy(block.bytes(), &head, sizeof(head));
    std::memcpy(block.bytes() + offset, &wave, waveBytes);
    if (!attributes.empty())
        std::memcpy(block.bytes() + ks::alignUp8(size), attributes.data(), attributes.size());
    return block;
}

// An attribute list: its size (given, or the true one), count and entries.
struct AttributeEntry {
    kernel::Guid id = ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE;
    std::uint32_t size = sizeof(ks::AudioSignalProcessingModeAttribute);
    kernel::Guid mode = ks::AUDIO_SIGNALPROCESSING_MODE_RAW;
};
std::vector<std::uint8_t> AttributeList(const std::vector<AttributeEntry>& entries,
                                        std::uint32_t listSize = 0, std::uint32_t count = ~0u);

// The port the miniport is bound to: it counts notifications.
class CCountingPort final : public portcls::IPortWaveCyclic {
public:
    NTSTATUS QueryInterface(const kernel::Guid&, void**) override {
        return kernel::STATUS_NOT_SUPPORTED;
    }
    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override { return --references; }
    NTSTATUS Init(io::DeviceObject*, io::Irp*, kernel::IUnknown*, kernel::IUnknown*,
                  const io::ResourceList*) override {
        return STATUS_SUCCESS;
    }
    void Notify(portcls::IServiceGroup*) override { ++notifications; }

    std::atomic<std::uint32_t> references{1};
    std::atomic<std::uint32_t> notifications{0};
};

// An endpoint whose client interface is scripted: it keeps the records it
// hands out, answers the A/B values and frame the test sets, fails the step
// the test names, and sends messages to every registered callback.
class CScriptedEngine : public CForwardingUnknown<CStreamEngine, IUsbStreamControl, IUsbStreamDrm> {
public:
    explicit CScriptedEngine(kernel::IUnknown* outer) : CForwardingUnknown(outer, 0u) {}

    NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    NTSTATUS RegisterClient(std::uint32_t priority, const ks::WaveFormatExtensible* format,
                            std::uint32_t valueA, std::uint32_t valueB,
                            kernel::CallbackFunction callback, void* context,
                            UsbStreamClientRecord** record) override;
    NTSTATUS UnregisterClient(const void* handle) override;
    NTSTATUS StartClient(const void* handle, std::uint32_t startFrame, std::uint32_t* valueA,
                         std::uint32_t* valueB, IDspNode* node) override;
    NTSTATUS StopClient(const void* handle, IDspNode* node) override;
    NTSTATUS OpenClient(const void* handle, std::uint32_t* valueA, std::uint32_t* valueB,
                        std::uint32_t* frameValue) override;
    NTSTATUS CloseClient(const void* handle) override;
    void DiscardHeldFrames() override { calls.push_back("discard"); }
    NTSTATUS SelectInterface(std::uint8_t, UsbStreamClientRecord*) override { return Unused(); }
    void FreeTransferContexts() override {}
    NTSTATUS AbortPipe() override { return Unused(); }
    NTSTATUS Recover() override { return Unused(); }
    NTSTATUS SelectZeroBandwidth() override { return Unused(); }
    NTSTATUS RestartStreaming() override { return Unused(); }
    NTSTATUS BuildTransfer() override { return Unused(); }
    NTSTATUS OnTransferComplete(io::DeviceObject*, io::Irp*, void*) override { return Unused(); }
    void WorkerLoop() override {}
    NTSTATUS PrepareFormat(UsbStreamClientRecord*, std::uint32_t*) override { return Unused(); }
    NTSTATUS Teardown() override { return Unused(); }
    NTSTATUS StartStream(std::uint32_t, bool) override { return Unused(); }
    NTSTATUS StopStream() override { return Unused(); }
    bool QueryReady(std::uint8_t) override { return false; }
    NTSTATUS SetContentId(std::uint32_t contentId) override {
        calls.push_back("content " + std::to_string(contentId));
        return STATUS_SUCCESS;
    }

    // A record of another client (not registered through the stream).
    UsbStreamClientRecord* Foreign(const ks::WaveFormatExtensible& format);
    // Every registered callback gets the message naming `client`.
    void Send(UsbStreamClientRecord* client, std::uintptr_t code, std::uintptr_t a1,
              std::uintptr_t a2 = 0);
    // The record the stream registered last.
    UsbStreamClientRecord* Client() const { return own; }

    std::vector<std::string> calls;
    std::string failStep; // "register", "open" or "start"
    std::uint32_t frame = 100;
    std::uint32_t runningA = 5;
    std::uint32_t runningB = 3;

private:
    static NTSTATUS Unused() { return kernel::STATUS_NOT_IMPLEMENTED; }
    struct Registration {
        const void* handle;
        kernel::CallbackFunction callback;
        void* context;
    };
    std::vector<std::unique_ptr<UsbStreamClientRecord>> records;
    UsbStreamClientRecord* own = nullptr;
    std::vector<std::unique_ptr<int>> handles;
    std::vector<Registration> registrations;
};

class CListingHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    NTSTATUS ParseDescriptors() override { return STATUS_SUCCESS; }
};

class WaveTest : public ::testing::Test {
protected:
    ~WaveTest() override { EXPECT_EQ(kernel::poolLiveBlocks(), 0u); }
    void SetUp() override;
    void TearDown() override;

    // An endpoint of the direction with the formats, listed with the HAL.
    void MakeEndpoint(std::uint32_t direction, const std::vector<ks::WaveFormatExtensible>& formats,
                      const char16_t* name = u"Speakers");
    // The miniport bound to the port: Init's status.
    NTSTATUS InitMiniport();
    void ReleaseMiniport();
    NTSTATUS OpenStream(const FormatBlock& format);
    void CloseStream();
    CWaveCyclicStream* Stream() const { return static_cast<CWaveCyclicStream*>(stream); }
    kernel::IUnknown* adapter() const { return static_cast<IAudioHal*>(hal); }

    kernel::ManualClock clock;
    CListingHal* hal = nullptr;
    CScriptedEngine* engine = nullptr;
    CCountingPort port;
    CWaveMiniport* miniport = nullptr;
    portcls::IMiniportWaveCyclicStream* stream = nullptr;
    portcls::IDmaChannel* dma = nullptr;
    portcls::IServiceGroup* group = nullptr;
};

} // namespace wave_test
