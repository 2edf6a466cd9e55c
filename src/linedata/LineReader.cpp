// The line-data reader's exported calls: create, get-next with the record
// post-processing every format shares, record info and destroy.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "BufferedRecord.h"
#include "LineIO.h"
#include "Status.h"
#include "vok32100.h"
#include "vokDSPsr.h"

namespace vokdsp {
namespace {

// Positions the reader uses in the caller's records.
constexpr size_t ibDescAux = 286;
constexpr size_t ibDescFormat = 288;
constexpr size_t ibDescMaxRecord = 292;
constexpr size_t ibJobWorkBuffer = 96;
constexpr size_t cbWorkBufferExtra = 12;  // one record header

uint16_t wFnDescWord(const void *lpDesc, size_t ib) {
    uint16_t w;
    memcpy(&w, static_cast<const uint8_t *>(lpDesc) + ib, sizeof w);
    return w;
}

void *lpFnJobWorkBuffer(const void *lpJob) {
    void *lp;
    memcpy(&lp, static_cast<const uint8_t *>(lpJob) + ibJobWorkBuffer, sizeof lp);
    return lp;
}

void vFnSetJobWorkBuffer(void *lpJob, void *lpWork) {
    memcpy(static_cast<uint8_t *>(lpJob) + ibJobWorkBuffer, &lpWork, sizeof lpWork);
}

// Bytes in front of a fixed record's data: carriage control and TRC.
uint16_t cbFnFixedPrefix(uint16_t wFormat) {
    return ((wFormat & wOptRecordCC) ? 1 : 0) + ((wFormat & wOptTRC) ? 1 : 0);
}

// Format codes with a decoder, and a fixed length that holds its prefix bytes
// and at least one more, so that no count can wrap.
bool fFnFormatReadable(uint16_t wFormat, uint16_t cbMaxRecord) {
    switch (wFormat & wFormatCodeMask) {
        case wFormatText:
            return true;  // every length: a line is cut to the record area
        case wFormatFixed:
        case wFormatFixedAlt:
            return cbMaxRecord >= 1 + cbFnFixedPrefix(wFormat);
        case wFormatVariable:
        case wFormatVarBlocked:
            return true;  // each descriptor is checked against cbMaxRecord
        default:
            return false;
    }
}

uint32_t cfnDecodeRecord(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    switch (lpio->wFormat & wFormatCodeMask) {
        case wFormatText:
            return cfnTextRecord_Get(lpRec, lpio, lpdwStatus);
        case wFormatFixed:
        case wFormatFixedAlt:
            return cfnFixedRecord_Get(lpRec, lpio, lpdwStatus);
        case wFormatVariable:
            return cfnVarRecord_Get(lpRec, lpio, lpdwStatus);
        case wFormatVarBlocked:
            return cfnVarBlockRecord_Get(lpRec, lpio, lpdwStatus);
        default:
            return 0;  // refused at create
    }
}

void vFnResetRecord(LINEREC *lpRec) {
    lpRec->cbData = 0;
    lpRec->fEnd = 0;
    lpRec->dwStatus = DSP_OK;
    lpRec->abData[0] = 0;
}

// No record where the input holds a malformed one: the end flag tells a
// caller that reads until a 0 result to stop.
uint16_t cbFnRefuseRecord(LINEREC *lpRec, uint32_t *lpdwStatus) {
    lpRec->bCC = 0;
    lpRec->bTRC = 0;
    lpRec->fEnd = 1;
    lpRec->dwStatus = DSP_ERR_BAD_RECORD;
    vFnStoreFirstStatus(lpdwStatus, DSP_ERR_BAD_RECORD);
    return 0;
}

}  // namespace

__attribute__((noinline)) uint16_t cbFnGetNextByteSource(LINEREC *lpRec,
                                                         uint32_t *lpdwStatus) {
    uint32_t dwScratch = DSP_OK;
    if (lpdwStatus == nullptr) lpdwStatus = &dwScratch;
    if (lpRec == nullptr) {
        vFnStoreStatus(lpdwStatus, DSP_ERR_BAD_ARG);
        return 0;
    }
    LINEIO *lpio = lpFnReaderOf(lpRec);
    vFnResetRecord(lpRec);
    if (lpio->fFailed) return cbFnRefuseRecord(lpRec, lpdwStatus);
    const uint32_t cbResult = cfnDecodeRecord(lpRec, lpio, lpdwStatus);
    if (cbResult == cbNoRecord) return cbFnRefuseRecord(lpRec, lpdwStatus);
    return cbFnCompleteRecord(lpRec, lpio, cbResult, lpio->cbBuffer != 0);
}

}  // namespace vokdsp

using namespace vokdsp;

