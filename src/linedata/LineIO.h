// The line-data reader's control block and its buffered byte source.
//
// One allocation holds the header, the 4096-byte input buffer and the record
// area LINEREC with its data room of cbMaxRecord + 4 bytes. The caller's
// handle is the record area's address; the header lies right in front of it.
#ifndef VOKDSP_LINEDATA_LINEIO_H
#define VOKDSP_LINEDATA_LINEIO_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ReadSource.h"
#include "vokDSPsr.h"

namespace vokdsp {

struct LINEIO {
    uint16_t cbBuffer;     // valid bytes in abBuffer; 0 once the input is exhausted
    uint16_t ibBuffer;     // next byte to take
    uint16_t wAux;         // second word of the description record, kept only
    uint16_t wFormat;      // format code (bits 0-3) and option bits
    uint16_t cbBlockLeft;  // format 6: bytes of the current block not yet taken
    uint16_t cbMaxRecord;  // maximum record length
    lpfnReadBlock lpfnRead;
    void *lpContext;
    uint32_t cbConsumed;  // input bytes taken so far
    uint32_t cbRecord;    // input length of the current record; a text line
                          // with its control bytes and line end can pass 65535
    uint8_t abBuffer[cbReadBlock];
    bool fFailed;  // a descriptor lost the record boundaries; nothing more is read
};

static_assert(sizeof(LINEIO) % alignof(LINEREC) == 0,
              "the record area must follow the header without padding");

// Format codes (low four bits of wFormat) and option bits.
constexpr uint16_t wFormatCodeMask = 0x000F;
constexpr uint16_t wFormatText = 0;
constexpr uint16_t wFormatFixed = 1;
constexpr uint16_t wFormatVariable = 2;
constexpr uint16_t wFormatFixedAlt = 5;
constexpr uint16_t wFormatVarBlocked = 6;

constexpr uint16_t wOptRecordCC = 0x00F0;   // records: a carriage-control byte leads
constexpr uint16_t wOptMachineCC = 0x0020;  // default carriage control 0x0B
constexpr uint16_t wOptTRC = 0x0100;        // a TRC byte follows the carriage control
constexpr uint16_t wOptEbcdic = 0x1000;     // the blank is 0x40

constexpr uint8_t bStructuredField = 0x5A;  // carriage control of embedded fields
constexpr uint8_t bAsciiBlank = 0x20;
constexpr uint8_t bEbcdicBlank = 0x40;
constexpr uint8_t bMachineSkip = 0x0B;

inline bool fFnOption(const LINEIO *lpio, uint16_t wMask) {
    return (lpio->wFormat & wMask) != 0;
}

inline uint8_t bFnBlank(const LINEIO *lpio) {
    return fFnOption(lpio, wOptEbcdic) ? bEbcdicBlank : bAsciiBlank;
}

inline LINEREC *lpFnRecordOf(LINEIO *lpio) {
    return reinterpret_cast<LINEREC *>(lpio + 1);
}

inline LINEIO *lpFnReaderOf(LINEREC *lpRec) {
    return reinterpret_cast<LINEIO *>(lpRec) - 1;
}

// Bytes of one allocation: header, buffer, record header, data room.
inline size_t cbFnReaderAllocation(uint16_t cbMaxRecord) {
    return sizeof(LINEIO) + sizeof(LINEREC) + size_t{cbMaxRecord} + 4;
}

inline uint16_t FillBuffer(LINEIO *lpio, uint32_t *lpdwStatus) {
    lpio->cbBuffer =
        cbFnRequestBlock(lpio->lpfnRead, lpio->abBuffer, lpio->lpContext, lpdwStatus);
    lpio->ibBuffer = 0;
    return lpio->cbBuffer;
}

// Refills when every buffered byte has been taken; false at end of input.
inline bool fFnRefillIfDue(LINEIO *lpio, uint32_t *lpdwStatus) {
    if (lpio->ibBuffer >= lpio->cbBuffer) FillBuffer(lpio, lpdwStatus);
    return lpio->cbBuffer != 0;
}

// The next input byte; at end of input an ASCII blank that counts nothing.
inline uint8_t GetByte(LINEIO *lpio, uint32_t *lpdwStatus) {
    if (!fFnRefillIfDue(lpio, lpdwStatus)) return bAsciiBlank;
    lpio->cbConsumed++;
    return lpio->abBuffer[lpio->ibBuffer++];
}

// True when one of the eight bytes of qw is below bLimit (at most 0x80).
// Borrows can flag wrong positions above the first such byte, never the answer,
// so a word without one is passed over whole and any other is looked at bytewise.
inline bool fFnHasByteBelow(uint64_t qw, uint8_t bLimit) {
    constexpr uint64_t qwOnes = 0x0101010101010101ull;
    return ((qw - qwOnes * bLimit) & ~qw & (qwOnes * 0x80)) != 0;
}

// The word with each NUL byte made the blank: 0x80 marks every byte that is
// 0 (no carry crosses bytes here), widened to 0xFF, then qwBlanks laid in.
inline uint64_t qwFnNulsAsBlanks(uint64_t qw, uint64_t qwBlanks) {
    constexpr uint64_t qwLow7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t qwNul = ~(((qw & qwLow7) + qwLow7) | qw | qwLow7);
    return qw | (((qwNul - (qwNul >> 7)) | qwNul) & qwBlanks);
}

// Copies cb bytes (8 at least) by words, the last one overlapping its
// predecessor, so no loop depends on the length's low bits.
inline void vFnCopyWordsNulsAsBlanks(uint8_t *lpbDest, const uint8_t *lpbSource,
                                     size_t cb, uint8_t bBlank) {
    const uint64_t qwBlanks = 0x0101010101010101ull * bBlank;
    uint64_t qw;
    for (size_t ib = 0; ib < cb - sizeof qw; ib += sizeof qw) {
        memcpy(&qw, lpbSource + ib, sizeof qw);
        qw = qwFnNulsAsBlanks(qw, qwBlanks);
        memcpy(lpbDest + ib, &qw, sizeof qw);
    }
    memcpy(&qw, lpbSource + cb - sizeof qw, sizeof qw);
    qw = qwFnNulsAsBlanks(qw, qwBlanks);
    memcpy(lpbDest + cb - sizeof qw, &qw, sizeof qw);
}

#if defined(__SSE2__)
// The same by 16-byte vectors (cb 16 at least): compare with zero, lay the
// blanks into the bytes that matched.
inline void vFnCopyVectorsNulsAsBlanks(uint8_t *lpbDest, const uint8_t *lpbSource,
                                       size_t cb, uint8_t bBlank) {
    const __m128i vBlanks = _mm_set1_epi8(static_cast<char>(bBlank));
    const __m128i vZero = _mm_setzero_si128();
    const auto vFnVector = [&](size_t ib) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lpbSource + ib));
        v = _mm_or_si128(v, _mm_and_si128(_mm_cmpeq_epi8(v, vZero), vBlanks));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lpbDest + ib), v);
    };
    for (size_t ib = 0; ib < cb - sizeof(__m128i); ib += sizeof(__m128i)) vFnVector(ib);
    vFnVector(cb - sizeof(__m128i));
}
#endif

