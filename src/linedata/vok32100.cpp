// Record decoders of the line-data reader.
#include "vok32100.h"

#include <stdio.h>

#include <algorithm>

#include "BufferedRecord.h"
#include "MVXError.h"
#include "Status.h"

namespace vokdsp {

namespace {

// What a refused over-long record carries in its MVXError.
constexpr int32_t nTooLongCode = 16;
constexpr int32_t nTooLongSubCode = 16;
constexpr const char *lpszSourceName = "vok32100";
constexpr int32_t nVarRecordLine = 829;  // reported for every format-2 refusal
constexpr size_t cbMessageRoom = 128;    // holds the longest refusal message

// The prefix through the byte source: a byte missing at the end of input
// reads as a blank, like every byte taken one at a time.
uint16_t cbFnTakeRecordPrefix(LINEREC *lpRec, LINEIO *lpio, uint16_t *lpcbLeft,
                              uint32_t *lpdwStatus) {
    return cbFnTakePrefixBytes(lpRec->bCC, lpRec->bTRC, lpRec->abData, lpio, lpcbLeft,
                               [&] { return GetByte(lpio, lpdwStatus); });
}

// The call that finds the input exhausted delivers nothing and no length.
uint32_t cbFnEndOfInput(LINEIO *lpio) {
    lpio->cbRecord = 0;
    return 0;
}

// Takes a descriptor word byte by byte and gives its length. False when the
// input ended inside it: each missing byte has cost one more read request.
bool fFnTakeDescriptor(LINEIO *lpio, uint16_t *lpcbLength, uint32_t *lpdwStatus) {
    if (lpio->cbBuffer - lpio->ibBuffer >= cbDescriptor) {  // no refill can fall inside
        const uint8_t *lpb = lpio->abBuffer + lpio->ibBuffer;
        *lpcbLength = wFnBigEndian(lpb[0], lpb[1]);
        lpio->ibBuffer += cbDescriptor;
        lpio->cbConsumed += cbDescriptor;
        return true;
    }
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

// Refuses an over-long record: its code goes into the record area and,
// replacing any earlier code, the caller's status word; then MVXError carries
// the message out of get-next to the caller.
[[noreturn]] void vFnRefuseTooLong(LINEREC *lpRec, const LINEIO *lpio,
                                   const char *lpszDecoder, uint16_t cbLength,
                                   int32_t nLine, uint32_t *lpdwStatus) {
    char szMessage[cbMessageRoom];
    snprintf(szMessage, sizeof szMessage,
             "%s. The record is too long - %u bytes. Max length is %u bytes", lpszDecoder,
             unsigned{cbLength}, unsigned{lpio->cbMaxRecord});
    lpRec->dwStatus = DSP_ERR_RECORD_TOO_LONG;
    vFnStoreStatus(lpdwStatus, DSP_ERR_RECORD_TOO_LONG);
    throw MVXError(szMessage, nTooLongCode, nTooLongSubCode, lpszSourceName, nLine);
}

// Prefix bytes and data of a record with cbLeft bytes after its descriptor,
// if any; the record began at input offset cbStart. A record cut short by the
// end of input keeps the bytes read, and cbRecord counts what it took.
uint32_t cbFnTakeRecordBody(LINEREC *lpRec, LINEIO *lpio, uint16_t cbLeft,
                            uint32_t cbStart, uint32_t *lpdwStatus) {
    const uint16_t cbLead = cbFnTakeRecordPrefix(lpRec, lpio, &cbLeft, lpdwStatus);
    const uint16_t cbCopied =
        cbFnCopyInput(lpio, lpRec->abData + cbLead, cbLeft, lpdwStatus);
    lpio->cbRecord = lpio->cbConsumed - cbStart;
    // A record cut short by the end of input keeps its NUL bytes.
    if (lpio->cbBuffer != 0 && lpRec->bCC != bStructuredField)
        vFnCopyNulsAsBlanks(lpRec->abData, lpRec->abData, cbCopied, lpio->bBlank);
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

// A short fill behind a carried head: the head goes back in front of the
// bytes that came, as if one fill had brought both, and an end of input
// waits for the next fill. The byte source path then takes the record.
void vFnPutBackHead(LINEIO *lpio, const uint8_t *lpbHead, uint16_t cbHead) {
    const uint16_t cbFilled = lpio->cbBuffer;
    memmove(lpio->abBuffer + cbHead, lpio->abBuffer, cbFilled);
    memcpy(lpio->abBuffer, lpbHead, cbHead);
    lpio->cbBuffer = cbHead + cbFilled;
    lpio->fEndHeld = cbFilled == 0;
    if (lpio->fMapsControls) vFnMapControls(lpio);
}

// Takes the fixed record at the read position when it can lie whole in front
// of and in the buffer, and returns its start: a head the buffer's end cuts
// moves to the carry area before the refill. Null, with nothing taken, when
// the record is too long for the carry area or the fill brings too little.
const uint8_t *lpFnTakeWholeFixedRecord(LINEIO *lpio, uint32_t *lpdwStatus) {
    const uint16_t cbRecord = lpio->cbMaxRecord;
    const uint16_t cbHead = cbFnBuffered(lpio);
    const uint8_t *const lpbAt = lpio->abBuffer + lpio->ibBuffer;
    if (cbHead >= cbRecord) {
        vFnTake(lpio, cbRecord);
        return lpbAt;
    }
    if (cbRecord > cbMaxCarry) return nullptr;
    uint8_t *const lpbHead = lpio->abCarry + cbMaxCarry - cbHead;
    memcpy(lpbHead, lpbAt, cbHead);
    if (FillBuffer(lpio, lpdwStatus) < cbRecord - cbHead) {
        vFnPutBackHead(lpio, lpbHead, cbHead);
        return nullptr;
    }
    lpio->ibBuffer = cbRecord - cbHead;
    lpio->cbConsumed += cbRecord;
    return lpbHead;
}

}  // namespace

uint32_t cfnFixedRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    lpRec->bCC = 0;
    lpRec->bTRC = 0;
    if (!fFnRefillIfDue(lpio, lpdwStatus)) {
        lpRec->abData[0] = 0;
        return cbFnEndOfInput(lpio);
    }
    const uint8_t *const lpbRecord = lpFnTakeWholeFixedRecord(lpio, lpdwStatus);
    if (lpbRecord != nullptr) {
        lpio->cbRecord = lpio->cbMaxRecord;
        return cbFnDeliverBuffered(lpRec, lpio, lpbRecord, lpio->cbMaxRecord);
    }
    return cbFnTakeRecordBody(lpRec, lpio, lpio->cbMaxRecord, lpio->cbConsumed,
                              lpdwStatus);
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
    if (cbLength > lpio->cbMaxRecord)
        vFnRefuseTooLong(lpRec, lpio, "cfnVarRecord_Get", cbLength, nVarRecordLine,
                         lpdwStatus);
    return cbFnTakeRecordBody(lpRec, lpio, cbLength - cbDescriptor, cbStart, lpdwStatus);
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
    if (cbLength > lpio->cbMaxRecord)
        vFnRefuseTooLong(lpRec, lpio, "cfnVarBlockRecord_Get", cbLength, __LINE__,
                         lpdwStatus);
    lpio->cbBlockLeft -= cbLength;
    return cbFnTakeRecordBody(lpRec, lpio, cbLength - cbDescriptor, cbStart, lpdwStatus);
}

}  // namespace vokdsp

// ---- Text stream (format 0) --------------------------------------------------
//
// A line is: [form-feed position] [carriage control] [TRC] text, line end.
// Control, length and discarded bytes go through GetByte; text and field bytes
// are copied in runs straight from the input buffer.

namespace vokdsp {

namespace {

constexpr uint16_t wOptTextCC = 0x0030;    // a carriage-control byte leads each line
constexpr uint16_t wOptFormFeed = 0x0080;  // a line may open with a form feed

constexpr uint8_t bBackspace = 0x08;
constexpr uint8_t bLineFeed = 0x0A;
constexpr uint8_t bFormFeed = 0x0C;
constexpr uint8_t bCarriageReturn = 0x0D;
constexpr uint8_t bFirstPrintable = 0x20;
constexpr uint8_t bNewPageCC = 0x31;     // the carriage control of a form feed
constexpr uint32_t cbMaxCount = 0xFFFF;  // cbData is a 16-bit count

// NUL and backspace print as blanks and stay in the text; any other control
// byte ends the line.
inline bool fFnEndsText(uint8_t b) {
    return b < bFirstPrintable && b != 0 && b != bBackspace;
}

// An empty line ends with the byte that marked it and one more, dropped. Its
// one data byte is what the form-feed position stored, else a NUL, made a
// blank once the line is complete.
uint32_t cbFnEndEmptyLine(LINEREC *lpRec, LINEIO *lpio, uint32_t cbCount,
                          uint32_t *lpdwStatus) {
    (void)GetByte(lpio, lpdwStatus);
    if (cbCount == 0) lpRec->abData[0] = 0;
    return 1;
}

// Sets the default carriage control 0x20, or 0x31 for a form feed, which is
// not data. False for an empty line.
bool fFnTakeFormFeedPosition(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpcbCount,
                             uint32_t *lpdwStatus) {
    lpRec->bCC = bAsciiBlank;
    const uint8_t b = GetByte(lpio, lpdwStatus);
    if (b == bFormFeed) {
        lpRec->bCC = bNewPageCC;
    } else if (b >= bFirstPrintable || b == bBackspace) {
        lpRec->abData[(*lpcbCount)++] = b == bBackspace ? bAsciiBlank : b;
    } else {
        return false;
    }
    return true;
}

// False for an empty line. 0x5A opens a structured-field line.
bool fFnTakeCarriageControl(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    const uint8_t b = GetByte(lpio, lpdwStatus);
    if (b == 0 || b == bLineFeed || b == bCarriageReturn) return false;
    lpRec->bCC = b;
    return true;
}

// False for an empty line; the character is the low four bits.
bool fFnTakeTableReference(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    const uint8_t b = GetByte(lpio, lpdwStatus);
    if (b < bFirstPrintable) return false;
    lpRec->bTRC = b & 0x0F;
    return true;
}

#if defined(__SSE2__)
// The bytes of v below 0x20, each all ones.
inline __m128i vFnControlBytes(__m128i v) {
    return _mm_cmpeq_epi8(
        _mm_min_epu8(v, _mm_set1_epi8(static_cast<char>(bFirstPrintable - 1))), v);
}

// Copies 16 bytes of text, NUL and backspace as blanks, and returns the mask
// of the bytes among them that end the text. The room for all 16 is there: a
// byte stored after the end lies beyond the record's data.
unsigned nFnCopyTextVector(uint8_t *lpbDest, const uint8_t *lpbSource) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lpbSource));
    const __m128i vControl = vFnControlBytes(v);
    if (_mm_movemask_epi8(vControl) == 0) {  // printable only: most of every line
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lpbDest), v);
        return 0;
    }
    const __m128i vBlanked = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8(bBackspace)));
    const __m128i vText = _mm_or_si128(
        _mm_andnot_si128(vBlanked, v),
        _mm_and_si128(vBlanked, _mm_set1_epi8(static_cast<char>(bAsciiBlank))));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lpbDest), vText);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(vBlanked, vControl)));
}
#endif

