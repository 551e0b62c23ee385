// Fuzz entry of the registry file loader: loads the bytes as a registry
// file and checks what must hold whatever they are. A file that loads dumps
// to a text that loads again to the same registry; a file that is refused
// loads nothing and is kept aside byte for byte. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzRegistryFile(const std::uint8_t* data, std::size_t size);
