#include "asio_test_world.h"

#include "driver/tests/usbstream/stream_test_client.h"
#include "platform/io/irp.h"
#include "platform/tests/client_device_test.h"

namespace asio_test {

NTSTATUS CAsioTestHal::GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) {
    *record = {};
    if (endpoint < asio.size() && asio[endpoint])
        record->words[InfoRecordAsioWord] = InfoRecordAsioBit;
    return kernel::STATUS_SUCCESS;
}

bool AsioTestHost::ParkStopRequest(io::Irp* request) {
    io::Irp* none = nullptr;
    return parked.compare_exchange_strong(none, request);
}

io::Irp* AsioTestHost::TakeParkedStop(io::FileObject* file) {
    io::Irp* request = parked.load();
    if (request == nullptr) return nullptr;
    if (file != nullptr && io::currentStackLocation(request)->fileObject != file) return nullptr;
    return parked.compare_exchange_strong(request, nullptr) ? request : nullptr;
}

void AsioWorld::SetUp() {
    io::failUserMappings(false);
    registry.emplace();
    physical.emplace(nullptr, &io::testing::headsetIdentity());
    function.emplace(&*physical);
    const kernel::UnicodeString reference = kernel::makeUnicodeString(u"HXASIOPrivateInterface");
    ASSERT_EQ(io::registerDeviceInterface(physical->device, io::testing::clientInterfaceClass,
                                          &reference, &link),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(io::setDeviceInterfaceState(link, true), kernel::STATUS_SUCCESS);
    host.settingsDevice = function->device;
    asio.emplace(host);
    auto file = [](io::Irp* irp) { return io::currentStackLocation(irp)->fileObject; };
    function->on(io::major::Create) = [this, file](io::DeviceObject*, io::Irp* irp) {
        return io::testing::completeWith(irp, asio->Open(file(irp)));
    };
    function->on(io::major::Close) = [this, file](io::DeviceObject*, io::Irp* irp) {
        return io::testing::completeWith(irp, asio->Close(file(irp)));
    };
    function->on(io::major::DeviceControl) = [this, file](io::DeviceObject*, io::Irp* irp) {
        const auto& control = io::currentStackLocation(irp)->parameters.deviceIoControl;
        std::uint32_t bytes = 0;
        const NTSTATUS status =
            asio->DeviceControl(file(irp), irp, control.ioControlCode, irp->systemBuffer,
                                control.inputBufferLength, control.outputBufferLength, &bytes);
        if (status == kernel::STATUS_PENDING) return status;
        return io::testing::completeWith(irp, status, bytes);
    };
    process.emplace();
}

void AsioWorld::TearDown() {
    process.reset();
    asio.reset();
    if (halHolder != nullptr) delete halHolder;
    halHolder = nullptr;
    host.hal = nullptr;
    UsbStreamFixture::TearDown();
    kernel::freeUnicodeString(link);
    function.reset();
    physical.reset();
    registry.reset();
    io::failUserMappings(false);
    EXPECT_EQ(io::userMappings(), 0u);
    EXPECT_EQ(io::userHandlesOpen(), 0u);
}

void AsioWorld::StartHeadset(bool captureIsAsio) {
    delete halHolder;
    halHolder = nullptr;
    Start(usbsim::fixtures::uac1Headset());
    render = MakeEngine(UsbStreamKind::uac1Render, 1, 1);
    capture = MakeEngine(UsbStreamKind::uac1Capture, 2, 10, 10);
    const ks::WaveFormatExtensible stereo = UsbPcmFormat(2, 16, 48000);
    const ks::WaveFormatExtensible mono = UsbPcmFormat(1, 16, 48000);
    ASSERT_EQ(render->AddUsbFormat(&stereo, 1), kernel::STATUS_SUCCESS);
    ASSERT_EQ(capture->AddUsbFormat(&mono, 1), kernel::STATUS_SUCCESS);
    render->SetName(u"Speakers");
    capture->SetName(u"Microphone");
    halHolder = new Held<CAsioTestHal>(Make<CAsioTestHal>());
    host.hal = halHolder->get();
    host.hal->asio = {true, captureIsAsio};
    ASSERT_EQ(host.hal->Init(nullptr, function->device, nullptr, nullptr), kernel::STATUS_SUCCESS);
    ASSERT_EQ(host.hal->AddEndpoint(render), kernel::STATUS_SUCCESS);
    ASSERT_EQ(host.hal->AddEndpoint(capture), kernel::STATUS_SUCCESS);
    host.usb = Usb();
}

std::uint32_t AsioWorld::OpenFile() {
    std::uint32_t file = 0;
    EXPECT_EQ(process->openDeviceInterface(link.view(), &file), kernel::STATUS_SUCCESS);
    return file;
}

void AsioWorld::CloseFile(std::uint32_t file) {
    Drive(stack->clock, [&] { EXPECT_EQ(process->closeHandle(file), kernel::STATUS_SUCCESS); });
}

Answer AsioWorld::Control(std::uint32_t file, std::uint32_t code, const void* input,
                          std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
    io::IoStatusBlock ioStatus = {};
    NTSTATUS status = kernel::STATUS_SUCCESS;
    auto send = [&] {
        status = process->deviceIoControl(file, code, input, inputLength, output, outputLength,
                                          &ioStatus);
    };
    if (stack != nullptr)
        Drive(stack->clock, send);
    else
        send();
    if (status == kernel::STATUS_PENDING) return {status, 0};
    return {ioStatus.status, static_cast<std::uint32_t>(ioStatus.information)};
}

Answer AsioWorld::CreateBuffers(std::uint32_t file, const std::vector<AsioChannelEntry>& channels,
                                std::uint32_t frames, std::vector<std::uint32_t>* addresses) {
    std::vector<std::uint32_t> request = {0, static_cast<std::uint32_t>(channels.size()), frames};
    for (const AsioChannelEntry& entry : channels) {
        request.push_back(entry.isInput);
        request.push_back(entry.channel);
    }
    std::size_t endpoints = 0;
    for (bool marked : host.hal->asio) endpoints += marked ? 1 : 0;
    std::vector<std::uint32_t> out(endpoints, 0);
    const Answer answer = Control(file, asio_control::CreateBuffers, request.data(),
                                  static_cast<std::uint32_t>(request.size() * 4), out.data(),
                                  static_cast<std::uint32_t>(out.size() * 4));
    if (addresses != nullptr) *addresses = out;
    return answer;
}

} // namespace asio_test
