// Follows the nesting of Begin and End fields through a stream, numbers its
// pages and remembers the innermost named page group with its index tags.
// Memory is bounded whatever the stream: at most cMaxDepth open Begins are
// remembered; a Begin deeper than that is reported once as a problem and only
// counted, so its End closes it without being checked.
#ifndef VOKDSP_MODCA_STRUCTURE_H
#define VOKDSP_MODCA_STRUCTURE_H

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <string>
#include <vector>

#include "Fields.h"

namespace modca {

struct Problem {
    uint64_t ibOffset = 0;  // the field at fault
    bool fWarning = false;  // the stream is still well-formed
    const char *szCode = "";
    std::string sText;
};

struct Tag {
    std::string sName, sValue;
};

struct PageInfo {
    uint64_t nPage = 0;     // from 1; 0 before the first page
    uint64_t ibOffset = 0;  // of its Begin Page
    std::string sName;
    std::string sGroup;     // innermost named page group, empty outside one
    std::vector<Tag> tags;  // that group's index tags, the first cMaxTags
};

class StructureTracker {
  public:
    static constexpr size_t cMaxDepth = 64;
    static constexpr size_t cMaxTags = 32;

    // Takes the next field; returns the depth to show it at: a Begin and its
    // End share one, what stands between them is one deeper.
    size_t Feed(uint64_t ibOffset, uint32_t dwID, const uint8_t *lpbData, size_t cbData);
    // The stream ended: every Begin still open is a problem.
    void Finish();

    // What the last Feed or Finish found.
    const std::vector<Problem> &Problems() const { return problems_; }
    // The last field fed belongs to a page (its Begin through its End, or
    // what closed it otherwise).
    bool fInPage() const { return fInPage_; }
    bool fPageEnded() const { return fPageEnded_; }
    const PageInfo &Page() const {
        if (fPageNamesDue_) DecodePageNames();
        return page_;
    }
    // The index tags met so far directly in the innermost named page group.
    const std::vector<Tag> &GroupTags() const { return groupTags_; }
    size_t Depth() const { return cOpen_ + cOverflow_; }
    // The identifier of the Begin open at nLevel (from 0, below Depth() and cMaxDepth).
    uint32_t OpenID(size_t nLevel) const { return aOpen_[nLevel].dwID; }
    // A Begin of category bCategory is open.
    bool fInside(uint8_t bCategory) const;

  private:
    // A Begin or End name token as the data holds it: decoded only to be
    // shown, or when two differ.
    struct RawName {
        uint8_t ab[cbNameToken];
        bool fPresent;  // the data holds a whole token
        std::string sDecoded() const {
            return fPresent ? sFnNameToken(ab, cbNameToken) : "";
        }
    };
    struct Open {
        uint32_t dwID;
        uint64_t ibOffset;
        RawName name;
    };

    size_t nFnOpen(uint64_t ibOffset, uint32_t dwID, const RawName &name);
    size_t nFnClose(uint64_t ibOffset, uint32_t dwID, const RawName &name);
    void Pop(const char *szReason);
    void StartPage(uint64_t ibOffset, const RawName &name);
    void DecodePageNames() const;
    void AddProblem(uint64_t ibOffset, bool fWarning, const char *szCode,
                    std::string sText);

    std::array<Open, cMaxDepth> aOpen_;
    size_t cOpen_ = 0;
    uint64_t cOverflow_ = 0;  // Begins past cMaxDepth not yet closed
    std::vector<Problem> problems_;
    // The page's names are decoded when first asked for: most pages are
    // never shown by name.
    mutable PageInfo page_;
    mutable bool fPageNamesDue_ = false;
    RawName pageName_{}, groupName_{};
    bool fInPage_ = false;
    bool fPageEnded_ = false;
    std::vector<Tag> groupTags_;
    FieldInfo tagInfo_;              // of the last index tag kept, its storage reused
    size_t nTagsLevel_ = cMaxDepth;  // level of the group groupTags_ belong to
};

// A page range as the tools take it, "N" or "N-M": decimal page numbers
// counted from 1, N <= M. False for anything else.
bool fFnParsePageRange(const char *sz, uint64_t *lpnFirst, uint64_t *lpnLast);

}  // namespace modca

#endif
