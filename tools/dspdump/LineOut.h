// dspdump's own formatter for the listing and JSON lines: numbers and hex
// bytes written straight into one reused line buffer, which goes to stdout
// in one fwrite. The output is what the printf formats it replaces give.
#ifndef VOKDSP_DSPDUMP_LINEOUT_H
#define VOKDSP_DSPDUMP_LINEOUT_H

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace dspdump {

// The two hex digits of every byte value.
struct HexTable {
    char ach[256][2];
    constexpr HexTable() : ach() {
        for (int b = 0; b < 256; ++b) {
            ach[b][0] = "0123456789ABCDEF"[b >> 4];
            ach[b][1] = "0123456789ABCDEF"[b & 0x0F];
        }
    }
};
inline constexpr HexTable kHexTable{};

class LineOut {
  public:
    LineOut &Chars(const char *lpch, size_t cch) {
        memcpy(lpchFnRoom(cch), lpch, cch);
        cch_ += cch;
        return *this;
    }
    LineOut &Str(const char *sz) { return Chars(sz, strlen(sz)); }
    LineOut &Str(const std::string &s) { return Chars(s.data(), s.size()); }
    LineOut &Char(char ch) {
        *lpchFnRoom(1) = ch;
        ++cch_;
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
        int ich = sizeof ach;
        do {
            ach[--ich] = char('0' + q % 10);
            q /= 10;
        } while (q != 0);
        Fill(chPad, nWidth - (int(sizeof ach) - ich));
        return Chars(ach + ich, sizeof ach - ich);
    }
    // "%0*llX": upper-case hex digits, zero-padded to nDigits.
    LineOut &Hex(uint64_t q, int nDigits) {
        char ach[16];
        int ich = sizeof ach;
        do {
            ach[--ich] = kHexTable.ach[q & 0x0F][1];
            q >>= 4;
        } while (q != 0);
        Fill('0', nDigits - (int(sizeof ach) - ich));
        return Chars(ach + ich, sizeof ach - ich);
    }
    // Two upper-case hex digits a byte, from a table.
    LineOut &HexBytes(const uint8_t *lpb, uint32_t cb) {
        char *lpch = lpchFnRoom(2 * size_t{cb});
        for (uint32_t i = 0; i < cb; ++i, lpch += 2)
            memcpy(lpch, kHexTable.ach[lpb[i]], 2);
        cch_ += 2 * size_t{cb};
        return *this;
    }
    // Writes the line out and starts the next.
    void Emit() {
        fwrite(ab_.data(), 1, cch_, stdout);
        cch_ = 0;
    }

  private:
    LineOut &Fill(char ch, int n) {
        if (n <= 0) return *this;
        memset(lpchFnRoom(size_t(n)), ch, size_t(n));
        cch_ += size_t(n);
        return *this;
    }
    // Where the next cch characters go; the buffer grows as needed.
    char *lpchFnRoom(size_t cch) {
        if (cch_ + cch > ab_.size()) ab_.resize(2 * (cch_ + cch) + 256);
        return &ab_[cch_];
    }

    std::string ab_;  // the line so far is its first cch_ characters
    size_t cch_ = 0;
};

}  // namespace dspdump

#endif
