#include "StructureDump.h"

#include <inttypes.h>
#include <stdio.h>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "FieldNames.h"
#include "Fields.h"
#include "Structure.h"

namespace dspdump {
namespace {

using modca::FieldInfo;
using modca::StructureTracker;

uint32_t cbFnRecord(const FieldView &field) {
    return field.cbRecord != 0 ? field.cbRecord : field.cbLength;
}

// --resources: what the fields use and what the resource groups define.
class ResourceTally {
  public:
    void Note(const FieldView &field, const StructureTracker &tracker);
    void Print(bool fJson) const;

  private:
    struct Use {
        uint64_t nPages = 0;
        uint64_t nLastPage = 0;
        modca::FontMapping font;
    };
    using Key = std::pair<std::string, std::string>;  // kind, name

    Use &Count(const char *szKind, const std::string &sName,
               const StructureTracker &tracker);
    void CountFqns(const char *szKind, const FieldInfo &info,
                   const StructureTracker &tracker);
    bool fDefined(const Key &key, const Use &use) const;
    static void PrintLine(bool fJson, const Key &key, bool fDefined, const Use &use);

    std::map<Key, Use> uses_;
    std::map<std::string, std::string> defined_;  // name, kind
};

ResourceTally::Use &ResourceTally::Count(const char *szKind, const std::string &sName,
                                         const StructureTracker &tracker) {
    Use &use = uses_[{szKind, sName}];
    const uint64_t nPage = tracker.Page().nPage;
    if (tracker.fInPage() && use.nLastPage != nPage) {
        ++use.nPages;
        use.nLastPage = nPage;
    }
    return use;
}

void ResourceTally::CountFqns(const char *szKind, const FieldInfo &info,
                              const StructureTracker &tracker) {
    for (const modca::Triplet &t : info.triplets)
        if (t.bId == modca::bFullyQualifiedName && !t.sValue.empty() &&
            (t.nType == modca::nFqnResourceReference ||
             t.nType == modca::nFqnObjectInternal ||
             t.nType == modca::nFqnObjectExternal))
            Count(szKind, t.sValue, tracker);
}

const char *szFnDefinedKind(uint8_t bCategory) {
    switch (bCategory) {
        case 0xDF:
            return "overlay";
        case 0x5F:
            return "segment";
        case 0x8A:
        case 0x89:
            return "font";
        case modca::bResource:
            return "resource";
        default:
            return "object";
    }
}

void ResourceTally::Note(const FieldView &field, const StructureTracker &tracker) {
    const FieldInfo info =
        modca::FnInterpretField(field.dwID, field.lpbData, field.cbData);
    const uint8_t bCategory = modca::bFnCategory(field.dwID);
    if (field.dwID == modca::dwMapCodedFont) {
        for (const modca::FontMapping &font : info.fonts) {
            const std::string sName = !font.sCodedFont.empty()
                                          ? font.sCodedFont
                                          : font.sCharacterSet + " " + font.sCodePage;
            Count("font", sName, tracker).font = font;
        }
    } else if (field.dwID == modca::dwIncludePageOverlay) {
        Count("overlay", info.sObjectName, tracker);
    } else if (field.dwID == modca::dwMapPageOverlay) {
        CountFqns("overlay", info, tracker);
    } else if (field.dwID == modca::dwIncludePageSegment) {
        Count("segment", info.sObjectName, tracker);
    } else if (field.dwID == modca::dwIncludeObject) {
        Count("object", info.sObjectName, tracker);
    } else if (field.dwID == modca::dwMapDataResource) {
        CountFqns("object", info, tracker);
    } else if (modca::fFnIsBegin(field.dwID) && tracker.fInside(modca::bResourceGroup) &&
               bCategory != modca::bResourceGroup &&
               (bCategory == modca::bResource || !tracker.fInside(modca::bResource)) &&
               !info.sObjectName.empty()) {
        defined_.emplace(info.sObjectName, szFnDefinedKind(bCategory));
    }
}

bool ResourceTally::fDefined(const Key &key, const Use &use) const {
    return defined_.count(key.second) != 0 || defined_.count(use.font.sCharacterSet) != 0;
}

void ResourceTally::PrintLine(bool fJson, const Key &key, bool fDefined, const Use &use) {
    if (!fJson) {
        printf("%-8s %-24s %-7s %6" PRIu64 "\n", key.first.c_str(), key.second.c_str(),
               fDefined ? "yes" : "no", use.nPages);
        return;
    }
    std::string s =
        "{\"kind\":" + sFnJsonText(key.first) + ",\"name\":" + sFnJsonText(key.second);
    if (key.first == "font" && use.font.sCodedFont.empty())
        s += ",\"characterSet\":" + sFnJsonText(use.font.sCharacterSet) +
             ",\"codePage\":" + sFnJsonText(use.font.sCodePage);
    s += std::string(",\"defined\":") + (fDefined ? "true" : "false") +
         ",\"pages\":" + std::to_string(use.nPages) + "}";
    puts(s.c_str());
}

void ResourceTally::Print(bool fJson) const {
    if (!fJson) printf("%-8s %-24s %-7s %6s\n", "kind", "name", "defined", "pages");
    for (const auto &[key, use] : uses_) PrintLine(fJson, key, fDefined(key, use), use);
    for (const auto &[sName, sKind] : defined_) {
        bool fUsed = false;
        for (const auto &entry : uses_) fUsed = fUsed || entry.first.second == sName;
        if (!fUsed) PrintLine(fJson, {sKind, sName}, true, Use());
    }
}

class StructureReport : public Report {
  public:
    StructureReport(const Options &options, std::unique_ptr<Report> inner,
                    const TextDecoder &text)
        : Report(text, options),
          inner_(std::move(inner)),
          fTracking_(options.structure != Structure::None || options.nFirstPage != 0) {
        if (options.nFirstPage != 0) saved_.resize(StructureTracker::cMaxDepth);
    }

