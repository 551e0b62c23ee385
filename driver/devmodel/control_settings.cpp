#include "driver/devmodel/control_settings.h"

#include "driver/common/settings_store.h"
#include "platform/kernel/format.h"

namespace {

// Room for a name without its channel index.
constexpr std::size_t NameChars = 19;

} // namespace

kernel::NTSTATUS AccessChannelSetting(io::DeviceObject* settings, std::uint32_t operation,
                                      void* buffer, std::uint32_t length, std::uint32_t nodeId,
                                      std::uint32_t mode, std::uint32_t channel) {
    char16_t prefix[NameChars] = {};
    const kernel::NTSTATUS status =
        kernel::formatString(prefix, NameChars, u"%s%02d_%2d_", u"Unit", nodeId, mode);
    if (status != kernel::STATUS_SUCCESS) return status;
    return AccessIndexedSetting(settings, operation, buffer, length, prefix,
                                static_cast<int>(channel));
}

namespace {

// A value named by a prefix and an id in the format given.
kernel::NTSTATUS AccessNamedSetting(io::DeviceObject* settings, std::uint32_t operation,
                                    void* buffer, std::uint32_t length, const char16_t* format,
                                    const char16_t* prefix, std::uint32_t id) {
    char16_t name[NameChars] = {};
    const kernel::NTSTATUS status = kernel::formatString(name, NameChars, format, prefix, id);
    if (status != kernel::STATUS_SUCCESS) return status;
    return AccessSetting(settings, operation, buffer, length, name);
}

} // namespace

kernel::NTSTATUS AccessUnitSetting(io::DeviceObject* settings, std::uint32_t operation,
                                   void* buffer, std::uint32_t length, std::uint32_t nodeId) {
    return AccessNamedSetting(settings, operation, buffer, length, u"%s%02d_", u"Unit", nodeId);
}

kernel::NTSTATUS AccessUnitIndexedSetting(io::DeviceObject* settings, std::uint32_t operation,
                                          void* buffer, std::uint32_t length, std::uint32_t nodeId,
                                          std::uint32_t position) {
    char16_t prefix[NameChars] = {};
    const kernel::NTSTATUS status =
        kernel::formatString(prefix, NameChars, u"%s%02d_", u"Unit", nodeId);
    if (status != kernel::STATUS_SUCCESS) return status;
    return AccessIndexedSetting(settings, operation, buffer, length, prefix,
                                static_cast<int>(position));
}

kernel::NTSTATUS AccessTerminalSetting(io::DeviceObject* settings, std::uint32_t operation,
                                       void* buffer, std::uint32_t length, std::uint32_t entityId) {
    return AccessNamedSetting(settings, operation, buffer, length, u"%s%02d", u"UACUnit", entityId);
}
