#include "driver/fuzz/stream_status_fuzz.h"

#include "driver/devmodel/uac1_device.h"
#include "driver/devmodel/uac2_device.h"
#include "driver/fuzz/fuzz_device.h"
#include "driver/fuzz/fuzz_usb_device.h"
#include "driver/usbstream/feedback_rate.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/registry.h"
#include "platform/kernel/pool.h"

#include <array>
#include <span>
#include <vector>

namespace {

constexpr std::uint32_t NominalRates[] = {8000,  16000, 22050, 32000,  44100,
                                          48000, 88200, 96000, 176400, 192000};
constexpr std::uint32_t AcceptedDistance = 1000;

void FuzzFeedback(std::span<const std::uint8_t> bytes) {
    CFuzzAnswers input(bytes);
    const std::uint8_t format = input.Byte();
    const FeedbackShape shape{
        .packetBytes = 3u + (format & 1u),
        .packetsPerMillisecond = 1u << ((format >> 1) & 3u),
        .nominalRate = NominalRates[input.Byte() % std::size(NominalRates)],
        .millisecondsPerTransfer = input.Byte() % 17u,
    };
    std::vector<std::uint32_t> lengths(input.Byte() % 65u);
    for (std::uint32_t& length : lengths) length = input.Byte() % 6u;
    // A copy of its own, so a read past the transfer's bytes is seen.
    const std::vector<std::uint8_t> buffer(input.Rest().begin(), input.Rest().end());

    constexpr std::uint32_t Untouched = 0xFFFFFFFF;
    std::uint32_t measured = Untouched;
    if (MeasureFeedbackRate(shape, buffer, lengths, &measured)) {
        const std::uint32_t distance = measured > shape.nominalRate ? measured - shape.nominalRate
                                                                    : shape.nominalRate - measured;
        fuzzRequire(distance <= AcceptedDistance, "a measured rate far from nominal");
    } else {
        fuzzRequire(measured == Untouched, "a failed measurement wrote a rate");
    }
}

// The messages after the configuration, each delivered as the status pipe
// would: never more bytes than its packet.
template <class Model> void SendMessages(Model& model, CFuzzAnswers& input, std::size_t packet) {
    std::array<std::uint8_t, 8> message{};
    while (!input.Exhausted()) {
        const std::uint32_t length = input.Byte() % static_cast<std::uint32_t>(packet + 1);
        std::uint32_t moved = 0;
        message.fill(0);
        input.Answer(message.data(), length, &moved);
        model.OnStatusMessage(message.data(), moved);
    }
}

void FuzzStatus(bool uac2, std::span<const std::uint8_t> bytes, io::DeviceObject* device) {
    const std::size_t total = FuzzConfigurationLength(bytes);
    CFuzzUsbDevice* adapter = CFuzzUsbDevice::Make(bytes.first(total));
    if (kernel::succeeded(adapter->CreateModel(uac2)) &&
        kernel::succeeded(adapter->Model()->Init(nullptr, device, nullptr, nullptr))) {
        CUacDevice& model = *adapter->Model();
        const std::uint32_t children = model.GetChildCount();
        adapter->AnswerFrom(bytes.subspan(total));
        if (uac2)
            SendMessages(static_cast<CUac2Device&>(model), adapter->Answers(), 6);
        else
            SendMessages(static_cast<CUac1Device&>(model), adapter->Answers(), 2);
        fuzzRequire(model.GetChildCount() == children, "a status message changed the children");
    }
    adapter->NonDelegatingRelease();
}

} // namespace

int FuzzStreamStatus(const std::uint8_t* pData, std::size_t cbData) {
    if (cbData == 0) return 0;
    const std::span<const std::uint8_t> rest(pData + 1, cbData - 1);
    if ((pData[0] & 1) == 0) {
        FuzzFeedback(rest);
        return 0;
    }
    io::Registry registry;
    const CFuzzDevice device;
    const std::uint64_t serial = kernel::poolAllocationSerial();
    FuzzStatus((pData[0] & 2) != 0, rest, device.Get());
    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "status messages left a pool block");
    return 0;
}
