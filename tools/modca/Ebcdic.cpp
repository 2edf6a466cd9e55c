#include "Ebcdic.h"

namespace modca {
namespace {

// Code page 500 to ASCII; 0 where the character is no printable ASCII.
const char achCp500[] =
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

std::string sFnTrimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

std::string sFnDecodeName(const uint8_t *lpb, size_t cb) {
    std::string s(cb, '.');
    for (size_t i = 0; i < cb; ++i)
        if (achCp500[lpb[i]] != '\0') s[i] = achCp500[lpb[i]];
    return sFnTrimmed(s);
}

bool fFnPrintableText(const uint8_t *lpb, size_t cb, std::string *lpsText) {
    bool fEbcdic = true, fAscii = true;
    for (size_t i = 0; i < cb; ++i) {
        fEbcdic = fEbcdic && achCp500[lpb[i]] != '\0';
        fAscii = fAscii && lpb[i] >= 0x20 && lpb[i] < 0x7F;
    }
    if (cb == 0 || !(fEbcdic || fAscii)) return false;
    *lpsText = fEbcdic ? sFnDecodeName(lpb, cb)
                       : sFnTrimmed(std::string(reinterpret_cast<const char *>(lpb), cb));
    return true;
}

}  // namespace modca
