// Pool tags of the USB audio adapter.
#pragma once

#include "platform/kernel/pool.h"

// The adapter object.
inline constexpr kernel::PoolTag UsbAdapterObjectTag = kernel::poolTag("PcCr");
// Its descriptors, request records, strings and work records.
inline constexpr kernel::PoolTag UsbAdapterTag = kernel::poolTag("USBd");
