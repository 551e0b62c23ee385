// The ASIO interface's tests: the real USB stream engines of a headset on
// the simulated bus, listed by a HAL that marks the ASIO endpoints, the
// interface over them, and a user-mode client process whose file requests a
// device hands to the interface as the driver's dispatch does.
#pragma once

#include "driver/adapter/asio_private.h"
#include "driver/engine/audio_hal.h"
#include "driver/tests/usbstream/usb_stream_fixture.h"
#include "platform/io/device_interface.h"
#include "platform/io/registry.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/tests/io_test_devices.h"

#include <atomic>
#include <optional>
#include <vector>

namespace asio_test {

using kernel::NTSTATUS;
using namespace usbstream_test;

class CAsioTestHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    NTSTATUS GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) override;
    NTSTATUS ParseDescriptors() override { return kernel::STATUS_SUCCESS; }
    std::vector<bool> asio; // per endpoint
};

class AsioTestHost : public IAsioHost {
public:
    kernel::IUnknown* AsioOuterUnknown() override { return static_cast<IAudioHal*>(hal); }
    IAudioHal& AsioHal() override { return *hal; }
    IUsbDevice& AsioUsb() override { return *usb; }
    io::DeviceObject* AsioSettingsDevice() override { return settingsDevice; }
    AsioSettings& AsioSettingsRecord() override { return settings; }
    AsioDeviceIds AsioIds() override { return ids; }
    bool AsioDeviceWorking() override { return working; }
    bool ParkStopRequest(io::Irp* request) override;
    io::Irp* TakeParkedStop(io::FileObject* file) override;

    CAsioTestHal* hal = nullptr;
    IUsbDevice* usb = nullptr;
    io::DeviceObject* settingsDevice = nullptr;
    AsioSettings settings;
    AsioDeviceIds ids = {0x1234, 0x5678, 0};
    bool working = true;
    std::atomic<io::Irp*> parked{nullptr};
};

// Ids of a file request as the client sees its answer.
struct Answer {
    NTSTATUS status;
    std::uint32_t bytes;
};

class AsioWorld : public UsbStreamFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // The headset's playback (stereo) and microphone (mono) engines at
    // 48 kHz, 16 bits, both marked ASIO unless told.
    void StartHeadset(bool captureIsAsio = true);
    std::uint32_t OpenFile();
    void CloseFile(std::uint32_t file);
    // A device control from the client, carried out while the frames run.
    Answer Control(std::uint32_t file, std::uint32_t code, const void* input,
                   std::uint32_t inputLength, void* output, std::uint32_t outputLength);
    Answer Word(std::uint32_t file, std::uint32_t code, std::uint32_t value) {
        return Control(file, code, &value, 4, nullptr, 0);
    }
    // CreateBuffers for the channels ({isInput, channel}); the ring addresses.
    Answer CreateBuffers(std::uint32_t file, const std::vector<AsioChannelEntry>& channels,
                         std::uint32_t frames, std::vector<std::uint32_t>* addresses = nullptr);
    static AsioRingHeader* Ring(std::uint32_t address) {
        return static_cast<AsioRingHeader*>(io::userPointer(address));
    }

    std::optional<io::Registry> registry;
    AsioTestHost host;
    std::optional<CAsioPrivate> asio;
    std::optional<io::testing::TestDevice> physical;
    std::optional<io::testing::TestDevice> function;
    kernel::UnicodeString link = {};
    std::optional<io::UserProcess> process;
    Held<CAsioTestHal>* halHolder = nullptr;
    CUsbStreamEngine* render = nullptr;
    CUsbStreamEngine* capture = nullptr;
};

} // namespace asio_test
