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

// The two hex digits of every byte value, the two decimal digits of 0-99,
// and the powers of ten (but 0 for 10^0, so that 0 has a digit).
struct DigitTables {
    char achHex[256][2];
    char achDec[100][2];
    uint64_t aqPow10[20];
    constexpr DigitTables() : achHex(), achDec(), aqPow10() {
        for (int n = 1; n < 20; ++n) aqPow10[n] = n == 1 ? 10 : 10 * aqPow10[n - 1];
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

// Writes without bounds checks into room reserved beforehand (LineOut's
// Reserve), for the parts of a line whose greatest length is known. A
// method may store up to cchSlack characters past what it keeps.
class Cursor {
  public:
    static constexpr size_t cchSlack = 48;

    explicit Cursor(char *lpch) : lpch_(lpch) {}
    char *lpch() const { return lpch_; }

    // Eight to sixteen characters (names, mostly) go as two overlapping
    // words rather than through a call into the C library.
    Cursor &Chars(const char *lpch, size_t cch) {
        if (cch >= 8 && cch <= 16) {
            memcpy(lpch_, lpch, 8);
            memcpy(lpch_ + cch - 8, lpch + cch - 8, 8);
        } else {
            memcpy(lpch_, lpch, cch);
        }
        lpch_ += cch;
        return *this;
    }
    // A string literal: its length is known when compiled.
    template <size_t N>
    Cursor &Lit(const char (&sz)[N]) {
        return Chars(sz, N - 1);
    }
    // The first cch of the N characters at lpch, all N stored in one go.
    template <size_t N>
    Cursor &Block(const char (&ach)[N], size_t cch) {
        memcpy(lpch_, ach, N);
        lpch_ += cch;
        return *this;
    }
    // The first cch (up to 8) of the eight characters at lpch, all eight
    // stored in one go.
    Cursor &Prefix8(const char *lpch, size_t cch) {
        memcpy(lpch_, lpch, 8);
        lpch_ += cch;
        return *this;
    }
    Cursor &Char(char ch) {
        *lpch_++ = ch;
        return *this;
    }
    Cursor &Str(const char *sz) { return Chars(sz, strlen(sz)); }
    Cursor &Str(const std::string &s) { return Chars(s.data(), s.size()); }
    // "%-*s": sz, then blanks to nWidth.
    Cursor &StrLeft(const char *sz, int nWidth) {
        const size_t cch = strlen(sz);
        return Chars(sz, cch).Spaces(nWidth - int(cch));
    }
    // s as a JSON string, in up to 2 * size + 2 characters. s holds
    // printable ASCII, so only quotes and backslashes need escapes.
    Cursor &JsonStr(const std::string &s) {
        Char('"');
        if (!fFnHasEscapes(s.data(), s.size()))
            return Chars(s.data(), s.size()).Char('"');
        for (const char c : s) {
            if (c == '"' || c == '\\') Char('\\');
            Char(c);
        }
        return Char('"');
    }
    // n copies of ch; up to cchSlack of them in one fixed-size store.
    Cursor &Fill(char ch, int n) {
        if (n <= 0) return *this;
        memset(lpch_, ch, size_t(n) <= cchSlack ? cchSlack : size_t(n));
        lpch_ += n;
        return *this;
    }
    Cursor &Spaces(int n) { return Fill(' ', n); }
    // "%*llu" (nWidth blank-padded) or, with chPad '0', "%0*llu".
    Cursor &Dec(uint64_t q, int nWidth = 0, char chPad = ' ') {
        int cch = nWidth;  // a padded number in its width: the pad stored first
        if (nWidth > 0 && nWidth < 20 && q < kDigits.aqPow10[nWidth])
            memset(lpch_, chPad, cchSlack);
        else
            Fill(chPad, nWidth - (cch = nFnDecDigits(q)));
        char *lpch = lpch_ += cch;
        for (; q >= 100; q /= 100) {
            lpch -= 2;
            memcpy(lpch, kDigits.achDec[q % 100], 2);
        }
        if (q >= 10)
            memcpy(lpch - 2, kDigits.achDec[q], 2);
        else
            lpch[-1] = char('0' + q);
        return *this;
    }
    // "%0*llX": upper-case hex digits, zero-padded to nDigits.
    Cursor &Hex(uint64_t q, int nDigits) {
        const int cDigits = (67 - __builtin_clzll(q | 1)) / 4;
        Fill('0', nDigits - cDigits);
        lpch_ += cDigits;
        for (char *lpch = lpch_; lpch != lpch_ - cDigits; q >>= 4)
            *--lpch = kDigits.achHex[q & 0x0F][1];
        return *this;
    }
    // "%02X" of one byte.
    Cursor &HexByte(uint8_t b) { return Chars(kDigits.achHex[b], 2); }
    // Two upper-case hex digits a byte.
    Cursor &HexBytes(const uint8_t *lpb, size_t cb);

    // Bytes cbFnHexWide turns into hex a step.
    static constexpr size_t cbWideHex = 32;
    // Writes the hex of a leading part of lpb[0, cb) at lpch, cbWideHex bytes
    // a step, where the processor has wide registers; returns the bytes done.
    static size_t cbFnHexWide(const uint8_t *lpb, size_t cb, char *lpch);

    // Characters Dec and Hex write at most, padding aside.
    static constexpr size_t cchMaxNumber = 20;

    // The four digits of dw < 10000.
    Cursor &Digits4(uint32_t dw) {
        memcpy(lpch_, kDigits.achDec[dw / 100], 2);
        memcpy(lpch_ + 2, kDigits.achDec[dw % 100], 2);
        lpch_ += 4;
        return *this;
    }

    // Digits of q; from the bit length: log10(2) is about 1233 / 4096.
    static int nFnDecDigits(uint64_t q) {
        const int n = ((64 - __builtin_clzll(q | 1)) * 1233) >> 12;
        return n + (q >= kDigits.aqPow10[n]);
    }

  private:
    // Whether lpch[0, cch) holds a quote or a backslash; eight at a time,
    // each tested for a zero byte after an exclusive or.
    static bool fFnHasEscapes(const char *lpch, size_t cch) {
        constexpr uint64_t qwOnes = 0x0101010101010101u, qwHigh = 0x8080808080808080u;
        uint64_t qwFound = 0;
        size_t i = 0;
        for (; i + 8 <= cch; i += 8) {
            uint64_t qw;
            memcpy(&qw, lpch + i, 8);
            const uint64_t qwQuote = qw ^ (qwOnes * '"'), qwSlash = qw ^ (qwOnes * '\\');
            qwFound |=
                (((qwQuote - qwOnes) & ~qwQuote) | ((qwSlash - qwOnes) & ~qwSlash)) &
                qwHigh;
        }
        for (; i < cch; ++i) qwFound |= (lpch[i] == '"') | (lpch[i] == '\\');
        return qwFound != 0;
    }
#if defined(__SSE2__)
    // Sixteen nibbles as hex digits: each plus '0', and 7 more above 9.
    void StoreHex(__m128i mNibbles) {
        const __m128i mAbove9 = _mm_cmpgt_epi8(mNibbles, _mm_set1_epi8(9));
        const __m128i mDigits =
            _mm_add_epi8(_mm_add_epi8(mNibbles, _mm_set1_epi8('0')),
                         _mm_and_si128(mAbove9, _mm_set1_epi8('A' - '0' - 10)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lpch_), mDigits);
        lpch_ += 16;
    }
    void StoreHexBytes(__m128i m, bool fHigh) {
        const __m128i mHigh = _mm_and_si128(_mm_srli_epi16(m, 4), _mm_set1_epi8(0x0F));
        const __m128i mLow = _mm_and_si128(m, _mm_set1_epi8(0x0F));
        StoreHex(_mm_unpacklo_epi8(mHigh, mLow));
        if (fHigh) StoreHex(_mm_unpackhi_epi8(mHigh, mLow));
    }
#endif

    char *lpch_;
};

inline Cursor &Cursor::HexBytes(const uint8_t *lpb, size_t cb) {
    size_t i = cb >= cbWideHex ? cbFnHexWide(lpb, cb, lpch_) : 0;
    lpch_ += 2 * i;
#if defined(__SSE2__)
    for (; i + 16 <= cb; i += 16)
        StoreHexBytes(_mm_loadu_si128(reinterpret_cast<const __m128i *>(lpb + i)), true);
    if (i + 8 <= cb) {
        StoreHexBytes(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(lpb + i)), false);
        i += 8;
    }
#endif
    for (; i < cb; ++i) Chars(kDigits.achHex[lpb[i]], 2);
    return *this;
}

// The listing's offset column, "%012llu", and JSON's offsets, "%llu". From
// one line to the next an offset mostly grows by less than 10000: the eight
// digits in front of the last four are formatted when they change and copied
// while they stay.
class DecimalOffsets {
  public:
    Cursor &Put(Cursor &cursor, uint64_t ib) {
        if (ib >= kDigits.aqPow10[12]) return cursor.Dec(ib, 12, '0');
        Follow(ib);
        return cursor.Chars(achHigh_, 8).Digits4(uint32_t(ib - ibBase_));
    }
    Cursor &PutBare(Cursor &cursor, uint64_t ib) {
        if (ib < 10000 || ib >= kDigits.aqPow10[12]) return cursor.Dec(ib);
        Follow(ib);
        // The significant ones of the eight in one store, the last four after.
        const size_t cchHigh = size_t(Cursor::nFnDecDigits(ib)) - 4;
        return cursor.Prefix8(achHigh_ + 8 - cchHigh, cchHigh)
            .Digits4(uint32_t(ib - ibBase_));
    }

