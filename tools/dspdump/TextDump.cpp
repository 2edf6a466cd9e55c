#include "TextDump.h"

#include <stdio.h>

#include <string>
#include <vector>

#include "Structure.h"
#include "TextPage.h"

namespace dspdump {
namespace {

using modca::PageRun;

class TextReport : public Report {
  public:
    TextReport(const Options &options, const TextDecoder &text)
        : Report(text, options), page_(options.sCodepage) {}

    void Field(const FieldView &field) override;
    void Error(const ErrorView &error) override {
        Report::Error(error);
        if (options_.fJson) vFnPutJsonError(error);
    }
    int Finish(uint64_t cbRead) override {
        if (fPageOpen_) EndPage();
        return Report::Finish(cbRead);
    }

  private:
    bool fWanted() const {
        const uint64_t nPage = tracker_.Page().nPage;
        return options_.nFirstPage == 0 ||
               (nPage >= options_.nFirstPage && nPage <= options_.nLastPage);
    }
    void ReportProblems(const FieldView &field);
    void Print(const std::vector<PageRun> &runs);
    void EndPage();

    modca::StructureTracker tracker_;
    modca::TextPage page_;
    bool fPageOpen_ = false;   // a wanted page whose text is not all printed
    bool fPageShown_ = false;  // something of it was
    uint64_t nPagesShown_ = 0;
};

void TextReport::Field(const FieldView &field) {
    Report::Field(field);
    const uint64_t nPageBefore = tracker_.Page().nPage;
    tracker_.Feed(field.ibOffset, field.dwID, field.lpbData, field.cbData);
    if (!tracker_.fInPage() || !fWanted()) return;
    if (tracker_.Page().nPage != nPageBefore) {
        if (fPageOpen_) EndPage();
        page_.StartPage();
        fPageOpen_ = true;
        fPageShown_ = false;
    }
    page_.Feed(field.dwID, field.lpbData, field.cbData);
    ReportProblems(field);
    if (page_.fFull()) {
        if (!fPageShown_)
            Note(field.ibOffset, "page " + std::to_string(tracker_.Page().nPage) +
                                     " holds more text than is kept at once; each part "
                                     "is laid out on its own");
        Print(page_.TakeRuns());
    }
    if (tracker_.fPageEnded()) EndPage();
}

void TextReport::ReportProblems(const FieldView &field) {
    for (const auto &[ib, sText] : page_.Problems()) {
        ErrorView error;
        error.ibOffset = field.ibOffset;
        error.sMessage =
            "presentation text, data byte " + std::to_string(ib) + ": " + sText;
        Error(error);
    }
}

void TextReport::Print(const std::vector<PageRun> &runs) {
    const uint64_t nPage = tracker_.Page().nPage;
    if (!fPageShown_ && nPagesShown_ != 0 && !options_.fJson) putchar('\f');
    if (!fPageShown_) ++nPagesShown_;
    fPageShown_ = true;
    if (!options_.fJson) {
        fputs(modca::TextPage::sFnLines(runs).c_str(), stdout);
        return;
    }
    for (const PageRun &page : runs) {
        const std::string sFont =
            page.run.nFont < 0 ? "null" : std::to_string(page.run.nFont);
        printf("{\"page\":%s,\"x\":%d,\"y\":%d,\"font\":%s,\"text\":%s}\n",
               std::to_string(nPage).c_str(), page.run.x, page.run.y, sFont.c_str(),
               sFnJsonText(page.sText).c_str());
    }
}

void TextReport::EndPage() {
    Print(page_.TakeRuns());
    fPageOpen_ = false;
}

}  // namespace

bool fFnTextCodepageKnown(const Options &options) {
    return options.structure != Structure::Text ||
           modca::CodePages::fFnKnown(options.sCodepage);
}

std::unique_ptr<Report> FnMakeTextReport(const Options &options,
                                         const TextDecoder &text) {
    return std::make_unique<TextReport>(options, text);
}

}  // namespace dspdump