#if defined(__SSE2__)
// The control bytes of the first 128 bytes of a text: bit i of qwNear set
// where byte i is below 0x20, of qwFar where byte 64 + i is.
struct TextWindow {
    uint64_t qwNear;
    uint64_t qwFar;
};

// Bit i set where byte i of the 64 in v0 to v3 is below 0x20.
inline uint64_t qwFnControls(__m128i v0, __m128i v1, __m128i v2, __m128i v3) {
    const auto qwFnMarks = [](__m128i v, unsigned nShift) {
        return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(vFnControlBytes(v)))}
               << nShift;
    };
    return qwFnMarks(v0, 0) | qwFnMarks(v1, 16) | qwFnMarks(v2, 32) | qwFnMarks(v3, 48);
}

// The same for the 64 bytes in two 32-byte vectors.
__attribute__((target("avx2"))) inline uint64_t qwFnWideControls(__m256i v0, __m256i v1) {
    const __m256i vLastControl = _mm256_set1_epi8(static_cast<char>(bFirstPrintable - 1));
    const auto qwFnMarks = [vLastControl](__m256i v) __attribute__((target("avx2"))) {
        return uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_min_epu8(v, vLastControl), v)))};
    };
    return qwFnMarks(v0) | qwFnMarks(v1) << 32;
}

