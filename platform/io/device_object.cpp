#include "platform/io/device_object.h"

#include "platform/io/device_interface.h"
#include "platform/kernel/check.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <cstring>
#include <mutex>
#include <new>

namespace io {
namespace {

constexpr kernel::PoolTag deviceTag = kernel::poolTag("Devi");
constexpr std::size_t extensionAlignment = 16;

// Guards every stack's links and the devices' deleted flags and identities.
std::mutex& stackLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

} // namespace

struct DeviceObjectAccess {
    static DeviceObject* make(void* block, DriverObject& driver, void* extension,
                              std::uint32_t extensionSize) {
        return new (block) DeviceObject(driver, extension, extensionSize);
    }
    static DeviceObject& top(DeviceObject& device) {
        DeviceObject* node = &device;
        while (DeviceObject* above = node->above_.load()) node = above;
        return *node;
    }
    static DeviceObject& bottom(DeviceObject& device) {
        DeviceObject* node = &device;
        while (DeviceObject* below = node->below_.load()) node = below;
        return *node;
    }
    static auto& above(DeviceObject& device) { return device.above_; }
    static auto& below(DeviceObject& device) { return device.below_; }
    static auto& stackSize(DeviceObject& device) { return device.stackSize_; }
    static bool& deleted(DeviceObject& device) { return device.deleted_; }
    static bool& hasIdentity(DeviceObject& device) { return device.hasIdentity_; }
    static DeviceIdentity& identity(DeviceObject& device) { return device.identity_; }
};

using Access = DeviceObjectAccess;

kernel::NTSTATUS createDevice(DriverObject& driver, std::uint32_t extensionSize,
                              DeviceObject** device) {
    if (device == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *device = nullptr;
    constexpr std::size_t objectBytes =
        (sizeof(DeviceObject) + extensionAlignment - 1) / extensionAlignment * extensionAlignment;
    void* block = kernel::allocatePool(kernel::PoolType::NonPagedNx,
                                       objectBytes + std::size_t{extensionSize}, deviceTag);
    if (block == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    void* extension = nullptr;
    if (extensionSize != 0) {
        extension = static_cast<std::uint8_t*>(block) + objectBytes;
        std::memset(extension, 0, extensionSize);
    }
    *device = Access::make(block, driver, extension, extensionSize);
    return kernel::STATUS_SUCCESS;
}

void deleteDevice(DeviceObject* device) {
    {
        std::lock_guard guard(stackLock());
        if (!kernel::check(!Access::deleted(*device), "device deleted twice")) return;
        if (!kernel::check(device->attachedDevice() == nullptr && device->lowerDevice() == nullptr,
                           "device deleted while attached to another"))
            return;
        Access::deleted(*device) = true;
    }
    dropDeviceInterfaces(device);
    kernel::dereferenceObject(*device);
}

void referenceDevice(DeviceObject* device) { kernel::referenceObject(*device); }

void dereferenceDevice(DeviceObject* device) { kernel::dereferenceObject(*device); }

DeviceObject* attachDeviceToDeviceStack(DeviceObject* source, DeviceObject* target) {
    std::lock_guard guard(stackLock());
    if (source->lowerDevice() != nullptr || source->attachedDevice() != nullptr ||
        Access::deleted(*target))
        return nullptr;
    DeviceObject& top = Access::top(*target);
    kernel::referenceObject(top);
    Access::below(*source) = &top;
    Access::above(top) = source;
    Access::stackSize(*source) = static_cast<std::int8_t>(top.stackSize() + 1);
    return &top;
}

void detachDevice(DeviceObject* lower) {
    DeviceObject* above = nullptr;
    {
        std::lock_guard guard(stackLock());
        above = Access::above(*lower).exchange(nullptr);
        if (!kernel::check(above != nullptr, "detach from a device with nothing attached")) return;
        Access::below(*above) = nullptr;
    }
    kernel::dereferenceObject(*lower);
}

DeviceObject* getAttachedDeviceReference(DeviceObject* device) {
    std::lock_guard guard(stackLock());
    DeviceObject& top = Access::top(*device);
    kernel::referenceObject(top);
    return &top;
}

kernel::NTSTATUS setDeviceIdentity(DeviceObject* physicalDevice, const DeviceIdentity& identity) {
    if (identity.hardwareIds.empty() || identity.instanceName.empty() ||
        identity.driverKeyName.empty() || identity.instanceName.find(u'\\') != std::u16string::npos)
        return kernel::STATUS_INVALID_PARAMETER;
    for (const std::u16string& id : identity.hardwareIds)
        if (id.empty() || id.find(u'\0') != std::u16string::npos)
            return kernel::STATUS_INVALID_PARAMETER;
    std::lock_guard guard(stackLock());
    if (Access::hasIdentity(*physicalDevice)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    Access::identity(*physicalDevice) = identity;
    Access::hasIdentity(*physicalDevice) = true;
    return kernel::STATUS_SUCCESS;
}

bool physicalDeviceIdentity(DeviceObject* device, DeviceIdentity& identity) {
    std::lock_guard guard(stackLock());
    DeviceObject& physical = Access::bottom(*device);
    if (!Access::hasIdentity(physical)) return false;
    identity = Access::identity(physical);
    return true;
}

kernel::NTSTATUS getDeviceProperty(DeviceObject* device, DeviceProperty property,
                                   std::uint32_t length, void* buffer,
                                   std::uint32_t* resultLength) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "device property query"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (resultLength == nullptr || (buffer == nullptr && length != 0))
        return kernel::STATUS_INVALID_PARAMETER;
    *resultLength = 0;
    DeviceIdentity identity;
    if (!physicalDeviceIdentity(device, identity)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    std::u16string text;
    switch (property) {
    case DeviceProperty::HardwareIds:
        for (const std::u16string& id : identity.hardwareIds) text += id + u'\0';
        break;
    case DeviceProperty::InstanceName:
        text = identity.instanceName;
        break;
    case DeviceProperty::DriverKeyName:
        text = identity.driverKeyName;
        break;
    }
    text += u'\0';
    const std::size_t bytes = text.size() * sizeof(char16_t);
    if (bytes > UINT32_MAX) return kernel::STATUS_INVALID_PARAMETER;
    *resultLength = static_cast<std::uint32_t>(bytes);
    if (length < bytes) return kernel::STATUS_BUFFER_TOO_SMALL;
    std::memcpy(buffer, text.data(), bytes);
    return kernel::STATUS_SUCCESS;
}

} // namespace io
