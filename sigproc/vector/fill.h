// Fill, zero, copy and move: the byte kernels and their vector operations.
//
// Byte counts are 64-bit, so no element count a caller can pass is cut short.
#pragma once

#include <cstdint>

// Kernels: no status; each returns its destination; a count of 0 or less does nothing.
void* sigZeroBytes_8u(void* dst, std::int64_t bytes);
void* sigCopyBytes_8u(const void* src, void* dst, std::int64_t bytes);
void* sigSetKernel_32s(std::int32_t val, void* dst, std::int64_t count);

// Generic members.
int sigZero_32f_generic(float* dst, int len);
int sigCopy_32f_generic(const float* src, float* dst, int len);
int sigSet_32f_generic(float val, float* dst, int len);

// Operations without an entry point, called directly inside the library
// (sigMove_32f has a dispatch group, sigSet_32s none).
int sigMove_32f_generic(const float* src, float* dst, int len);
int sigSet_32s(std::int32_t val, std::int32_t* dst, int len);
