// The text of a string descriptor as a device returned it.
#pragma once

#include "platform/kernel/status.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace usb {

// Copies the UTF-16 code units after the two header bytes into `text`,
// ending at bLength or at the bytes received, whichever comes first (an odd
// last byte is no code unit). STATUS_INVALID_PARAMETER when the bytes are
// not a string descriptor (shorter than its header, another type, bLength
// below 2); STATUS_BUFFER_OVERFLOW, with what fits copied, when `text` is
// too small.
kernel::NTSTATUS stringDescriptorText(std::span<const std::uint8_t> received,
                                      std::span<char16_t> text, std::size_t& characters);

} // namespace usb
