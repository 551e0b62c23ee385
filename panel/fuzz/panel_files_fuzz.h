// Fuzz entry of the panel's file loaders: byte 0 chooses the file (0 the
// preferences, 1 a language file, 2 a macro file, 3 the profile file), the
// rest is its contents. Checks that every count read stays within what the
// file holds, that a file kept aside as damaged holds the input byte for
// byte, that what the panel writes back reads cleanly and gives back what
// it held, and that a macro's slot contents keep their end marker. Aborts
// on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzPanelFiles(const std::uint8_t* data, std::size_t size);
