// The adapter's USB face as the device model's tests give it: an object that
// answers IUsbDevice over a simulated bus, sending each request record down
// as the submit-request internal device control and settling the manual
// clock until the bus has completed it; and the fixture that builds a
// function on the bus, that face and a HAL, and parses units from the
// function's configuration.
#pragma once

#include "driver/common/object_model.h"
#include "driver/engine/usb_device.h"
#include "driver/tests/settings_test_device.h"
#include "entity_test_support.h"
#include "platform/io/irp.h"
#include "sim/usb/tests/bus_stack.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace devmodel_test {

// Whether the descriptor at `at` is an interface of audio subclass 1
// (control).
inline bool IsControlInterface(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at + 1] == 0x04 && at + 6 < bytes.size() && bytes[at + 5] == 0x01 &&
           bytes[at + 6] == 0x01;
}

class CSimUsbDevice : public CForwardingUnknown<CUnknown, IUsbDevice> {
public:
    CSimUsbDevice(kernel::IUnknown* outer, usbsimtest::BusStack* stack)
        : CForwardingUnknown(outer), m_pStack(stack) {
        FindControlInterface();
    }

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CUnknown::NonDelegatingQueryInterface(id, object),
                               static_cast<IUsbDevice*>(this), id, IID_IUsbDevice, object);
    }

    const usb::ConfigurationDescriptor* GetConfigurationDescriptor() override {
        return reinterpret_cast<const usb::ConfigurationDescriptor*>(Configuration().data());
    }
    usb::ConfigurationHandle GetConfigurationHandle() override { return nullptr; }
    std::uint8_t GetControlInterfaceNumber() override { return m_ControlInterface; }
    kernel::NTSTATUS SetDevicePresent(std::uint8_t present) override {
        m_Present = present;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS SendIrp(io::Irp* irp) override {
        return io::callDriver(m_pStack->bus.device(), irp);
    }
    kernel::NTSTATUS SubmitUrb(usb::RequestHeader* request) override {
        ++submitted;
        return m_pStack->submit(*request);
    }
    kernel::NTSTATUS QueryBusTime(std::uint32_t* frame) override {
        *frame = 0;
        return kernel::STATUS_INVALID_PARAMETER;
    }
    io::Irp* AllocateIrp() override { return io::allocateIrp(8); }
    kernel::NTSTATUS FreeIrp(io::Irp* irp) override {
        io::freeIrp(irp);
        return kernel::STATUS_SUCCESS;
    }
    bool IsHighSpeed() override { return false; }
    bool IsDeviceGone() override { return m_Present == 0; }
    kernel::NTSTATUS CyclePort() override { return kernel::STATUS_NOT_SUPPORTED; }
    kernel::NTSTATUS ResetPort() override { return kernel::STATUS_NOT_SUPPORTED; }
    io::DeviceObject* GetLowerDevice() override { return m_pStack->bus.device(); }
    std::int32_t AddActiveStream() override { return ++m_lActiveStreams; }
    std::int32_t ReleaseActiveStream() override { return --m_lActiveStreams; }
    kernel::NTSTATUS CreateAudioDevice() override { return kernel::STATUS_NOT_SUPPORTED; }

    std::span<const std::uint8_t> Configuration() const {
        return m_pStack->function.descriptors().configuration;
    }

    int submitted = 0;

private:
    void FindControlInterface() {
        const std::span<const std::uint8_t> bytes = Configuration();
        for (std::size_t at = 0; at + 2 < bytes.size() && bytes[at] >= 2; at += bytes[at])
            if (IsControlInterface(bytes, at)) m_ControlInterface = bytes[at + 2];
    }

    usbsimtest::BusStack* m_pStack;
    std::uint8_t m_ControlInterface = 0;
    std::uint8_t m_Present = 1;
    std::int32_t m_lActiveStreams = 0;
};

// The class-specific AudioControl descriptors of a configuration: for each,
// its offset; the bytes from there run to the end of the configuration.
inline std::vector<std::size_t> ControlDescriptorsOf(std::span<const std::uint8_t> bytes,
                                                     std::uint8_t subtype) {
    std::vector<std::size_t> found;
    bool inControl = false;
    for (std::size_t at = 0; at + 2 < bytes.size() && bytes[at] >= 2; at += bytes[at]) {
        if (bytes[at + 1] == 0x04)
            inControl = IsControlInterface(bytes, at);
        else if (inControl && bytes[at + 1] == 0x24 && bytes[at + 2] == subtype)
            found.push_back(at);
    }
    return found;
}