// Loads the first 128 bytes at lpbSource once, stores the first cVectors
// 16-byte vectors of them (at most 8) at lpbDest and marks their control bytes.
inline TextWindow FnCopyTextWindow(uint8_t *lpbDest, const uint8_t *lpbSource,
                                   unsigned cVectors) {
    const auto vFnLoad = [lpbSource](size_t ib) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(lpbSource + ib));
    };
    const auto vFnStore = [lpbDest](size_t ib, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(lpbDest + ib), v);
    };
    const __m128i v0 = vFnLoad(0), v1 = vFnLoad(16), v2 = vFnLoad(32), v3 = vFnLoad(48);
    const __m128i v4 = vFnLoad(64), v5 = vFnLoad(80), v6 = vFnLoad(96), v7 = vFnLoad(112);
    vFnStore(0, v0);
    if (cVectors > 7) {  // most readers: one test, then the rest
        vFnStore(16, v1);
        vFnStore(32, v2);
        vFnStore(48, v3);
        vFnStore(64, v4);
        vFnStore(80, v5);
        vFnStore(96, v6);
        vFnStore(112, v7);
    } else {
        if (cVectors > 1) vFnStore(16, v1);
        if (cVectors > 2) vFnStore(32, v2);
        if (cVectors > 3) vFnStore(48, v3);
        if (cVectors > 4) vFnStore(64, v4);
        if (cVectors > 5) vFnStore(80, v5);
        if (cVectors > 6) vFnStore(96, v6);
    }
    return {qwFnControls(v0, v1, v2, v3), qwFnControls(v4, v5, v6, v7)};
}

// The same in 32-byte vectors, storing (cVectors + 1) / 2 of them (at most 4).
__attribute__((target("avx2"))) inline TextWindow FnCopyWideTextWindow(
    uint8_t *lpbDest, const uint8_t *lpbSource, unsigned cVectors) {
    const auto vFnLoad = [lpbSource](size_t ib) __attribute__((target("avx2"))) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lpbSource + ib));
    };
    const auto vFnStore = [lpbDest](size_t ib, __m256i v)
        __attribute__((target("avx2"))) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lpbDest + ib), v);
    };
    const __m256i v0 = vFnLoad(0), v1 = vFnLoad(32), v2 = vFnLoad(64), v3 = vFnLoad(96);
    vFnStore(0, v0);
    if (cVectors > 6) {  // most readers: one test, then the rest
        vFnStore(32, v1);
        vFnStore(64, v2);
        vFnStore(96, v3);
    } else {
        if (cVectors > 2) vFnStore(32, v1);
        if (cVectors > 4) vFnStore(64, v2);
    }
    return {qwFnWideControls(v0, v1), qwFnWideControls(v2, v3)};
}

// Copies the text at lpb in the reader's whole vectors (cVectors of 16 bytes,
// at least one) and returns the offset of its first byte below 0x20 among the
// first 128; 127, a byte that is none, when there is none. Selected without a
// branch: where a line ends is not predictable.
template <bool fWide>
unsigned cbFnCopyTextWindow(uint8_t *lpbDest, const uint8_t *lpb, unsigned cVectors) {
    TextWindow window;
    if constexpr (fWide)
        window = FnCopyWideTextWindow(lpbDest, lpb, cVectors);
    else
        window = FnCopyTextWindow(lpbDest, lpb, cVectors);
    // Both words are searched at once and the answer chosen by a mask the
    // compiler cannot see through: it would otherwise branch on where the line
    // ends, which no predictor knows, and choosing the word first would put
    // the choice in front of the search on every line's path.
    uint64_t qwFarMask = 0 - uint64_t{window.qwNear == 0};
    __asm__ volatile("" : "+r"(qwFarMask));
    constexpr uint64_t qwLastBit = uint64_t{1} << 63;
    const uint64_t cbNear =
        static_cast<uint64_t>(__builtin_ctzll(window.qwNear | qwLastBit));
    const uint64_t cbFar =
        64 + static_cast<uint64_t>(__builtin_ctzll(window.qwFar | qwLastBit));
    return static_cast<unsigned>((cbNear & ~qwFarMask) | (cbFar & qwFarMask));
}

