// dspdump's own formatter for the listing and JSON lines: numbers and hex
// bytes written straight into one large reused buffer, which goes to stdout
// in one fwrite once it holds cbFlushAt characters (after every line when
// stdout is a terminal). The output is what the printf formats it replaces
// give.
#ifndef VOKDSP_DSPDUMP_LINEOUT_H
#define VOKDSP_DSPDUMP_LINEOUT_H

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dspdump {

// The two hex digits of every byte value, and the two decimal digits of 0-99.
struct DigitTables {
    char achHex[256][2];
    char achDec[100][2];
    constexpr DigitTables() : achHex(), achDec() {
        for (int b = 0; b < 256; ++b) {
            achHex[b][0] = "0123456789ABCDEF"[b >> 4];
            achHex[b][1] = "0123456789ABCDEF"[b & 0x0F];
        }
        for (int n = 0; n < 100; ++n) {
            achDec[n][0] = char('0' + n / 10);
            achDec[n][1] = char('0' + n % 10);
        }
    }
};
inline constexpr DigitTables kDigits{};

class LineOut {
  public:
    // Characters held before Emit writes them out.
    static constexpr size_t cbFlushAt = size_t{1} << 16;

    LineOut();
    LineOut(const LineOut &) = delete;
    LineOut &operator=(const LineOut &) = delete;

    LineOut &Chars(const char *lpch, size_t cch) {
        Room(cch);
        memcpy(lpch_, lpch, cch);
        lpch_ += cch;
        return *this;
    }
    // A string literal: its length is known when compiled.
    template <size_t N>
    LineOut &Lit(const char (&sz)[N]) {
        return Chars(sz, N - 1);
    }
    LineOut &Str(const char *sz) { return Chars(sz, strlen(sz)); }
    LineOut &Str(const std::string &s) { return Chars(s.data(), s.size()); }
    LineOut &Char(char ch) {
        Room(1);
        *lpch_++ = ch;
        return *this;
    }
    LineOut &Spaces(int n) { return Fill(' ', n); }
    // "%-*s": sz, then blanks to nWidth.
    LineOut &StrLeft(const char *sz, int nWidth) {
        const size_t cch = strlen(sz);
        Chars(sz, cch);
        return Spaces(nWidth - int(cch));
    }
    // "%*llu" (nWidth blank-padded) or, with chPad '0', "%0*llu".
    LineOut &Dec(uint64_t q, int nWidth = 0, char chPad = ' ') {
        char ach[20];
        char *lpch = ach + sizeof ach;
        while (q >= 100) {
            lpch -= 2;
            memcpy(lpch, kDigits.achDec[q % 100], 2);
            q /= 100;
        }
        if (q >= 10) {
            lpch -= 2;
            memcpy(lpch, kDigits.achDec[q], 2);
        } else {
            *--lpch = char('0' + q);
        }
        const size_t cch = size_t(ach + sizeof ach - lpch);
        Fill(chPad, nWidth - int(cch));
        return Chars(lpch, cch);
    }
    // "%0*llX": upper-case hex digits, zero-padded to nDigits.
    LineOut &Hex(uint64_t q, int nDigits) {
        char ach[16];
        int ich = sizeof ach;
        do {
            ach[--ich] = kDigits.achHex[q & 0x0F][1];
            q >>= 4;
        } while (q != 0);
        Fill('0', nDigits - (int(sizeof ach) - ich));
        return Chars(ach + ich, sizeof ach - ich);
    }
    // Two upper-case hex digits a byte.
    LineOut &HexBytes(const uint8_t *lpb, size_t cb) {
        Room(2 * cb);
        lpch_ = lpchFnHex(lpb, cb, lpch_);
        return *this;
    }
    // s as a JSON string; s holds printable ASCII, so only quotes and
    // backslashes need escapes.
    LineOut &JsonStr(const std::string &s);

    // Characters held; lpchAt(ich) is the ich-th; Truncate drops those after
    // the first cch.
    size_t Size() const { return size_t(lpch_ - lpchBuffer_); }
    const char *lpchAt(size_t ich) const { return lpchBuffer_ + ich; }
    void Truncate(size_t cch) { lpch_ = lpchBuffer_ + cch; }

    // A line is complete: written out when enough have gathered.
    void Emit() {
        if (fEachLine_ || Size() >= cbFlushAt) Flush();
    }
    // Writes out everything held.
    void Flush() {
        if (Size() != 0) fwrite(lpchBuffer_, 1, Size(), stdout);
        lpch_ = lpchBuffer_;
    }

  private:
    static char *lpchFnHex(const uint8_t *lpb, size_t cb, char *lpch) {
        size_t i = 0;
#if defined(__SSE2__)
        // Sixteen bytes at a time: each nibble plus '0', and 7 more above 9.
        const __m128i mLow = _mm_set1_epi8(0x0F), mZero = _mm_set1_epi8('0');
        const __m128i mNine = _mm_set1_epi8(9), mGap = _mm_set1_epi8('A' - '0' - 10);
        for (; i + 16 <= cb; i += 16, lpch += 32) {
            const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lpb + i));
            const __m128i mHigh = _mm_and_si128(_mm_srli_epi16(m, 4), mLow);
            const __m128i mLowNibble = _mm_and_si128(m, mLow);
            __m128i mFirst = _mm_unpacklo_epi8(mHigh, mLowNibble);
            __m128i mSecond = _mm_unpackhi_epi8(mHigh, mLowNibble);
            mFirst = _mm_add_epi8(_mm_add_epi8(mFirst, mZero),
                                  _mm_and_si128(_mm_cmpgt_epi8(mFirst, mNine), mGap));
            mSecond = _mm_add_epi8(_mm_add_epi8(mSecond, mZero),
                                   _mm_and_si128(_mm_cmpgt_epi8(mSecond, mNine), mGap));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(lpch), mFirst);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(lpch + 16), mSecond);
        }
#endif
        for (; i < cb; ++i, lpch += 2) memcpy(lpch, kDigits.achHex[lpb[i]], 2);
        return lpch;
    }
    LineOut &Fill(char ch, int n) {
        if (n <= 0) return *this;
        Room(size_t(n));
        memset(lpch_, ch, size_t(n));
        lpch_ += n;
        return *this;
    }
    // Makes room for cch more characters.
    void Room(size_t cch) {
        if (size_t(lpchEnd_ - lpch_) < cch) Grow(cch);
    }
    void Grow(size_t cch);

    std::unique_ptr<char[]> buffer_;
    char *lpchBuffer_ = nullptr;  // the held characters are [lpchBuffer_, lpch_)
    char *lpch_ = nullptr;
    char *lpchEnd_ = nullptr;
    bool fEachLine_ = false;  // stdout is a terminal
};

}  // namespace dspdump

#endif
