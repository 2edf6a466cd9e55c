#include "Fields.h"

#include "Ebcdic.h"
#include "FieldNames.h"

namespace modca {
namespace {

constexpr size_t cbNameToken = 8;
constexpr size_t cbIncludeObjectFixed = 27;  // name to reference coordinate system

Triplet FnDecodeTriplet(const uint8_t *lpb, size_t cb) {
    Triplet triplet;
    triplet.bId = lpb[1];
    if (triplet.bId == bFullyQualifiedName && cb >= 4) {
        triplet.nType = lpb[2];
        if (lpb[3] == 0x00) triplet.sValue = sFnDecodeName(lpb + 4, cb - 4);
    } else if (triplet.bId == bAttributeValue && cb >= 4) {
        triplet.sValue = sFnDecodeName(lpb + 4, cb - 4);
    } else if (triplet.bId == bResourceLocalId && cb >= 4) {
        triplet.nType = lpb[2];
        triplet.sValue = std::to_string(lpb[3]);
    }
    return triplet;
}

size_t ibFnTripletStart(uint32_t dwID) {
    if (dwID == dwBeginDocument || dwID == dwBeginResource) return cbNameToken + 2;
    if (dwID == dwIncludeObject) return cbIncludeObjectFixed;
    if (fFnIsBegin(dwID) || fFnIsEnd(dwID)) return cbNameToken;
    return 0;
}

FontMapping FnFontMapping(const std::vector<Triplet> &triplets) {
    FontMapping font;
    for (const Triplet &t : triplets) {
        if (t.bId == bResourceLocalId && !t.sValue.empty())
            font.nLocalId = std::stoi(t.sValue);
        if (t.bId != bFullyQualifiedName) continue;
        if (t.nType == nFqnCodedFont) font.sCodedFont = t.sValue;
        if (t.nType == nFqnCharacterSet) font.sCharacterSet = t.sValue;
        if (t.nType == nFqnCodePage) font.sCodePage = t.sValue;
    }
    return font;
}

// Map fields: repeating groups, each a 2-byte length (counting itself) and
// triplets.
void FnInterpretMap(uint32_t dwID, const uint8_t *lpb, size_t cb, FieldInfo *lpInfo) {
    size_t ib = 0;
    while (ib + 2 <= cb) {
        const size_t cbGroup = (lpb[ib] << 8) | lpb[ib + 1];
        if (cbGroup < 2 || cbGroup > cb - ib) {
            lpInfo->fMalformed = true;
            return;
        }
        std::vector<Triplet> group;
        if (!fFnParseTriplets(lpb + ib + 2, cbGroup - 2, &group))
            lpInfo->fMalformed = true;
        if (dwID == dwMapCodedFont) lpInfo->fonts.push_back(FnFontMapping(group));
        lpInfo->triplets.insert(lpInfo->triplets.end(), group.begin(), group.end());
        ib += cbGroup;
    }
    if (ib != cb) lpInfo->fMalformed = true;
}

void FnInterpretTag(FieldInfo *lpInfo) {
    for (const Triplet &t : lpInfo->triplets) {
        if (t.bId == bFullyQualifiedName && t.nType == nFqnAttributeName)
            lpInfo->sTagName = t.sValue;
        if (t.bId == bAttributeValue) lpInfo->sTagValue = t.sValue;
    }
}

}  // namespace

bool fFnParseTriplets(const uint8_t *lpb, size_t cb, std::vector<Triplet> *lpTriplets) {
    size_t ib = 0;
    while (ib < cb) {
        const size_t cbTriplet = lpb[ib];
        if (cbTriplet < 2 || cbTriplet > cb - ib) return false;
        lpTriplets->push_back(FnDecodeTriplet(lpb + ib, cbTriplet));
        ib += cbTriplet;
    }
    return true;
}

std::string sFnNameToken(const uint8_t *lpb, size_t cb) {
    if (cb < cbNameToken) return "";
    for (size_t i = 0; i < cbNameToken; ++i)
        if (lpb[i] != 0xFF) return sFnDecodeName(lpb, cbNameToken);
    return "";
}

FieldInfo FnInterpretField(uint32_t dwID, const uint8_t *lpb, size_t cb) {
    FieldInfo info;
    const bool fInclude = dwID == dwIncludePageOverlay || dwID == dwIncludePageSegment ||
                          dwID == dwIncludeObject;
    if (fFnIsBegin(dwID) || fFnIsEnd(dwID) || fInclude)
        info.sObjectName = sFnNameToken(lpb, cb);
    if ((dwID >> 8) == 0xD3AB) {
        FnInterpretMap(dwID, lpb, cb, &info);
    } else if (dwID == dwNoOperation) {
        fFnPrintableText(lpb, cb, &info.sComment);
    } else if (dwID == dwTagLogicalElement || dwID == dwIncludeObject ||
               (!fInclude && ibFnTripletStart(dwID) != 0)) {
        const size_t ib = ibFnTripletStart(dwID);
        if (cb > ib)
            info.fMalformed = !fFnParseTriplets(lpb + ib, cb - ib, &info.triplets);
        if (dwID == dwTagLogicalElement) FnInterpretTag(&info);
    }
    return info;
}

uint32_t cbFnStreamFraming(const uint8_t (&ab)[8]) {
    if (ab[0] == 0x5A || ab[3] == 0xD3) return 0;
    if (ab[4] == 0x5A || ab[7] == 0xD3) return 4;
    return 2;
}

uint32_t cbFnFieldData(uint64_t cbRecord, uint32_t cbFraming, uint32_t cbExtension,
                       uint32_t cbMax) {
    const uint64_t cbOverhead = uint64_t{cbFraming} + 9 + cbExtension;
    if (cbRecord <= cbOverhead) return 0;
    return cbRecord - cbOverhead > cbMax ? cbMax : uint32_t(cbRecord - cbOverhead);
}

}  // namespace modca