// Marks the control bytes of the buffer in the first cqw words of aqwControls,
// 64 bytes a word, past its filled bytes as far as the words reach: what lies
// there never decides a line, but is defined.
void vFnMapNarrowControls(LINEIO *lpio, size_t cqw) {
    const uint8_t *lpb = lpio->abBuffer;
    for (size_t iqw = 0; iqw < cqw; ++iqw, lpb += 64) {
        const auto vFnLoad = [lpb](size_t ib) {
            return _mm_load_si128(reinterpret_cast<const __m128i *>(lpb + ib));
        };
        lpio->aqwControls[iqw] =
            qwFnControls(vFnLoad(0), vFnLoad(16), vFnLoad(32), vFnLoad(48));
    }
}

__attribute__((target("avx2"))) void vFnMapWideControls(LINEIO *lpio, size_t cqw) {
    const uint8_t *lpb = lpio->abBuffer;
    for (size_t iqw = 0; iqw < cqw; ++iqw, lpb += 64) {
        const auto vFnLoad = [lpb](size_t ib) __attribute__((target("avx2"))) {
            return _mm256_load_si256(reinterpret_cast<const __m256i *>(lpb + ib));
        };
        lpio->aqwControls[iqw] = qwFnWideControls(vFnLoad(0), vFnLoad(32));
    }
}

__attribute__((target("avx512f,avx512bw"))) void vFnMapControlsByMasks(LINEIO *lpio,
                                                                       size_t cqw) {
    const __m512i vFirstPrintable = _mm512_set1_epi8(static_cast<char>(bFirstPrintable));
    for (size_t iqw = 0; iqw < cqw; ++iqw)
        lpio->aqwControls[iqw] = _mm512_cmplt_epu8_mask(
            _mm512_load_si512(lpio->abBuffer + 64 * iqw), vFirstPrintable);
}

// nIf where qwTest is not zero, else nElse: by a conditional move, where the
// compiler would branch on a value no predictor knows.
__attribute__((always_inline)) inline unsigned nFnSelect(uint64_t qwTest, unsigned nIf,
                                                         unsigned nElse) {
#if defined(__x86_64__)
    __asm__("test %1, %1\n\tcmovnz %k2, %k0"
            : "+r"(nElse)
            : "r"(qwTest), "r"(nIf)
            : "cc");
    return nElse;
#else
    return qwTest != 0 ? nIf : nElse;
#endif
}

// The distance from buffer position ib (at most the buffer's size) to the
// first control byte at or after it, from the control map: below cbTextWindow
// when one lies that near. Three words are searched at once and the answer
// chosen without a branch, where a line ends being unpredictable; so the
// line's end follows its start in a few steps, whatever its copy costs.
// fWide: the processor counts zero bits with TZCNT, which gives 64 for none.
template <bool fWide>
__attribute__((always_inline)) inline unsigned cbFnMappedControl(const LINEIO *lpio,
                                                                 size_t ib) {
    const uint64_t *const lpqw = lpio->aqwControls + ib / 64;
    const uint64_t qwFirst = lpqw[0] & (~uint64_t{0} << (ib % 64));
    const auto cbFnFirstMark = [](uint64_t qw) {
#if defined(__x86_64__)
        if constexpr (fWide) {
            uint64_t cb;
            __asm__("tzcnt %1, %0" : "=r"(cb) : "r"(qw) : "cc");
            return static_cast<unsigned>(cb);
        }
#endif
        return static_cast<unsigned>(__builtin_ctzll(qw | uint64_t{1} << 63));
    };
    unsigned cb = 128 + cbFnFirstMark(lpqw[2]);
    cb = nFnSelect(lpqw[1], 64 + cbFnFirstMark(lpqw[1]), cb);
    cb = nFnSelect(qwFirst, cbFnFirstMark(qwFirst), cb);
    return cb - static_cast<unsigned>(ib % 64);
}
#endif

// Copies text from lpbSource to lpbDest up to the first byte that ends it, at
// most cb bytes, NUL and backspace as blanks. Returns the bytes copied. Runs
// of printable bytes go over in vectors or words; a word that holds a control
// byte is taken byte by byte.
__attribute__((noinline)) uint16_t cbFnCopyTextRun(uint8_t *lpbDest,
                                                   const uint8_t *lpbSource,
                                                   uint16_t cb) {
    size_t ib = 0;
#if defined(__SSE2__)
    for (; ib + sizeof(__m128i) <= cb; ib += sizeof(__m128i)) {
        const unsigned nEnds = nFnCopyTextVector(lpbDest + ib, lpbSource + ib);
        if (nEnds != 0) return static_cast<uint16_t>(ib + __builtin_ctz(nEnds));
    }
#endif
    while (ib < cb) {
        for (uint64_t qw; ib + sizeof qw <= cb; ib += sizeof qw) {
            memcpy(&qw, lpbSource + ib, sizeof qw);
            if (fFnHasByteBelow(qw, bFirstPrintable)) break;
            memcpy(lpbDest + ib, &qw, sizeof qw);
        }
        const size_t ibWordEnd = std::min<size_t>(cb, ib + sizeof(uint64_t));
        for (; ib < ibWordEnd; ++ib) {
            const uint8_t b = lpbSource[ib];
            if (fFnEndsText(b)) return static_cast<uint16_t>(ib);
            lpbDest[ib] = b == 0 || b == bBackspace ? bAsciiBlank : b;
        }
    }
    return static_cast<uint16_t>(ib);
}

// What the buffered path returns for a line that the first 128 bytes of its
// text do not decide: one with a NUL or a backspace there, longer text, or an
// empty line.
constexpr uint32_t cbUndecided = 0x20000;

