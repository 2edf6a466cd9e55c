#include "Corpus.h"

#include <string.h>

#include <algorithm>

namespace vokdsp_bench {

namespace {

// SplitMix64: a generator whose output is fixed by its seed on every platform,
// unlike the standard distributions.
class Random {
  public:
    explicit Random(uint64_t qwSeed) : qwState_(qwSeed) {}
    uint64_t qwNext() {
        uint64_t q = (qwState_ += 0x9E3779B97F4A7C15ull);
        q = (q ^ (q >> 30)) * 0xBF58476D1CE4E5B9ull;
        q = (q ^ (q >> 27)) * 0x94D049BB133111EBull;
        return q ^ (q >> 31);
    }
    // Uniform in [0, n).
    uint32_t dwBelow(uint32_t n) {
        return static_cast<uint32_t>(((qwNext() >> 32) * uint64_t{n}) >> 32);
    }
    uint32_t dwBetween(uint32_t dwLow, uint32_t dwHigh) {
        return dwLow + dwBelow(dwHigh - dwLow + 1);
    }
    void vFill(uint8_t *lpb, size_t cb) {
        while (cb != 0) {
            const uint64_t q = qwNext();
            const size_t cbRun = std::min(cb, sizeof q);
            memcpy(lpb, &q, cbRun);
            lpb += cbRun;
            cb -= cbRun;
        }
    }

