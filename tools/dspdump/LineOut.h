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
        s_.append(lpch, cch);
        return *this;
    }
    LineOut &Str(const char *sz) { return Chars(sz, strlen(sz)); }
    LineOut &Str(const std::string &s) { return Chars(s.data(), s.size()); }
    LineOut &Char(char ch) {
        s_.push_back(ch);
        return *this;
    }
    LineOut &Spaces(int n) {
        if (n > 0) s_.append(size_t(n), ' ');
        return *this;
    }
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
        s_.append(
            size_t(nWidth > int(sizeof ach) - ich ? nWidth - (int(sizeof ach) - ich) : 0),
            chPad);
        return Chars(ach + ich, sizeof ach - ich);
    }
    // "%0*llX": upper-case hex digits, zero-padded to nDigits.
    LineOut &Hex(uint64_t q, int nDigits) {
        char ach[16];
        int ich = sizeof ach;
        do {
            ach[--ich] = "0123456789ABCDEF"[q & 0x0F];
            q >>= 4;
        } while (q != 0);
        while (ich > int(sizeof ach) - nDigits) ach[--ich] = '0';
        return Chars(ach + ich, sizeof ach - ich);
    }
    // Two upper-case hex digits a byte, from a table.
    LineOut &HexBytes(const uint8_t *lpb, uint32_t cb) {
        const size_t ich = s_.size();
        s_.resize(ich + 2 * size_t{cb});
        char *lpch = &s_[ich];
        for (uint32_t i = 0; i < cb; ++i, lpch += 2)
            memcpy(lpch, kHexTable.ach[lpb[i]], 2);
        return *this;
    }
    // Writes the line out and starts the next.
    void Emit() {
        fwrite(s_.data(), 1, s_.size(), stdout);
        s_.clear();
    }

  private:
    std::string s_;
};

}  // namespace dspdump

#endif