// Copies the text at lpb, at most cbRun bytes, as cbFnCopyTextRun does and
// returns its length: from the first 128 bytes loaded once when a byte that
// ends the text comes there before any NUL or backspace. fWindowOnly: those
// bytes alone decide, the end taken from the buffer's control map (lpb lies
// in the buffer) and held against the run by the caller; cbUndecided when
// they cannot.
template <bool fWide, bool fWindowOnly>
uint32_t cbFnCopyBufferedText(const LINEIO *lpio, uint8_t *lpbDest, const uint8_t *lpb,
                              uint16_t cbRun) {
#if defined(__SSE2__)
    if (fWindowOnly) {  // the end from the map, the copy beside it
        // The window's own marks go unused, and so are not computed.
        if constexpr (fWide)
            (void)FnCopyWideTextWindow(lpbDest, lpb, lpio->cWholeVectors);
        else
            (void)FnCopyTextWindow(lpbDest, lpb, lpio->cWholeVectors);
        const unsigned cbControl =
            cbFnMappedControl<fWide>(lpio, static_cast<size_t>(lpb - lpio->abBuffer));
        if (cbControl < cbTextWindow && fFnEndsText(lpb[cbControl])) return cbControl;
        return cbUndecided;
    }
    if (lpio->cWholeVectors != 0) {
        const unsigned cbControl =
            cbFnCopyTextWindow<fWide>(lpbDest, lpb, lpio->cWholeVectors);
        if (cbControl >= cbRun) return cbRun;  // no control byte in the run
        if (fFnEndsText(lpb[cbControl])) return cbControl;
        // The bytes in front of it are printable and stored: the run goes on
        // from there (a NUL or backspace, or byte 127 of a longer text).
        return cbControl + cbFnCopyTextRun(lpbDest + cbControl, lpb + cbControl,
                                           static_cast<uint16_t>(cbRun - cbControl));
    }
#endif
    return cbFnCopyTextRun(lpbDest, lpb, cbRun);
}

// Copies text up to the byte that ends it, the end of input, or the cut at
// cbMaxRecord + 1 data bytes (at most 65535), a data byte from the form-feed
// position included. The buffer is refilled once its last byte is taken.
uint32_t cbFnCopyLineText(LINEREC *lpRec, LINEIO *lpio, uint32_t cbCount,
                          uint32_t *lpdwStatus) {
    const uint32_t cbLimit = lpio->cbTextLimit;
    for (;;) {
        const uint16_t cbAvail = lpio->cbBuffer - lpio->ibBuffer;
        const uint16_t cbRun =
            static_cast<uint16_t>(std::min<uint32_t>(cbAvail, cbLimit - cbCount));
        const uint16_t cbText = cbFnCopyTextRun(lpRec->abData + cbCount,
                                                lpio->abBuffer + lpio->ibBuffer, cbRun);
        vFnTake(lpio, cbText);
        cbCount += cbText;
        if (!fFnRefillIfDue(lpio, lpdwStatus)) break;
        if (cbText < cbRun || cbCount >= cbLimit) break;
    }
    return cbCount;
}

// Drops the two line-end bytes, whatever they are. With form feeds on, a form
// feed that ended the text stays: it opens the next line. Input found exhausted
// by the text copy is not asked for again.
void vFnDiscardLineEnd(LINEIO *lpio, uint32_t *lpdwStatus) {
    if (lpio->cbBuffer == 0 || !fFnRefillIfDue(lpio, lpdwStatus)) return;
    if (fFnOption(lpio, wOptFormFeed) && lpio->abBuffer[lpio->ibBuffer] == bFormFeed)
        return;
    if (lpio->cbBuffer - lpio->ibBuffer >= 2) return vFnTake(lpio, 2);
    (void)GetByte(lpio, lpdwStatus);
    (void)GetByte(lpio, lpdwStatus);
}

// The record data of a structured-field line. Bytes beyond the record area's
// room (its NUL kept, at most 65535) are taken from the input and dropped.
struct FieldLine {
    uint8_t *lpbData;
    uint32_t cbCount;
    uint32_t cbRoom;
    bool fCut;
    uint8_t bLast;  // the last byte taken, stored or not
};

void vFnStoreField(FieldLine *lpLine, const uint8_t *lpb, uint16_t cb) {
    const uint32_t cbFits = std::min<uint32_t>(cb, lpLine->cbRoom - lpLine->cbCount);
    memcpy(lpLine->lpbData + lpLine->cbCount, lpb, cbFits);
    lpLine->cbCount += cbFits;
    lpLine->fCut |= cbFits < cb;
    if (cb != 0) lpLine->bLast = lpb[cb - 1];
}

void vFnStoreFieldByte(FieldLine *lpLine, uint8_t b) { vFnStoreField(lpLine, &b, 1); }

// Takes up to cbWanted bytes, or through the first carriage return when
// fToReturn; stops at end of input. Returns the bytes still wanted.
uint32_t cbFnTakeField(FieldLine *lpLine, LINEIO *lpio, uint32_t cbWanted, bool fToReturn,
                       uint32_t *lpdwStatus) {
    while (cbWanted != 0 && fFnRefillIfDue(lpio, lpdwStatus)) {
        const uint8_t *lpbSource = lpio->abBuffer + lpio->ibBuffer;
        uint16_t cbRun = static_cast<uint16_t>(
            std::min<uint32_t>(lpio->cbBuffer - lpio->ibBuffer, cbWanted));
        const void *lpReturn =
            fToReturn ? memchr(lpbSource, bCarriageReturn, cbRun) : nullptr;
        if (lpReturn != nullptr)
            cbRun = static_cast<uint16_t>(static_cast<const uint8_t *>(lpReturn) -
                                          lpbSource + 1);
        vFnStoreField(lpLine, lpbSource, cbRun);
        vFnTake(lpio, cbRun);
        cbWanted = lpReturn != nullptr ? 0 : cbWanted - cbRun;
    }
    return cbWanted;
}