  private:
    uint64_t qwState_;
};

constexpr uint64_t qwSfSeed = 0x766F6B5346u;
constexpr uint64_t qwLineSeed = 0x766F6B4C44u;

void vFnPut16(Bytes &ab, size_t w) {
    ab.push_back(static_cast<uint8_t>(w >> 8));
    ab.push_back(static_cast<uint8_t>(w));
}

void vFnPut24(Bytes &ab, uint32_t dw) {
    ab.push_back(static_cast<uint8_t>(dw >> 16));
    vFnPut16(ab, dw & 0xFFFF);
}

// ---- Structured fields -------------------------------------------------------

constexpr uint32_t dwBeginDocument = 0xD3A8A8;
constexpr uint32_t dwPresentationText = 0xD3EE9B;
constexpr uint32_t dwImagePicture = 0xD3EEFB;
constexpr uint32_t dwNoOperation = 0xD3EEEE;

// Page, object and environment fields: the short ones of a real document.
constexpr uint32_t adwShortIDs[] = {0xD3A8AF, 0xD3A9AF, 0xD3A89B, 0xD3A99B,
                                    0xD3A6AF, 0xD3A8C9, 0xD3A9C9, 0xD3A6BB,
                                    0xD3AC6B, 0xD3A66B, 0xD3EEEE, 0xD3AFD8};

struct SfPlan {
    uint32_t dwID;
    uint8_t cbExtension;  // E, counting its own byte; 0 without flag 0x80
    uint16_t cbData;
};

SfPlan FnNextField(Random &random, size_t nField) {
    if (nField == 0) return {dwBeginDocument, 0, 8};
    const uint32_t dwKind = random.dwBelow(1000);
    if (dwKind < 3) return {dwImagePicture, 0, 32768};  // a few 32 KiB image fields
    if (dwKind < 120) {
        const uint32_t dwID = random.dwBelow(2) ? dwPresentationText : dwImagePicture;
        return {dwID, 0, static_cast<uint16_t>(random.dwBetween(1024, 8192))};
    }
    const uint8_t cbExtension =
        random.dwBelow(50) == 0 ? static_cast<uint8_t>(random.dwBetween(1, 9)) : 0;
    const uint16_t cbData = static_cast<uint16_t>(random.dwBetween(1, 91 - cbExtension));
    return {adwShortIDs[random.dwBelow(std::size(adwShortIDs))], cbExtension, cbData};
}

// Framing, introducer, length, identifier, flags, sequence, extension, data.
void vFnAppendField(Bytes &ab, SfFraming framing, const SfPlan &plan, uint16_t wSeq,
                    Random &random) {
    const size_t cbField = 9 + plan.cbExtension + plan.cbData;
    if (framing == SfFraming::kRdw) {
        vFnPut16(ab, 4 + cbField);
        vFnPut16(ab, 0);
    } else if (framing == SfFraming::kPrefix) {
        vFnPut16(ab, cbField);
    }
    ab.push_back(0x5A);
    vFnPut16(ab, cbField - 1);
    vFnPut24(ab, plan.dwID);
    ab.push_back(plan.cbExtension != 0 ? 0x80 : 0);
    vFnPut16(ab, wSeq);
    if (plan.cbExtension != 0) ab.push_back(plan.cbExtension);
    const size_t ib = ab.size();
    ab.resize(ib + plan.cbExtension - (plan.cbExtension != 0) + plan.cbData);
    random.vFill(ab.data() + ib, ab.size() - ib);
}

// ---- Line data ----------------------------------------------------------------

constexpr size_t nLinesPerPage = 60;
constexpr size_t nFieldLine = 30;  // the page's embedded structured field
constexpr uint16_t cbLineText = 132;
constexpr uint16_t cbFixedRecord = 1 + cbLineText;        // carriage control, text
constexpr uint16_t cbVariableRecord = 4 + cbFixedRecord;  // and the RDW
constexpr size_t cbBlockMax = 27998;
constexpr uint8_t bFieldCC = 0x5A;

const char *const aszWords[] = {
    "ACCOUNT", "BALANCE", "TOTAL", "INVOICE", "DATE",    "AMOUNT",    "CUSTOMER",
    "NUMBER",  "DUE",     "PAID",  "CREDIT",  "DEBIT",   "REF",       "BRANCH",
    "0000123", "12.50",   "1,024", "99.95",   "2024-01", "STATEMENT", "OF",
    "THE",     "AND",     "FOR",   "-",       "*",       "PAGE",      "SUMMARY"};

struct Line {
    uint8_t bCC;
    Bytes abText;  // for bCC 0x5A: the field after its introducer
    bool fPageStart;
};

// The same print lines, one after another, for every layout.
class LineSequence {
  public:
    Line Next() {
        const size_t nOnPage = nLine_++ % nLinesPerPage;
        if (nOnPage == 0) return PageHeader();
        if (nOnPage == nFieldLine) return EmbeddedField();
        const uint32_t dwCC = random_.dwBelow(100);
        Line line{static_cast<uint8_t>(dwCC < 80   ? ' '
                                       : dwCC < 95 ? '0'
                                                   : '-'),
                  {},
                  false};
        if (random_.dwBelow(100) < 3) return line;  // an empty line
        const size_t cbWanted = random_.dwBetween(20, cbLineText);
        for (;;) {
            const char *lpsz = aszWords[random_.dwBelow(std::size(aszWords))];
            const size_t cbWord = strlen(lpsz);
            const size_t cbSpace = line.abText.empty() ? 0 : 1 + random_.dwBelow(3);
            if (line.abText.size() + cbSpace + cbWord > cbWanted) break;
            line.abText.insert(line.abText.end(), cbSpace, ' ');
            line.abText.insert(line.abText.end(), lpsz, lpsz + cbWord);
        }
        return line;
    }

  private:
    Line PageHeader() {
        const std::string s = "VOKDSP PRINT SERVICES            MONTHLY REPORT" +
                              std::string(40, ' ') + "PAGE " +
                              std::to_string(nLine_ / nLinesPerPage + 1);
        return {'1', Bytes(s.begin(), s.end()), true};
    }

    // A no-operation field with EBCDIC letters and blanks: neither its length
    // nor its sequence number nor its data holds a CR or an LF byte.
    Line EmbeddedField() {
        Bytes ab;
        const size_t cbData = random_.dwBetween(20, 60);
        vFnPut16(ab, 8 + cbData);
        vFnPut24(ab, dwNoOperation);
        ab.push_back(0);
        vFnPut16(ab, 1);
        for (size_t i = 0; i < cbData; ++i)
            ab.push_back(static_cast<uint8_t>(random_.dwBelow(4) ? 0xC1 + i % 9 : 0x40));
        return {bFieldCC, ab, false};
    }

