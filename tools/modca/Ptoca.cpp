#include "Ptoca.h"

#include <algorithm>

namespace modca {
namespace {

constexpr uint8_t abEscape[] = {0x2B, 0xD3};

// The first 2 parameter bytes as a number; -1 (unsigned) when they are missing.
int32_t nFnUnsigned(const ControlSequence &cs) {
    return cs.cbParams < 2 ? -1 : (cs.lpbParams[0] << 8) | cs.lpbParams[1];
}

int32_t nFnSigned(const ControlSequence &cs) {
    return static_cast<int16_t>(static_cast<uint16_t>(nFnUnsigned(cs)));
}

// Positions stay within +-2^30 however many moves and characters add up.
int32_t nFnClamped(int64_t n) {
    constexpr int64_t nLimit = int64_t{1} << 30;
    return static_cast<int32_t>(n < -nLimit ? -nLimit : n > nLimit ? nLimit : n);
}

}  // namespace

bool PtocaReader::fFail(size_t ib, std::string sWhat) {
    sProblem_ = std::move(sWhat);
    ibProblem_ = ib;
    ib_ = cb_;
    return false;
}

bool PtocaReader::fNext(ControlSequence *lpcs) {
    if (ib_ >= cb_) return false;
    const size_t ibStart = ib_;
    if (!fChained_) {
        if (cb_ - ib_ < 2 || lpb_[ib_] != abEscape[0] || lpb_[ib_ + 1] != abEscape[1])
            return fFail(ib_, "text data outside a control-sequence chain");
        ib_ += 2;
    }
    if (cb_ - ib_ < 2)
        return fFail(ibStart, "a control sequence cut off by the field's end");
    const size_t cbSequence = lpb_[ib_];
    if (cbSequence < 2) return fFail(ib_, "a control sequence with length under 2");
    if (cbSequence > cb_ - ib_)
        return fFail(ib_, "a control sequence of " + std::to_string(cbSequence) +
                              " bytes runs past the field's end");
    lpcs->bType = lpb_[ib_ + 1] & 0xFE;
    fChained_ = (lpb_[ib_ + 1] & 0x01) != 0;
    lpcs->lpbParams = lpb_ + ib_ + 2;
    lpcs->cbParams = cbSequence - 2;
    ib_ += cbSequence;
    return true;
}

void PtocaState::Reset() {
    x_ = y_ = xMargin_ = cyIncrement_ = cxSpace_ = 0;
    nFont_ = -1;
    fRotated_ = false;
}

// Moves the inline position past the text of *lpRun, by the estimate.
void PtocaState::Advance(TextRun *lpRun) {
    lpRun->x = x_;
    lpRun->y = y_;
    lpRun->nFont = nFont_;
    lpRun->cxChar = cxSpace_ > 0 ? 2 * cxSpace_ : cxDefault_;
    lpRun->fRotated = fRotated_;
    x_ = nFnClamped(x_ + static_cast<int64_t>(lpRun->sBytes.size()) * lpRun->cxChar);
}

bool PtocaState::fApply(const ControlSequence &cs, TextRun *lpRun, size_t cbRoom) {
    const int32_t n = nFnUnsigned(cs);
    lpRun->fCut = false;
    switch (cs.bType) {
        case bTransparentData:
            lpRun->sBytes.assign(reinterpret_cast<const char *>(cs.lpbParams),
                                 cs.cbParams);
            Advance(lpRun);
            return true;
        case bRepeatString: {
            lpRun->sBytes.clear();
            if (n < 0 || cs.cbParams == 2) return false;
            const size_t cb = std::min(size_t(n), cbRoom);
            lpRun->fCut = cb < size_t(n);
            const char *lpchPattern = reinterpret_cast<const char *>(cs.lpbParams + 2);
            const size_t cchPattern = cs.cbParams - 2;
            for (size_t ib = 0; ib < cb; ib += cchPattern)
                lpRun->sBytes.append(lpchPattern, std::min(cchPattern, cb - ib));
            Advance(lpRun);
            return cb > 0;
        }
        case bAbsoluteMoveInline:
            if (n >= 0) x_ = n;
            break;
        case bRelativeMoveInline:
            if (n >= 0) x_ = nFnClamped(int64_t{x_} + nFnSigned(cs));
            break;
        case bAbsoluteMoveBaseline:
            if (n >= 0) y_ = n;
            break;
        case bRelativeMoveBaseline:
            if (n >= 0) y_ = nFnClamped(int64_t{y_} + nFnSigned(cs));
            break;
        case bBeginLine:
            x_ = xMargin_;
            y_ = nFnClamped(int64_t{y_} + cyIncrement_);
            break;
        case bSetInlineMargin:
            if (n >= 0) xMargin_ = n;
            break;
        case bSetBaselineIncrement:
            if (n >= 0) cyIncrement_ = n;
            break;
        case bSetVariableSpace:
            if (n >= 0) cxSpace_ = n;
            break;
        case bSetCodedFontLocal:
            if (cs.cbParams >= 1) nFont_ = cs.lpbParams[0];
            break;
        case bSetTextOrientation:
            if (n >= 0) fRotated_ = n != 0;
            break;
        default:
            break;  // colours, rules, adjustments, no-operations: no text
    }
    return false;
}

}  // namespace modca
