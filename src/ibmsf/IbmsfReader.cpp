// The structured-field reader's exported calls: create with stream detection,
// get-next, record info and destroy.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "DetectStream.h"
#include "IbmsfIO.h"
#include "Status.h"
#include "vokDSPsr.h"

namespace vokdsp::ibmsf {
namespace {

// Fixed parts of a field and its framing.
constexpr uint16_t cbHeaderAfterIntroducer = 8;  // length, identifier, flags, sequence
constexpr uint16_t cbRdwOverhead = 13;           // RDW, introducer, header
constexpr uint16_t cbPrefixOverhead = 11;        // prefix, introducer, header
constexpr uint8_t bFlagExtension = 0x80;

// Closes a file source, if any; the handle is cleared.
void vFnCloseFile(IBMSFIO *lpio) {
    if (lpio->fdFile < 0) return;
    close(lpio->fdFile);
    lpio->fdFile = -1;
}

// Reads the first block and classifies it. Accepted: the block stays as the
// reader's first input. Refused: a file is closed; a callback source is left
// to its owner. Returns the stream-kind word, 0 when refused.
uint16_t DetectStream(IBMSFIO *lpio, uint32_t *lpdwStatus) {
    const uint16_t cb = FillBuffer(lpio, lpdwStatus);
    const StreamClass sc = ClassifyFirstBlock(lpio->lpbBlock, cb);
    lpio->rec.hdr.dwID = sc.dwID;
    if (sc.fUnknownID()) vFnStoreStatus(lpdwStatus, DSP_ERR_UNKNOWN_SF_ID);
    lpio->wStreamKind = sc.wStreamKind;
    const bool fRdw = (sc.wStreamKind & SFSTREAM_RDW) != 0;
    const bool fPrefix = !fRdw && (sc.wStreamKind & SFSTREAM_PREFIX) != 0;
    lpio->cbFraming = fRdw ? 4 : fPrefix ? 2 : 0;
    lpio->cbFramingBias = fPrefix ? 2 : 0;
    if (lpio->wStreamKind == 0) vFnCloseFile(lpio);
    return lpio->wStreamKind;
}

enum class FieldOutcome {
    kDelivered,     // the record area holds the field
    kNoIntroducer,  // the byte where an introducer was due is not 0x5A
    kFailed,        // end of input, or a field refused with a status
};

FieldOutcome BadRecord(uint32_t *lpdwStatus) {
    vFnStoreFirstStatus(lpdwStatus, DSP_ERR_BAD_RECORD);
    return FieldOutcome::kFailed;
}

// Length, identifier, flags and sequence number after the introducer. Stored
// member by member: a whole-struct copy right after the narrow stores would
// stall on store forwarding, once per field.
void vFnStoreHeader(SFHDR *lpHdr, const uint8_t *lpb) {
    lpHdr->bCC = bSFIntroducer;
    lpHdr->cbSF = wFnBigEndian(lpb[0], lpb[1]);
    lpHdr->dwID = dwFnBigEndian24(lpb[2], lpb[3], lpb[4]);
    lpHdr->bFlags = lpb[5];
    lpHdr->wSeq = wFnBigEndian(lpb[6], lpb[7]);
}

// Reads one field: framing bytes, introducer, header, extension, data.
FieldOutcome ReadField(IBMSFIO *lpio, uint32_t *lpdwStatus) {
    const bool fRdw = (lpio->wStreamKind & SFSTREAM_RDW) != 0;
    const bool fPrefix = !fRdw && (lpio->wStreamKind & SFSTREAM_PREFIX) != 0;
    uint8_t ab[cbHeaderAfterIntroducer];

    // Framing: the record length R, counting the RDW or the prefix.
    uint16_t cbRecord = 0;
    if (fRdw) {
        if (!fFnGetBytewise(lpio, lpdwStatus, ab, 4)) return FieldOutcome::kFailed;
        cbRecord = wFnBigEndian(ab[0], ab[1]);
    } else if (fPrefix) {
        if (!fFnGetBytewise(lpio, lpdwStatus, ab, 2)) return FieldOutcome::kFailed;
        cbRecord = static_cast<uint16_t>(wFnBigEndian(ab[0], ab[1]) + 2);
    }

    uint8_t bIntroducer;
    if (!GetByte(lpio, lpdwStatus, &bIntroducer)) return FieldOutcome::kFailed;
    if (bIntroducer != bSFIntroducer) return FieldOutcome::kNoIntroducer;

    if (!fFnGetBytewise(lpio, lpdwStatus, ab, cbHeaderAfterIntroducer))
        return FieldOutcome::kFailed;
    SFHDR hdr;
    vFnStoreHeader(&hdr, ab);
    vFnStoreHeader(&lpio->rec.hdr, ab);

    // Extension length E, counting its own byte; X in the length checks.
    const bool fExtension = (hdr.bFlags & bFlagExtension) != 0;
    uint8_t cbExtensionField = 0;
    if (fExtension) {
        if (!GetByte(lpio, lpdwStatus, &cbExtensionField)) return FieldOutcome::kFailed;
        if (cbExtensionField == 0) return BadRecord(lpdwStatus);
    }

    // The field must hold its header and extension, and so must its record.
    const uint32_t cbFixed = cbHeaderAfterIntroducer + cbExtensionField;
    if (hdr.cbSF < cbFixed || (fRdw && cbRecord < cbRdwOverhead + cbExtensionField) ||
        (fPrefix && cbRecord < cbPrefixOverhead + cbExtensionField))
        return BadRecord(lpdwStatus);

    if (fExtension) {
        lpio->cbExtension = cbExtensionField - 1;
        if (!vFnGetNbytes(lpio->abExtension, lpio, lpio->cbExtension, lpdwStatus))
            return FieldOutcome::kFailed;
    }

    // Data: to the end of the field, or of the record in a framed stream.
    const uint16_t cbData =
        fRdw      ? static_cast<uint16_t>(cbRecord - cbRdwOverhead - cbExtensionField)
        : fPrefix ? static_cast<uint16_t>(cbRecord - cbPrefixOverhead - cbExtensionField)
                  : static_cast<uint16_t>(hdr.cbSF - cbFixed);
    if (cbData > lpio->cbDataMax) {
        // Stay in step with the stream: the field's data is taken and dropped.
        vFnStoreStatus(lpdwStatus, DSP_ERR_RECORD_TOO_LONG);
        vFnGetNbytes(nullptr, lpio, cbData, lpdwStatus);
        return FieldOutcome::kFailed;
    }
    if (!vFnGetNbytes(lpio->rec.abData, lpio, cbData, lpdwStatus))
        return FieldOutcome::kFailed;
    return FieldOutcome::kDelivered;
}

// Data of at most cbShortCopy bytes: two 16-byte moves that end where the
// data ends. They may take bytes from in front of the field, even in front of
// the block, and put them in front of abData: into the slack and the record
// header, which the caller stores afterwards.
inline void vFnCopyShortData(IBMSFIO *lpio, const uint8_t *lpbData, uint32_t cb) {
    uint8_t *lpbEnd = reinterpret_cast<uint8_t *>(lpio) + offsetof(IBMSFIO, rec) +
                      offsetof(SFREC, abData) + cb;
    uint8_t abFront[16], abBack[16];
    memcpy(abFront, lpbData + cb - 32, 16);
    memcpy(abBack, lpbData + cb - 16, 16);
    memcpy(lpbEnd - 32, abFront, 16);
    memcpy(lpbEnd - 16, abBack, 16);
    // The first byte once more on its own: a caller that looks at it next
    // gets it forwarded from this store, not from a wide one that may cross
    // a cache line.
    if (cb != 0) lpio->rec.abData[0] = lpbData[0];
}

// The record header of a field taken whole, its fill bytes included, since a
// short copy may have overwritten them.
inline void vFnStoreWholeHeader(SFREC *lpRec, const SFHDR &hdr) {
    uint8_t *lpbHdr = reinterpret_cast<uint8_t *>(&lpRec->hdr);
    lpbHdr[offsetof(SFHDR, bCC) + 1] = 0;
    lpbHdr[offsetof(SFHDR, bFlags) + 1] = 0;
    lpRec->hdr.bCC = hdr.bCC;
    lpRec->hdr.cbSF = hdr.cbSF;
    lpRec->hdr.dwID = hdr.dwID;
    lpRec->hdr.bFlags = hdr.bFlags;
    lpRec->hdr.wSeq = hdr.wSeq;
}

// Longer data, out of line so the common case keeps no registers across a
// call. Returns cbSF.
__attribute__((noinline)) int32_t nFnCopyLongData(uint8_t *lpbDest, const uint8_t *lpbSrc,
                                                  uint32_t cb, bool fWide, int32_t cbSF) {
    vFnCopyBytes(lpbDest, lpbSrc, cb, fWide);
    return cbSF;
}

// Every field the common case leaves: across blocks, malformed, with an
// extension, too long, or at the end of input.
__attribute__((noinline)) int32_t nFnGetNextGeneral(SFREC *lpRec, uint32_t *lpdwStatus) {
    uint32_t dwScratch = DSP_OK;
    if (lpdwStatus == nullptr) lpdwStatus = &dwScratch;
    if (lpRec == nullptr) {
        vFnStoreStatus(lpdwStatus, DSP_ERR_BAD_ARG);
        return 0;
    }
    IBMSFIO *lpio = lpFnReaderOf(lpRec);
    SFHDR &hdr = lpRec->hdr;
    const SFHDR hdrSaved = hdr;
    hdr.bCC = 0;
    hdr.cbSF = 0;
    hdr.dwID = 0;

    switch (ReadField(lpio, lpdwStatus)) {
        case FieldOutcome::kDelivered:
            return hdr.cbSF;
        case FieldOutcome::kNoIntroducer:
            vFnStoreFirstStatus(lpdwStatus, DSP_ERR_NOT_SF);
            return 0;
        case FieldOutcome::kFailed:
            break;
    }
    hdr.bCC = hdrSaved.bCC;
    hdr.cbSF = hdrSaved.cbSF;
    hdr.dwID = hdrSaved.dwID;
    return 0;
}

// The common case, straight from the current block: a field whose framing,
// header and data lie whole in it, without an extension, with lengths that
// hold and data that fits. Any other field goes, untouched, to the general
// path. Every call leaves in tail position, so the common case saves no
// registers. fFramed false: a plain stream, no framing bytes to step over.
template <bool fFramed>
inline int32_t nFnGetNextWhole(SFREC *lpRec, uint32_t *lpdwStatus) {
    IBMSFIO *lpio = lpFnReaderOf(lpRec);
    const uint32_t cbFraming = fFramed ? lpio->cbFraming : 0;
    const uint32_t cbAvail = lpio->cB;
    const uint8_t *lpbFrame = lpio->lpbBlock + lpio->ibBuffer;
    const uint8_t *lpb = lpbFrame + cbFraming;
    if (cbAvail < cbFraming + 1 + cbHeaderAfterIntroducer || lpb[0] != bSFIntroducer ||
        (lpb[6] & bFlagExtension) != 0)
        return nFnGetNextGeneral(lpRec, lpdwStatus);
    const uint16_t cbSF = wFnBigEndian(lpb[1], lpb[2]);
    // The record counts framing, introducer, header and data.
    const uint32_t cbRecord =
        !fFramed ? uint32_t{cbSF} + 1
                 : uint16_t(wFnBigEndian(lpbFrame[0], lpbFrame[1]) + lpio->cbFramingBias);
    // Wraps to a huge count when the record is shorter than its header.
    const uint32_t cbData = cbRecord - cbFraming - 1 - cbHeaderAfterIntroducer;
    if (cbSF < cbHeaderAfterIntroducer || cbData > lpio->cbDataMax || cbRecord > cbAvail)
        return nFnGetNextGeneral(lpRec, lpdwStatus);
    // The header is taken first: any store could overwrite it for all the
    // compiler knows.
    SFHDR hdr;
    vFnStoreHeader(&hdr, lpb + 1);
    lpio->ibBuffer = static_cast<uint16_t>(lpio->ibBuffer + cbRecord);
    lpio->cB = static_cast<uint16_t>(cbAvail - cbRecord);
    lpio->cbConsumed += cbRecord;
    const uint8_t *lpbData = lpb + 1 + cbHeaderAfterIntroducer;
    if (cbData > cbShortCopy) {
        vFnStoreWholeHeader(&lpio->rec, hdr);
        return nFnCopyLongData(lpio->rec.abData, lpbData, cbData, lpio->fWideVectors,
                               cbSF);
    }
    vFnCopyShortData(lpio, lpbData, cbData);
    vFnStoreWholeHeader(&lpio->rec, hdr);
    return cbSF;
}

// Framed streams, out of line so the plain case stays short.
__attribute__((noinline)) int32_t nFnGetNextFramed(SFREC *lpRec, uint32_t *lpdwStatus) {
    return nFnGetNextWhole<true>(lpRec, lpdwStatus);
}

}  // namespace
}  // namespace vokdsp::ibmsf

