#include "driver/fuzz/topology_properties_fuzz.h"

#include "driver/common/interface_ids.h"
#include "driver/engine/subdevice_name.h"
#include "driver/fuzz/fuzz_usb_device.h"
#include "driver/miniport/topology_miniport.h"
#include "driver/usermode/topology_properties.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/registry.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/identifier.h"
#include "platform/portcls/adapter.h"
#include "platform/portcls/port.h"
#include "platform/portcls/subdevice_access.h"

#include <span>
#include <vector>

namespace {

constexpr kernel::Guid UnknownSet = kernel::makeGuid("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
const kernel::Guid* const PropertySets[] = {
    &ks::KSPROPSETID_Audio, &ks::KSPROPSETID_Jack, &PROPSETID_Level,      &PROPSETID_NodeName,
    &PROPSETID_TypeList,    &PROPSETID_Parameters, &PROPSETID_EffectUnit, &PROPSETID_Block,
    &PROPSETID_Terminal,    &UnknownSet,
};
constexpr std::uint32_t NoNode = 0xFFFFFFFF;
constexpr std::uint32_t LargestInstance = 64;
constexpr std::uint32_t LargestValue = 4096;

kernel::NTSTATUS StartNothing(io::DeviceObject*, io::Irp*, const io::ResourceList*) {
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS AddAdapterDevice(io::DriverObject* driver, io::DeviceObject* physical) {
    return portcls::PcAddAdapterDevice(driver, physical, StartNothing, 4, 0);
}

kernel::NTSTATUS KeepIrp(io::DeviceObject*, io::Irp*, void*) {
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

// The physical device, the adapter device the port layer puts on it, and
// its removal: the request sent down the stack and its completion run.
class CAdapterStack {
public:
    CAdapterStack() {
        fuzzRequire(portcls::PcInitializeAdapterDriver(&m_Driver, nullptr, AddAdapterDevice) ==
                            kernel::STATUS_SUCCESS &&
                        io::createDevice(m_Bus, 0, &m_pPhysical) == kernel::STATUS_SUCCESS &&
                        io::setDeviceIdentity(m_pPhysical,
                                              {{u"USB\\VID_047F&PID_D957&REV_0100"},
                                               u"5&1&0&3",
                                               u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001"}) ==
                            kernel::STATUS_SUCCESS &&
                        m_Driver.addDevice(&m_Driver, m_pPhysical) == kernel::STATUS_SUCCESS,
                    "cannot make the adapter device");
    }
    ~CAdapterStack() {
        io::DeviceObject* top = m_pPhysical->attachedDevice();
        if (top != nullptr) {
            io::Irp* irp = io::allocateIrp(top->stackSize());
            io::IoStackLocation* location = io::nextStackLocation(irp);
            location->majorFunction = io::major::Pnp;
            location->minorFunction = io::minorPnp::RemoveDevice;
            irp->ioStatus = {kernel::STATUS_NOT_SUPPORTED, 0};
            io::setCompletionRoutine(irp, KeepIrp, nullptr, true, true, true);
            (void)io::callDriver(top, irp);
            m_Clock.settle();
            io::freeIrp(irp);
        }
        io::deleteDevice(m_pPhysical);
    }
    CAdapterStack(const CAdapterStack&) = delete;
    CAdapterStack& operator=(const CAdapterStack&) = delete;

    io::DeviceObject* Functional() const { return m_pPhysical->attachedDevice(); }

private:
    kernel::ManualClock m_Clock;
    io::DriverObject m_Bus;
    io::DriverObject m_Driver;
    io::DeviceObject* m_pPhysical = nullptr;
};

// The topology miniport on its port, registered and its filter open; false
// when the model's graph gives no filter (its own refusal, no fault).
bool Install(io::DeviceObject* functional, kernel::IUnknown* adapter, portcls::IPort** port,
             portcls::FilterHandle& filter) {
    kernel::IUnknown* miniport = nullptr;
    fuzzRequire(CreateTopologyMiniport(&miniport, portcls::CLSID_PortTopology, nullptr,
                                       kernel::PoolType::NonPagedNx) == kernel::STATUS_SUCCESS &&
                    portcls::PcNewPort(port, portcls::CLSID_PortTopology) == kernel::STATUS_SUCCESS,
                "cannot make the miniport and its port");
    kernel::NTSTATUS status = (*port)->Init(functional, nullptr, miniport, adapter, nullptr);
    void* face = nullptr;
    const char16_t* name = nullptr;
    if (kernel::succeeded(status)) status = miniport->QueryInterface(IID_ISubdeviceName, &face);
    if (kernel::succeeded(status)) {
        status = static_cast<ISubdeviceName*>(face)->GetName(&name);
        static_cast<ISubdeviceName*>(face)->Release();
    }
    miniport->Release();
    if (kernel::succeeded(status)) status = portcls::PcRegisterSubdevice(functional, name, *port);
    if (kernel::succeeded(status)) status = filter.open(functional, name);
    return kernel::succeeded(status);
}

void SendRequests(const portcls::FilterHandle& filter, CFuzzAnswers& input) {
    while (!input.Exhausted()) {
        const kernel::Guid& set = *PropertySets[input.Byte() % std::size(PropertySets)];
        const std::uint32_t id = input.Byte() % 32u;
        const std::uint8_t verbs = input.Byte();
        const std::uint32_t verb = ((verbs & 1) != 0 ? ks::property_verb::get : 0) |
                                   ((verbs & 2) != 0 ? ks::property_verb::set : 0) |
                                   ((verbs & 4) != 0 ? ks::property_verb::basicSupport : 0) |
                                   ((verbs & 8) != 0 ? ks::property_verb::topology : 0);
        const std::uint8_t nodeByte = input.Byte();
        const std::uint32_t node = nodeByte == 0xFF ? NoNode : nodeByte % 64u;
        std::vector<std::uint8_t> instance(input.Byte() % (LargestInstance + 1));
        const std::uint8_t valueByte = input.Byte();
        std::vector<std::uint8_t> value(valueByte < 0xF0 ? valueByte
                                                         : (valueByte - 0xEFu) * LargestValue / 16);
        std::uint32_t moved = 0;
        input.Answer(instance.data(), static_cast<std::uint32_t>(instance.size()), &moved);
        input.Answer(value.data(), static_cast<std::uint32_t>(value.size()), &moved);
        std::uint32_t returned = 0;
        const kernel::NTSTATUS status = filter.property(
            ks::Identifier{set, id, verb}, node, instance.empty() ? nullptr : instance.data(),
            static_cast<std::uint32_t>(instance.size()), value.empty() ? nullptr : value.data(),
            static_cast<std::uint32_t>(value.size()), &returned);
        fuzzRequire(!kernel::succeeded(status) || returned <= value.size(),
                    "a property reported more bytes than its value holds");
    }
}

void Run(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    const bool uac2 = (bytes[0] & 1) != 0;
    bytes = bytes.subspan(1);
    const std::size_t total = FuzzConfigurationLength(bytes);

    CAdapterStack stack;
    CFuzzUsbDevice* adapter = CFuzzUsbDevice::Make(bytes.first(total));
    if (kernel::succeeded(adapter->CreateModel(uac2)) &&
        kernel::succeeded(adapter->Model()->Init(nullptr, stack.Functional(), nullptr, nullptr))) {
        portcls::IPort* port = nullptr;
        {
            portcls::FilterHandle filter;
            if (Install(stack.Functional(), static_cast<IAudioHal*>(adapter->Model()), &port,
                        filter)) {
                adapter->AnswerFrom(bytes.subspan(total));
                SendRequests(filter, adapter->Answers());
            }
        }
        if (port != nullptr) port->Release();
    }
    adapter->NonDelegatingRelease();
}

} // namespace

int FuzzTopologyProperties(const std::uint8_t* pData, std::size_t cbData) {
    io::Registry registry;
    const std::uint64_t serial = kernel::poolAllocationSerial();
    Run({pData, cbData});
    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "the requests left a pool block");
    return 0;
}
