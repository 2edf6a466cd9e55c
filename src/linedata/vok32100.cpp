// Record decoders of the line-data reader.
#include "vok32100.h"

#include <stdio.h>

#include "MVXError.h"
#include "Status.h"

namespace vokdsp {

namespace {

// Record and block descriptor words: a big-endian length that counts the
// word's own four bytes, then two bytes that mean nothing here.
constexpr uint16_t cbDescriptor = 4;

// What a refused over-long record carries in its MVXError.
constexpr int32_t nTooLongCode = 16;
constexpr int32_t nTooLongSubCode = 16;
constexpr const char *lpszSourceName = "vok32100";
constexpr int32_t nVarRecordLine = 829;  // reported for every format-2 refusal
constexpr size_t cbMessageRoom = 128;    // holds the longest refusal message

// Takes the carriage-control and TRC bytes that the option bits select, while
// the record (cbLeft bytes) has bytes for them and the input holds them, so a
// record cut short gets no carriage control it did not have. An embedded
// structured field keeps its introducer as the first data byte and has no
// TRC. Returns the number of data bytes this placed in abData (0 or 1).
uint16_t cbFnTakeRecordPrefix(LINEREC *lpRec, LINEIO *lpio, uint16_t *lpcbLeft,
                              uint32_t *lpdwStatus) {
    if (*lpcbLeft != 0 && fFnOption(lpio, wOptRecordCC) &&
        fFnRefillIfDue(lpio, lpdwStatus)) {
        --*lpcbLeft;
        lpRec->bCC = GetByte(lpio, lpdwStatus);
    }
    if (lpRec->bCC == bStructuredField) {
        lpRec->abData[0] = bStructuredField;
        return 1;
    }
    if (*lpcbLeft != 0 && fFnOption(lpio, wOptTRC) && fFnRefillIfDue(lpio, lpdwStatus)) {
        --*lpcbLeft;
        lpRec->bTRC = GetByte(lpio, lpdwStatus) & 0x0F;
    }
    return 0;
}

// The call that finds the input exhausted delivers nothing and no length.
uint32_t cbFnEndOfInput(LINEIO *lpio) {
    lpio->cbRecord = 0;
    return 0;
}

// Takes a descriptor word byte by byte and gives its length. False when the
// input ended inside it: each missing byte has cost one more read request.
bool fFnTakeDescriptor(LINEIO *lpio, uint16_t *lpcbLength, uint32_t *lpdwStatus) {
    const uint32_t cbStart = lpio->cbConsumed;
    const uint8_t bHigh = GetByte(lpio, lpdwStatus);
    const uint8_t bLow = GetByte(lpio, lpdwStatus);
    (void)GetByte(lpio, lpdwStatus);
    (void)GetByte(lpio, lpdwStatus);
    *lpcbLength = wFnBigEndian(bHigh, bLow);
    return lpio->cbConsumed - cbStart == cbDescriptor;
}

// A descriptor length that cannot be right leaves no way to find the next
// record: the reader refuses this and every later call without reading.
uint32_t cbFnFailReader(LINEIO *lpio) {
    lpio->fFailed = true;
    return cbNoRecord;
}

// Formats the refusal of an over-long record and stores its code in the
// record area and, replacing any earlier code, in the caller's status word.
void vFnRefuseTooLong(LINEREC *lpRec, const LINEIO *lpio, const char *lpszDecoder,
                      uint16_t cbLength, char *lpszMessage, uint32_t *lpdwStatus) {
    snprintf(lpszMessage, cbMessageRoom,
             "%s. The record is too long - %u bytes. Max length is %u bytes", lpszDecoder,
             unsigned{cbLength}, unsigned{lpio->cbMaxRecord});
    lpRec->dwStatus = DSP_ERR_RECORD_TOO_LONG;
    vFnStoreStatus(lpdwStatus, DSP_ERR_RECORD_TOO_LONG);
}

// Prefix bytes and data of a record whose descriptor, taken from input
// offset cbStart on, announced cbLength (at most cbMaxRecord) bytes. A record
// cut short by the end of input keeps the bytes read; cbRecord counts them.
uint32_t cbFnTakeRecordBody(LINEREC *lpRec, LINEIO *lpio, uint16_t cbLength,
                            uint32_t cbStart, uint32_t *lpdwStatus) {
    uint16_t cbLeft = cbLength - cbDescriptor;
    const uint16_t cbLead = cbFnTakeRecordPrefix(lpRec, lpio, &cbLeft, lpdwStatus);
    const uint16_t cbCopied =
        cbFnCopyInput(lpio, lpRec->abData + cbLead, cbLeft, lpdwStatus);
    lpio->cbRecord = static_cast<uint16_t>(lpio->cbConsumed - cbStart);
    return uint32_t{cbLead} + cbCopied;
}

// Makes a block with records current, skipping empty blocks. False when the
// decoder returns *lpcbResult instead: a clean end of input after an empty
// block, or a refused block descriptor.
bool fFnEnterBlock(LINEIO *lpio, uint32_t *lpcbResult, uint32_t *lpdwStatus) {
    while (lpio->cbBlockLeft == 0) {
        uint16_t cbBlock;
        if (!fFnTakeDescriptor(lpio, &cbBlock, lpdwStatus)) {
            *lpcbResult = cbNoRecord;
            return false;
        }
        if (cbBlock < cbDescriptor) {
            *lpcbResult = cbFnFailReader(lpio);
            return false;
        }
        lpio->cbBlockLeft = cbBlock - cbDescriptor;
        if (lpio->cbBlockLeft == 0 && !fFnRefillIfDue(lpio, lpdwStatus)) {
            *lpcbResult = cbFnEndOfInput(lpio);
            return false;
        }
    }
    return true;
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

// The descriptor checks come in this order: end of input, length below 4,
// longer than the maximum record length.
uint32_t cfnVarRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    lpRec->bCC = 0;
    lpRec->bTRC = 0;
    if (!fFnRefillIfDue(lpio, lpdwStatus)) return cbFnEndOfInput(lpio);
    const uint32_t cbStart = lpio->cbConsumed;
    uint16_t cbLength;
    if (!fFnTakeDescriptor(lpio, &cbLength, lpdwStatus)) return cbNoRecord;
    if (cbLength < cbDescriptor) return cbFnFailReader(lpio);
    if (cbLength > lpio->cbMaxRecord) {
        char szMessage[cbMessageRoom];
        vFnRefuseTooLong(lpRec, lpio, "cfnVarRecord_Get", cbLength, szMessage,
                         lpdwStatus);
        throw MVXError(szMessage, nTooLongCode, nTooLongSubCode, lpszSourceName,
                       nVarRecordLine);
    }
    return cbFnTakeRecordBody(lpRec, lpio, cbLength, cbStart, lpdwStatus);
}

// A record descriptor must also fit what its block has left; that check comes
// before the maximum length. A refused record leaves cbBlockLeft as it was.
uint32_t cfnVarBlockRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    lpRec->bCC = 0;
    lpRec->bTRC = 0;
    if (!fFnRefillIfDue(lpio, lpdwStatus)) return cbFnEndOfInput(lpio);
    uint32_t cbResult;
    if (!fFnEnterBlock(lpio, &cbResult, lpdwStatus)) return cbResult;
    const uint32_t cbStart = lpio->cbConsumed;
    uint16_t cbLength;
    if (!fFnTakeDescriptor(lpio, &cbLength, lpdwStatus)) return cbNoRecord;
    if (cbLength < cbDescriptor || cbLength > lpio->cbBlockLeft) {
        return cbFnFailReader(lpio);
    }
    if (cbLength > lpio->cbMaxRecord) {
        char szMessage[cbMessageRoom];
        vFnRefuseTooLong(lpRec, lpio, "cfnVarBlockRecord_Get", cbLength, szMessage,
                         lpdwStatus);
        throw MVXError(szMessage, nTooLongCode, nTooLongSubCode, lpszSourceName,
                       __LINE__);
    }
    lpio->cbBlockLeft -= cbLength;
    return cbFnTakeRecordBody(lpRec, lpio, cbLength, cbStart, lpdwStatus);
}

}  // namespace vokdsp
