// Fuzz entry of the ASIO interface's device controls: the bytes are a run of
// requests (a code, input and output lengths, the input) from two clients
// of an adapter that has no device behind it. Whatever they hold, every
// answer stays within its output, and closing both files leaves no pool
// block and no user mapping. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzAsioControl(const std::uint8_t* pData, std::size_t cbData);
