// The outcome of an I/O operation: its status and a word of information,
// for reads the number of bytes read.
#pragma once

#include "platform/kernel/status.h"

#include <cstdint>

namespace io {

struct IoStatusBlock {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    std::uintptr_t information = 0;
};

} // namespace io
