#include "platform/portcls/registry_key.h"

#include "platform/io/device_registry_key.h"
#include "platform/io/registry.h"
#include "platform/portcls/pool_object.h"

#include <utility>

namespace portcls {
namespace {

class RegistryKeyObject final
    : public PortLayerObject<IRegistryKey, pool_tag::registryKey, IID_IRegistryKey> {
public:
    explicit RegistryKeyObject(io::RegistryKey key) : key_(std::move(key)) {}

    kernel::NTSTATUS QueryValueKey(const kernel::UnicodeString* valueName, void* buffer,
                                   std::uint32_t length, std::uint32_t* resultLength) override {
        if (valueName == nullptr || resultLength == nullptr)
            return kernel::STATUS_INVALID_PARAMETER;
        return io::queryValuePartialInformation(key_, *valueName, buffer, length, resultLength);
    }

    kernel::NTSTATUS SetValueKey(const kernel::UnicodeString* valueName, io::RegistryValueType type,
                                 const void* data, std::uint32_t length) override {
        if (valueName == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        return io::setValue(key_, *valueName, type, data, length);
    }

    kernel::NTSTATUS NewSubKey(IRegistryKey** subKey, const kernel::UnicodeString* name,
                               bool* created) override {
        if (subKey == nullptr || name == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        *subKey = nullptr;
        io::RegistryKey key;
        io::KeyDisposition disposition = io::KeyDisposition::Opened;
        const kernel::NTSTATUS status = io::createKey(key, *name, &key_, &disposition);
        if (!kernel::succeeded(status)) return status;
        auto* object = new RegistryKeyObject(std::move(key));
        if (object == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        if (created != nullptr) *created = disposition == io::KeyDisposition::Created;
        *subKey = object;
        return kernel::STATUS_SUCCESS;
    }

private:
    ~RegistryKeyObject() override = default;

    io::RegistryKey key_;
};

} // namespace

kernel::NTSTATUS PcNewRegistryKey(IRegistryKey** key, kernel::IUnknown* outerUnknown,
                                  RegistryKeyType type, io::DeviceObject* deviceObject) {
    if (key == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *key = nullptr;
    if (outerUnknown != nullptr || deviceObject == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    io::RegistryKey opened;
    const kernel::NTSTATUS status = io::openDeviceRegistryKey(
        deviceObject,
        type == RegistryKeyType::DriverRegistryKey ? io::DeviceRegistryKey::Driver
                                                   : io::DeviceRegistryKey::Hardware,
        opened);
    if (!kernel::succeeded(status)) return status;
    auto* object = new RegistryKeyObject(std::move(opened));
    if (object == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    *key = object;
    return kernel::STATUS_SUCCESS;
}

} // namespace portcls
