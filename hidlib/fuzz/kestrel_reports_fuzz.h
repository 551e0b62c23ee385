// Fuzz entry of the reports a device sends to Kestrel: a simulated device
// whose interface declares the report lengths and id the input chooses sends
// the input's reports, which Kestrel reads as a data block, as a feature
// report and through its vendor poll. Checks that each read hands out the
// framed report and touches no byte beyond the caller's length, and that the
// poll hands out only whole reports. Aborts on a fault.
//
// Input: byte 0 the interface's report id (0: unnumbered), bytes 1..2 its
// input and 3..4 its feature report length (each modulo 300), bytes 5..6 the
// block length read and 7..8 the feature buffer length (modulo 600), byte 9
// the report id Kestrel is told; then reports, each a length byte and as
// many bytes.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzKestrelReports(const std::uint8_t* data, std::size_t size);
