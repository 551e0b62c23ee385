// Fuzz entry of the report-descriptor walk: parses the bytes as the
// descriptor a device returns and checks what must hold whatever they are.
// A descriptor that parses gives report lengths a 16-bit length can carry,
// 0 for a kind a collection lacks and never 1 (the id byte alone); the same
// bytes parse to the same result; and the lookup by usage returns one of the
// collections. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzReportDescriptor(const std::uint8_t* data, std::size_t size);