using namespace vokdsp;
using namespace vokdsp::ibmsf;

extern "C" {

VOKDSP_API SFREC *lpibmsfFnCreate(const char *lpszPath, uint16_t cbSize,
                                  lpfnReadBlock lpfnRead, void *lpContext,
                                  uint32_t *lpdwStatus) {
    uint32_t dwScratch = DSP_OK;
    if (lpdwStatus == nullptr) lpdwStatus = &dwScratch;
    if (cbSize == 0) return nullptr;

    const bool fFile = lpfnRead == nullptr && lpszPath != nullptr;
    void *lpAllocation = calloc(1, cbFnReaderAllocation(cbSize, fFile));
    if (lpAllocation == nullptr) return nullptr;
    IBMSFIO *lpio = lpFnAlignedIn<IBMSFIO>(lpAllocation);
    lpio->lpAllocation = lpAllocation;
    lpio->cbDataMax = cbSize;
    lpio->fWideVectors = fFnHasWideVectors();
    lpio->lpfnRead = lpfnRead;
    lpio->lpContext = lpContext;
    lpio->fdFile = fFile ? open(lpszPath, O_RDONLY | O_CLOEXEC) : -1;
    if (fFile)
        lpio->lpbChunk = reinterpret_cast<uint8_t *>(lpio) + cbFnChunkOffset(cbSize);

    const bool fSource = lpfnRead != nullptr || lpio->fdFile >= 0;
    if (!fSource || DetectStream(lpio, lpdwStatus) == 0) {
        free(lpio->lpAllocation);
        return nullptr;
    }
    return &lpio->rec;
}

VOKDSP_API int32_t fFnGetNextIBMSF(SFREC *lpRec, uint32_t *lpdwStatus) {
    if (lpRec == nullptr) return nFnGetNextGeneral(lpRec, lpdwStatus);
    if (lpFnReaderOf(lpRec)->cbFraming != 0) return nFnGetNextFramed(lpRec, lpdwStatus);
    return nFnGetNextWhole<false>(lpRec, lpdwStatus);
}

VOKDSP_API int32_t fFnGetIBMSFCurrentRecordInfo(SFREC *lpRec, uint32_t *lpdwPos,
                                                uint32_t *lpdwLen, uint32_t *lpdwStatus) {
    if (lpRec == nullptr || lpdwPos == nullptr || lpdwLen == nullptr) {
        if (lpdwStatus != nullptr) vFnStoreStatus(lpdwStatus, DSP_ERR_BAD_ARG);
        return 0;
    }
    *lpdwPos = lpFnReaderOf(lpRec)->cbConsumed;
    *lpdwLen = uint32_t{lpRec->hdr.cbSF} + 1;
    return 1;
}

VOKDSP_API int32_t fFnDestroyIBMSF(SFREC *lpRec) {
    if (lpRec == nullptr) return 1;
    IBMSFIO *lpio = lpFnReaderOf(lpRec);
    if (lpio->fdFile >= 0)
        vFnCloseFile(lpio);
    else
        vFnReleaseSource(lpio->lpfnRead, lpio->abBuffer, lpio->lpContext);
    free(lpio->lpAllocation);
    return 1;
}

}  // extern "C"
