// Translation between the x87 control and status words and the library's
// portable words (sigFpControl, sigFpStatus), and the MXCSR bits a load may
// carry. Pure functions; the register access lives in fp_control.cpp.
#pragma once

#include <cstdint>

std::uint32_t sigFpPortableFromX87Control(std::uint32_t x87Control);
// Built from the portable word alone: every other bit of the x87 word is 0.
std::uint32_t sigFpX87ControlFromPortable(std::uint32_t portable);
std::uint32_t sigFpPortableFromX87Status(std::uint32_t x87Status);

// The MXCSR bits that may be loaded, given the mask FXSAVE reports (0 when the
// processor reports none, which means every bit but denormals-are-zero).
std::uint32_t sigFpMxcsrWritableBits(std::uint32_t fxsaveMask);

// MXCSR fields.
inline constexpr std::uint32_t sigMxcsrFlags = 0x003F; // sticky exception flags
inline constexpr std::uint32_t sigMxcsrDenormalsAreZero = 0x0040;
inline constexpr std::uint32_t sigMxcsrRounding = 0x6000;
inline constexpr std::uint32_t sigMxcsrFlushToZero = 0x8000;
inline constexpr std::uint32_t sigMxcsrDefault = 0x1F80; // all masked, round to nearest
