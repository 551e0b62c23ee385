// A device model on a simulated function, as the adapter holds it: an outer
// object that answers IUsbDevice over the bus (with the configuration
// selected, so interfaces can be selected on it) and aggregates the model,
// whose other faces it hands out. Requests from threads other than the
// test's are sent as requests and waited for; DPCs run on that thread
// unless a settle in progress runs them.
#pragma once

#include "driver/devmodel/uac1_device.h"
#include "driver/devmodel/uac2_device.h"
#include "driver/devmodel/uac_device_create.h"
#include "driver/engine/control_change.h"
#include "platform/kernel/dpc.h"
#include "sim/usb/fixture_parts.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <memory>
#include <thread>
#include <vector>

namespace devmodel_test {

class CModelAdapter : public CSimUsbDevice {
public:
    CModelAdapter(kernel::IUnknown* outer, usbsimtest::BusStack* stack)
        : CSimUsbDevice(outer, stack), m_pStack(stack) {
        SelectConfiguration();
    }
    ~CModelAdapter() override {
        if (m_pInner != nullptr) m_pInner->NonDelegatingRelease();
    }

    kernel::NTSTATUS CreateModel(usb::AudioRelease release, std::uint16_t vendor,
                                 std::uint16_t product) {
        return (release == usb::AudioRelease::uac2 ? CreateUac2Device : CreateUac1Device)(
            &m_pInner, GetOuterUnknown(), vendor, product);
    }
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        const kernel::NTSTATUS status = CSimUsbDevice::NonDelegatingQueryInterface(id, object);
        if (kernel::succeeded(status) || m_pInner == nullptr) return status;
        return m_pInner->NonDelegatingQueryInterface(id, object);
    }
    usb::ConfigurationHandle GetConfigurationHandle() override { return m_Configuration; }
    kernel::NTSTATUS SubmitUrb(usb::RequestHeader* request) override {
        if (std::this_thread::get_id() == m_TestThread) return CSimUsbDevice::SubmitUrb(request);
        return SubmitFromThread(request);
    }

    // The model itself, whichever release.
    CUacDevice* Model() const { return static_cast<CUacDevice*>(m_pInner); }

private:
    void SelectConfiguration() {
        const usb::ConfigurationView view = m_pStack->view();
        std::vector<const usb::InterfaceDescriptor*> interfaces;
        for (int number = 0;; ++number) {
            const usb::InterfaceDescriptor* interface =
                view.findInterface({.number = number, .alternateSetting = 0});
            if (interface == nullptr) break;
            interfaces.push_back(interface);
        }
        usb::RequestBlock select;
        if (interfaces.empty() ||
            !kernel::succeeded(
                usb::buildSelectConfiguration(view, interfaces, kernel::poolTag("BsTs"), select)) ||
            !kernel::succeeded(m_pStack->submit(*select.header())))
            return;
        m_Configuration = select.as<usb::SelectConfigurationRequest>()->configurationHandle;
    }

    kernel::NTSTATUS SubmitFromThread(usb::RequestHeader* request) {
        io::Irp* irp = AllocateIrp();
        if (irp == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        kernel::Event done(kernel::EventType::Notification, false);
        io::IoStackLocation* location = io::nextStackLocation(irp);
        location->majorFunction = io::major::InternalDeviceControl;
        location->parameters.deviceIoControl.ioControlCode = usb::internal_ioctl::submitRequest;
        location->parameters.others.argument1 = request;
        io::setCompletionRoutine(
            irp,
            [](io::DeviceObject*, io::Irp*, void* context) {
                static_cast<kernel::Event*>(context)->set();
                return kernel::STATUS_MORE_PROCESSING_REQUIRED;
            },
            &done, true, true, true);
        SendIrp(irp);
        kernel::flushQueuedDpcs();
        kernel::waitForSingleObject(done, kernel::Timeout::infinite());
        const kernel::NTSTATUS status = irp->ioStatus.status;
        FreeIrp(irp);
        return status;
    }

    usbsimtest::BusStack* m_pStack;
    INonDelegatingUnknown* m_pInner = nullptr;
    usb::ConfigurationHandle m_Configuration = nullptr;
    const std::thread::id m_TestThread = std::this_thread::get_id();
};

// Control-change messages the HAL published, by node id.
struct ControlChanges {
    static void Record(void* context, void* argument1, void*) {
        const auto* message = static_cast<const ControlChangeMessage*>(argument1);
        static_cast<ControlChanges*>(context)->nodes.push_back(message->nodeId);
    }
    std::vector<std::uint32_t> nodes;
};

class UacDeviceFixture : public SettingsTestDevice {
protected:
    // The function on a bus and the model on it, initialised; the status of
    // Init.
    kernel::NTSTATUS Build(usbsim::FunctionDescription description) {
        Release();
        const usb::AudioRelease release = description.release;
        const std::uint16_t vendor = description.vendorId;
        const std::uint16_t product = description.productId;
        stack = std::make_unique<usbsimtest::BusStack>(std::move(description));
        adapter = std::make_unique<Held<CModelAdapter>>(Make<CModelAdapter>(stack.get()));
        const kernel::NTSTATUS created = (*adapter)->CreateModel(release, vendor, product);
        if (!kernel::succeeded(created)) return created;
        const kernel::NTSTATUS status = Hal()->Init(nullptr, m_pFunction, nullptr, nullptr);
        stack->clock.settle();
        return status;
    }
    void Release() {
        if (adapter && (*adapter)->Model() != nullptr) Hal()->Stop();
        if (stack) stack->clock.settle();
        adapter.reset();
        stack.reset();
    }
    void TearDown() override {
        Release();
        SettingsTestDevice::TearDown();
    }

    CUacDevice* Model() const { return (*adapter)->Model(); }
    IAudioHal* Hal() const { return static_cast<IAudioHal*>(Model()); }

    // The types of the entities, earliest first, as "id:type".
    std::vector<std::string> Entities() const {
        std::vector<std::string> found;
        for (std::uint32_t index = Model()->GetEntityCount(); index-- > 0;) {
            IAudioNode* entity = Model()->EntityAt(index);
            found.push_back(std::to_string(entity->GetId()) + ":" +
                            std::to_string(entity->GetType()));
        }
        return found;
    }

    std::unique_ptr<usbsimtest::BusStack> stack;
    std::unique_ptr<Held<CModelAdapter>> adapter;
};

// The release-1 headset with the product string the model identifies by.
inline usbsim::FunctionDescription IdentifiedUac1Headset() {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = 0x50, .text = u"USB Headset FW"});
    return description;
}

} // namespace devmodel_test