// Reads the big-endian field length. A length below 2 cannot count itself; it
// is taken as 2 and the record marked.
uint32_t cbFnFieldLength(FieldLine *lpLine, LINEREC *lpRec, LINEIO *lpio,
                         uint32_t *lpdwStatus) {
    const uint8_t bHigh = GetByte(lpio, lpdwStatus);
    vFnStoreFieldByte(lpLine, bHigh);
    const uint8_t bLow = GetByte(lpio, lpdwStatus);
    vFnStoreFieldByte(lpLine, bLow);
    const uint16_t cbField = wFnBigEndian(bHigh, bLow);
    if (cbField >= 2) return cbField;
    vFnStoreFirstStatus(lpdwStatus, DSP_ERR_BAD_RECORD);
    vFnStoreFirstStatus(&lpRec->dwStatus, DSP_ERR_BAD_RECORD);
    return 2;
}

// 0x5A, the length, the rest of the field, then every byte through the carriage
// return (part of the data) and the line feed after it (dropped). A line too
// long for the record area is delivered cut and marked.
uint32_t cbFnCopyStructuredFieldLine(LINEREC *lpRec, LINEIO *lpio, uint32_t cbCount,
                                     uint32_t *lpdwStatus) {
    const uint32_t cbRoom = std::min<uint32_t>(lpio->cbMaxRecord + 3u, cbMaxCount);
    FieldLine line{lpRec->abData, cbCount, cbRoom, false, 0};
    vFnStoreFieldByte(&line, bStructuredField);
    const uint32_t cbField = cbFnFieldLength(&line, lpRec, lpio, lpdwStatus);
    const bool fWhole = cbFnTakeField(&line, lpio, cbField - 2, false, lpdwStatus) == 0;
    if (fWhole && lpio->cbBuffer != 0 && line.bLast != bCarriageReturn)
        (void)cbFnTakeField(&line, lpio, UINT32_MAX, true, lpdwStatus);
    if (lpio->cbBuffer != 0) (void)GetByte(lpio, lpdwStatus);
    if (line.fCut) {
        vFnStoreStatus(lpdwStatus, DSP_ERR_RECORD_TOO_LONG);
        vFnStoreStatus(&lpRec->dwStatus, DSP_ERR_RECORD_TOO_LONG);
    }
    return line.cbCount;
}

// One line: the control positions the options select, then a structured field
// or the text and its line end.
uint32_t cbFnDecodeTextLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    uint32_t cbCount = 0;
    if (fFnOption(lpio, wOptFormFeed) &&
        !fFnTakeFormFeedPosition(lpRec, lpio, &cbCount, lpdwStatus))
        return cbFnEndEmptyLine(lpRec, lpio, cbCount, lpdwStatus);
    if (fFnOption(lpio, wOptTextCC) && !fFnTakeCarriageControl(lpRec, lpio, lpdwStatus))
        return cbFnEndEmptyLine(lpRec, lpio, cbCount, lpdwStatus);
    if (fFnOption(lpio, wOptTRC) && lpRec->bCC != bStructuredField &&
        !fFnTakeTableReference(lpRec, lpio, lpdwStatus))
        return cbFnEndEmptyLine(lpRec, lpio, cbCount, lpdwStatus);
    const bool fInputLeft = fFnRefillIfDue(lpio, lpdwStatus);
    if (lpRec->bCC == bStructuredField)
        return cbFnCopyStructuredFieldLine(lpRec, lpio, cbCount, lpdwStatus);
    if (!fInputLeft) return cbCount;
    cbCount = cbFnCopyLineText(lpRec, lpio, cbCount, lpdwStatus);
    vFnDiscardLineEnd(lpio, lpdwStatus);
    return cbCount;
}

// What the buffered path returns for a line it leaves because the buffer
// ends inside it; 0 for one it leaves to the byte source.
constexpr uint32_t cbPastBuffer = 0x10000;

// Takes a line of input bytes ibStart to ibEnd with cbData bytes of data in
// the record area, and completes the record as get-next does.
inline uint16_t cbFnDeliverLine(LINEREC *lpRec, LINEIO *lpio, ptrdiff_t ibStart,
                                ptrdiff_t ibEnd, uint16_t cbData, uint8_t bCC,
                                uint8_t bTRC) {
    const uint16_t cbTaken = static_cast<uint16_t>(ibEnd - ibStart);
    lpio->ibBuffer = static_cast<uint16_t>(ibEnd);
    lpio->cbConsumed += cbTaken;
    lpio->cbRecord = cbTaken;
    uint8_t *const lpbData = lpRec->abData;
    if (cbData == 0) lpbData[cbData++] = lpio->bBlank;
    lpbData[cbData] = 0;
    vFnStoreRecordHeader(lpRec, bCC != 0 ? bCC : lpio->bDefaultCC, bTRC, cbData);
    return cbData;
}

// An empty line: the byte that marked it, before buffer position ib, and one
// more are dropped. Its one data byte is what the form-feed position stored,
// else the blank.
__attribute__((noinline, cold)) uint32_t cbFnTakeEmptyLine(LINEREC *lpRec, LINEIO *lpio,
                                                           ptrdiff_t ibStart,
                                                           ptrdiff_t ib, uint16_t cbCount,
                                                           uint8_t bCC) {
    if (ib == lpio->cbBuffer) return cbPastBuffer;
    return cbFnDeliverLine(lpRec, lpio, ibStart, ib + 1, cbCount, bCC, 0);
}

// A layout (its option bits) that each line of a stream looks up in the
// reader; get-next is compiled apart for the layouts most streams have.
constexpr uint16_t wAnyLayout = 0xFFFF;

