#include "Index.h"

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

}  // namespace

void StreamIndex::Feed(const IndexedField &field) {
    const bool fBefore = fFnInPart(tracker_);
    tracker_.Feed(field.range.ib, field.dwID, field.lpbData, field.cbData);
    NoteProblems();
    if (fBefore || fFnInPart(tracker_)) {
        fSeenPart_ = true;
        trailer_ = ByteRange();
    } else {
        FnExtend(fSeenPart_ ? &trailer_ : &prologue_, field.range);
    }
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
    BeforeFeed(field);
    index_.Feed(field);
    if (field.dwID == dwBeginNamedPageGroup) OnGroupBegin(field);
    if (field.dwID == dwBeginPage) OnPageBegin(field);
    if (index_.Tracker().fPageEnded() && fInSelectedPage_) {
        sink_.Copy({ibPage_, field.range.ibEnd() - ibPage_});
        fInSelectedPage_ = false;
    }
    if (field.dwID == dwEndNamedPageGroup) OnGroupEnd(field);
}

// A Begin inside a named page group ends the group's head; the first one in
// the outermost group fixes the tags it is chosen and named by.
void Splitter::BeforeFeed(const IndexedField &field) {
    if (groups_.empty() || cGroupsTooDeep_ != 0) return;
    const bool fBegin = fFnIsBegin(field.dwID);
    if (fBegin && groups_.back().ibHeadEnd == 0)
        groups_.back().ibHeadEnd = field.range.ib;
    if (groups_.size() == 1 && !fTagsTaken_ &&
        (fBegin || field.dwID == dwEndNamedPageGroup)) {
        groupTags_ = index_.Tracker().GroupTags();
        fTagsTaken_ = true;
    }
}

void Splitter::OnGroupBegin(const IndexedField &field) {
    if (groups_.size() == StructureTracker::cMaxDepth || cGroupsTooDeep_ != 0) {
        ++cGroupsTooDeep_;
        return;
    }
    groups_.push_back({field.range.ib, 0, false});
    if (groups_.size() != 1 || !request_.fGroups) return;
    sGroupName_ = sFnNameToken(field.lpbData, field.cbData);
    fTagsTaken_ = false;
    nFirst_ = index_.Tracker().Page().nPage + 1;
}

void Splitter::OnGroupEnd(const IndexedField &field) {
    if (cGroupsTooDeep_ != 0) {
        --cGroupsTooDeep_;
        return;
    }
    if (groups_.empty()) return;
    const OpenGroup group = groups_.back();
    groups_.pop_back();
    if (!request_.fGroups && group.fWritten) sink_.Copy(field.range);
    if (request_.fGroups && groups_.empty() && fSelected()) {
        nLast_ = index_.Tracker().Page().nPage;
        if (nLast_ < nFirst_) nFirst_ = nLast_ = 0;  // a group without pages
        sink_.Open(sOutputName());
        sink_.Copy(index_.Prologue());
        sink_.Copy({group.ibBegin, field.range.ibEnd() - group.ibBegin});
        sink_.Close(nFirst_, nLast_);
        ++cOutputs_;
    }
}

void Splitter::OnPageBegin(const IndexedField &field) {
    const uint64_t nPage = index_.Tracker().Page().nPage;
    if (request_.fGroups || nPage < request_.nFirstPage || nPage > request_.nLastPage)
        return;
    if (!fOpen_) {
        sink_.Open("");
        sink_.Copy(index_.Prologue());
        fOpen_ = true;
        nFirst_ = nPage;
        ++cOutputs_;
    }
    for (OpenGroup &group : groups_) {
        if (group.fWritten) continue;
        sink_.Copy({group.ibBegin, group.ibHeadEnd - group.ibBegin});
        group.fWritten = true;
    }
    nLast_ = nPage;
    ibPage_ = field.range.ib;
    fInSelectedPage_ = true;
}

void Splitter::Finish() {
    index_.Finish();
    if (!fOpen_) return;
    sink_.Close(nFirst_, nLast_);
    fOpen_ = false;
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
