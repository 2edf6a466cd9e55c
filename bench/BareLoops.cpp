#include "BareLoops.h"

#include <string.h>

#include <algorithm>

namespace vokdsp_bench {

namespace {

constexpr size_t cbBlock = 4096;
constexpr size_t cbFixedRecord = 133;

size_t cbFnBig(const uint8_t *lpb) { return size_t{lpb[0]} << 8 | lpb[1]; }

// Bytes of the record at lpb, of which cbAvail are in the buffer; 0 when
// they do not tell its length yet.
size_t cbFnRecordAt(BareShape shape, const uint8_t *lpb, size_t cbAvail) {
    switch (shape) {
        case BareShape::kFixed:
            return cbFixedRecord;
        case BareShape::kRdw:
        case BareShape::kBlocked:
            return cbAvail >= 2 ? cbFnBig(lpb) : 0;
        case BareShape::kPrefixed:
            return cbAvail >= 2 ? cbFnBig(lpb) + 2 : 0;
        case BareShape::kField:
            return cbAvail >= 3 ? cbFnBig(lpb + 1) + 1 : 0;
        case BareShape::kLine:
            break;
    }
    const void *lpLf = memchr(lpb, '\n', cbAvail);
    return lpLf != nullptr ? static_cast<const uint8_t *>(lpLf) - lpb + 1 : 0;
}

// A record longer than the block that begins with it: the rest follows block
// by block through the buffer into the record area.
void vFnTakeLongRecord(const uint8_t *lpbRecordStart, size_t cb, size_t cbInBuffer,
                       uint8_t *lpbBuffer, uint8_t *lpbRecord) {
    memcpy(lpbRecord, lpbBuffer, cbInBuffer);
    for (size_t ib = cbInBuffer; ib < cb; ib += cbBlock) {
        const size_t cbPiece = std::min(cbBlock, cb - ib);
        memcpy(lpbBuffer, lpbRecordStart + ib, cbPiece);
        memcpy(lpbRecord + ib, lpbBuffer, cbPiece);
    }
}

}  // namespace

BareShape FnBareShape(SfFraming framing) {
    switch (framing) {
        case SfFraming::kRdw:
            return BareShape::kRdw;
        case SfFraming::kPrefix:
            return BareShape::kPrefixed;
        default:
            return BareShape::kField;
    }
}

BareShape FnBareShape(LineLayout layout) {
    switch (layout) {
        case LineLayout::kFixed:
            return BareShape::kFixed;
        case LineLayout::kVariable:
            return BareShape::kRdw;
        case LineLayout::kBlocked:
            return BareShape::kBlocked;
        default:
            return BareShape::kLine;
    }
}

size_t nFnBareRecords(const Corpus &corpus, BareShape shape, uint8_t *lpbBuffer,
                      uint8_t *lpbRecord, uint64_t *lpqwSink) {
    size_t n = 0;
    size_t cbBlockLeft = 0;  // kBlocked: bytes of the current block not yet taken
    for (size_t ibCorpus = 0; ibCorpus < corpus.ab.size();) {
        const size_t cbBuffer = std::min(cbBlock, corpus.ab.size() - ibCorpus);
        memcpy(lpbBuffer, corpus.ab.data() + ibCorpus, cbBuffer);
        size_t ib = 0;
        for (;;) {
            if (shape == BareShape::kBlocked && cbBlockLeft == 0) {
                if (cbBuffer - ib < 4) break;
                cbBlockLeft = cbFnBig(lpbBuffer + ib) - 4;
                ib += 4;
            }
            const size_t cb = cbFnRecordAt(shape, lpbBuffer + ib, cbBuffer - ib);
            if (cb == 0 || (cb > cbBuffer - ib && ib != 0)) break;
            if (cb > cbBuffer - ib)
                vFnTakeLongRecord(corpus.ab.data() + ibCorpus, cb, cbBuffer, lpbBuffer,
                                  lpbRecord);
            else
                memcpy(lpbRecord, lpbBuffer + ib, cb);
            *lpqwSink += cb + lpbRecord[0];
            ib += cb;
            if (shape == BareShape::kBlocked) cbBlockLeft -= cb;
            ++n;
            if (ib >= cbBuffer) break;
        }
        if (ib == 0) break;  // a length that cannot be told: not in these corpora
        ibCorpus += ib;
    }
    return n;
}

}  // namespace vokdsp_bench