  private:
    void Follow(uint64_t ib) {
        if (ib - ibBase_ < 10000) return;  // else a new base, or one below
        const uint64_t qHigh = ib / 10000;
        ibBase_ = qHigh * 10000;
        Cursor(achHigh_)
            .Digits4(uint32_t(qHigh / 10000))
            .Digits4(uint32_t(qHigh % 10000));
    }

    uint64_t ibBase_ = 0;
    // The digits, then room for Prefix8 to read past them.
    char achHigh_[16] = {'0', '0', '0', '0', '0', '0', '0', '0'};
};

class LineOut {
  public:
    // Characters held before Emit writes them out.
    static constexpr size_t cbFlushAt = size_t{1} << 16;

    LineOut();
    LineOut(const LineOut &) = delete;
    LineOut &operator=(const LineOut &) = delete;

    // Room for cch characters at the end; Commit(cursor) keeps what was
    // written through the cursor.
    Cursor Reserve(size_t cch) {
        if (size_t(lpchEnd_ - lpch_) < cch + Cursor::cchSlack)
            Grow(cch + Cursor::cchSlack);
        return Cursor(lpch_);
    }
    LineOut &Commit(const Cursor &cursor) {
        lpch_ = cursor.lpch();
        return *this;
    }

    // Characters held.
    size_t Size() const { return size_t(lpch_ - lpchBuffer_); }

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
    void Grow(size_t cch);

    std::unique_ptr<char[]> buffer_;
    char *lpchBuffer_ = nullptr;  // the held characters are [lpchBuffer_, lpch_)
    char *lpch_ = nullptr;
    char *lpchEnd_ = nullptr;
    bool fEachLine_ = false;  // stdout is a terminal
};

}  // namespace dspdump

#endif
