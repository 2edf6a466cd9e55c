// What a structured field's data says: names, triplets, font mappings, index
// tags and comments. Takes the field's identifier and data bytes only, so any
// reader of fields can use it; every length inside the data is checked.
#ifndef VOKDSP_MODCA_FIELDS_H
#define VOKDSP_MODCA_FIELDS_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "FieldNames.h"

namespace modca {

constexpr bool fFnIsBegin(uint32_t dwID) { return (dwID >> 8) == 0xD3A8; }
constexpr bool fFnIsEnd(uint32_t dwID) { return (dwID >> 8) == 0xD3A9; }
constexpr uint8_t bFnCategory(uint32_t dwID) { return dwID & 0xFF; }

// Categories (the identifier's last byte) the tools look for.
constexpr uint8_t bNamedPageGroup = 0xAD;
constexpr uint8_t bPage = 0xAF;
constexpr uint8_t bResourceGroup = 0xC6;
constexpr uint8_t bResource = 0xCE;

constexpr uint8_t bFullyQualifiedName = 0x02;
constexpr uint8_t bResourceLocalId = 0x24;
constexpr uint8_t bAttributeValue = 0x36;

// FQN types.
constexpr int nFqnAttributeName = 0x0B;
constexpr int nFqnResourceReference = 0x84;
constexpr int nFqnCodePage = 0x85;
constexpr int nFqnCharacterSet = 0x86;
constexpr int nFqnCodedFont = 0x8E;
constexpr int nFqnObjectInternal = 0xBE;
constexpr int nFqnObjectExternal = 0xDE;

struct Triplet {
    uint8_t bId = 0;
    int nType = -1;      // FQN type (0x02) or resource type (0x24); -1 for others
    std::string sValue;  // the name (0x02), the value (0x36), the local id (0x24)
};

// The triplets in lpb[0, cb). False when one has a length under 2 or runs
// past the end; those before it are kept.
bool fFnParseTriplets(const uint8_t *lpb, size_t cb, std::vector<Triplet> *lpTriplets);

struct FontMapping {
    int nLocalId = -1;  // the id PTX's font changes use; -1 when not given
    std::string sCodedFont, sCharacterSet, sCodePage;
};

struct FieldInfo {
    std::string sObjectName;          // Begin, End and Include fields; empty for 0xFF..FF
    std::vector<Triplet> triplets;    // of the field, or of all groups of a Map field
    std::vector<FontMapping> fonts;   // MCF: one per repeating group
    std::string sTagName, sTagValue;  // TLE
    std::string sComment;             // NOP, when its data is printable text
    bool fMalformed = false;          // a triplet or repeating group ran past the data
};

// Whether FnInterpretField looks into a field of type dwID at all: Begins,
// Ends, Includes, Maps, No Operation and Tag Logical Element. For the others
// the info stays empty.
inline bool fFnInterpreted(uint32_t dwID) {
    switch (dwID >> 8) {  // class and type, without the category
        case 0xD3A8:      // Begin
        case 0xD3A9:      // End
        case 0xD3AB:      // Map
            return true;
        case 0xD3AF:
            return dwID == dwIncludePageOverlay || dwID == dwIncludePageSegment ||
                   dwID == dwIncludeObject;
        default:
            return dwID == dwNoOperation || dwID == dwTagLogicalElement;
    }
}

FieldInfo FnInterpretField(uint32_t dwID, const uint8_t *lpb, size_t cb);
// The same into *lpInfo, reusing its storage: a caller that interprets field
// after field allocates nothing for most of them.
void FnInterpretField(uint32_t dwID, const uint8_t *lpb, size_t cb, FieldInfo *lpInfo);

constexpr size_t cbNameToken = 8;

// The 8-byte name token at the start of lpb: empty when cb < 8 or the token
// is 0xFF..FF ("match any name").
std::string sFnNameToken(const uint8_t *lpb, size_t cb);
// The same decoded into ach; returns its length.
size_t cchFnNameToken(const uint8_t *lpb, size_t cb, char (&ach)[cbNameToken]);

// Bytes of framing in front of each field of a stream whose first eight
// bytes are ab: 0 plain, 4 record descriptor words, 2 length prefixes, told
// apart as the structured-field reader tells them.
uint32_t cbFnStreamFraming(const uint8_t (&ab)[8]);

// The data length of a field whose record took cbRecord input bytes: what is
// left after cbFraming bytes of framing, the 9-byte header and cbExtension
// extension bytes; 0 at least, cbMax at most.
inline uint32_t cbFnFieldData(uint64_t cbRecord, uint32_t cbFraming, uint32_t cbExtension,
                              uint32_t cbMax) {
    const uint64_t cbOverhead = uint64_t{cbFraming} + 9 + cbExtension;
    if (cbRecord <= cbOverhead) return 0;
    return cbRecord - cbOverhead > cbMax ? cbMax : uint32_t(cbRecord - cbOverhead);
}

}  // namespace modca

#endif
