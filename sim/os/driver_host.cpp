#include "sim/os/driver_host.h"

#include "platform/io/power_request.h"
#include "platform/io/user_process.h"
#include "platform/kernel/check.h"
#include "sim/os/stack_request.h"
#include "sim/os/system_call.h"

#include <algorithm>
#include <utility>

namespace ossim {
namespace {

// A call still blocked in the driver (STATUS_PENDING) has not succeeded yet.
bool succeeded(kernel::NTSTATUS status) {
    return kernel::succeeded(status) && status != kernel::STATUS_PENDING;
}

} // namespace

DriverHost::DriverHost(kernel::ManualClock* clock) : m_clock(clock) {
    io::setPowerRequestRoutine(servePowerRequest, this);
}

DriverHost::~DriverHost() {
    while (!m_stacks.empty()) {
        io::DeviceObject* physicalDevice = m_stacks.back().physicalDevice;
        if (m_stacks.back().state != StackState::surpriseRemoved) surpriseRemove(physicalDevice);
        removeDevice(physicalDevice);
    }
    if (m_loaded && m_driver.unload != nullptr) unload();
    io::setPowerRequestRoutine(nullptr, nullptr);
}

kernel::NTSTATUS DriverHost::load(DriverEntry entry, std::u16string_view registryPath) {
    if (m_loaded) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (entry == nullptr || registryPath.empty() ||
        registryPath.size() * sizeof(char16_t) > UINT16_MAX)
        return kernel::STATUS_INVALID_PARAMETER;
    m_registryPath = registryPath;
    const auto bytes = static_cast<std::uint16_t>(m_registryPath.size() * sizeof(char16_t));
    m_registryPathString = {bytes, bytes, m_registryPath.data()};
    m_driver = {};
    const kernel::NTSTATUS status =
        callDriver([this, entry] { return entry(&m_driver, &m_registryPathString); });
    m_loaded = succeeded(status);
    // An entry still running keeps the driver object; a failed one leaves
    // nothing the host would call.
    if (!m_loaded && status != kernel::STATUS_PENDING) m_driver = {};
    return status;
}

kernel::NTSTATUS DriverHost::addDevice(io::DeviceObject* physicalDevice) {
    if (physicalDevice == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!m_loaded || m_driver.addDevice == nullptr || find(physicalDevice) != nullptr)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const kernel::NTSTATUS status = callDriver(
        [this, physicalDevice] { return m_driver.addDevice(&m_driver, physicalDevice); });
    if (succeeded(status)) {
        io::referenceDevice(physicalDevice);
        m_stacks.push_back({physicalDevice, StackState::added, io::DevicePowerState::D3});
    }
    return status;
}

kernel::NTSTATUS DriverHost::startDevice(io::DeviceObject* physicalDevice,
                                         const io::ResourceList& resources) {
    Stack* stack = nullptr;
    kernel::NTSTATUS status =
        expect(physicalDevice, {StackState::added, StackState::stopped}, &stack);
    if (!succeeded(status)) return status;
    io::IoStackLocation::Parameters parameters{};
    parameters.startDevice = {&resources, &resources};
    status = sendPnpTo(*stack, io::minorPnp::StartDevice, parameters);
    if (succeeded(status)) {
        stack->state = StackState::started;
        stack->power = io::DevicePowerState::D0;
    }
    return status;
}

kernel::NTSTATUS DriverHost::stopDevice(io::DeviceObject* physicalDevice) {
    Stack* stack = nullptr;
    kernel::NTSTATUS status = expect(physicalDevice, {StackState::started}, &stack);
    if (!succeeded(status)) return status;
    status = sendPnpTo(*stack, io::minorPnp::QueryStopDevice);
    if (!succeeded(status)) {
        sendPnpTo(*stack, io::minorPnp::CancelStopDevice);
        return status;
    }
    status = sendPnpTo(*stack, io::minorPnp::StopDevice);
    if (succeeded(status)) stack->state = StackState::stopped;
    return status;
}

kernel::NTSTATUS DriverHost::surpriseRemove(io::DeviceObject* physicalDevice) {
    Stack* stack = nullptr;
    kernel::NTSTATUS status = expect(
        physicalDevice, {StackState::added, StackState::started, StackState::stopped}, &stack);
    if (!succeeded(status)) return status;
    // The device is gone whatever the driver answers.
    stack->state = StackState::surpriseRemoved;
    return sendPnpTo(*stack, io::minorPnp::SurpriseRemoval);
}

kernel::NTSTATUS DriverHost::removeDevice(io::DeviceObject* physicalDevice) {
    Stack* stack = nullptr;
    kernel::NTSTATUS status = expect(
        physicalDevice,
        {StackState::added, StackState::started, StackState::stopped, StackState::surpriseRemoved},
        &stack);
    if (!succeeded(status)) return status;
    if (stack->state != StackState::surpriseRemoved) {
        status = sendPnpTo(*stack, io::minorPnp::QueryRemoveDevice);
        // An open file the driver let pass vetoes the removal all the same.
        if (succeeded(status) && userFilesOpen(physicalDevice) != 0)
            status = kernel::STATUS_DEVICE_BUSY;
        if (!succeeded(status)) {
            sendPnpTo(*stack, io::minorPnp::CancelRemoveDevice);
            return status;
        }
    }
    status = sendPnpTo(*stack, io::minorPnp::RemoveDevice);
    drop(physicalDevice);
    return status;
}

kernel::NTSTATUS DriverHost::sendPnp(io::DeviceObject* physicalDevice, std::uint8_t minorFunction,
                                     const io::IoStackLocation::Parameters& parameters) {
    switch (minorFunction) {
    case io::minorPnp::StartDevice:
    case io::minorPnp::StopDevice:
    case io::minorPnp::RemoveDevice:
    case io::minorPnp::SurpriseRemoval:
        return kernel::STATUS_INVALID_PARAMETER;
    default:
        break;
    }
    Stack* stack = nullptr;
    const kernel::NTSTATUS status = expect(
        physicalDevice, {StackState::added, StackState::started, StackState::stopped}, &stack);
    return succeeded(status) ? sendPnpTo(*stack, minorFunction, parameters) : status;
}

kernel::NTSTATUS DriverHost::setDevicePower(io::DeviceObject* physicalDevice,
                                            io::DevicePowerState state) {
    Stack* stack = nullptr;
    kernel::NTSTATUS status = expect(physicalDevice, {StackState::started}, &stack);
    if (!succeeded(status)) return status;
    status = callDriver(
        [physicalDevice, state] { return sendDevicePowerRequest(physicalDevice, state); });
    if (succeeded(status)) stack->power = state;
    return status;
}

kernel::NTSTATUS DriverHost::unload() {
    if (!m_loaded || m_driver.unload == nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (!m_stacks.empty()) return kernel::STATUS_DEVICE_BUSY;
    const io::UnloadRoutine routine = m_driver.unload;
    const kernel::NTSTATUS status = callDriver([this, routine] {
        routine(&m_driver);
        return kernel::STATUS_SUCCESS;
    });
    if (status != kernel::STATUS_SUCCESS) return status;
    m_loaded = false;
    m_driver = {};
    return status;
}

kernel::NTSTATUS DriverHost::stackState(io::DeviceObject* physicalDevice, StackState* state) const {
    const Stack* stack = find(physicalDevice);
    if (stack == nullptr) return kernel::STATUS_NO_SUCH_DEVICE;
    *state = stack->state;
    return kernel::STATUS_SUCCESS;
}

io::DevicePowerState DriverHost::powerState(io::DeviceObject* physicalDevice) const {
    const Stack* stack = find(physicalDevice);
    return stack != nullptr ? stack->power : io::DevicePowerState::Unspecified;
}

std::vector<io::DeviceInterfaceEntry>
DriverHost::deviceInterfaces(io::DeviceObject* physicalDevice) const {
    return io::registeredDeviceInterfaces(physicalDevice);
}

std::vector<portcls::SubdeviceRecord>
DriverHost::subdevices(io::DeviceObject* physicalDevice) const {
    io::DeviceObject* top = startedTop(physicalDevice);
    return top != nullptr ? portcls::registeredSubdevices(top)
                          : std::vector<portcls::SubdeviceRecord>{};
}

std::vector<portcls::PhysicalConnectionRecord>
DriverHost::physicalConnections(io::DeviceObject* physicalDevice) const {
    io::DeviceObject* top = startedTop(physicalDevice);
    return top != nullptr ? portcls::registeredPhysicalConnections(top)
                          : std::vector<portcls::PhysicalConnectionRecord>{};
}

kernel::NTSTATUS DriverHost::openFilter(io::DeviceObject* physicalDevice, std::u16string_view name,
                                        portcls::FilterHandle& filter) const {
    if (find(physicalDevice) == nullptr) return kernel::STATUS_NO_SUCH_DEVICE;
    io::DeviceObject* top = startedTop(physicalDevice);
    return top != nullptr ? filter.open(top, name) : kernel::STATUS_INVALID_DEVICE_REQUEST;
}

io::DeviceObject* DriverHost::startedTop(io::DeviceObject* physicalDevice) const {
    const Stack* stack = find(physicalDevice);
    if (stack == nullptr || stack->state != StackState::started) return nullptr;
    // The stack stays while the host has it, so the reference is not needed.
    io::DeviceObject* top = io::getAttachedDeviceReference(physicalDevice);
    io::dereferenceDevice(top);
    return top;
}

DriverHost::Stack* DriverHost::find(io::DeviceObject* physicalDevice) {
    const auto found = std::find_if(m_stacks.begin(), m_stacks.end(), [&](const Stack& stack) {
        return stack.physicalDevice == physicalDevice;
    });
    return found != m_stacks.end() ? &*found : nullptr;
}

const DriverHost::Stack* DriverHost::find(io::DeviceObject* physicalDevice) const {
    return const_cast<DriverHost*>(this)->find(physicalDevice);
}

void DriverHost::drop(io::DeviceObject* physicalDevice) {
    std::erase_if(m_stacks,
                  [&](const Stack& stack) { return stack.physicalDevice == physicalDevice; });
    io::dereferenceDevice(physicalDevice);
}

kernel::NTSTATUS DriverHost::expect(io::DeviceObject* physicalDevice,
                                    std::initializer_list<StackState> states, Stack** stack) {
    *stack = find(physicalDevice);
    if (*stack == nullptr) return kernel::STATUS_NO_SUCH_DEVICE;
    if (std::find(states.begin(), states.end(), (*stack)->state) == states.end())
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    return kernel::STATUS_SUCCESS;
}

void DriverHost::setCallAdvance(std::function<void()> advance, int maxSteps) {
    m_callAdvance = std::move(advance);
    m_callMaxSteps = m_callAdvance ? maxSteps : 0;
}

std::size_t DriverHost::userFilesOpen(io::DeviceObject* physicalDevice) {
    std::size_t files = 0;
    for (io::DeviceObject* device = physicalDevice; device != nullptr;
         device = device->attachedDevice())
        files += io::userFilesOpenOn(device);
    return files;
}

kernel::NTSTATUS DriverHost::sendPnpTo(Stack& stack, std::uint8_t minorFunction,
                                       const io::IoStackLocation::Parameters& parameters) {
    io::DeviceObject* physicalDevice = stack.physicalDevice;
    return callDriver([physicalDevice, minorFunction, parameters] {
        return sendPnpRequest(physicalDevice, minorFunction, parameters);
    });
}

kernel::NTSTATUS DriverHost::callDriver(std::function<kernel::NTSTATUS()> call) {
    kernel::NTSTATUS status = kernel::STATUS_PENDING;
    if (m_callAdvance) {
        status = callOnSystemThread(m_clock, std::move(call), m_callAdvance, m_callMaxSteps);
    } else {
        constexpr kernel::Duration step = std::chrono::milliseconds(1);
        kernel::ManualClock* clock = m_clock;
        status = callOnSystemThread(
            clock, std::move(call),
            [clock, step] {
                clock->advance(step);
                clock->settle();
            },
            static_cast<int>(callAllowance / step));
    }
    if (m_hangsFail)
        kernel::check(status != kernel::STATUS_PENDING,
                      "a call into the driver still blocks past its bound of time");
    return status;
}

// The power manager's part: the request goes to the top of the device's
// stack, in the location it arrived in.
kernel::NTSTATUS DriverHost::servePowerRequest(void*, io::DeviceObject* device, io::Irp* irp) {
    io::skipCurrentStackLocation(irp);
    io::DeviceObject* top = io::getAttachedDeviceReference(device);
    const kernel::NTSTATUS status = io::callDriver(top, irp);
    io::dereferenceDevice(top);
    return status;
}

} // namespace ossim
