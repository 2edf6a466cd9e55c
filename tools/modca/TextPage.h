// The text of one page: follows the fonts the page maps, the presentation
// text it holds (its own, and that of page segments and overlays inside it),
// decodes each run through its font's code page to UTF-8 and lays the runs
// out in reading order.
//
// Reading order: runs on one baseline form a line, lines go by baseline and
// runs in a line by inline position. Rotated text (orientation other than 0)
// follows the page's other lines, one line per run, in stream order. Two runs
// in a line are joined by a space when the second starts more than half an
// estimated character width past the estimated end of the first (see
// PtocaState) and neither has a blank at that end.
//
// Memory is bounded: once the runs kept reach cbMaxText bytes of text, fFull()
// says so; the caller takes them (laid out on their own) and the page goes on.
#ifndef VOKDSP_MODCA_TEXTPAGE_H
#define VOKDSP_MODCA_TEXTPAGE_H

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "Ptoca.h"

namespace modca {

// Single-byte code pages to UTF-8 through iconv. Bytes a code page does not
// map, and control characters, become U+FFFD.
class CodePages {
  public:
    // sFallback: the iconv name for fonts whose code page is not named or
    // cannot be mapped.
    explicit CodePages(std::string sFallback) : sFallback_(std::move(sFallback)) {}
    // The iconv name of a code page resource: T1V10500 -> IBM500, T1000273 ->
    // IBM273; empty when the name is not of that form.
    static std::string sFnIconvName(const std::string &sCodePage);
    using Table = std::array<std::string, 256>;
    // The UTF-8 of each byte in the single-byte code page iconv calls
    // sIconvName; false when iconv does not know it.
    static bool fFnUtf8Table(const std::string &sIconvName, Table *lpTable);
    static bool fFnKnown(const std::string &sIconvName) {
        Table table;
        return fFnUtf8Table(sIconvName, &table);
    }
    std::string sFnDecode(const std::string &sCodePage, const std::string &sBytes);

  private:
    const Table &TableFor(const std::string &sCodePage);

    static constexpr size_t cMaxTables = 16;
    std::string sFallback_;
    std::map<std::string, Table> tables_;  // by code page resource name
};

struct PageRun {
    TextRun run;        // where and in which font; run.sBytes is emptied
    std::string sText;  // UTF-8
    size_t cch = 0;     // characters, for the estimated width
};

class TextPage {
  public:
    static constexpr size_t cbMaxText = size_t{1} << 20;

    explicit TextPage(const std::string &sFallbackCodePage)
        : codePages_(sFallbackCodePage) {}
    // A new page: forgets the fonts and text of the last.
    void StartPage();
    // The next field of the page. Problems() then lists what its presentation
    // text got wrong (offset in the field's data and text).
    void Feed(uint32_t dwID, const uint8_t *lpb, size_t cb);
    const std::vector<std::pair<size_t, std::string>> &Problems() const {
        return problems_;
    }
    bool fFull() const { return cbText_ >= cbMaxText; }
    // The runs kept, in reading order; the page keeps its fonts and position.
    std::vector<PageRun> TakeRuns();
    // Runs in reading order as lines of text, each ending in a newline.
    static std::string sFnLines(const std::vector<PageRun> &runs);

  private:
    void MapFonts(const uint8_t *lpb, size_t cb);
    void FeedText(const uint8_t *lpb, size_t cb);

    CodePages codePages_;
    std::map<int, std::string> fonts_, savedFonts_;  // local id -> code page name
    PtocaState state_;
    std::vector<PageRun> runs_;  // in stream order
    size_t cbText_ = 0;
    std::vector<std::pair<size_t, std::string>> problems_;
};

}  // namespace modca

#endif
