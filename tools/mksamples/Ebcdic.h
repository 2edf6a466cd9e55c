// ASCII to EBCDIC (code page 037) for the printable characters the samples use.
#ifndef VOKDSP_TOOLS_EBCDIC_H
#define VOKDSP_TOOLS_EBCDIC_H

#include <stdint.h>

#include <string>
#include <vector>

namespace mksamples {

inline uint8_t bFnEbcdic(char c) {
    static const uint8_t abLower[] = {
        0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94,
        0x95, 0x96, 0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9};
    if (c >= 'a' && c <= 'z') return abLower[c - 'a'];
    if (c >= 'A' && c <= 'Z') return abLower[c - 'A'] + 0x40;
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(0xF0 + (c - '0'));
    switch (c) {
        case '.':
            return 0x4B;
        case ',':
            return 0x6B;
        case '-':
            return 0x60;
        case ':':
            return 0x7A;
        case '/':
            return 0x61;
        case '(':
            return 0x4D;
        case ')':
            return 0x5D;
        case '\'':
            return 0x7D;
        default:
            return 0x40;  // space and anything else
    }
}

inline std::vector<uint8_t> abFnEbcdic(const std::string &s) {
    std::vector<uint8_t> ab;
    for (char c : s) ab.push_back(bFnEbcdic(c));
    return ab;
}

}  // namespace mksamples

#endif