    void SetInput(const std::string &sName,
                  std::function<void()> vfnBeforeMessage) override {
        Report::SetInput(sName, vfnBeforeMessage);
        inner_->SetInput(sName, vfnBeforeMessage);
    }
    void FlushOutput() override {
        inner_->FlushOutput();
        Report::FlushOutput();
    }
    void Field(const FieldView &field) override;
    void Error(const ErrorView &error) override {
        ++nProblems_;
        inner_->Error(error);
    }
    int Finish(uint64_t cbRead) override;

  private:
    struct SavedBegin {
        FieldView field;
        std::vector<uint8_t> data;
        bool fListed = false;
    };

    bool fJson() const { return options_.fJson; }
    bool fWantedPage(uint64_t nPage) const {
        return options_.nFirstPage == 0 ||
               (nPage >= options_.nFirstPage && nPage <= options_.nLastPage);
    }
    void ReportProblems();
    void Warning(uint64_t ibOffset, const std::string &sMessage);
    void PrintPage(uint64_t ibEnd);
    void ListField(const FieldView &field, size_t nDepth);
    bool fMatches(const FieldView &field) const;
    void Show(const FieldView &field, size_t nDepth);

    std::unique_ptr<Report> inner_;
    // A listing narrowed by --type or --offset alone shows no depth, page or
    // problem: it needs no tracker.
    const bool fTracking_;
    StructureTracker tracker_;
    ResourceTally resources_;
    std::vector<SavedBegin> saved_;  // --page: the open Begins by depth
    uint64_t nPagesShown_ = 0;
    uint64_t nProblems_ = 0, nWarnings_ = 0;
    NotesMaker notes_;  // for the fields Show lists
};

void StructureReport::Field(const FieldView &field) {
    Report::Field(field);
    const size_t nDepth = fTracking_ ? tracker_.Feed(field.ibOffset, field.dwID,
                                                     field.lpbData, field.cbData)
                                     : 0;
    switch (options_.structure) {
        case Structure::Check:
            ReportProblems();
            break;
        case Structure::Pages:
            if (tracker_.fPageEnded()) PrintPage(field.ibOffset + cbFnRecord(field));
            break;
        case Structure::Resources:
            resources_.Note(field, tracker_);
            break;
        default:
            ListField(field, nDepth);
    }
}

// Warnings leave the exit status alone; --json also lists them.
void StructureReport::Warning(uint64_t ibOffset, const std::string &sMessage) {
    ++nWarnings_;
    FlushOutput();
    if (fJson())
        printf("{\"warning\":%s,\"offset\":%" PRIu64 "}\n", sFnJsonText(sMessage).c_str(),
               ibOffset);
    inner_->Note(ibOffset, "warning: " + sMessage);
}

int StructureReport::Finish(uint64_t cbRead) {
    FlushOutput();
    tracker_.Finish();
    if (options_.structure == Structure::Check) {
        ReportProblems();
        if (fJson())
            printf("{\"fields\":%" PRIu64 ",\"pages\":%" PRIu64 ",\"errors\":%" PRIu64
                   ",\"warnings\":%" PRIu64 "}\n",
                   nFields_, tracker_.Page().nPage, nProblems_, nWarnings_);
        else
            printf("%s: %" PRIu64 " fields, %" PRIu64 " pages, %" PRIu64
                   " errors, %" PRIu64 " warnings\n",
                   nProblems_ == 0 ? "well-formed" : "not well-formed", nFields_,
                   tracker_.Page().nPage, nProblems_, nWarnings_);
    }
    if (options_.structure == Structure::Pages && tracker_.fPageEnded())
        PrintPage(cbRead);
    if (options_.structure == Structure::Resources) resources_.Print(fJson());
    return inner_->Finish(cbRead);
}

void StructureReport::ReportProblems() {
    for (const modca::Problem &problem : tracker_.Problems()) {
        if (problem.fWarning) {
            Warning(problem.ibOffset, problem.sText);
            continue;
        }
        ErrorView error;
        error.ibOffset = problem.ibOffset;
        error.sMessage = problem.sText;
        Error(error);
    }
}

void StructureReport::PrintPage(uint64_t ibEnd) {
    const modca::PageInfo &page = tracker_.Page();
    if (!fWantedPage(page.nPage)) return;
    const uint64_t cbPage = ibEnd - page.ibOffset;
    if (fJson()) {
        std::string s = "{\"page\":" + std::to_string(page.nPage) +
                        ",\"offset\":" + std::to_string(page.ibOffset) +
                        ",\"length\":" + std::to_string(cbPage) +
                        ",\"name\":" + sFnJsonText(page.sName) +
                        ",\"group\":" + sFnJsonText(page.sGroup);
        if (!page.tags.empty()) {
            s += ",\"tags\":[";
            for (const modca::Tag &tag : page.tags)
                s += std::string(s.back() == '[' ? "" : ",") +
                     "{\"name\":" + sFnJsonText(tag.sName) +
                     ",\"value\":" + sFnJsonText(tag.sValue) + "}";
            s += "]";
        }
        puts((s + "}").c_str());
        return;
    }
    if (nPagesShown_++ == 0)
        printf("%6s  %-12s %8s  %-8s  %-8s  %s\n", "page",
               options_.fHex ? "offset(hex)" : "offset(dec)", "length", "name", "group",
               "tags");
    char szHead[128];
    snprintf(szHead, sizeof szHead, "%6" PRIu64 "  %s %8" PRIu64 "  %-8s  %-8s",
             page.nPage, sFnOffset(page.ibOffset).c_str(), cbPage, page.sName.c_str(),
             page.sGroup.c_str());
    std::string sLine = std::string(szHead) + " ";
    for (const modca::Tag &tag : page.tags) sLine += " " + tag.sName + "=" + tag.sValue;
    while (sLine.back() == ' ') sLine.pop_back();
    puts(sLine.c_str());
}

bool StructureReport::fMatches(const FieldView &field) const {
    if (options_.fOffset && (options_.ibFind < field.ibOffset ||
                             options_.ibFind - field.ibOffset >= cbFnRecord(field)))
        return false;
    if (options_.typeIds.empty()) return true;
    for (uint32_t dwID : options_.typeIds)
        if (dwID == field.dwID) return true;
    return false;
}

// --page lists a page's enclosing Begins before its first field and their
// Ends when they come, so the listing stays nested.
void StructureReport::ListField(const FieldView &field, size_t nDepth) {
    bool fShow = fMatches(field);
    if (!saved_.empty()) {
        const bool fSaved = nDepth < saved_.size();
        if (modca::fFnIsBegin(field.dwID) && fSaved) {
            SavedBegin &saved = saved_[nDepth];
            saved.data.assign(field.lpbData, field.lpbData + field.cbData);
            saved.field = field;
            saved.fListed = false;
        }
        const bool fClosesListed =
            modca::fFnIsEnd(field.dwID) && fSaved && saved_[nDepth].fListed;
        fShow = (fShow && tracker_.fInPage() && fWantedPage(tracker_.Page().nPage)) ||
                fClosesListed;
        if (fClosesListed) saved_[nDepth].fListed = false;
        for (size_t i = 0; fShow && !fClosesListed && i < nDepth && i < saved_.size();
             ++i) {
            if (saved_[i].fListed) continue;
            saved_[i].field.lpbData = saved_[i].data.data();
            Show(saved_[i].field, i);
            saved_[i].fListed = true;
        }
        if (fShow && modca::fFnIsBegin(field.dwID) && fSaved)
            saved_[nDepth].fListed = true;
    }
    if (fShow) Show(field, nDepth);
}

void StructureReport::Show(const FieldView &field, size_t nDepth) {
    const FieldNotes notes =
        notes_.Make(field.dwID, field.lpbData, field.cbData,
                    options_.structure == Structure::Tree ? int(nDepth) : -1);
    FieldView view = field;
    view.lpNotes = &notes;
    inner_->Field(view);
}

}  // namespace

std::unique_ptr<Report> FnMakeStructureReport(const Options &options,
                                              std::unique_ptr<Report> inner,
                                              const TextDecoder &text) {
    if (options.fStats || fFnReportMakesNotes(options)) return inner;
    return std::make_unique<StructureReport>(options, std::move(inner), text);
}

}  // namespace dspdump
