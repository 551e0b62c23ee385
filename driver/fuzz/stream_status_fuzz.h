// Fuzz entry of what a device sends a running function unasked: the status
// interrupt messages the device models follow and the feedback packets the
// release-2 render engines size their packets by. Byte 0 chooses:
// - even: feedback. The next bytes give the packet format (3 or 4 bytes),
//   packets a millisecond, the nominal rate and milliseconds a transfer,
//   then the packet count and each packet's length; the rest is the
//   transfer's buffer. A rate is measured only from packets within 1000 Hz
//   of nominal, so a measured rate lies within 1000 Hz of it.
// - odd: status messages to a release-1 (bit 1 clear) or release-2 model.
//   A configuration follows (up to its wTotalLength) which the model walks
//   on a well-behaved device; then each message is a length byte (cut to
//   the interrupt packet's size) and its bytes, and the device answers the
//   re-reads they cause from the same bytes (driver/fuzz/fuzz_answers.h).
//   No message builds or drops a HAL child, and releasing the model leaves
//   no pool block.
// Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzStreamStatus(const std::uint8_t* pData, std::size_t cbData);
