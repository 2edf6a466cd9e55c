// The line-data reader's control block and its buffered byte source.
//
// One allocation holds the header, the 4096-byte input buffer and the record
// area LINEREC with its data room of cbMaxRecord + 4 bytes, each followed by
// slack that whole-vector copies may read or write. The caller's handle is the
// record area's address; the header lies cbRecordOffset bytes in front of it.
#ifndef VOKDSP_LINEDATA_LINEIO_H
#define VOKDSP_LINEDATA_LINEIO_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "AlignedBlock.h"
#include "ReadSource.h"
#include "WideVectors.h"
#include "vokDSPsr.h"

namespace vokdsp {

// Up to this maximum record length the buffered path copies every record of
// a reader in the same number of whole vectors, reading and writing past the
// record's end into slack behind the buffer and the record area, so that no
// branch depends on the record's length.
constexpr uint16_t cbMaxWholeVectors = 256;
constexpr size_t cbVectorSlack = 32;  // a wide vector's bytes, past every room
// Fixed records up to this length are made whole across a refill.
constexpr uint16_t cbMaxCarry = 256;
// A text line whose end lies this far into its text is decoded from one load.
constexpr uint16_t cbTextWindow = 128;
// Format 0: words of the buffer's control map, as far as a search from a text
// start at the buffer's end reaches (three words from there).
constexpr size_t cqwControls = cbReadBlock / 64 + 3;

struct LINEIO;
using lpfnGetNextLine = uint16_t (*)(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus);

struct LINEIO {
    uint16_t cbBuffer;     // valid bytes in abBuffer; 0 once the input is exhausted
    uint16_t ibBuffer;     // next byte to take
    uint16_t wAux;         // second word of the description record, kept only
    uint16_t wFormat;      // format code (bits 0-3) and option bits
    uint16_t cbBlockLeft;  // format 6: bytes of the current block not yet taken
    uint16_t cbMaxRecord;  // maximum record length
    lpfnReadBlock lpfnRead;
    void *lpContext;
    uint32_t cbConsumed;   // input bytes taken so far
    uint32_t cbRecord;     // input length of the current record; a text line
                           // with its control bytes and line end can pass 65535
    uint16_t cbTextLimit;  // format 0: data bytes at which a text line is cut
    lpfnGetNextLine lpfnTextGetNext;  // format 0: get-next; else null
    void *lpAllocation;               // what create allocated, this header in it
    // Format 0, lines decoded from one load: bit i % 64 of word i / 64 set
    // where abBuffer[i] is below 0x20, made again whenever the buffer changes.
    uint64_t aqwControls[cqwControls];
    // Formats 1 and 5: the head of a record that the buffer's end cut, moved
    // to this area's end before the refill, so that the record lies whole
    // in front of and in the buffer.
    alignas(64) uint8_t abCarry[cbMaxCarry];
    // Cache-line aligned: a block copied in by the callback then never
    // straddles more lines than it must, wherever it comes from.
    alignas(64)
        uint8_t abBuffer[cbReadBlock + cbMaxWholeVectors + cbVectorSlack];  // then slack
    bool fFailed;        // a descriptor lost the record boundaries; nothing more is read
    uint8_t bBlank;      // what a NUL data byte and an empty record become
    uint8_t bDefaultCC;  // the carriage control of a record that brings none
    uint8_t cWholeVectors;  // vectors a buffered record is copied in; 0: by its length
    bool fWideVectors;      // ... and that by pairs, in 32-byte vectors
    bool fEndHeld;          // the next fill finds the end of input without asking:
                            // a fill saw it behind bytes put back in front of it
    bool fMapsControls;     // the buffer's control map is kept ...
    bool fMapsByMasks;      // ... and made in 64-byte vectors
};
static_assert(offsetof(LINEIO, abBuffer) == offsetof(LINEIO, abCarry) + cbMaxCarry,
              "the carry area lies right in front of the buffer");

// The record area lies this far behind the header, so that its data begins
// on a cache line and no whole-vector store into it straddles two.
constexpr size_t cbRecordOffset =
    sizeof(LINEIO) + alignof(LINEIO) - offsetof(LINEREC, abData);
static_assert(cbRecordOffset % alignof(LINEREC) == 0, "the record area is aligned");

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

inline uint8_t bFnDefaultCC(const LINEIO *lpio) {
    return fFnOption(lpio, wOptMachineCC) ? bMachineSkip : bFnBlank(lpio);
}

// End flag, one-blank empty record, default carriage control and the
// terminating NUL; the decoders have made NUL data bytes blanks. While the
// input holds bytes a record is never empty; the record read as the input ran
// out is delivered as the decoder left it.
inline uint16_t cbFnCompleteRecord(LINEREC *lpRec, const LINEIO *lpio, uint32_t cbResult,
                                   bool fInputLeft) {
    if (!fInputLeft) lpRec->fEnd = 1;
    if (fInputLeft && cbResult == 0) {
        cbResult = 1;
        lpRec->abData[0] = lpio->bBlank;
    }
    if (fInputLeft && lpRec->bCC == 0) lpRec->bCC = lpio->bDefaultCC;
    lpRec->cbData = static_cast<uint16_t>(cbResult);
    lpRec->abData[cbResult] = 0;
    return lpRec->cbData;
}

// Takes the carriage-control and TRC bytes that the option bits select, while
// the record (cbLeft bytes) has bytes for them, each from fnNextByte, into bCC
// and bTRC. An embedded structured field keeps its introducer as the first
// data byte at lpbData and has no TRC. Returns the number of data bytes this
// placed there (0 or 1).
template <typename NextByte>
uint16_t cbFnTakePrefixBytes(uint8_t &bCC, uint8_t &bTRC, uint8_t *lpbData,
                             const LINEIO *lpio, uint16_t *lpcbLeft,
                             NextByte fnNextByte) {
    if (*lpcbLeft != 0 && fFnOption(lpio, wOptRecordCC)) {
        --*lpcbLeft;
        bCC = fnNextByte();
    }
    if (bCC == bStructuredField) {
        lpbData[0] = bStructuredField;
        return 1;
    }
    if (*lpcbLeft != 0 && fFnOption(lpio, wOptTRC)) {
        --*lpcbLeft;
        bTRC = fnNextByte() & 0x0F;
    }
    return 0;
}

// The record header of a delivered record, no end flag, no status.
inline void vFnStoreRecordHeader(LINEREC *lpRec, uint8_t bCC, uint8_t bTRC,
                                 uint16_t cbData) {
    lpRec->bCC = bCC;
    lpRec->bTRC = bTRC;
    lpRec->cbData = cbData;
    lpRec->fEnd = 0;
    lpRec->dwStatus = DSP_OK;
}

inline LINEREC *lpFnRecordOf(LINEIO *lpio) {
    return reinterpret_cast<LINEREC *>(reinterpret_cast<uint8_t *>(lpio) +
                                       cbRecordOffset);
}

inline LINEIO *lpFnReaderOf(LINEREC *lpRec) {
    return reinterpret_cast<LINEIO *>(reinterpret_cast<uint8_t *>(lpRec) -
                                      cbRecordOffset);
}

// Bytes of one allocation: header, buffer, record header, data room, and
// what aligning the header can skip.
inline size_t cbFnReaderAllocation(uint16_t cbMaxRecord) {
    return alignof(LINEIO) - 1 + cbRecordOffset + sizeof(LINEREC) + size_t{cbMaxRecord} +
           4 + cbVectorSlack;
}

// Makes the buffer's control map (vok32100.cpp).
void vFnMapControls(LINEIO *lpio);

inline uint16_t FillBuffer(LINEIO *lpio, uint32_t *lpdwStatus) {
    lpio->cbBuffer = lpio->fEndHeld ? 0
                                    : cbFnRequestBlock(lpio->lpfnRead, lpio->abBuffer,
                                                       lpio->lpContext, lpdwStatus);
    lpio->fEndHeld = false;
    if (lpio->fMapsControls) vFnMapControls(lpio);
    lpio->ibBuffer = 0;
    return lpio->cbBuffer;
}

// Takes cb buffered bytes.
inline void vFnTake(LINEIO *lpio, uint16_t cb) {
    lpio->ibBuffer += cb;
    lpio->cbConsumed += cb;
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

// Runs the statement, with ib = 0, cbStep, 2 * cbStep ... for cSteps steps
// (at most 16), as straight-line code that one jump enters: the count is the
// same for every record of a reader, so the jump is predicted and no loop
// branch remains. A macro, so that the statement compiles for the target of
// the function it is in.
#define VOKDSP_STEP_AT(n, cbStep, ...)            \
    case n: {                                     \
        constexpr size_t ib = (n - 1) * (cbStep); \
        __VA_ARGS__;                              \
    }                                             \
        [[fallthrough]]
#define VOKDSP_EACH_STEP(cSteps, cbStep, ...)    \
    switch (cSteps) {                            \
        VOKDSP_STEP_AT(16, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(15, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(14, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(13, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(12, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(11, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(10, cbStep, __VA_ARGS__); \
        VOKDSP_STEP_AT(9, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(8, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(7, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(6, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(5, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(4, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(3, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(2, cbStep, __VA_ARGS__);  \
        VOKDSP_STEP_AT(1, cbStep, __VA_ARGS__);  \
        default:                                 \
            break;                               \
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

// The same in cVectors whole vectors, whatever the length of the data in them.
inline void vFnCopyWholeVectorsNulsAsBlanks(uint8_t *lpbDest, const uint8_t *lpbSource,
                                            unsigned cVectors, uint8_t bBlank) {
    const __m128i vBlanks = _mm_set1_epi8(static_cast<char>(bBlank));
    const __m128i vZero = _mm_setzero_si128();
    VOKDSP_EACH_STEP(cVectors, sizeof(__m128i), {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lpbSource + ib));
        v = _mm_or_si128(v, _mm_and_si128(_mm_cmpeq_epi8(v, vZero), vBlanks));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lpbDest + ib), v);
    });
}

// The same by 32-byte vectors, for processors that have them.
__attribute__((target("avx2"))) inline void vFnCopyWideVectorsNulsAsBlanks(
    uint8_t *lpbDest, const uint8_t *lpbSource, unsigned cVectors, uint8_t bBlank) {
    const __m256i vBlanks = _mm256_set1_epi8(static_cast<char>(bBlank));
    const __m256i vZero = _mm256_setzero_si256();
    VOKDSP_EACH_STEP((cVectors + 1) / 2, sizeof(__m256i), {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lpbSource + ib));
        v = _mm256_or_si256(v, _mm256_and_si256(_mm256_cmpeq_epi8(v, vZero), vBlanks));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lpbDest + ib), v);
    });
}

inline uint8_t cFnWholeVectors(uint32_t cbMaxData) {
    if (cbMaxData > cbMaxWholeVectors) return 0;
    return static_cast<uint8_t>((cbMaxData + sizeof(__m128i) - 1) / sizeof(__m128i));
}
#else
inline uint8_t cFnWholeVectors(uint32_t) { return 0; }
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
