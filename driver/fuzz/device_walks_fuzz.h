// Fuzz entry of the device models' descriptor walks: the bytes are a
// function's configuration descriptor, which both generic models parse on a
// device that answers every request with zeros. Whatever the bytes hold,
// initialisation succeeds or fails with an error, a model that started has
// nodes on every endpoint, and releasing it leaves no pool block. Aborts on
// a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzDeviceWalks(const std::uint8_t* pData, std::size_t cbData);
