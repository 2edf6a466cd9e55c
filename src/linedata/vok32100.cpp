// Record decoders of the line-data reader.
#include "vok32100.h"

namespace vokdsp {

namespace {

// Takes the carriage-control and TRC bytes that the option bits select, while
// the record (cbLeft bytes) has bytes for them. An embedded structured field
// keeps its introducer as the first data byte and has no TRC. Returns the
// number of data bytes this placed in abData (0 or 1).
uint16_t cbFnTakeRecordPrefix(LINEREC *lpRec, LINEIO *lpio, uint16_t *lpcbLeft,
                              uint32_t *lpdwStatus) {
    if (*lpcbLeft != 0 && fFnOption(lpio, wOptRecordCC)) {
        --*lpcbLeft;
        lpRec->bCC = GetByte(lpio, lpdwStatus);
    }
    if (lpRec->bCC == bStructuredField) {
        lpRec->abData[0] = bStructuredField;
        return 1;
    }
    if (*lpcbLeft != 0 && fFnOption(lpio, wOptTRC)) {
        --*lpcbLeft;
        lpRec->bTRC = GetByte(lpio, lpdwStatus) & 0x0F;
    }
    return 0;
}

}  // namespace

uint32_t cfnFixedRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    lpRec->bCC = 0;
    lpRec->bTRC = 0;
    if (!fFnRefillIfDue(lpio, lpdwStatus)) {
        lpio->cbRecord = 0;
        lpRec->abData[0] = 0;
        return 0;
    }
    const uint32_t cbStart = lpio->cbConsumed;
    uint16_t cbLeft = lpio->cbMaxRecord;
    const uint16_t cbLead = cbFnTakeRecordPrefix(lpRec, lpio, &cbLeft, lpdwStatus);
    // Create guarantees cbMaxRecord covers the prefix, so the data fits the
    // room; a record cut short by the end of input delivers what was read.
    const uint16_t cbCopied =
        cbFnCopyInput(lpio, lpRec->abData + cbLead, cbLeft, lpdwStatus);
    lpio->cbRecord = static_cast<uint16_t>(lpio->cbConsumed - cbStart);
    return uint32_t{cbLead} + cbCopied;
}

}  // namespace vokdsp
