// Fuzz entry of the device models' descriptor walks: the bytes are a
// function's configuration descriptor, up to its wTotalLength, then the
// device's answers to the walks' requests (class and vendor requests,
// descriptors, interrupt reads; driver/fuzz/fuzz_answers.h). Both generic
// models parse them. Whatever the bytes hold, initialisation succeeds or
// fails with an error, a model that started has nodes on every endpoint,
// and releasing it leaves no pool block. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzDeviceWalks(const std::uint8_t* pData, std::size_t cbData);
