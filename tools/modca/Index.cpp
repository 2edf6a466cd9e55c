#include "Index.h"

#include <algorithm>

#include "FieldNames.h"
#include "Fields.h"

namespace modca {
namespace {

bool fFnInPart(const StructureTracker &tracker) {
    return tracker.fInside(bNamedPageGroup) || tracker.fInside(bPage);
}

// Adds range to *lpRange, starting it anew unless it follows on.
void FnExtend(ByteRange *lpRange, const ByteRange &range) {
    if (lpRange->cb == 0 || lpRange->ibEnd() != range.ib)
        *lpRange = range;
    else
        lpRange->cb += range.cb;
}

// What the tracker must see: all but the fields of class D3 that neither nest
// nor tag, whose only trace there is a warning for an unknown identifier.
bool fFnForTracker(uint32_t dwID) {
    return (dwID >> 16) != 0xD3 || fFnIsBegin(dwID) || fFnIsEnd(dwID) ||
           dwID == dwTagLogicalElement;
}

}  // namespace

void StreamIndex::Feed(const IndexedField &field) {
    if (!fFnForTracker(field.dwID)) {
        // Nothing changes: in a part the trailer is empty already.
        if (!fInPart_) FnExtend(fSeenPart_ ? &trailer_ : &prologue_, field.range);
        return;
    }
    const bool fBefore = fInPart_;
    tracker_.Feed(field.range.ib, field.dwID, field.lpbData, field.cbData);
    // Without problems, only the Begin or End of a page or group opens or closes one.
    const uint8_t bCategory = bFnCategory(field.dwID);
    if (!tracker_.Problems().empty() || bCategory == bPage ||
        bCategory == bNamedPageGroup) {
        NoteProblems();
        fInPart_ = fFnInPart(tracker_);
    }
    if (fBefore || fInPart_) {
        if (!fSeenPart_) NotePrologueEnds();
        fSeenPart_ = true;
        trailer_ = ByteRange();
    } else {
        FnExtend(fSeenPart_ ? &trailer_ : &prologue_, field.range);
    }
}

// The field just fed began the first part: the Begins below it are the prologue's.
void StreamIndex::NotePrologueEnds() {
    const size_t cLevels = std::min(tracker_.Depth(), StructureTracker::cMaxDepth);
    for (size_t nLevel = cLevels - 1; nLevel-- > 0;)
        prologueEnds_.push_back(tracker_.OpenID(nLevel) | 0x000100);
}

void StreamIndex::Finish() {
    tracker_.Finish();
    NoteProblems();
}

void StreamIndex::NoteProblems() {
    for (const Problem &problem : tracker_.Problems())
        if (!problem.fWarning) SetDamage(problem.ibOffset, problem.sText);
}

void StreamIndex::SetDamage(uint64_t ib, const std::string &sText) {
    if (fDamaged_) return;
    fDamaged_ = true;
    ibDamage_ = ib;
    sDamage_ = sText;
}

void Splitter::Feed(const IndexedField &field) {
    if (fStopped_) return;
    if (!fFnForTracker(field.dwID)) return index_.Feed(field);
    if (fFnClosesHeld(field)) return;
    if (held_.fHeld || !fFnMayHold(field)) {
        FeedHeld();
        if (fStopped_) return;
        if (fFnMayHoldPage(field)) return HoldPage(field);
        if (!fFnMayHold(field)) return FeedTracked(field);
    }
    held_.Keep(field);
}

// In a named page group, a page whose Begins inside are each closed by the
// next field that nests, and other Begins in such a page, are pushed and
// popped again by their Ends without a problem (a name that differs is only a
// warning) and without a change the split looks at but the page's number. So
// they are held back from the tracker, and fed only when something else
// comes first. The splitter sees the page's Begin and End all the same.
bool Splitter::fFnMayHoldPage(const IndexedField &field) const {
    const StructureTracker &tracker = index_.Tracker();
    return field.dwID == dwBeginPage && index_.fInPart() &&
           (!tracker.fInPage() || tracker.fPageEnded()) &&
           tracker.Depth() < StructureTracker::cMaxDepth;
}

void Splitter::HoldPage(const IndexedField &field) {
    BeforeFeed(field);
    heldPage_.Keep(field);
    OnPageBegin(field, index_.cPages() + 1);
}

bool Splitter::fFnMayHold(const IndexedField &field) const {
    const StructureTracker &tracker = index_.Tracker();
    const uint8_t bCategory = bFnCategory(field.dwID);
    const bool fInPage = heldPage_.fHeld || (tracker.fInPage() && !tracker.fPageEnded());
    return fFnIsBegin(field.dwID) && bCategory != bPage && bCategory != bNamedPageGroup &&
           fInPage && tracker.Depth() + heldPage_.fHeld < StructureTracker::cMaxDepth &&
           (groups_.empty() || groups_.back().ibHeadEnd != 0);
}

// The End of what is held drops both; a held page's End ends the page.
bool Splitter::fFnClosesHeld(const IndexedField &field) {
    if (!fFnIsEnd(field.dwID)) return false;
    const uint8_t bCategory = bFnCategory(field.dwID);
    if (held_.fHeld) {
        if (bCategory != bFnCategory(held_.dwID)) return false;
        held_.fHeld = false;
        return true;
    }
    if (!heldPage_.fHeld || bCategory != bPage) return false;
    heldPage_.fHeld = false;
    index_.SkipPage();
    OnPageEnd(field);
    return true;
}

// Keeps what the tracker reads of a Begin: its name token.
void Splitter::Held::Keep(const IndexedField &field) {
    fHeld = true;
    dwID = field.dwID;
    range = field.range;
    cbData = std::min(field.cbData, cbNameToken);
    std::copy(field.lpbData, field.lpbData + cbData, abName);
}

IndexedField Splitter::Held::Field() const {
    IndexedField field;
    field.range = range;
    field.dwID = dwID;
    field.lpbData = abName;
    field.cbData = cbData;
    return field;
}

// What is held goes to the tracker after all, the page first.
void Splitter::FeedHeld() {
    const bool fPage = heldPage_.fHeld, fInner = held_.fHeld;
    heldPage_.fHeld = held_.fHeld = false;
    if (fPage) FeedTracked(heldPage_.Field());
    if (fInner && !fStopped_) FeedTracked(held_.Field());
}

void Splitter::FeedTracked(const IndexedField &field) {
    BeforeFeed(field);
    const size_t nDepth = index_.Tracker().Depth();
    index_.Feed(field);
    if (index_.fDamaged()) return Stop();
    const size_t nNewDepth = index_.Tracker().Depth();
    if (field.dwID == dwBeginNamedPageGroup && nNewDepth > nDepth &&
        nDepth < StructureTracker::cMaxDepth)
        OnGroupBegin(field, nDepth);
    if (field.dwID == dwBeginPage) OnPageBegin(field, index_.cPages());
    if (index_.Tracker().fPageEnded()) OnPageEnd(field);
    if (!groups_.empty() && groups_.back().nLevel >= nNewDepth) OnGroupEnd(field);
}

// A Begin inside a named page group ends the group's head; the first one in
// the outermost group fixes the tags it is chosen and named by.
void Splitter::BeforeFeed(const IndexedField &field) {
    if (groups_.empty()) return;
    const bool fBegin = fFnIsBegin(field.dwID);
    if (fBegin && groups_.back().ibHeadEnd == 0)
        groups_.back().ibHeadEnd = field.range.ib;
    if (groups_.size() == 1 && !fTagsTaken_ &&
        (fBegin || field.dwID == dwEndNamedPageGroup)) {
        groupTags_ = index_.Tracker().GroupTags();
        fTagsTaken_ = true;
    }
}

void Splitter::OnGroupBegin(const IndexedField &field, size_t nLevel) {
    groups_.push_back({nLevel, field.range.ib, 0, false});
    if (groups_.size() != 1 || !request_.fGroups) return;
    sGroupName_ = sFnNameToken(field.lpbData, field.cbData);
    fTagsTaken_ = false;
    nFirst_ = index_.cPages() + 1;
}

// The tracker closed the innermost group; without damage only its End does.
void Splitter::OnGroupEnd(const IndexedField &field) {
    const OpenGroup group = groups_.back();
    groups_.pop_back();
    if (!request_.fGroups && group.fWritten) sink_.Copy(field.range);
    if (request_.fGroups && groups_.empty() && fSelected()) {
        nLast_ = index_.cPages();
        if (nLast_ < nFirst_) nFirst_ = nLast_ = 0;  // a group without pages
        sink_.Open(sOutputName());
        sink_.Copy(index_.Prologue());
        sink_.Copy({group.ibBegin, field.range.ibEnd() - group.ibBegin});
        sink_.Close(nFirst_, nLast_);
        ++cOutputs_;
    }
}

void Splitter::OnPageBegin(const IndexedField &field, uint64_t nPage) {
    if (request_.fGroups || nPage < request_.nFirstPage || nPage > request_.nLastPage)
        return;
    ibPage_ = field.range.ib;
    fInSelectedPage_ = true;
}

// A page asked for is whole: it goes out with the heads of the groups it sits in.
void Splitter::OnPageEnd(const IndexedField &field) {
    if (!fInSelectedPage_) return;
    fInSelectedPage_ = false;
    nLast_ = index_.cPages();
    if (!fOpen_) {
        sink_.Open("");
        sink_.Copy(index_.Prologue());
        fOpen_ = true;
        nFirst_ = nLast_;
        ++cOutputs_;
    }
    for (OpenGroup &group : groups_) {
        if (group.fWritten) continue;
        sink_.Copy({group.ibBegin, group.ibHeadEnd - group.ibBegin});
        group.fWritten = true;
    }
    sink_.Copy({ibPage_, field.range.ibEnd() - ibPage_});
}

// Damage: the page being copied is left out and the groups written get Ends.
void Splitter::Stop() {
    fStopped_ = true;
    fInSelectedPage_ = false;
    if (!fOpen_) return;
    for (size_t i = groups_.size(); i-- > 0;)
        if (groups_[i].fWritten) sink_.WriteEnd(dwEndNamedPageGroup);
    sink_.Close(nFirst_, nLast_);
    fOpen_ = false;
}

void Splitter::Finish() {
    if (!fStopped_) FeedHeld();
    index_.Finish();
    if (index_.fDamaged()) return Stop();
    if (fOpen_) sink_.Close(nFirst_, nLast_);
    fOpen_ = false;
}

uint64_t Splitter::ibOldestWanted() const {
    const uint64_t ib = fInSelectedPage_ ? ibPage_ : UINT64_MAX;
    for (const OpenGroup &group : groups_)
        if (!group.fWritten) return std::min(ib, group.ibBegin);
    return ib;
}

bool Splitter::fSelected() const {
    if (!request_.sGroup.empty() && sGroupName_ != request_.sGroup) return false;
    if (request_.sTagName.empty()) return true;
    for (const Tag &tag : groupTags_)
        if (tag.sName == request_.sTagName && tag.sValue == request_.sTagValue)
            return true;
    return false;
}

std::string Splitter::sOutputName() const {
    if (!request_.sNameBy.empty())
        for (const Tag &tag : groupTags_)
            if (tag.sName == request_.sNameBy && !tag.sValue.empty()) return tag.sValue;
    return sGroupName_;
}

}  // namespace modca
