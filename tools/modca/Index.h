// Where the parts of a MO:DCA stream lie, for tools that copy parts of it out
// byte for byte, in one pass over its fields. StreamIndex finds the prologue
// (the leading resource group, the document's Begin and every document-level
// field before the first page or named page group), the trailer (the
// document-level fields after the last one) and the first damage; Splitter
// drives it and hands the ranges of the pages or named page groups asked for
// to a sink. Ranges are those of whole records, framing included. Memory is
// bounded whatever the stream: a few ranges and the open Begins (at most
// cMaxDepth). Damage ends the split: what was copied before it stays
// well-formed, the Ends it took made anew.
#ifndef VOKDSP_MODCA_INDEX_H
#define VOKDSP_MODCA_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "Structure.h"

namespace modca {

struct ByteRange {
    uint64_t ib = 0, cb = 0;
    uint64_t ibEnd() const { return ib + cb; }
};

// A field as an index pass meets it: its record's range and its data.
struct IndexedField {
    ByteRange range;
    uint32_t dwID = 0;
    const uint8_t *lpbData = nullptr;
    size_t cbData = 0;
};

class StreamIndex {
  public:
    void Feed(const IndexedField &field);
    // The stream ended (at the damage, if any).
    void Finish();
    // Damage the reader met; the first one found counts.
    void SetDamage(uint64_t ib, const std::string &sText);

    bool fDamaged() const { return fDamaged_; }
    uint64_t ibDamage() const { return ibDamage_; }
    const std::string &DamageText() const { return sDamage_; }
    const ByteRange &Prologue() const { return prologue_; }
    const ByteRange &Trailer() const { return trailer_; }
    // The Ends of the Begins the prologue leaves open, innermost first: what
    // closes an output in place of the trailer when the stream is damaged.
    const std::vector<uint32_t> &PrologueEnds() const { return prologueEnds_; }
    uint64_t cPages() const { return tracker_.Page().nPage + cPagesSkipped_; }
    // A page the tracker was not fed, whole and without a problem.
    void SkipPage() { ++cPagesSkipped_; }
    // In a page or named page group.
    bool fInPart() const { return fInPart_; }
    // It sees only the fields that nest or tag (and those of a foreign class),
    // less the pages and Begin/End pairs the splitter holds back.
    const StructureTracker &Tracker() const { return tracker_; }

  private:
    void NoteProblems();
    void NotePrologueEnds();

    StructureTracker tracker_;
    ByteRange prologue_, trailer_;
    std::vector<uint32_t> prologueEnds_;
    bool fInPart_ = false;    // in a page or named page group
    bool fSeenPart_ = false;  // a page or named page group has begun
    uint64_t cPagesSkipped_ = 0;
    bool fDamaged_ = false;
    uint64_t ibDamage_ = 0;
    std::string sDamage_;
};

struct SplitRequest {
    bool fGroups = false;  // one output per named page group, else one of pages
    uint64_t nFirstPage = 1, nLastPage = UINT64_MAX;
    std::string sGroup;               // only groups of this name
    std::string sTagName, sTagValue;  // only groups with this index tag
    std::string sNameBy;              // name outputs by this tag's value
};

// Where the Splitter's outputs go: Copy hands the ranges of one output in
// stream order, between Open and Close. The trailer is known only when the
// stream has ended: the sink adds the index's Trailer() to each output then,
// or, after damage, the Ends of PrologueEnds().
class SplitSink {
  public:
    virtual ~SplitSink() = default;
    // sName: the group's name or tag value; empty for pages.
    virtual void Open(const std::string &sName) = 0;
    virtual void Copy(const ByteRange &range) = 0;
    // An End field of dwID made anew, for a Begin whose End lies past damage.
    virtual void WriteEnd(uint32_t dwID) = 0;
    virtual void Close(uint64_t nFirstPage, uint64_t nLastPage) = 0;
};

// Outputs are well-formed: prologue, the pages asked for inside the Begin
// (with its index tags) and End of each named page group they sit in, and
// (added by the sink) trailer. With fGroups each outermost named page group is one
// output. Document-level fields between pages or groups are left out. The open
// named page groups are the tracker's: each remembers its level there.
class Splitter {
  public:
    Splitter(StreamIndex &index, const SplitRequest &request, SplitSink &sink)
        : index_(index), request_(request), sink_(sink) {}

    // Feeds the index too; after damage, nothing.
    void Feed(const IndexedField &field);
    void Finish();
    uint64_t cOutputs() const { return cOutputs_; }
    // The first byte a later Copy may ask for (UINT64_MAX: none is pending).
    uint64_t ibOldestWanted() const;

  private:
    struct OpenGroup {
        size_t nLevel = 0;  // in the tracker
        uint64_t ibBegin = 0,
                 ibHeadEnd = 0;  // Begin and tags, up to the first Begin in it
        bool fWritten = false;
    };

    bool fFnMayHoldPage(const IndexedField &field) const;
    void HoldPage(const IndexedField &field);
    bool fFnMayHold(const IndexedField &field) const;
    bool fFnClosesHeld(const IndexedField &field);
    void FeedHeld();
    void FeedTracked(const IndexedField &field);
    void BeforeFeed(const IndexedField &field);
    void OnGroupBegin(const IndexedField &field, size_t nLevel);
    void OnGroupEnd(const IndexedField &field);
    void OnPageBegin(const IndexedField &field, uint64_t nPage);
    void OnPageEnd(const IndexedField &field);
    void Stop();
    bool fSelected() const;
    std::string sOutputName() const;

    StreamIndex &index_;
    const SplitRequest &request_;
    SplitSink &sink_;
    // A Begin held back from the tracker until it is known whether its End
    // comes next (inside the page, if any, held too); then neither is fed.
    struct Held {
        bool fHeld = false;
        uint32_t dwID = 0;
        ByteRange range;
        uint8_t abName[cbNameToken] = {};
        size_t cbData = 0;
        void Keep(const IndexedField &field);
        IndexedField Field() const;
    } held_, heldPage_;
    std::vector<OpenGroup> groups_;  // at most cMaxDepth
    bool fStopped_ = false;          // by damage
    bool fOpen_ = false;             // an output is open (pages)
    bool fInSelectedPage_ = false;   // copy the page at its End
    uint64_t ibPage_ = 0, nFirst_ = 0, nLast_ = 0;
    // The outermost named page group (fGroups).
    std::string sGroupName_;
    std::vector<Tag> groupTags_;
    bool fTagsTaken_ = false;
    uint64_t cOutputs_ = 0;
};

}  // namespace modca

#endif
