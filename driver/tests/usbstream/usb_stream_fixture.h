// A function on the simulated bus, the adapter over it, and the stream
// engines a test makes on it; everything goes again at the test's end,
// engines first.
#pragma once

#include "driver/tests/engine_test_doubles.h"
#include "driver/tests/test_wave_formats.h"
#include "driver/usbstream/usb_stream_engine_create.h"
#include "sim/usb/fixtures.h"
#include "stream_test_adapter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace usbstream_test {

using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_INSUFFICIENT_RESOURCES;
using kernel::STATUS_INVALID_PARAMETER;
using kernel::STATUS_SUCCESS;
using kernel::STATUS_UNSUCCESSFUL;

// A PCM format as the device-model walks describe a setting's: extensible,
// with the sub-format PCM.
inline ks::WaveFormatExtensible UsbPcmFormat(std::uint16_t channels, std::uint16_t bits,
                                             std::uint32_t rate) {
    ks::WaveFormatExtensible format =
        TestExtensibleFormat(ks::format_tag::pcm, channels, bits, bits);
    format.Format.nSamplesPerSec = rate;
    format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
    return format;
}

class UsbStreamFixture : public ::testing::Test {
protected:
    void Start(usbsim::FunctionDescription description) {
        Stop();
        stack = std::make_unique<usbsimtest::BusStack>(std::move(description));
        adapter = std::make_unique<Held<CStreamTestAdapter>>(Make<CStreamTestAdapter>());
        ASSERT_EQ((*adapter)->Attach(stack.get()), STATUS_SUCCESS);
    }
    void Stop() {
        for (CUsbStreamEngine* engine : engines) engine->NonDelegatingRelease();
        engines.clear();
        adapter.reset();
        stack.reset();
    }
    void TearDown() override { Stop(); }

    // An engine of the kind, initialised for its direction on the adapter;
    // the fixture keeps it.
    CUsbStreamEngine* MakeEngine(UsbStreamKind kind, std::uint8_t interfaceNumber,
                                 std::uint32_t terminalId, std::uint32_t clockId = 0) {
        CUsbStreamEngine* engine = nullptr;
        EXPECT_EQ(
            CreateUsbStreamEngine(&engine, kind, nullptr, interfaceNumber, terminalId, clockId),
            STATUS_SUCCESS);
        if (engine == nullptr) return nullptr;
        engines.push_back(engine);
        const bool capture =
            kind == UsbStreamKind::uac1Capture || kind == UsbStreamKind::uac2Capture;
        EXPECT_EQ(engine->InitStream(capture ? 1 : 0, Adapter()), STATUS_SUCCESS);
        return engine;
    }

    CStreamTestAdapter* Usb() const { return adapter->get(); }
    kernel::IUnknown* Adapter() const { return static_cast<IUsbDevice*>(adapter->get()); }

    std::unique_ptr<usbsimtest::BusStack> stack;
    std::unique_ptr<Held<CStreamTestAdapter>> adapter;
    std::vector<CUsbStreamEngine*> engines;
};

} // namespace usbstream_test
