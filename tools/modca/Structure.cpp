#include "Structure.h"

#include <stdio.h>

#include "FieldNames.h"
#include "Fields.h"

namespace modca {
namespace {

std::string sFnDescribe(uint32_t dwID, std::string_view sName) {
    const FieldName &name = FnFieldName(dwID);
    std::string s = *name.szName ? name.szName : name.szAbbreviation;
    if (!sName.empty()) s.append(" ").append(sName);
    return s;
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
        char achName[cbNameToken];
        const std::string_view sName(achName, cchFnNameToken(lpbData, cbData, achName));
        return fFnIsBegin(dwID) ? nFnOpen(ibOffset, dwID, sName)
                                : nFnClose(ibOffset, dwID, sName);
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

size_t StructureTracker::nFnOpen(uint64_t ibOffset, uint32_t dwID,
                                 std::string_view sName) {
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
    open.cchName = sName.copy(open.achName, cbNameToken);
    if (bFnCategory(dwID) == bNamedPageGroup) {
        groupTags_.clear();
        nTagsLevel_ = nDepth;
    }
    if (bFnCategory(dwID) == bPage) StartPage(ibOffset, sName);
    return nDepth;
}

size_t StructureTracker::nFnClose(uint64_t ibOffset, uint32_t dwID,
                                  std::string_view sName) {
    if (cOverflow_ != 0) return cMaxDepth + --cOverflow_;
    size_t nLevel = cOpen_;
    while (nLevel > 0 && bFnCategory(aOpen_[nLevel - 1].dwID) != bFnCategory(dwID))
        --nLevel;
    if (nLevel == 0) {
        AddProblem(
            ibOffset, false, "stray-end",
            sFnDescribe(dwID, sName) + " closes nothing" +
                (cOpen_ == 0
                     ? ""
                     : " (innermost open: " + sFnDescribe(aOpen_[cOpen_ - 1].dwID, "") +
                           " at offset " + std::to_string(aOpen_[cOpen_ - 1].ibOffset) +
                           ")"));
        return Depth();
    }
    if (cOpen_ > nLevel) {
        const std::string sCloser = "before " + sFnDescribe(dwID, sName) + " at offset " +
                                    std::to_string(ibOffset);
        while (cOpen_ > nLevel) Pop(sCloser.c_str());
    }
    const Open &open = aOpen_[nLevel - 1];
    if (!sName.empty() && open.cchName != 0 && sName != open.sName())
        AddProblem(ibOffset, true, "name",
                   "End name " + std::string(sName) + " differs from Begin name " +
                       std::string(open.sName()) + " at offset " +
                       std::to_string(open.ibOffset));
    Pop(nullptr);
    return nLevel - 1;
}

// Closes the innermost open Begin; with szReason it was left open.
void StructureTracker::Pop(const char *szReason) {
    const Open &open = aOpen_[--cOpen_];
    if (szReason != nullptr)
        AddProblem(open.ibOffset, false, "unclosed",
                   sFnDescribe(open.dwID, open.sName()) + " is not closed " + szReason);
    if (bFnCategory(open.dwID) == bPage) fPageEnded_ = true;
    if (cOpen_ <= nTagsLevel_) {
        groupTags_.clear();
        nTagsLevel_ = cMaxDepth;
    }
}

void StructureTracker::StartPage(uint64_t ibOffset, std::string_view sName) {
    const uint64_t nPage = page_.nPage + 1;
    page_ = PageInfo();
    page_.nPage = nPage;
    page_.ibOffset = ibOffset;
    page_.sName = sName;
    fInPage_ = true;
    for (size_t i = cOpen_; i-- > 0;) {
        if (bFnCategory(aOpen_[i].dwID) != bNamedPageGroup) continue;
        page_.sGroup = aOpen_[i].sName();
        if (i == nTagsLevel_) page_.tags = groupTags_;
        break;
    }
}

void StructureTracker::AddProblem(uint64_t ibOffset, bool fWarning, const char *szCode,
                                  std::string sText) {
    problems_.push_back({ibOffset, fWarning, szCode, std::move(sText)});
}

}  // namespace modca
