#include "LineEnds.h"

#include "Options.h"

namespace dspdump {
namespace {

constexpr uint8_t bBackspace = 0x08;
constexpr uint8_t bLineFeed = 0x0A;
constexpr uint8_t bFormFeed = 0x0C;
constexpr uint8_t bCarriageReturn = 0x0D;
constexpr uint8_t bFirstPrintable = 0x20;
constexpr uint8_t bStructuredField = 0x5A;

}  // namespace

CrLfLines::CrLfLines(uint16_t wFormat, uint16_t cbMaxRecord) {
    cbLimit_ = cbMaxRecord + 1u < 0xFFFFu ? cbMaxRecord + 1u : 0xFFFFu;
    fFormFeeds_ = (wFormat & wOptFormFeed) != 0;
    if (fFormFeeds_) aControls_[cControls_++] = Position::FormFeed;
    if (wFormat & wOptTextCC) aControls_[cControls_++] = Position::CarriageControl;
    if (wFormat & wOptTRC) aControls_[cControls_++] = Position::TableReference;
    vFnStartLine();
}

unsigned CrLfLines::cbFnPresent(uint8_t b, uint8_t *lpbOut, unsigned *lpmInserted) {
    lpbOut_ = lpbOut;
    cbOut_ = 0;
    mInserted_ = 0;
    switch (phase_) {
        case Phase::AfterCR:
            if (b == bLineFeed) {
                vFnPut(b, false);
                vFnStartLine();
                break;
            }
            vFnPut(bLineFeed, true);
            vFnStartLine();
            vFnControl(b);
            break;
        case Phase::Control:
            vFnControl(b);
            break;
        case Phase::Text:
            vFnText(b);
            break;
        case Phase::FieldHigh:
            bFieldHigh_ = b;
            vFnPut(b, false);
            phase_ = Phase::FieldLow;
            break;
        case Phase::FieldLow: {
            const uint32_t cbField = (uint32_t{bFieldHigh_} << 8) | b;
            cbFieldLeft_ = cbField < 2 ? 0 : cbField - 2;  // the reader takes 2 at least
            vFnPut(b, false);
            phase_ = cbFieldLeft_ != 0 ? Phase::FieldData : Phase::FieldTail;
            break;
        }
        case Phase::FieldData:
            vFnPut(b, false);
            if (--cbFieldLeft_ == 0) phase_ = Phase::FieldTail;
            break;
        case Phase::FieldTail:
            if (b == bLineFeed || b == bCarriageReturn)
                vFnEndLine(b);
            else
                vFnPut(b, false);
            break;
    }
    *lpmInserted = mInserted_;
    return cbOut_;
}

void CrLfLines::vFnStartLine() {
    iControl_ = 0;
    cbText_ = 0;
    phase_ = cControls_ != 0 ? Phase::Control : Phase::Text;
}

void CrLfLines::vFnNextControl() {
    if (++iControl_ == cControls_) phase_ = Phase::Text;
}

// LF alone becomes CR LF; CR waits for the byte after it. Any other control
// byte that ends a line early passes as it is.
void CrLfLines::vFnEndLine(uint8_t b) {
    if (b == bLineFeed) {
        vFnPut(bCarriageReturn, true);
        vFnPut(b, false);
        vFnStartLine();
    } else if (b == bCarriageReturn) {
        vFnPut(b, false);
        phase_ = Phase::AfterCR;
    } else {
        vFnPut(b, false);
        phase_ = Phase::Text;
    }
}

// The same tests the reader makes at each control position.
void CrLfLines::vFnControl(uint8_t b) {
    if (phase_ == Phase::Text) return vFnText(b);
    switch (aControls_[iControl_]) {
        case Position::FormFeed:
            if (b != bFormFeed && b < bFirstPrintable && b != bBackspace)
                return vFnEndLine(b);
            if (b != bFormFeed) ++cbText_;  // a data byte
            break;
        case Position::CarriageControl:
            if (b == 0 || b == bLineFeed || b == bCarriageReturn) return vFnEndLine(b);
            if (b == bStructuredField) {
                vFnPut(b, false);
                phase_ = Phase::FieldHigh;
                return;
            }
            break;
        case Position::TableReference:
            if (b < bFirstPrintable) return vFnEndLine(b);
            break;
    }
    vFnPut(b, false);
    vFnNextControl();
}

void CrLfLines::vFnText(uint8_t b) {
    if (b == bLineFeed || b == bCarriageReturn) return vFnEndLine(b);
    if (fFormFeeds_ && b == bFormFeed) {  // opens the next line
        vFnStartLine();
        return vFnControl(b);
    }
    const bool fData = b >= bFirstPrintable || b == 0 || b == bBackspace;
    if (fData && cbText_ == cbLimit_) {  // where the reader cuts the line
        vFnPut(bCarriageReturn, true);
        vFnPut(bLineFeed, true);
        vFnStartLine();
        return vFnControl(b);
    }
    cbText_ += fData;
    vFnPut(b, false);
}

void CrLfLines::vFnPut(uint8_t b, bool fInserted) {
    if (fInserted) mInserted_ |= 1u << cbOut_;
    lpbOut_[cbOut_++] = b;
}

}  // namespace dspdump
