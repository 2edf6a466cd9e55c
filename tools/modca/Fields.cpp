#include "Fields.h"

#include <string.h>

#include "Ebcdic.h"
#include "FieldNames.h"

namespace modca {
namespace {

constexpr size_t cbIncludeObjectFixed = 27;  // name to reference coordinate system

// Fills a freshly added (default) triplet.
void FnDecodeTriplet(const uint8_t *lpb, size_t cb, Triplet *lpTriplet) {
    Triplet &triplet = *lpTriplet;
    triplet.bId = lpb[1];
    if (triplet.bId == bFullyQualifiedName && cb >= 4) {
        triplet.nType = lpb[2];
        if (lpb[3] == 0x00) FnDecodeName(lpb + 4, cb - 4, &triplet.sValue);
    } else if (triplet.bId == bAttributeValue && cb >= 4) {
        FnDecodeName(lpb + 4, cb - 4, &triplet.sValue);
    } else if (triplet.bId == bResourceLocalId && cb >= 4) {
        triplet.nType = lpb[2];
        triplet.sValue = std::to_string(lpb[3]);
    }
}

// *lps = sFnNameToken(lpb, cb); a name of all eight characters over another
// (as names mostly are) is copied in place, with no call into the string
// library.
void FnSetNameToken(const uint8_t *lpb, size_t cb, std::string *lps) {
    char ach[cbNameToken];
    const size_t cch = cchFnNameToken(lpb, cb, ach);
    if (cch == cbNameToken && lps->size() == cbNameToken)
        memcpy(&(*lps)[0], ach, cbNameToken);
    else
        lps->assign(ach, cch);
}

size_t ibFnTripletStart(uint32_t dwID) {
    if (dwID == dwBeginDocument || dwID == dwBeginResource) return cbNameToken + 2;
    if (dwID == dwIncludeObject) return cbIncludeObjectFixed;
    if (fFnIsBegin(dwID) || fFnIsEnd(dwID)) return cbNameToken;
    return 0;
}

// The font a repeating group maps: its triplets are triplets[iFirst, end).
void FnAddFontMapping(const std::vector<Triplet> &triplets, size_t iFirst,
                      std::vector<FontMapping> *lpFonts) {
    FontMapping &font = lpFonts->emplace_back();
    for (size_t i = iFirst; i < triplets.size(); ++i) {
        const Triplet &t = triplets[i];
        if (t.bId == bResourceLocalId && !t.sValue.empty()) {
            font.nLocalId = 0;  // the decimal FnDecodeTriplet wrote
            for (const char c : t.sValue) font.nLocalId = 10 * font.nLocalId + (c - '0');
        }
        if (t.bId != bFullyQualifiedName) continue;
        if (t.nType == nFqnCodedFont) font.sCodedFont = t.sValue;
        if (t.nType == nFqnCharacterSet) font.sCharacterSet = t.sValue;
        if (t.nType == nFqnCodePage) font.sCodePage = t.sValue;
    }
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
        const size_t iFirst = lpInfo->triplets.size();
        if (!fFnParseTriplets(lpb + ib + 2, cbGroup - 2, &lpInfo->triplets))
            lpInfo->fMalformed = true;
        if (dwID == dwMapCodedFont)
            FnAddFontMapping(lpInfo->triplets, iFirst, &lpInfo->fonts);
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
        FnDecodeTriplet(lpb + ib, cbTriplet, &lpTriplets->emplace_back());
        ib += cbTriplet;
    }
    return true;
}

size_t cchFnNameToken(const uint8_t *lpb, size_t cb, char (&ach)[cbNameToken]) {
    if (cb < cbNameToken) return 0;
    uint64_t qwToken;
    memcpy(&qwToken, lpb, cbNameToken);
    if (qwToken == UINT64_MAX) return 0;  // any name
    return cchFnDecodeName(lpb, cbNameToken, ach);
}

std::string sFnNameToken(const uint8_t *lpb, size_t cb) {
    char ach[cbNameToken];
    return std::string(ach, cchFnNameToken(lpb, cb, ach));
}

FieldInfo FnInterpretField(uint32_t dwID, const uint8_t *lpb, size_t cb) {
    FieldInfo info;
    FnInterpretField(dwID, lpb, cb, &info);
    return info;
}

void FnInterpretField(uint32_t dwID, const uint8_t *lpb, size_t cb, FieldInfo *lpInfo) {
    FieldInfo &info = *lpInfo;
    info.triplets.clear();
    info.fonts.clear();
    info.sTagName.clear();
    info.sTagValue.clear();
    info.sComment.clear();
    info.fMalformed = false;
    const bool fInclude = dwID == dwIncludePageOverlay || dwID == dwIncludePageSegment ||
                          dwID == dwIncludeObject;
    if (fFnIsBegin(dwID) || fFnIsEnd(dwID) || fInclude)
        FnSetNameToken(lpb, cb, &info.sObjectName);
    else
        info.sObjectName.clear();
    if (!fFnInterpreted(dwID)) return;
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
}

uint32_t cbFnStreamFraming(const uint8_t (&ab)[8]) {
    if (ab[0] == 0x5A || ab[3] == 0xD3) return 0;
    if (ab[4] == 0x5A || ab[7] == 0xD3) return 4;
    return 2;
}

}  // namespace modca