// The common line, decoded straight from the buffer: it lies there whole with
// its line end and is no structured field. The same steps as
// cbFnDecodeTextLine, and completed as get-next completes a record; returns
// its data length. The line begins at buffer position ibStart, which is
// negative for a head carried in front of the buffer. fWide: compiled for
// 32-byte vectors, and the reader copies in them; wLayout: the option bits
// of the reader's lines, or wAnyLayout.
template <bool fWide, uint16_t wLayout, bool fWindowOnly>
inline uint32_t cbFnTakeBufferedLine(LINEREC *lpRec, LINEIO *lpio, ptrdiff_t ibStart) {
    const uint8_t *const lpbBuffer = lpio->abBuffer;
    const ptrdiff_t cbBuffer = lpio->cbBuffer;
    if (ibStart >= cbBuffer) return 0;
    const uint16_t wFormat = wLayout == wAnyLayout ? lpio->wFormat : wLayout;
    ptrdiff_t ib = ibStart;
    uint16_t cbCount = 0;
    uint8_t bCC = 0;
    uint8_t bTRC = 0;
    if (wFormat & wOptFormFeed) {
        const uint8_t b = lpbBuffer[ib];
        bCC = b == bFormFeed ? bNewPageCC : bAsciiBlank;
        // On the common line a printable byte here, with the text next to it,
        // is copied and searched as the text's first.
        const bool fTextFirst =
            fWindowOnly && !(wFormat & (wOptTextCC | wOptTRC)) && b >= bFirstPrintable;
        if (!fTextFirst) {
            ++ib;
            if (b >= bFirstPrintable || b == bBackspace)
                lpRec->abData[cbCount++] = b == bBackspace ? bAsciiBlank : b;
            else if (b != bFormFeed)
                return fWindowOnly
                           ? cbUndecided
                           : cbFnTakeEmptyLine(lpRec, lpio, ibStart, ib, cbCount, bCC);
        }
    }
    if (wFormat & wOptTextCC) {
        if (ib == cbBuffer) return cbPastBuffer;
        const uint8_t b = lpbBuffer[ib++];
        if (b == 0 || b == bLineFeed || b == bCarriageReturn)
            return fWindowOnly
                       ? cbUndecided
                       : cbFnTakeEmptyLine(lpRec, lpio, ibStart, ib, cbCount, bCC);
        bCC = b;
    }
    if (bCC == bStructuredField) return 0;
    if (wFormat & wOptTRC) {
        if (ib == cbBuffer) return cbPastBuffer;
        const uint8_t b = lpbBuffer[ib++];
        if (b < bFirstPrintable)
            return fWindowOnly
                       ? cbUndecided
                       : cbFnTakeEmptyLine(lpRec, lpio, ibStart, ib, cbCount, bCC);
        bTRC = b & 0x0F;
    }
    // The common line reads the buffer's bounds again from the reader rather
    // than keeping them over the copy, so that its path saves fewer registers.
    const auto cbFnRun = [lpio, ib, cbCount](ptrdiff_t cbBufferNow) {
        return static_cast<uint16_t>(
            std::min<ptrdiff_t>(cbBufferNow - ib, lpio->cbTextLimit - cbCount));
    };
    uint16_t cbRun = fWindowOnly ? 0 : cbFnRun(cbBuffer);
    const uint32_t cbText = cbFnCopyBufferedText<fWide, fWindowOnly>(
        lpio, lpRec->abData + cbCount, lpbBuffer + ib, cbRun);
    if (cbText == cbUndecided) return cbUndecided;
    const ptrdiff_t cbBufferNow = fWindowOnly ? lpio->cbBuffer : cbBuffer;
    if (fWindowOnly) cbRun = cbFnRun(cbBufferNow);
    // No end in the run: the buffer ends before the cut, or the line is cut.
    if (cbText >= cbRun) return cbBufferNow - ib == cbRun ? cbPastBuffer : 0;
    ib += cbText;
    const bool fFormFeedKept = (wFormat & wOptFormFeed) && lpbBuffer[ib] == bFormFeed;
    if (!fFormFeedKept) {
        if (cbBufferNow - ib < 2) return cbPastBuffer;
        ib += 2;
    }
    return cbFnDeliverLine(lpRec, lpio, fWindowOnly ? lpio->ibBuffer : ibStart, ib,
                           static_cast<uint16_t>(cbCount + cbText), bCC, bTRC);
}

// A line the buffer's end cuts: its head moves to the carry area, the buffer
// is refilled, and the line is taken from the head on when the fill brings
// the rest; else the head goes back in front of the fill and 0 is returned.
// The refill is due: the byte source would read on inside this line too.
template <bool fWide>
inline uint16_t cbFnTakeCarriedLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    const uint16_t cbHead = cbFnBuffered(lpio);
    if (cbHead > cbMaxCarry) return 0;
    uint8_t *const lpbHead = lpio->abCarry + cbMaxCarry - cbHead;
    memcpy(lpbHead, lpio->abBuffer + lpio->ibBuffer, cbHead);
    uint32_t dwScratch = DSP_OK;
    FillBuffer(lpio, lpdwStatus != nullptr ? lpdwStatus : &dwScratch);
    const uint32_t cbData =
        cbFnTakeBufferedLine<fWide, wAnyLayout, false>(lpRec, lpio, -ptrdiff_t{cbHead});
    if (cbData != 0 && cbData != cbPastBuffer) return static_cast<uint16_t>(cbData);
    vFnPutBackHead(lpio, lpbHead, cbHead);
    return 0;
}

