// EBCDIC text in fields: names, tag values and comments.
#ifndef VOKDSP_MODCA_EBCDIC_H
#define VOKDSP_MODCA_EBCDIC_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace modca {

// Code page 500 as printable ASCII; bytes without a printable ASCII
// counterpart become '.'. Trailing blanks are dropped.
std::string sFnDecodeName(const uint8_t *lpb, size_t cb);
// The same into lpch, which has room for cb characters; returns the length.
size_t cchFnDecodeName(const uint8_t *lpb, size_t cb, char *lpch);
// The same into *lps, reusing its storage.
void FnDecodeName(const uint8_t *lpb, size_t cb, std::string *lps);

// The text of lpb when every byte is printable in code page 500 or, failing
// that, in ASCII; false for anything else (binary data, empty).
bool fFnPrintableText(const uint8_t *lpb, size_t cb, std::string *lpsText);

}  // namespace modca

#endif