// Copies cb bytes with every NUL made a blank, as a printed line shows it;
// lpbDest may equal lpbSource. Overlapping pieces are copied twice, which
// gives the same bytes either way.
inline void vFnCopyNulsAsBlanks(uint8_t *lpbDest, const uint8_t *lpbSource, size_t cb,
                                uint8_t bBlank) {
#if defined(__SSE2__)
    if (cb >= sizeof(__m128i))
        return vFnCopyVectorsNulsAsBlanks(lpbDest, lpbSource, cb, bBlank);
#endif
    if (cb >= sizeof(uint64_t))
        return vFnCopyWordsNulsAsBlanks(lpbDest, lpbSource, cb, bBlank);
    for (size_t ib = 0; ib < cb; ++ib)
        lpbDest[ib] = lpbSource[ib] == 0 ? bBlank : lpbSource[ib];
}

// Takes up to cbWanted bytes into lpbDest in block copies, refilling as the
// buffer empties. Returns the bytes copied: fewer only at end of input.
inline uint16_t cbFnCopyInput(LINEIO *lpio, uint8_t *lpbDest, uint16_t cbWanted,
                              uint32_t *lpdwStatus) {
    uint16_t cbCopied = 0;
    while (cbCopied < cbWanted && fFnRefillIfDue(lpio, lpdwStatus)) {
        uint16_t cbRun = lpio->cbBuffer - lpio->ibBuffer;
        if (cbRun > cbWanted - cbCopied) cbRun = cbWanted - cbCopied;
        memcpy(lpbDest + cbCopied, lpio->abBuffer + lpio->ibBuffer, cbRun);
        lpio->ibBuffer += cbRun;
        cbCopied += cbRun;
    }
    lpio->cbConsumed += cbCopied;
    return cbCopied;
}

}  // namespace vokdsp

#endif
