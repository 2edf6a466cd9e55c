#include "Structure.h"

#include <stdio.h>
#include <string.h>

#include "FieldNames.h"
#include "Fields.h"

namespace modca {
namespace {

std::string sFnDescribe(uint32_t dwID, const std::string &sName) {
    const FieldName &name = FnFieldName(dwID);
    std::string s = *name.szName ? name.szName : name.szAbbreviation;
    return sName.empty() ? s : s + " " + sName;
}

std::string sFnHexId(uint32_t dwID) {
    char sz[8];
    snprintf(sz, sizeof sz, "%06X", dwID & 0xFFFFFF);
    return sz;
}

}  // namespace

size_t StructureTracker::Feed(uint64_t ibOffset, uint32_t dwID, const uint8_t *lpbData,
                              size_t cbData) {
    problems_.clear();
    if (fPageEnded_) fInPage_ = false;
    fPageEnded_ = false;
    if ((dwID >> 16) != 0xD3)
        AddProblem(ibOffset, false, "class",
                   "identifier " + sFnHexId(dwID) + " has a class byte other than D3");
    else if (!fFnKnownField(dwID))
        AddProblem(ibOffset, true, "unknown", "unknown identifier " + sFnHexId(dwID));
    if (fFnIsBegin(dwID) || fFnIsEnd(dwID)) {
        RawName name;
        name.fPresent = cbData >= cbNameToken;
        if (name.fPresent) memcpy(name.ab, lpbData, cbNameToken);
        return fFnIsBegin(dwID) ? nFnOpen(ibOffset, dwID, name)
                                : nFnClose(ibOffset, dwID, name);
    }
    if (dwID == dwTagLogicalElement && nTagsLevel_ + 1 == cOpen_ && cOverflow_ == 0 &&
        groupTags_.size() < cMaxTags) {
        FnInterpretField(dwID, lpbData, cbData, &tagInfo_);
        groupTags_.push_back({tagInfo_.sTagName, tagInfo_.sTagValue});
    }
    return Depth();
}

void StructureTracker::Finish() {
    problems_.clear();
    fPageEnded_ = false;
    if (cOverflow_ != 0)
        AddProblem(aOpen_[cMaxDepth - 1].ibOffset, false, "unclosed",
                   std::to_string(cOverflow_) + " Begins nested in it are not closed");
    cOverflow_ = 0;
    while (cOpen_ != 0) Pop("at the end of the stream");
}

bool StructureTracker::fInside(uint8_t bCategory) const {
    for (size_t i = 0; i < cOpen_; ++i)
        if (bFnCategory(aOpen_[i].dwID) == bCategory) return true;
    return false;
}

size_t StructureTracker::nFnOpen(uint64_t ibOffset, uint32_t dwID, const RawName &name) {
    const size_t nDepth = Depth();
    if (cOpen_ == cMaxDepth) {
        if (cOverflow_++ == 0)
            AddProblem(ibOffset, false, "too-deep",
                       "nesting deeper than " + std::to_string(cMaxDepth) +
                           " levels; the Ends of these Begins are not checked");
        return nDepth;
    }
    Open &open = aOpen_[cOpen_++];
    open.dwID = dwID;
    open.ibOffset = ibOffset;
    open.name = name;
    if (bFnCategory(dwID) == bNamedPageGroup) {
        groupTags_.clear();
        nTagsLevel_ = nDepth;
    }
    if (bFnCategory(dwID) == bPage) StartPage(ibOffset, name);
    return nDepth;
}

size_t StructureTracker::nFnClose(uint64_t ibOffset, uint32_t dwID, const RawName &name) {
    if (cOverflow_ != 0) return cMaxDepth + --cOverflow_;
    size_t nLevel = cOpen_;
    while (nLevel > 0 && bFnCategory(aOpen_[nLevel - 1].dwID) != bFnCategory(dwID))
        --nLevel;
    if (nLevel == 0) {
        AddProblem(
            ibOffset, false, "stray-end",
            sFnDescribe(dwID, name.sDecoded()) + " closes nothing" +
                (cOpen_ == 0
                     ? ""
                     : " (innermost open: " + sFnDescribe(aOpen_[cOpen_ - 1].dwID, "") +
                           " at offset " + std::to_string(aOpen_[cOpen_ - 1].ibOffset) +
                           ")"));
        return Depth();
    }
    if (cOpen_ > nLevel) {
        const std::string sCloser = "before " + sFnDescribe(dwID, name.sDecoded()) +
                                    " at offset " + std::to_string(ibOffset);
        while (cOpen_ > nLevel) Pop(sCloser.c_str());
    }
    const Open &open = aOpen_[nLevel - 1];
    // Equal tokens decode equally; others are compared as decoded.
    if (name.fPresent && open.name.fPresent &&
        memcmp(name.ab, open.name.ab, cbNameToken)) {
        const std::string sName = name.sDecoded(), sOpen = open.name.sDecoded();
        if (!sName.empty() && !sOpen.empty() && sName != sOpen)
            AddProblem(ibOffset, true, "name",
                       "End name " + sName + " differs from Begin name " + sOpen +
                           " at offset " + std::to_string(open.ibOffset));
    }
    Pop(nullptr);
    return nLevel - 1;
}

// Closes the innermost open Begin; with szReason it was left open.
void StructureTracker::Pop(const char *szReason) {
    const Open &open = aOpen_[--cOpen_];
    if (szReason != nullptr)
        AddProblem(
            open.ibOffset, false, "unclosed",
            sFnDescribe(open.dwID, open.name.sDecoded()) + " is not closed " + szReason);
    if (bFnCategory(open.dwID) == bPage) fPageEnded_ = true;
    if (cOpen_ <= nTagsLevel_) {
        groupTags_.clear();
        nTagsLevel_ = cMaxDepth;
    }
}

void StructureTracker::StartPage(uint64_t ibOffset, const RawName &name) {
    ++page_.nPage;  // the rest set anew over the last page's storage
    page_.ibOffset = ibOffset;
    pageName_ = name;
    groupName_.fPresent = false;
    page_.tags.clear();
    fInPage_ = true;
    fPageNamesDue_ = true;
    for (size_t i = cOpen_; i-- > 0;) {
        if (bFnCategory(aOpen_[i].dwID) != bNamedPageGroup) continue;
        groupName_ = aOpen_[i].name;
        if (i == nTagsLevel_) page_.tags = groupTags_;
        break;
    }
}

void StructureTracker::DecodePageNames() const {
    page_.sName = pageName_.sDecoded();
    page_.sGroup = groupName_.sDecoded();
    fPageNamesDue_ = false;
}

void StructureTracker::AddProblem(uint64_t ibOffset, bool fWarning, const char *szCode,
                                  std::string sText) {
    problems_.push_back({ibOffset, fWarning, szCode, std::move(sText)});
}

namespace {

// A page number: 1 to 18 decimal digits, not 0. Sets *lplpszEnd past them.
bool fFnPageNumber(const char *sz, uint64_t *lpn, const char **lplpszEnd) {
    uint64_t n = 0;
    size_t cDigits = 0;
    for (; sz[cDigits] >= '0' && sz[cDigits] <= '9'; ++cDigits) {
        if (cDigits == 18) return false;
        n = n * 10 + static_cast<uint64_t>(sz[cDigits] - '0');
    }
    *lpn = n;
    *lplpszEnd = sz + cDigits;
    return n != 0;
}

}  // namespace

bool fFnParsePageRange(const char *sz, uint64_t *lpnFirst, uint64_t *lpnLast) {
    const char *lpszEnd = nullptr;
    if (!fFnPageNumber(sz, lpnFirst, &lpszEnd)) return false;
    *lpnLast = *lpnFirst;
    if (*lpszEnd == '-' && !fFnPageNumber(lpszEnd + 1, lpnLast, &lpszEnd)) return false;
    return *lpszEnd == '\0' && *lpnFirst <= *lpnLast;
}

}  // namespace modca
