// Bit-reversal permutation of 2^m complex values (m >= sigFftTiledMinOrder)
// by tiles, for arrays larger than the caches. The index splits into its top
// three bits h, middle bits and low three bits l; the reversal maps the tile
// of one middle value (eight runs of eight consecutive values, h and l
// varying) onto the tile of the reversed middle value, (h, l) to (rev l,
// rev h). Each tile is read whole and written row by row, so every access
// moves whole runs of 64 bytes. No table is read.
#pragma once

inline constexpr int sigFftTiledMinOrder = 6;

// Complex values are (re, im) float pairs.
void sigFftBitRevTiledInPlace_32fc(float* data, int m);
// src is left unchanged and must not overlap dst.
void sigFftBitRevTiledCopy_32fc(const float* src, float* dst, int m);
