// The common case of get-next: the next record lies whole in the buffer and
// is neither cut nor refused. It is decoded straight from the buffer in the
// same steps as the byte source path, with what the buffer shows known: the
// input is not exhausted, and no prefix byte or data byte needs a refill.
#ifndef VOKDSP_LINEDATA_BUFFEREDRECORD_H
#define VOKDSP_LINEDATA_BUFFEREDRECORD_H

#include <stdint.h>
#include <string.h>

#include "LineIO.h"
#include "Status.h"
#include "vok32100.h"

namespace vokdsp {

inline uint16_t cbFnBuffered(const LINEIO *lpio) {
    return lpio->cbBuffer - lpio->ibBuffer;
}

// The length of the descriptor at the read position when the buffer holds it
// and the whole record it describes, one that passes every check; else 0,
// and the byte source path decides.
inline uint16_t cbFnBufferedDescribed(const LINEIO *lpio, uint16_t cbLimit) {
    const uint16_t cbAvail = cbFnBuffered(lpio);
    if (cbAvail < cbDescriptor) return 0;
    const uint8_t *lpb = lpio->abBuffer + lpio->ibBuffer;
    const uint16_t cbLength = wFnBigEndian(lpb[0], lpb[1]);
    const bool fFits = cbLength >= cbDescriptor && cbLength <= cbLimit &&
                       cbLength <= lpio->cbMaxRecord && cbLength <= cbAvail;
    return fFits ? cbLength : 0;
}

// An embedded structured field: its introducer, already stored, then its bytes
// as they are.
__attribute__((noinline)) inline uint16_t cbFnDeliverBufferedField(LINEREC *lpRec,
                                                                   const uint8_t *lpb,
                                                                   uint16_t cbLeft) {
    memcpy(lpRec->abData + 1, lpb, cbLeft);
    lpRec->abData[cbLeft + 1] = 0;
    vFnStoreRecordHeader(lpRec, bStructuredField, 0, static_cast<uint16_t>(cbLeft + 1));
    return static_cast<uint16_t>(cbLeft + 1);
}

// The data, NULs as blanks, and the record header. fWide: compiled for
// 32-byte vectors, and the reader copies in them.
template <bool fWide>
inline uint16_t cbFnFinishBuffered(LINEREC *lpRec, const LINEIO *lpio, const uint8_t *lpb,
                                   uint16_t cbLeft, uint8_t bCC, uint8_t bTRC) {
    uint8_t *const lpbData = lpRec->abData;
#if defined(__SSE2__)
    if (fWide)
        vFnCopyWideVectorsNulsAsBlanks(lpbData, lpb, lpio->cWholeVectors, lpio->bBlank);
    else if (lpio->cWholeVectors != 0)
        vFnCopyWholeVectorsNulsAsBlanks(lpbData, lpb, lpio->cWholeVectors, lpio->bBlank);
    else
#endif
        vFnCopyNulsAsBlanks(lpbData, lpb, cbLeft, lpio->bBlank);
    if (cbLeft == 0) lpbData[cbLeft++] = lpio->bBlank;
    if (bCC == 0) bCC = lpio->bDefaultCC;
    lpbData[cbLeft] = 0;
    vFnStoreRecordHeader(lpRec, bCC, bTRC, cbLeft);
    return cbLeft;
}

#if defined(__SSE2__)
__attribute__((target("avx2"), flatten, noinline)) inline uint16_t cbFnFinishWideBuffered(
    LINEREC *lpRec, const LINEIO *lpio, const uint8_t *lpb, uint16_t cbLeft, uint8_t bCC,
    uint8_t bTRC) {
    return cbFnFinishBuffered<true>(lpRec, lpio, lpb, cbLeft, bCC, bTRC);
}
#else
inline uint16_t cbFnFinishWideBuffered(LINEREC *lpRec, const LINEIO *lpio,
                                       const uint8_t *lpb, uint16_t cbLeft, uint8_t bCC,
                                       uint8_t bTRC) {
    return cbFnFinishBuffered<false>(lpRec, lpio, lpb, cbLeft, bCC, bTRC);
}
#endif

// The record's cbLeft bytes at lpb after its descriptor, already taken:
// carriage control and TRC as the options select, then the data, NULs as
// blanks; completed as get-next completes every record.
__attribute__((always_inline)) inline uint16_t cbFnDeliverBuffered(LINEREC *lpRec,
                                                                   const LINEIO *lpio,
                                                                   const uint8_t *lpb,
                                                                   uint16_t cbLeft) {
    uint8_t bCC = 0;
    uint8_t bTRC = 0;
    if (cbFnTakePrefixBytes(bCC, bTRC, lpRec->abData, lpio, &cbLeft,
                            [&lpb] { return *lpb++; }) != 0)
        return cbFnDeliverBufferedField(lpRec, lpb, cbLeft);
    if (lpio->fWideVectors)
        return cbFnFinishWideBuffered(lpRec, lpio, lpb, cbLeft, bCC, bTRC);
    return cbFnFinishBuffered<false>(lpRec, lpio, lpb, cbLeft, bCC, bTRC);
}

// Takes the next record when it lies whole in the buffer and returns its
// bytes after the descriptor, *lpcbLeft of them; null, with nothing taken,
// for every other record. Due only while the buffer holds bytes and the
// reader has not failed. The caller delivers the record as its last step, so
// that no value of its own outlives a call.
__attribute__((always_inline)) inline const uint8_t *lpFnTakeBufferedRecord(
    LINEIO *lpio, uint16_t *lpcbLeft) {
    uint16_t cbInput;
    uint16_t cbDescriptorLength = cbDescriptor;
    // Tests rather than a jump table: one well-predicted branch each.
    const uint16_t wCode = lpio->wFormat & wFormatCodeMask;
    if (wCode == wFormatFixed || wCode == wFormatFixedAlt) {
        // Create guarantees cbMaxRecord covers the prefix, so the data fits the room.
        cbInput = lpio->cbMaxRecord;
        if (cbFnBuffered(lpio) < cbInput) return nullptr;
        cbDescriptorLength = 0;
    } else if (wCode == wFormatVariable) {
        cbInput = cbFnBufferedDescribed(lpio, UINT16_MAX);
        if (cbInput == 0) return nullptr;
    } else {  // blocked: create refused every other code, get-next takes text
        cbInput =
            lpio->cbBlockLeft != 0 ? cbFnBufferedDescribed(lpio, lpio->cbBlockLeft) : 0;
        if (cbInput == 0) return nullptr;
        lpio->cbBlockLeft -= cbInput;
    }
    const uint8_t *const lpb = lpio->abBuffer + lpio->ibBuffer + cbDescriptorLength;
    vFnTake(lpio, cbInput);
    lpio->cbRecord = cbInput;
    *lpcbLeft = cbInput - cbDescriptorLength;
    return lpb;
}

}  // namespace vokdsp

#endif
