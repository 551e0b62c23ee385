// Fuzz entry of the configuration validation: takes the bytes as a
// configuration descriptor and checks what must hold whatever they are. A
// refused configuration says where and why and hands out nothing; an
// accepted one walks in whole descriptors to wTotalLength, every
// class-specific audio descriptor is as long as the rule table asks, the
// finders find what the walk saw, and a select-configuration request for
// its interfaces is sized as it carries them. Aborts on a fault.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzConfiguration(const std::uint8_t* data, std::size_t size);
