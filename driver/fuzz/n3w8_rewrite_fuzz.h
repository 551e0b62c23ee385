// Fuzz entry of the N3W8 configuration rewrite: the first two bytes are the
// twelve switches, the rest the configuration held. The rewrite reads its
// elements at fixed places, so whatever the bytes hold it stays inside
// them; it refuses exactly the short configurations and the set without
// 8- and 6-channel output, leaving the bytes as they were; and the two
// totals it writes depend on the switches alone. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzN3W8Rewrite(const std::uint8_t* pData, std::size_t cbData);
