#include "driver/fuzz/asio_control_fuzz.h"

#include "driver/adapter/usb_audio_adapter.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/device_object.h"
#include "platform/io/file_object.h"
#include "platform/io/user_mapping.h"
#include "platform/kernel/object.h"
#include "platform/kernel/pool.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::uint32_t Codes[] = {
    asio_control::GetDeviceName,
    asio_control::GetChannels,
    asio_control::GetChannelInfo,
    asio_control::GetSampleTypes,
    asio_control::GetLatencyList,
    asio_control::SetConfigEvent,
    asio_control::GetBuffersHeld,
    asio_control::SetSampleType,
    asio_control::SetLatency,
    asio_control::GetLatencies,
    asio_control::GetSampleRate,
    asio_control::CanSampleRate,
    asio_control::SetSampleRate,
    asio_control::GetBufferSize,
    asio_control::CreateBuffers,
    asio_control::DisposeBuffers,
    asio_control::Start,
    asio_control::Stop,
    asio_control::ReleaseConfigEvent,
    asio_control::CanKind,
    asio_control::SetKind,
    asio_control::GetKind,
    0x1D6FFC,
};

// One request: the code by index, input and output lengths, then the input.
void RunRequests(CAsioPrivate& asio, io::FileObject* const files[2], const std::uint8_t* data,
                 std::size_t size) {
    std::size_t at = 0;
    while (at + 3 <= size) {
        const std::uint8_t selector = data[at];
        const std::uint32_t code = Codes[(selector & 0x7F) % std::size(Codes)];
        io::FileObject* file = files[selector >> 7];
        const std::uint32_t in = data[at + 1];
        const std::uint32_t out = data[at + 2];
        at += 3;
        const std::size_t given = std::min<std::size_t>(in, size - at);
        // The system buffer: the larger length, zero past the input, one guard byte.
        std::vector<std::uint8_t> buffer(std::max(in, out) + 1, 0);
        std::copy_n(data + at, given, buffer.begin());
        at += given;
        buffer.back() = 0xC3;
        std::uint32_t bytes = 0;
        const kernel::NTSTATUS status = asio.DeviceControl(
            file, nullptr, code, std::max(in, out) != 0 ? buffer.data() : nullptr, in, out, &bytes);
        // A sizing answer (no output) names the length it needs.
        fuzzRequire(bytes <= out || out == 0 || status == kernel::STATUS_BUFFER_OVERFLOW,
                    "a byte count past the output");
        fuzzRequire(buffer.back() == 0xC3, "a write past the system buffer");
    }
}

} // namespace

int FuzzAsioControl(const std::uint8_t* pData, std::size_t cbData) {
    const std::uint64_t serial = kernel::poolAllocationSerial();
    {
        io::DriverObject driver;
        io::DeviceObject* device = nullptr;
        fuzzRequire(io::createDevice(driver, 0, &device) == kernel::STATUS_SUCCESS,
                    "cannot make the device");
        kernel::IUnknown* unknown = nullptr;
        fuzzRequire(CreateUsbAudioAdapter(&unknown, {}) == kernel::STATUS_SUCCESS,
                    "cannot make the adapter");
        void* face = nullptr;
        fuzzRequire(unknown->QueryInterface(IID_IUsbDevice, &face) == kernel::STATUS_SUCCESS,
                    "no USB face");
        auto* adapter = static_cast<CUsbAudioAdapter*>(static_cast<IUsbDevice*>(face));
        CAsioPrivate& asio = adapter->GetAsioPrivate();
        io::FileObject* files[2] = {};
        for (io::FileObject*& file : files) {
            fuzzRequire(io::createFileObject(device, kernel::makeUnicodeString(u"\\asio"), &file) ==
                            kernel::STATUS_SUCCESS,
                        "cannot make a file");
            fuzzRequire(asio.Open(file) == kernel::STATUS_SUCCESS, "cannot open");
        }
        RunRequests(asio, files, pData, cbData);
        for (io::FileObject* file : files) {
            fuzzRequire(asio.Close(file) == kernel::STATUS_SUCCESS, "cannot close");
            kernel::dereferenceObject(*file);
        }
        fuzzRequire(asio.ClientCount() == 0, "a client record left");
        adapter->Release();
        unknown->Release();
        io::deleteDevice(device);
    }
    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "pool blocks left");
    fuzzRequire(io::userMappings() == 0, "user mappings left");
    return 0;
}
