// Presentation text (PTX data): control sequences and the text position they
// move. Takes the data bytes of one PTX field; every length is checked
// against the end of those bytes.
#ifndef VOKDSP_MODCA_PTOCA_H
#define VOKDSP_MODCA_PTOCA_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace modca {

// Control-sequence types, even (unchained) form; the odd form chains on.
constexpr uint8_t bSetInlineMargin = 0xC0;
constexpr uint8_t bSetVariableSpace = 0xC4;
constexpr uint8_t bAbsoluteMoveInline = 0xC6;
constexpr uint8_t bRelativeMoveInline = 0xC8;
constexpr uint8_t bSetBaselineIncrement = 0xD0;
constexpr uint8_t bAbsoluteMoveBaseline = 0xD2;
constexpr uint8_t bRelativeMoveBaseline = 0xD4;
constexpr uint8_t bBeginLine = 0xD8;
constexpr uint8_t bTransparentData = 0xDA;
constexpr uint8_t bRepeatString = 0xEE;
constexpr uint8_t bSetCodedFontLocal = 0xF0;
constexpr uint8_t bSetTextOrientation = 0xF6;

struct ControlSequence {
    uint8_t bType = 0;  // even form
    const uint8_t *lpbParams = nullptr;
    size_t cbParams = 0;
};

// Splits PTX data into control sequences: a chain starts with the escape
// 0x2BD3; each sequence is a length byte (counting itself and the type), a
// type byte and parameters; an odd type chains the next sequence on.
class PtocaReader {
  public:
    PtocaReader(const uint8_t *lpb, size_t cb) : lpb_(lpb), cb_(cb) {}
    // False at the end of the data or at a fault (see Problem()); nothing
    // past either is read.
    bool fNext(ControlSequence *lpcs);
    // Empty, or what stopped the reader; ibProblem() is its offset.
    const std::string &Problem() const { return sProblem_; }
    size_t ibProblem() const { return ibProblem_; }
    // The data byte after the last sequence read.
    size_t ibNext() const { return ib_; }

  private:
    bool fFail(size_t ib, std::string sWhat);

    const uint8_t *lpb_;
    size_t cb_;
    size_t ib_ = 0;
    bool fChained_ = false;
    std::string sProblem_;
    size_t ibProblem_ = 0;
};

// Text a sequence put on the page: its bytes are in the code page of the
// font nFont (a local id; -1 before any font change).
struct TextRun {
    int32_t x = 0, y = 0;  // inline and baseline position where it starts
    int nFont = -1;
    int32_t cxChar = 1;     // estimated character width (see PtocaState)
    bool fRotated = false;  // text orientation other than 0 degrees
    bool fCut = false;      // a Repeat String asked for more bytes than the room
    std::string sBytes;
};

// The position, font and spacing presentation text sets, from the start of
// a text object on. Without font metrics the inline position after text is
// estimated: each character takes twice the variable space increment (the
// font's space width, which producers set with each font; an average letter
// of a proportional font is about two spaces wide), or 1/12 inch before one.
class PtocaState {
  public:
    PtocaState() { Reset(); }
    // A text object starts: position, font and spacing back to their defaults.
    void Reset();
    // The units of the text that follows, per 10 inches (1440 per inch until set).
    void SetUnits(int32_t nPer10Inches) {
        cxDefault_ = nPer10Inches >= 120 ? nPer10Inches / 120 : 1;
    }
    // Applies cs; true when it put text, which *lpRun then holds. A Repeat
    // String's count comes from the data: it gives at most cbRoom bytes.
    bool fApply(const ControlSequence &cs, TextRun *lpRun, size_t cbRoom);

  private:
    void Advance(TextRun *lpRun);

    int32_t cxDefault_ = 120;
    int32_t x_ = 0, y_ = 0, xMargin_ = 0, cyIncrement_ = 0, cxSpace_ = 0;
    int nFont_ = -1;
    bool fRotated_ = false;
};

}  // namespace modca

#endif
