// Fuzz entry of the topology filter's property requests: a device model
// walks the configuration at the start of the bytes (up to its wTotalLength)
// on a well-behaved device, the topology miniport is installed on it through
// a topology port registered on an adapter device, and the rest of the bytes
// are requests sent from the system's side: each names a property set of a
// table (or one no table has), a property id, the verb bits, a node (or
// none), the instance and value sizes and their bytes; the device answers
// the class requests the handlers send from the same bytes
// (driver/fuzz/fuzz_answers.h). Whatever they hold, a request that succeeds
// reports no more bytes than the value had room for, and once the filter is
// closed and the device removed no pool block is left. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzTopologyProperties(const std::uint8_t* pData, std::size_t cbData);
