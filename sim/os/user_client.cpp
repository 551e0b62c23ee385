#include "sim/os/user_client.h"

#include "platform/io/device_interface.h"
#include "platform/kernel/unicode_string.h"

#include <algorithm>
#include <string>

namespace ossim {
namespace {

// The link of the enabled interface of the class with the reference string;
// empty when there is none.
std::u16string findLink(const kernel::Guid& interfaceClass, std::u16string_view referenceString) {
    for (const std::u16string& link : io::enabledDeviceInterfaces(interfaceClass)) {
        io::DeviceObject* physicalDevice = nullptr;
        std::u16string reference;
        if (!io::findEnabledDeviceInterface(link, &physicalDevice, &reference)) continue;
        io::dereferenceDevice(physicalDevice);
        if (kernel::equalTextIgnoringCase(reference, referenceString)) return link;
    }
    return {};
}

} // namespace

kernel::NTSTATUS UserClient::open(const kernel::Guid& interfaceClass,
                                  std::u16string_view referenceString, std::uint32_t* file) {
    if (file == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *file = 0;
    const std::u16string link = findLink(interfaceClass, referenceString);
    if (link.empty()) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    return m_process.openDeviceInterface(link, file);
}

ControlResult UserClient::control(std::uint32_t file, std::uint32_t controlCode,
                                  std::span<const std::uint8_t> input, std::uint32_t outputLength) {
    if (input.size() > UINT32_MAX) return {kernel::STATUS_INVALID_PARAMETER, 0, {}};
    const auto kept = m_pending.emplace(m_pending.end());
    Landing& landing = *kept;
    landing.output.resize(outputLength);
    kernel::NTSTATUS status = m_process.deviceIoControl(
        file, controlCode, input.empty() ? nullptr : input.data(),
        static_cast<std::uint32_t>(input.size()),
        outputLength != 0 ? landing.output.data() : nullptr, outputLength, &landing.ioStatus);
    if (status == kernel::STATUS_PENDING) {
        m_clock.settle();
        status = landing.ioStatus.status;
    }
    if (status == kernel::STATUS_PENDING) return {status, 0, {}};
    ControlResult result{status, landing.ioStatus.information, std::move(landing.output)};
    if (kernel::isError(status)) result.output.clear();
    result.output.resize(std::min<std::uintptr_t>(result.output.size(), result.information));
    m_pending.erase(kept);
    return result;
}

} // namespace ossim
