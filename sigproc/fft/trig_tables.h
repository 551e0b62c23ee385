// The trigonometric tables of a real-FFT specification, all read out of one
// quarter-wave sine table so that the transforms never evaluate a sine.
#pragma once

#include <array>
#include <cstdint>

// sin(2*pi*k/1024) for k = 0 .. 256, rounded to the nearest float; orders up
// to 10 take every value they need from it. Made on first use, so that a
// specification built during static initialisation finds it ready.
const std::array<float, 257>& sigSinQuarter1024_32f();

// A quarter-wave sine table of order t: 2^t/4 + 1 entries, entry k = sin(2*pi*k/2^t).
struct sigFftSine {
    const float* quarter;
    int order;

    // cos and sin of 2*pi*k/2^q (q <= order, 0 <= k < 2^q), each an entry of
    // the table with at most its sign changed.
    void cosSin(std::int64_t k, int q, float& c, float& s) const;
};

sigFftSine sigFftStaticSine();

// Fills the quarter-wave table of order t (2^t/4 + 1 floats): sines up to the
// eighth wave, cosines of the complement beyond it, each evaluated in double
// and rounded to float.
void sigFftBuildSine(float* table, int t);

// Groups i = 0 .. 2^q/4 (the last included) of W^i, W^2i, W^3i, W = exp(-2*pi*i/2^q),
// each complex value stored as (cos, -sin): 24 bytes a group.
void sigFftBuildTwiddleGroups(float* groups, int q, const sigFftSine& sine);

// Entries k = 0 .. 2^q/4 - 1: (cos, -sin) of 2*pi*k/2^q.
void sigFftBuildRotation(float* table, int q, const sigFftSine& sine);

// Entries k = 0 .. N/4 - 1 of a real transform of order n:
// (cos(2*pi*k/N) / 2, (1 - sin(2*pi*k/N)) / 2).
void sigFftBuildRealSplit(float* table, int n, const sigFftSine& sine);

// The inter-block matrix of a split of 2^m complex values into B = 2^a rows:
// for each group g of four columns, each row c and t = 0 .. 3, entry
// (g*B + c)*4 + t = W_M^((4g+t) * rev_a(c)). scratch holds four vectors of B
// complex values followed by room for the pair table of order a.
void sigFftBuildLevelMatrix(float* matrix, int m, int a, const sigFftSine& sine, float* scratch);
