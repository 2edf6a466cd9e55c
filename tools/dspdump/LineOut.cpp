#include "LineOut.h"

#include <unistd.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace dspdump {

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// Each nibble looked up as its digit, the two digits of each byte
// interleaved, the 128-bit halves put back in order.
__attribute__((target("avx2"))) size_t cbFnHexAvx2(const uint8_t *lpb, size_t cb,
                                                   char *lpch) {
    const __m256i mDigits = _mm256_setr_epi8(
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F',
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    const __m256i mNibble = _mm256_set1_epi8(0x0F);
    size_t i = 0;
    for (; i + Cursor::cbWideHex <= cb; i += Cursor::cbWideHex) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lpb + i));
        const __m256i mHigh = _mm256_shuffle_epi8(
            mDigits, _mm256_and_si256(_mm256_srli_epi16(m, 4), mNibble));
        const __m256i mLow = _mm256_shuffle_epi8(mDigits, _mm256_and_si256(m, mNibble));
        const __m256i mFirst = _mm256_unpacklo_epi8(mHigh, mLow);
        const __m256i mSecond = _mm256_unpackhi_epi8(mHigh, mLow);
        __m256i *lpm = reinterpret_cast<__m256i *>(lpch + 2 * i);
        _mm256_storeu_si256(lpm, _mm256_permute2x128_si256(mFirst, mSecond, 0x20));
        _mm256_storeu_si256(lpm + 1, _mm256_permute2x128_si256(mFirst, mSecond, 0x31));
    }
    return i;
}

const bool fAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

}  // namespace

size_t Cursor::cbFnHexWide(const uint8_t *lpb, size_t cb, char *lpch) {
    return fAvx2 ? cbFnHexAvx2(lpb, cb, lpch) : 0;
}
#else
size_t Cursor::cbFnHexWide(const uint8_t *, size_t, char *) { return 0; }
#endif

LineOut::LineOut() : fEachLine_(isatty(STDOUT_FILENO) != 0) {}

void LineOut::Grow(size_t cch) {
    const size_t cchHeld = Size();
    const size_t cchOld = size_t(lpchEnd_ - lpchBuffer_);
    size_t cchNew = 2 * (cchOld > cbFlushAt ? cchOld : cbFlushAt);
    if (cchNew < cchHeld + cch) cchNew = cchHeld + cch;
    std::unique_ptr<char[]> buffer(new char[cchNew]);
    if (cchHeld != 0) memcpy(buffer.get(), lpchBuffer_, cchHeld);
    buffer_ = std::move(buffer);
    lpchBuffer_ = buffer_.get();
    lpch_ = lpchBuffer_ + cchHeld;
    lpchEnd_ = lpchBuffer_ + cchNew;
}

}  // namespace dspdump