// A function on the simulated bus, the USB face over it and a HAL on the
// settings device, and the units the test parsed.
class SimBusFixture : public SettingsTestDevice {
protected:
    // Builds everything but the settings device, again if need be.
    void Start(usbsim::FunctionDescription description) {
        Stop();
        stack = std::make_unique<usbsimtest::BusStack>(std::move(description));
        usb = std::make_unique<Held<CSimUsbDevice>>(Make<CSimUsbDevice>(stack.get()));
        hal = std::make_unique<Held<CPlainHal>>(Make<CPlainHal>());
        ASSERT_EQ(Hal()->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
    }
    void Stop() {
        units.clear();
        hal.reset();
        usb.reset();
        stack.reset();
    }
    void TearDown() override {
        Stop();
        SettingsTestDevice::TearDown();
    }

    CPlainHal* Hal() const { return hal->get(); }
    kernel::IUnknown* Device() const { return static_cast<IUsbDevice*>(usb->get()); }

    // The unit of the subtype and id in the configuration, parsed into an
    // object the fixture keeps; the parse's status. None: a failure.
    template <class Unit>
    NTSTATUS TryParse(std::uint8_t subtype, std::uint8_t id, Unit** parsed = nullptr) {
        const std::span<const std::uint8_t> bytes = (*usb)->Configuration();
        for (std::size_t at : ControlDescriptorsOf(bytes, subtype)) {
            if (bytes[at + 3] != id) continue;
            auto held = std::make_shared<Held<Unit>>(Make<Unit>());
            units.push_back(held);
            if (parsed != nullptr) *parsed = held->get();
            return (*held)->Parse(bytes.subspan(at), Device(), Hal());
        }
        ADD_FAILURE() << "no unit " << int(id) << " of subtype " << int(subtype);
        return STATUS_UNSUCCESSFUL;
    }
    // The same, expected to succeed; null when there is no such unit.
    template <class Unit> Unit* ParseUnit(std::uint8_t subtype, std::uint8_t id) {
        Unit* unit = nullptr;
        EXPECT_EQ(TryParse(subtype, id, &unit), STATUS_SUCCESS);
        return unit;
    }

    std::size_t Requests() const { return stack->function.log().size(); }
    // The last request the function saw, as "bmRequestType bRequest wValue
    // wIndex: data".
    std::string LastRequest() const {
        const auto& log = stack->function.log();
        if (log.empty()) return "none";
        const auto& r = log.back();
        char text[32];
        std::snprintf(text, sizeof text, "%02X %02X %04X %04X:", r.setup.bmRequestType,
                      r.setup.bRequest, r.setup.wValue.value(), r.setup.wIndex.value());
        std::string result = text;
        for (std::uint8_t b : r.data) {
            std::snprintf(text, sizeof text, " %02X", b);
            result += text;
        }
        return result;
    }

    // The requests from the index given on: an IN request as
    // "bmRequestType bRequest wValue wIndex <wLength", an OUT request with
    // its data as LastRequest gives it.
    std::vector<std::string> RequestsFrom(std::size_t first) const {
        std::vector<std::string> lines;
        const auto& log = stack->function.log();
        for (std::size_t i = first; i < log.size(); ++i) {
            const auto& r = log[i];
            char text[40];
            std::snprintf(text, sizeof text, "%02X %02X %04X %04X", r.setup.bmRequestType,
                          r.setup.bRequest, r.setup.wValue.value(), r.setup.wIndex.value());
            std::string line = text;
            if ((r.setup.bmRequestType & 0x80) != 0) {
                line += " <" + std::to_string(r.setup.wLength.value());
            } else {
                line += ":";
                for (std::uint8_t b : r.data) {
                    std::snprintf(text, sizeof text, " %02X", b);
                    line += text;
                }
            }
            lines.push_back(line);
        }
        return lines;
    }

    std::unique_ptr<usbsimtest::BusStack> stack;
    std::unique_ptr<Held<CSimUsbDevice>> usb;
    std::unique_ptr<Held<CPlainHal>> hal;
    std::vector<std::shared_ptr<void>> units; // each a Held unit
};

} // namespace devmodel_test