    Random random_{qwLineSeed};
    size_t nLine_ = 0;
};

void vFnAppendFixed(Bytes &ab, const Line &line) {
    const uint8_t bPad = line.bCC == bFieldCC ? 0x40 : ' ';
    ab.push_back(line.bCC);
    ab.insert(ab.end(), line.abText.begin(), line.abText.end());
    ab.insert(ab.end(), cbLineText - line.abText.size(), bPad);
}

// RDW, carriage control, text.
void vFnAppendVariable(Bytes &ab, const Line &line) {
    vFnPut16(ab, 4 + 1 + line.abText.size());
    vFnPut16(ab, 0);
    ab.push_back(line.bCC);
    ab.insert(ab.end(), line.abText.begin(), line.abText.end());
}

void vFnFlushBlock(Bytes &ab, Bytes &abBlock) {
    if (abBlock.empty()) return;
    vFnPut16(ab, 4 + abBlock.size());
    vFnPut16(ab, 0);
    ab.insert(ab.end(), abBlock.begin(), abBlock.end());
    abBlock.clear();
}

// Appends one line; false when the layout has no place for it.
bool fFnAppendText(Bytes &ab, const Line &line, bool fFormFeeds) {
    if (fFormFeeds) {
        if (line.bCC == bFieldCC) return false;
        if (line.fPageStart) ab.push_back(0x0C);
    } else {
        ab.push_back(line.bCC);
    }
    ab.insert(ab.end(), line.abText.begin(), line.abText.end());
    ab.insert(ab.end(), {0x0D, 0x0A});
    return true;
}

}  // namespace

LineFormat FnLineFormat(LineLayout layout) {
    switch (layout) {
        case LineLayout::kFixed:
            return {0x0011, cbFixedRecord};
        case LineLayout::kVariable:
            return {0x0012, cbVariableRecord};
        case LineLayout::kBlocked:
            return {0x0016, cbVariableRecord};
        case LineLayout::kTextCC:
            return {0x0010, cbFixedRecord};
        case LineLayout::kTextFF:
            return {0x0080, cbFixedRecord};
    }
    return {0, 0};
}

const char *lpszFnName(SfFraming framing) {
    switch (framing) {
        case SfFraming::kPlain:
            return "sf-plain";
        case SfFraming::kRdw:
            return "sf-rdw";
        case SfFraming::kPrefix:
            return "sf-prefix";
    }
    return "";
}

const char *lpszFnName(LineLayout layout) {
    switch (layout) {
        case LineLayout::kFixed:
            return "fixed";
        case LineLayout::kVariable:
            return "variable";
        case LineLayout::kBlocked:
            return "blocked";
        case LineLayout::kTextCC:
            return "text-cc";
        case LineLayout::kTextFF:
            return "text-ff";
    }
    return "";
}

Corpus FnSfCorpus(SfFraming framing, size_t cbTarget) {
    Corpus corpus{lpszFnName(framing), {}, 0};
    corpus.ab.reserve(cbTarget + 65536);
    Random random(qwSfSeed);
    while (corpus.ab.size() < cbTarget) {
        const SfPlan plan = FnNextField(random, corpus.nRecords);
        vFnAppendField(corpus.ab, framing, plan, static_cast<uint16_t>(corpus.nRecords),
                       random);
        ++corpus.nRecords;
    }
    return corpus;
}

Corpus FnLineCorpus(LineLayout layout, size_t cbTarget) {
    Corpus corpus{lpszFnName(layout), {}, 0};
    corpus.ab.reserve(cbTarget + cbBlockMax);
    LineSequence lines;
    Bytes abBlock;
    while (corpus.ab.size() + abBlock.size() < cbTarget) {
        const Line line = lines.Next();
        switch (layout) {
            case LineLayout::kFixed:
                vFnAppendFixed(corpus.ab, line);
                break;
            case LineLayout::kVariable:
                vFnAppendVariable(corpus.ab, line);
                break;
            case LineLayout::kBlocked:
                if (abBlock.size() + 4 + 1 + line.abText.size() > cbBlockMax - 4)
                    vFnFlushBlock(corpus.ab, abBlock);
                vFnAppendVariable(abBlock, line);
                break;
            case LineLayout::kTextCC:
            case LineLayout::kTextFF:
                if (!fFnAppendText(corpus.ab, line, layout == LineLayout::kTextFF))
                    continue;
                break;
        }
        ++corpus.nRecords;
    }
    vFnFlushBlock(corpus.ab, abBlock);
    return corpus;
}

}  // namespace vokdsp_bench
