// The arithmetic of the transform passes, shared by every way the passes are
// scheduled, so that they all round alike. A complex value is a pair of floats
// (re, im); a table twiddle is stored as (cos, -sin).
#pragma once

// The quarter turn of the direction: times -i forward, +i inverse.
template <bool Inverse> inline void sigQuarterTurn(float re, float im, float& outRe, float& outIm) {
    if constexpr (Inverse) {
        outRe = -im;
        outIm = re;
    } else {
        outRe = im;
        outIm = -re;
    }
}

// (re, im) times the twiddle (wr, wi) forward, times its conjugate inverse.
template <bool Inverse>
inline void sigTwiddle(float re, float im, float wr, float wi, float& outRe, float& outIm) {
    if constexpr (Inverse) {
        outRe = re * wr + im * wi;
        outIm = im * wr - re * wi;
    } else {
        outRe = re * wr - im * wi;
        outIm = im * wr + re * wi;
    }
}

// The four outputs of a radix-4 butterfly, for the offsets 0, L/4, L/2, 3L/4
// of its block.
struct sigRadix4Outputs {
    float re[4];
    float im[4];
};

// a = E0[j]; b, c, d = E1[j], E2[j], E3[j] already twiddled. Output q is
// a + (-i)^q b + (-1)^q c + (i)^q d forward, with +i for -i inverse. The
// 4-point transform of a bit-reversed group (v0, v1, v2, v3) is the same with
// a = v0, b = v2, c = v1, d = v3 and no twiddles.
template <bool Inverse>
inline sigRadix4Outputs sigRadix4(float ar, float ai, float br, float bi, float cr, float ci,
                                  float dr, float di) {
    const float t0r = ar + cr, t0i = ai + ci;
    const float t1r = ar - cr, t1i = ai - ci;
    const float t2r = br + dr, t2i = bi + di;
    float t3r = br - dr, t3i = bi - di;
    sigQuarterTurn<Inverse>(t3r, t3i, t3r, t3i);
    return {{t0r + t2r, t1r + t3r, t0r - t2r, t1r - t3r},
            {t0i + t2i, t1i + t3i, t0i - t2i, t1i - t3i}};
}

// The odd half of an 8-point group, turned by 1, w, -i, -i*w (w = exp(-i*pi/4)
// forward, conjugated inverse), ready to be added to and subtracted from the
// even half.
template <bool Inverse>
inline void sigEighthTurns(const float (&oRe)[4], const float (&oIm)[4], float wr, float wi,
                           float (&tRe)[4], float (&tIm)[4]) {
    tRe[0] = oRe[0];
    tIm[0] = oIm[0];
    sigTwiddle<Inverse>(oRe[1], oIm[1], wr, wi, tRe[1], tIm[1]);
    sigQuarterTurn<Inverse>(oRe[2], oIm[2], tRe[2], tIm[2]);
    sigTwiddle<Inverse>(oRe[3], oIm[3], wr, wi, tRe[3], tIm[3]);
    sigQuarterTurn<Inverse>(tRe[3], tIm[3], tRe[3], tIm[3]);
}