// Every line the common line's path leaves, cbCode telling why: a line the
// window does not decide is taken by the buffered path in full, a line the
// buffer's end cuts is carried, and the byte source takes every other.
template <bool fWide>
inline uint16_t cbFnNextOtherLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus,
                                  uint32_t cbCode) {
    if (cbCode == cbUndecided) {
        cbCode =
            cbFnTakeBufferedLine<fWide, wAnyLayout, false>(lpRec, lpio, lpio->ibBuffer);
        if (cbCode != 0 && cbCode != cbPastBuffer) return static_cast<uint16_t>(cbCode);
    }
    if (cbCode == cbPastBuffer) {
        const uint16_t cbCarried = cbFnTakeCarriedLine<fWide>(lpRec, lpio, lpdwStatus);
        if (cbCarried != 0) return cbCarried;
    }
    return cbFnGetNextByteSource(lpRec, lpdwStatus);
}

// Out of line, so that the common line's path keeps its registers.
__attribute__((noinline)) uint16_t cbFnNextOtherNarrowLine(LINEREC *lpRec, LINEIO *lpio,
                                                           uint32_t *lpdwStatus,
                                                           uint32_t cbCode) {
    return cbFnNextOtherLine<false>(lpRec, lpio, lpdwStatus, cbCode);
}

#if defined(__SSE2__)
__attribute__((target("avx2"), flatten, noinline)) uint16_t cbFnNextOtherWideLine(
    LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus, uint32_t cbCode) {
    return cbFnNextOtherLine<true>(lpRec, lpio, lpdwStatus, cbCode);
}
#else
uint16_t cbFnNextOtherWideLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus,
                               uint32_t cbCode) {
    return cbFnNextOtherNarrowLine(lpRec, lpio, lpdwStatus, cbCode);
}
#endif

// Get-next for a reader that copies by length: every line as an other line.
uint16_t cbFnNextUnwindowedLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    return cbFnNextOtherNarrowLine(lpRec, lpio, lpdwStatus, cbUndecided);
}

// Get-next for a text stream: the common line from the buffer, every other
// out of line.
template <bool fWide, uint16_t wLayout>
inline uint16_t cbFnNextLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    const uint32_t cbCode =
        cbFnTakeBufferedLine<fWide, wLayout, true>(lpRec, lpio, lpio->ibBuffer);
    if (cbCode != 0 && cbCode < cbPastBuffer) return static_cast<uint16_t>(cbCode);
    return fWide ? cbFnNextOtherWideLine(lpRec, lpio, lpdwStatus, cbCode)
                 : cbFnNextOtherNarrowLine(lpRec, lpio, lpdwStatus, cbCode);
}

template <uint16_t wLayout>
__attribute__((noinline)) uint16_t cbFnNextNarrowLine(LINEREC *lpRec, LINEIO *lpio,
                                                      uint32_t *lpdwStatus) {
    return cbFnNextLine<false, wLayout>(lpRec, lpio, lpdwStatus);
}

#if defined(__SSE2__)
template <uint16_t wLayout>
__attribute__((target("avx2"), flatten, noinline)) uint16_t cbFnNextWideLine(
    LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    return cbFnNextLine<true, wLayout>(lpRec, lpio, lpdwStatus);
}
#else
template <uint16_t wLayout>
uint16_t cbFnNextWideLine(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    return cbFnNextNarrowLine<wLayout>(lpRec, lpio, lpdwStatus);
}
#endif

template <uint16_t wLayout>
lpfnGetNextLine lpfnFnNextLine(bool fWide) {
    return fWide ? &cbFnNextWideLine<wLayout> : &cbFnNextNarrowLine<wLayout>;
}

}  // namespace

void vFnMapControls(LINEIO *lpio) {
#if defined(__SSE2__)
    // A search from a text start at most at the buffer's end reads no word
    // beyond these: a short fill costs a short map.
    const size_t cqw = std::min(cqwControls, size_t{lpio->cbBuffer} / 64 + 3);
    if (lpio->fMapsByMasks)
        vFnMapControlsByMasks(lpio, cqw);
    else if (lpio->fWideVectors)
        vFnMapWideControls(lpio, cqw);
    else
        vFnMapNarrowControls(lpio, cqw);
#else
    (void)lpio;
#endif
}

lpfnGetNextLine lpfnFnTextGetNext(uint16_t wFormat, uint8_t cWholeVectors, bool fWide) {
    if (cWholeVectors == 0) return &cbFnNextUnwindowedLine;
    const uint16_t wLayout = wFormat & (wOptFormFeed | wOptTextCC | wOptTRC);
    if (wLayout == wOptFormFeed) return lpfnFnNextLine<wOptFormFeed>(fWide);
    if (wLayout != 0 && (wLayout & ~wOptTextCC) == 0)
        return lpfnFnNextLine<wOptTextCC>(fWide);
    return lpfnFnNextLine<wAnyLayout>(fWide);
}

uint32_t cfnTextRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus) {
    lpRec->bCC = 0;
    lpRec->bTRC = 0;
    if (!fFnRefillIfDue(lpio, lpdwStatus)) return cbFnEndOfInput(lpio);
    const uint32_t cbStart = lpio->cbConsumed;
    const uint32_t cbResult = cbFnDecodeTextLine(lpRec, lpio, lpdwStatus);
    // A form feed left for the next line is not taken, so not counted here.
    lpio->cbRecord = lpio->cbConsumed - cbStart;
    // Text runs carry NULs over as blanks already; what remains is the NUL of
    // an empty line, a blank unless the input ended with it.
    if (cbResult != 0 && lpio->cbBuffer != 0 && lpRec->bCC != bStructuredField &&
        lpRec->abData[0] == 0)
        lpRec->abData[0] = lpio->bBlank;
    return cbResult;
}

}  // namespace vokdsp
