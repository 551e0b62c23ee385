#include "platform/usb/string_descriptor.h"

#include "platform/usb/descriptors.h"

#include <algorithm>

namespace usb {

kernel::NTSTATUS stringDescriptorText(std::span<const std::uint8_t> received,
                                      std::span<char16_t> text, std::size_t& characters) {
    characters = 0;
    if (received.size() < sizeof(StringDescriptorHeader) || received[0] < 2 ||
        received[1] != descriptor_type::string)
        return kernel::STATUS_INVALID_PARAMETER;
    const std::size_t end = std::min<std::size_t>(received[0], received.size());
    const std::size_t units = (end - 2) / 2;
    characters = std::min(units, text.size());
    for (std::size_t i = 0; i < characters; ++i)
        text[i] = static_cast<char16_t>(readLittleEndian<2>(received, 2 + 2 * i));
    return characters < units ? kernel::STATUS_BUFFER_OVERFLOW : kernel::STATUS_SUCCESS;
}

} // namespace usb
