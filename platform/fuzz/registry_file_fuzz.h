// Fuzz entry of the registry file loader: loads the bytes as a registry
// file and checks what must hold whatever they are. A file that loads saves
// the text it dumps to, which loads again to the same registry; a file with
// keys or values the registry cannot hold says so and is kept aside byte for
// byte; a file that is refused loads nothing and is kept aside byte for
// byte. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzRegistryFile(const std::uint8_t* data, std::size_t size);
