#include "driver/fuzz/device_walks_fuzz.h"

#include "driver/fuzz/fuzz_device.h"
#include "driver/fuzz/fuzz_usb_device.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/registry.h"
#include "platform/kernel/pool.h"

namespace {

// What a model that started promises of each endpoint: the nodes of its
// path. (Formats it may lack: a streaming interface may end before its
// format descriptor.)
void CheckEndpoints(IAudioHal& hal) {
    for (std::uint32_t index = 0; index < hal.GetEndpointCount(); ++index) {
        IStreamEngine* engine = nullptr;
        fuzzRequire(kernel::succeeded(hal.GetEndpoint(index, &engine)), "an endpoint is missing");
        fuzzRequire(engine->GetEntityCount() != 0, "an endpoint has no node");
    }
}

void WalkWith(bool uac2, const std::uint8_t* data, std::size_t size, io::DeviceObject* device) {
    CFuzzUsbDevice* adapter = CFuzzUsbDevice::Make({data, size});
    if (kernel::succeeded(adapter->CreateModel(uac2))) {
        IAudioHal* hal = adapter->Model();
        const kernel::NTSTATUS status = hal->Init(nullptr, device, nullptr, nullptr);
        fuzzRequire(status == kernel::STATUS_SUCCESS || kernel::isError(status),
                    "Init ended with a warning");
        if (kernel::succeeded(status)) CheckEndpoints(*hal);
    }
    adapter->NonDelegatingRelease();
}

} // namespace

int FuzzDeviceWalks(const std::uint8_t* pData, std::size_t cbData) {
    io::Registry registry;
    const CFuzzDevice device;
    const std::uint64_t serial = kernel::poolAllocationSerial();
    WalkWith(false, pData, cbData, device.Get());
    WalkWith(true, pData, cbData, device.Get());
    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "the walks left a pool block");
    return 0;
}
