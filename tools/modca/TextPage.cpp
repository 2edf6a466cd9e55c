#include "TextPage.h"

#include <iconv.h>

#include <algorithm>

#include "FieldNames.h"
#include "Fields.h"

namespace modca {
namespace {

const char szReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// C0 and C1 controls and DEL, as UTF-8.
bool fFnControl(const std::string &s) {
    const auto b0 = static_cast<uint8_t>(s[0]);
    if (s.size() == 1) return b0 < 0x20 || b0 == 0x7F;
    return s.size() == 2 && b0 == 0xC2 && static_cast<uint8_t>(s[1]) < 0xA0;
}

// The inline units per 10 inches a text descriptor gives, or 0.
int32_t nFnUnitsPer10Inches(const uint8_t *lpb, size_t cb) {
    if (cb < 4) return 0;
    const int32_t n = (lpb[2] << 8) | lpb[3];
    if (lpb[0] == 0x00) return n;
    return lpb[0] == 0x01 ? n * 254 / 100 : 0;  // per 10 centimetres
}

bool fFnSpaceBetween(const PageRun &left, const PageRun &right) {
    if (left.sText.empty() || right.sText.empty() || left.sText.back() == ' ' ||
        right.sText.front() == ' ')
        return false;
    const int64_t xEnd =
        int64_t{left.run.x} + static_cast<int64_t>(left.cch) * left.run.cxChar;
    return 2 * (right.run.x - xEnd) > left.run.cxChar;
}

}  // namespace

std::string CodePages::sFnIconvName(const std::string &sCodePage) {
    if (sCodePage.compare(0, 2, "T1") != 0) return "";
    const size_t ib = sCodePage.compare(2, 2, "V1") == 0 ? 4 : 2;
    const std::string sDigits = sCodePage.substr(ib);
    if (sDigits.size() < 3 || sDigits.size() > 6 ||
        sDigits.find_first_not_of("0123456789") != std::string::npos)
        return "";
    const unsigned long n = std::stoul(sDigits);
    if (n == 0 || n > 9999) return "";
    std::string s = std::to_string(n);
    return "IBM" + std::string(s.size() < 3 ? 3 - s.size() : 0, '0') + s;
}

bool CodePages::fFnUtf8Table(const std::string &sIconvName, Table *lpTable) {
    iconv_t cd = iconv_open("UTF-8", sIconvName.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    for (int b = 0; b < 256; ++b) {
        char chIn = static_cast<char>(b), achOut[8];
        char *lpIn = &chIn, *lpOut = achOut;
        size_t cbIn = 1, cbOut = sizeof achOut;
        const bool fOk = iconv(cd, &lpIn, &cbIn, &lpOut, &cbOut) != size_t(-1) &&
                         cbOut < sizeof achOut;
        std::string s(achOut, sizeof achOut - cbOut);
        (*lpTable)[b] = fOk && !fFnControl(s) ? s : szReplacement;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return true;
}

const CodePages::Table &CodePages::TableFor(const std::string &sCodePage) {
    auto it = tables_.find(sCodePage);
    if (it != tables_.end()) return it->second;
    if (tables_.size() >= cMaxTables) tables_.clear();
    Table &table = tables_[sCodePage];
    const std::string sName = sFnIconvName(sCodePage);
    if ((sName.empty() || !fFnUtf8Table(sName, &table)) &&
        !fFnUtf8Table(sFallback_, &table))
        table.fill(szReplacement);
    return table;
}

std::string CodePages::sFnDecode(const std::string &sCodePage,
                                 const std::string &sBytes) {
    const Table &table = TableFor(sCodePage);
    std::string s;
    for (unsigned char b : sBytes) s += table[b];
    return s;
}

void TextPage::StartPage() {
    fonts_.clear();
    savedFonts_.clear();
    state_ = PtocaState();
    runs_.clear();
    cbText_ = 0;
    problems_.clear();
}

void TextPage::Feed(uint32_t dwID, const uint8_t *lpb, size_t cb) {
    problems_.clear();
    if (dwID == dwMapCodedFont) MapFonts(lpb, cb);
    if (dwID == dwBeginTextObject) state_.Reset();
    if (dwID == dwTextDescriptor || dwID == dwTextDescriptorFormat1) {
        const int32_t nUnits = nFnUnitsPer10Inches(lpb, cb);
        if (nUnits != 0) state_.SetUnits(nUnits);
    }
    if (dwID == dwBeginOverlay) savedFonts_ = fonts_;
    if (dwID == dwEndOverlay) fonts_ = savedFonts_;
    if (dwID == dwPresentationText) FeedText(lpb, cb);
}

void TextPage::MapFonts(const uint8_t *lpb, size_t cb) {
    for (const FontMapping &font : FnInterpretField(dwMapCodedFont, lpb, cb).fonts)
        if (font.nLocalId >= 0) fonts_[font.nLocalId] = font.sCodePage;
}

void TextPage::FeedText(const uint8_t *lpb, size_t cb) {
    PtocaReader reader(lpb, cb);
    ControlSequence cs;
    PageRun page;
    bool fCutNoted = false;  // once a field
    while (reader.fNext(&cs)) {
        const size_t cbRoom = cbMaxText > cbText_ ? cbMaxText - cbText_ : 0;
        const bool fText = state_.fApply(cs, &page.run, cbRoom);
        if (page.run.fCut && !fCutNoted) {
            problems_.emplace_back(reader.ibNext(),
                                   "repeated text cut at the page's bound of text kept");
            fCutNoted = true;
        }
        if (!fText || page.run.sBytes.empty()) continue;
        const auto it = fonts_.find(page.run.nFont);
        page.sText =
            codePages_.sFnDecode(it == fonts_.end() ? "" : it->second, page.run.sBytes);
        page.cch = page.run.sBytes.size();
        page.run.sBytes.clear();
        cbText_ += page.sText.size() + sizeof page;
        runs_.push_back(std::move(page));
        page = PageRun();
    }
    if (!reader.Problem().empty())
        problems_.emplace_back(reader.ibProblem(), reader.Problem());
}

std::vector<PageRun> TextPage::TakeRuns() {
    std::stable_sort(runs_.begin(), runs_.end(), [](const PageRun &a, const PageRun &b) {
        if (a.run.fRotated || b.run.fRotated) return !a.run.fRotated && b.run.fRotated;
        return a.run.y != b.run.y ? a.run.y < b.run.y : a.run.x < b.run.x;
    });
    std::vector<PageRun> runs;
    runs.swap(runs_);
    cbText_ = 0;
    return runs;
}

std::string TextPage::sFnLines(const std::vector<PageRun> &runs) {
    std::string s;
    const PageRun *lpPrevious = nullptr;
    for (const PageRun &page : runs) {
        const bool fSameLine = lpPrevious != nullptr && !lpPrevious->run.fRotated &&
                               !page.run.fRotated && lpPrevious->run.y == page.run.y;
        if (lpPrevious != nullptr && !fSameLine) s += '\n';
        if (fSameLine && fFnSpaceBetween(*lpPrevious, page)) s += ' ';
        s += page.sText;
        lpPrevious = &page;
    }
    return s.empty() ? s : s + '\n';
}

}  // namespace modca
