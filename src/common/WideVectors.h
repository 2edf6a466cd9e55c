// Wide vectors where the processor has them: the checks a reader makes once
// at create, and the block copy in 32-byte vectors.
#ifndef VOKDSP_COMMON_WIDEVECTORS_H
#define VOKDSP_COMMON_WIDEVECTORS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(__SSE2__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace vokdsp {

#if defined(__SSE2__)
// Whether the processor has all of the features nFeatures (bits of cpuid leaf
// 7's EBX) and its system saves all of the registers nState (bits of XCR0).
inline bool fFnHasVectorFeatures(unsigned nFeatures, unsigned nState) {
    unsigned nA, nB, nC, nD;
    if (!__get_cpuid(1, &nA, &nB, &nC, &nD) || !(nC & bit_OSXSAVE) || !(nC & bit_AVX) ||
        !__get_cpuid_count(7, 0, &nA, &nB, &nC, &nD) || (nB & nFeatures) != nFeatures)
        return false;
    unsigned nLow, nHigh;
    __asm__("xgetbv" : "=a"(nLow), "=d"(nHigh) : "c"(0));
    return (nLow & nState) == nState;
}

constexpr unsigned nWideVectorState = 0x6;  // XMM and YMM registers

// Whether this processor and its system run 32-byte vector instructions,
// and the bit-count instructions that come with them (TZCNT: the text path
// of the line-data reader counts with it).
inline bool fFnHasWideVectors() {
    return fFnHasVectorFeatures(bit_AVX2 | bit_BMI, nWideVectorState);
}

// Whether they also run 64-byte vector instructions on bytes that compare
// into mask registers.
inline bool fFnHasMaskVectors() {
    constexpr unsigned nMaskState = 0xE0;  // the masks and ZMM registers
    return fFnHasVectorFeatures(bit_AVX2 | bit_BMI | bit_AVX512F | bit_AVX512BW,
                                nWideVectorState | nMaskState);
}

// Copies cb bytes, at least 32, between areas that do not overlap, in 32-byte
// vectors: the first and the last ones unaligned, those between stored at
// 32-byte boundaries of the destination, so that no store is split across
// cache lines. The library copy may take a string move instead, which on
// some processors runs many times slower when the destination lies a few
// bytes past the source modulo 4096, as a field's data can lie to its record
// area.
__attribute__((target("avx2"))) inline void vFnCopyWide(uint8_t *lpbDest,
                                                        const uint8_t *lpbSource,
                                                        size_t cb) {
    constexpr size_t cbVector = sizeof(__m256i);
    const auto vFnLoad = [lpbSource](size_t ib) __attribute__((target("avx2"))) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lpbSource + ib));
    };
    const auto vFnStore = [lpbDest](size_t ib, __m256i v)
        __attribute__((target("avx2"))) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lpbDest + ib), v);
    };
    const __m256i vFirst = vFnLoad(0), vLast = vFnLoad(cb - cbVector);
    // From the destination's first boundary past its start up to the last
    // vector, by pairs, then the one or two left.
    size_t ib = cbVector - (reinterpret_cast<uintptr_t>(lpbDest) & (cbVector - 1));
    for (; ib + 2 * cbVector <= cb - cbVector; ib += 2 * cbVector) {
        const __m256i v0 = vFnLoad(ib), v1 = vFnLoad(ib + cbVector);
        vFnStore(ib, v0);
        vFnStore(ib + cbVector, v1);
    }
    for (; ib < cb - cbVector; ib += cbVector) vFnStore(ib, vFnLoad(ib));
    vFnStore(0, vFirst);
    vFnStore(cb - cbVector, vLast);
}
#else
inline bool fFnHasWideVectors() { return false; }
inline bool fFnHasMaskVectors() { return false; }
#endif

// Copies cb bytes between areas that do not overlap: by 32-byte vectors when
// fWide (the reader found them at create) and there are 256 bytes at least;
// fewer go as fast or faster through the library copy, which takes no
// string move for them.
inline void vFnCopyBytes(uint8_t *lpbDest, const uint8_t *lpbSource, size_t cb,
                         bool fWide) {
#if defined(__SSE2__)
    if (fWide && cb >= 256) return vFnCopyWide(lpbDest, lpbSource, cb);
#else
    (void)fWide;
#endif
    memcpy(lpbDest, lpbSource, cb);
}

}  // namespace vokdsp

#endif