extern "C" {

VOKDSP_API int32_t fFnVOK32XX_CreateIndirect(void *lpJob, const void *lpDesc,
                                             LINEREC **lplpRec, void *lpContext,
                                             lpfnReadBlock lpfnRead,
                                             uint32_t *lpdwStatus) {
    if (lpdwStatus == nullptr) return 0;
    *lpdwStatus = DSP_OK;
    if (lpJob == nullptr || lpDesc == nullptr || lplpRec == nullptr ||
        lpfnRead == nullptr) {
        vFnStoreStatus(lpdwStatus, DSP_ERR_BAD_ARG);
        return 0;
    }
    const uint16_t wFormat = wFnDescWord(lpDesc, ibDescFormat);
    const uint16_t cbMaxRecord = wFnDescWord(lpDesc, ibDescMaxRecord);
    if (!fFnFormatReadable(wFormat, cbMaxRecord)) {
        vFnStoreFirstStatus(lpdwStatus, DSP_ERR_BAD_FORMAT);
        return 0;
    }

    void *lpAllocation = malloc(cbFnReaderAllocation(cbMaxRecord));
    if (lpAllocation == nullptr) {
        vFnStoreFirstStatus(lpdwStatus, DSP_ERR_NOMEM);
        return 0;
    }
    LINEIO *lpio = lpFnAlignedIn<LINEIO>(lpAllocation);
    lpio->lpAllocation = lpAllocation;
    LINEREC *lpRec = lpFnRecordOf(lpio);
    *lplpRec = lpRec;

    lpio->cbBuffer = 0;
    lpio->ibBuffer = 0;
    lpio->wAux = wFnDescWord(lpDesc, ibDescAux);
    lpio->wFormat = wFormat;
    lpio->cbBlockLeft = 0;
    lpio->cbMaxRecord = cbMaxRecord;
    lpio->lpfnRead = lpfnRead;
    lpio->lpContext = lpContext;
    lpio->cbConsumed = 0;
    lpio->cbRecord = 0;
    lpio->fFailed = false;
    lpio->fEndHeld = false;
    lpio->bBlank = bFnBlank(lpio);
    lpio->bDefaultCC = bFnDefaultCC(lpio);
    // A text line's data can hold one byte more than the maximum.
    lpio->cbTextLimit =
        static_cast<uint16_t>(std::min<uint32_t>(cbMaxRecord + 1u, UINT16_MAX));
    const bool fText = (wFormat & wFormatCodeMask) == wFormatText;
    lpio->cWholeVectors = cFnWholeVectors(cbMaxRecord + (fText ? 1 : 0));
    lpio->fWideVectors = lpio->cWholeVectors != 0 && fFnHasWideVectors();
    lpio->lpfnTextGetNext =
        fText ? lpfnFnTextGetNext(wFormat, lpio->cWholeVectors, lpio->fWideVectors)
              : nullptr;
    // Text lines are decoded from one load when the reader copies in whole
    // vectors; their ends then come from the buffer's control map.
    lpio->fMapsControls = fText && lpio->cWholeVectors != 0;
    lpio->fMapsByMasks = lpio->fMapsControls && fFnHasMaskVectors();
    // The record area is defined only after a get-next; clearing its header
    // keeps a premature look at it from reading indeterminate bytes.
    memset(lpRec, 0, sizeof *lpRec + 1);
    // A text line's first 128 bytes are loaded whole, past the bytes of a
    // short fill; what lies there never decides a line, but must not be
    // indeterminate.
    memset(lpio->abBuffer, 0, sizeof lpio->abBuffer);

    FillBuffer(lpio, lpdwStatus);

    void *lpWork = malloc(size_t{cbMaxRecord} + cbWorkBufferExtra);
    vFnSetJobWorkBuffer(lpJob, lpWork);
    if (lpWork == nullptr) vFnStoreFirstStatus(lpdwStatus, DSP_ERR_NOMEM);

    if (*lpdwStatus != DSP_OK) {
        // Nothing released here is left behind for a cleanup to free again.
        fFnVOK32XX_Destroy(lpRec, lpJob);
        *lplpRec = nullptr;
        vFnSetJobWorkBuffer(lpJob, nullptr);
        return 0;
    }
    return 1;
}

VOKDSP_API int32_t fFnVOK32XX_Create(void *, void *, void *) { return 0; }

VOKDSP_API uint16_t cFnVOK32XX_GetNext(LINEREC *lpRec, uint32_t *lpdwStatus) {
    if (lpRec != nullptr) {
        LINEIO *lpio = lpFnReaderOf(lpRec);
        if (lpio->lpfnTextGetNext != nullptr)
            return lpio->lpfnTextGetNext(lpRec, lpio, lpdwStatus);
        if (!lpio->fFailed && lpio->ibBuffer < lpio->cbBuffer) {
            uint16_t cbLeft;
            const uint8_t *const lpb = lpFnTakeBufferedRecord(lpio, &cbLeft);
            if (lpb != nullptr) return cbFnDeliverBuffered(lpRec, lpio, lpb, cbLeft);
        }
    }
    return cbFnGetNextByteSource(lpRec, lpdwStatus);
}

VOKDSP_API int32_t fFnVOK32XX_Destroy(LINEREC *lpRec, void *lpJob) {
    if (lpRec != nullptr) {
        LINEIO *lpio = lpFnReaderOf(lpRec);
        vFnReleaseSource(lpio->lpfnRead, lpio->abBuffer, lpio->lpContext);
        free(lpio->lpAllocation);
    }
    if (lpJob != nullptr) free(lpFnJobWorkBuffer(lpJob));
    return 1;
}

VOKDSP_API int32_t fFnGetMixedDataCurrentRecordInfo(LINEREC *lpRec,
                                                    uint32_t *lpcbConsumed,
                                                    uint32_t *lpcbRecord,
                                                    uint32_t *lpdwStatus) {
    if (lpRec == nullptr || lpcbConsumed == nullptr || lpcbRecord == nullptr) {
        if (lpdwStatus != nullptr) vFnStoreStatus(lpdwStatus, DSP_ERR_BAD_ARG);
        return 0;
    }
    const LINEIO *lpio = lpFnReaderOf(lpRec);
    *lpcbConsumed = lpio->cbConsumed;
    *lpcbRecord = lpio->cbRecord;
    return 1;
}

}  // extern "C"
