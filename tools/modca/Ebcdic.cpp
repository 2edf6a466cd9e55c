#include "Ebcdic.h"

#include <string.h>

namespace modca {
namespace {

// Code page 500 to ASCII; 0 where the character is no printable ASCII.
constexpr char achCp500[] =
    "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    " \0\0\0\0\0\0\0\0\0[.<(+!"
    "&\0\0\0\0\0\0\0\0\0]$*);^"
    "-/\0\0\0\0\0\0\0\0\0,%_>?"
    "\0\0\0\0\0\0\0\0\0`:#@'=\""
    "\0abcdefghi\0\0\0\0\0\0"
    "\0jklmnopqr\0\0\0\0\0\0"
    "\0~stuvwxyz\0\0\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0|\0\0\0\0"
    "{ABCDEFGHI\0\0\0\0\0\0"
    "}JKLMNOPQR\0\0\0\0\0\0"
    "\\\0STUVWXYZ\0\0\0\0\0\0"
    "0123456789\0\0\0\0\0\0";
static_assert(sizeof achCp500 == 257, "one entry per byte value");

// The same with '.' for the characters that have no printable counterpart.
struct ShownTable {
    char ach[256];
    constexpr ShownTable() : ach() {
        for (int b = 0; b < 256; ++b) ach[b] = achCp500[b] != '\0' ? achCp500[b] : '.';
    }
};
constexpr ShownTable cp500Shown{};

size_t cchFnTrimmed(const char *lpch, size_t cch) {
    while (cch != 0 && lpch[cch - 1] == ' ') --cch;
    return cch;
}

}  // namespace

size_t cchFnDecodeName(const uint8_t *lpb, size_t cb, char *lpch) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (cb == 8) {  // most names: built in one word, stored at once
        uint64_t qw = 0;
        for (int i = 0; i < 8; ++i)
            qw |= uint64_t(uint8_t(cp500Shown.ach[lpb[i]])) << 8 * i;
        memcpy(lpch, &qw, 8);
        // The trailing blanks are the word's high zero bytes after an xor.
        const uint64_t qwNonBlank = qw ^ 0x2020202020202020u;
        return qwNonBlank == 0 ? 0 : 8 - size_t(__builtin_clzll(qwNonBlank)) / 8;
    }
#endif
    size_t i = 0;
    for (; i + 4 <= cb; i += 4) {
        lpch[i] = cp500Shown.ach[lpb[i]];
        lpch[i + 1] = cp500Shown.ach[lpb[i + 1]];
        lpch[i + 2] = cp500Shown.ach[lpb[i + 2]];
        lpch[i + 3] = cp500Shown.ach[lpb[i + 3]];
    }
    for (; i < cb; ++i) lpch[i] = cp500Shown.ach[lpb[i]];
    return cchFnTrimmed(lpch, cb);
}

void FnDecodeName(const uint8_t *lpb, size_t cb, std::string *lps) {
    char ach[256];  // enough for any name in a triplet
    if (cb <= sizeof ach) {
        const size_t cch = cchFnDecodeName(lpb, cb, ach);
        if (lps->empty())
            lps->append(ach, cch);  // cheaper than assign on a fresh string
        else
            lps->assign(ach, cch);
        return;
    }
    lps->resize(cb);
    lps->resize(cchFnDecodeName(lpb, cb, &(*lps)[0]));
}

std::string sFnDecodeName(const uint8_t *lpb, size_t cb) {
    std::string s;
    FnDecodeName(lpb, cb, &s);
    return s;
}

bool fFnPrintableText(const uint8_t *lpb, size_t cb, std::string *lpsText) {
    bool fEbcdic = true, fAscii = true;
    for (size_t i = 0; i < cb; ++i) {
        fEbcdic = fEbcdic && achCp500[lpb[i]] != '\0';
        fAscii = fAscii && lpb[i] >= 0x20 && lpb[i] < 0x7F;
    }
    if (cb == 0 || !(fEbcdic || fAscii)) return false;
    if (fEbcdic) {
        FnDecodeName(lpb, cb, lpsText);
    } else {
        const char *lpch = reinterpret_cast<const char *>(lpb);
        lpsText->assign(lpch, cchFnTrimmed(lpch, cb));
    }
    return true;
}

}  // namespace modca
