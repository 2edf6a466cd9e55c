// Fuzz target for the line-data reader.
//
// Input: format choice, option bits (2 bytes), maximum record length (2
// bytes), block-plan count and flags, the block plan (2 bytes per size),
// then the stream. The stream is read as a conversion program would: an
// MVXError is caught and reading goes on, the status word is looked at and
// cleared after every call, and the loop stops at a 0 result with a clear
// status word, or when a failed reader repeats its refusal. Every record is
// checked against the reader's promises, and the whole run must match a run
// over the same stream in 4096-byte blocks.
#include <string.h>

#include <algorithm>
#include <vector>

#include "FuzzSupport.h"
#include "LineReading.h"

using namespace vokdsp_test;
using namespace vokdsp_fuzz;

namespace {

constexpr uint8_t abFormatCodes[] = {0, 1, 2, 5, 6};
constexpr uint8_t bStructuredField = 0x5A;
constexpr uint16_t cbMaxCount = 0xFFFF;

struct Settings {
    uint16_t wFormat;
    uint16_t cbMaxRecord;
    std::vector<uint16_t> acbBlocks;
    bool fFailFirstFill;  // the callback stores a status on create's fill request
    Bytes abStream;
};

Settings ReadSettings(Selectors &sel) {
    Settings s;
    const uint8_t bChoice = sel.Byte();
    // Mostly the readable codes; one input in sixteen names a raw code.
    const uint16_t wCode = bChoice < 0xF0 ? abFormatCodes[bChoice % 5] : bChoice & 0x0F;
    const uint16_t wHigh = sel.Byte();
    s.wFormat = static_cast<uint16_t>(wHigh << 8 | (sel.Byte() & 0xF0) | wCode);
    s.cbMaxRecord = sel.Size();
    const uint8_t bPlan = sel.Byte();
    s.fFailFirstFill = (bPlan & 0xF0) == 0xF0;
    s.acbBlocks = sel.BlockPlan(bPlan);
    s.abStream = sel.Rest();
    return s;
}

uint16_t wFnCode(const Settings &s) { return s.wFormat & 0x0F; }

// What create must refuse: codes without a decoder, and a fixed length that
// cannot hold its carriage-control and TRC bytes and one more.
bool fFnRefusedAtCreate(const Settings &s) {
    const uint16_t wCode = wFnCode(s);
    if (wCode == 1 || wCode == 5) {
        const unsigned cPrefix =
            ((s.wFormat & 0x00F0) ? 1 : 0) + ((s.wFormat & 0x0100) ? 1 : 0);
        return s.cbMaxRecord < 1 + cPrefix;
    }
    return wCode != 0 && wCode != 2 && wCode != 6;
}

// The most data bytes a delivered record can hold in this format: the record
// area has cbMaxRecord + 4 bytes, its terminating NUL included.
uint32_t cbFnDataBound(const Settings &s, uint8_t bCC) {
    const uint32_t cbMax = s.cbMaxRecord;
    switch (wFnCode(s)) {
        case 0:  // text cut at cbMaxRecord + 1; a field line keeps room for the NUL
            return std::min<uint32_t>(bCC == bStructuredField ? cbMax + 3 : cbMax + 1,
                                      cbMaxCount);
        case 1:
        case 5:
            return cbMax;
        default:  // the RDW's length less its own 4 bytes; an empty record is a blank
            return std::max<uint32_t>(1, cbMax > 4 ? cbMax - 4 : 0);
    }
}

using LineCall = Call<LineRecord>;

// Position and counts carried from one call to the next.
struct Progress {
    uint32_t cbConsumed = 0;
    uint32_t cbRecord = 0;
    int nFills = 1;         // create's
    bool fRefused = false;  // the previous call refused a record
};

uint16_t wFnRecordLength(const Bytes &ab, uint32_t ib) {
    return static_cast<uint16_t>(ab[ib] << 8 | ab[ib + 1]);
}

void CheckDelivered(const Settings &s, const LineCall &c, const Progress &p,
                    const MemorySource &source) {
    const LineRecord &r = c.got;
    FUZZ_CHECK(r.cbData == r.cbResult);
    FUZZ_CHECK(r.cbData <= cbFnDataBound(s, r.bCC));
    FUZZ_CHECK(c.dwWord == r.dwStatus);
    FUZZ_CHECK(r.dwStatus == DSP_OK || wFnCode(s) == 0);
    // cbConsumed - cbRecord is where the record began: where the previous call
    // stopped, or after block descriptors in format 6.
    FUZZ_CHECK(r.cbRecord <= r.cbConsumed);
    const uint32_t ibRecord = r.cbConsumed - r.cbRecord;
    FUZZ_CHECK(wFnCode(s) == 6 ? ibRecord >= p.cbConsumed : ibRecord == p.cbConsumed);
    if (r.fEnd == 0) {
        // While input is left a record has data, a carriage control and no NUL
        // outside a structured field, and takes its whole length.
        FUZZ_CHECK(r.bCC != 0);
        FUZZ_CHECK(r.bCC == bStructuredField ||
                   memchr(r.abData.data(), 0, r.abData.size()) == nullptr);
        if (wFnCode(s) == 1 || wFnCode(s) == 5) FUZZ_CHECK(r.cbRecord == s.cbMaxRecord);
        if (wFnCode(s) == 2 || wFnCode(s) == 6)
            FUZZ_CHECK(r.cbRecord == wFnRecordLength(s.abStream, ibRecord));
    } else {
        FUZZ_CHECK(source.Delivered() == s.abStream.size());
    }
}

// Returns false when the loop is to stop.
bool fFnCheckCall(const Settings &s, const LineCall &c, Progress &p,
                  const MemorySource &source) {
    const LineRecord &r = c.got;
    FUZZ_CHECK(r.bTerminator == 0);
    FUZZ_CHECK(r.bTRC <= 0x0F);
    FUZZ_CHECK(r.fEnd <= 1);
    FUZZ_CHECK(r.cbConsumed >= p.cbConsumed);
    FUZZ_CHECK(r.cbConsumed <= source.Delivered());
    const bool fWasRefused = p.fRefused;
    const Progress before = p;
    p.cbConsumed = r.cbConsumed;
    p.cbRecord = r.cbRecord;
    p.nFills = source.FillRequests();
    p.fRefused = false;

    if (r.thrown) {
        // An over-long variable record: refused, its descriptor taken, and
        // the next call reads on from its body.
        FUZZ_CHECK(wFnCode(s) == 2 || wFnCode(s) == 6);
        FUZZ_CHECK(r.thrown->nCode == 16 && r.thrown->nSubCode == 16 &&
                   r.thrown->sFile == "vok32100");
        FUZZ_CHECK(r.dwStatus == DSP_ERR_RECORD_TOO_LONG && c.dwWord == r.dwStatus);
        FUZZ_CHECK(r.cbRecord == before.cbRecord);
        FUZZ_CHECK(r.cbConsumed >= before.cbConsumed + 4);
        return true;
    }
    if (r.cbResult != 0) {
        CheckDelivered(s, c, before, source);
        return true;
    }
    FUZZ_CHECK(r.fEnd == 1 && r.cbData == 0);
    FUZZ_CHECK(c.dwWord == r.dwStatus);
    if (c.dwWord == DSP_OK) {
        // End of input; a fixed or variable record cut short right after its
        // prefix bytes also ends here, with the bytes it took as its length.
        FUZZ_CHECK(source.Delivered() == s.abStream.size());
        FUZZ_CHECK(r.cbRecord <= r.cbConsumed - before.cbConsumed);
        return false;
    }
    // A malformed descriptor: no record, the last record's length kept.
    FUZZ_CHECK(wFnCode(s) == 2 || wFnCode(s) == 6);
    FUZZ_CHECK(c.dwWord == DSP_ERR_BAD_RECORD);
    FUZZ_CHECK(r.cbRecord == before.cbRecord);
    p.fRefused = true;
    // A failed reader repeats the refusal without reading: the loop is over.
    const bool fRepeated =
        fWasRefused && p.nFills == before.nFills && r.cbConsumed == before.cbConsumed;
    return !fRepeated;
}

// Reads the whole stream through blocks of the given sizes.
std::vector<LineCall> ReadStream(const Settings &s,
                                 const std::vector<uint16_t> &acbBlocks) {
    MemorySource source(s.abStream, acbBlocks);
    std::vector<LineCall> calls;
    {
        LineReader reader(source, s.wFormat, s.cbMaxRecord);
        FUZZ_CHECK(reader.Created());
        FUZZ_CHECK(reader.Job().WorkBuffer() != nullptr);
        FUZZ_CHECK(source.FillRequests() == 1);
        Progress p;
        calls = ReadCalls<LineRecord>(
            reader.Status(), s.abStream.size(), [&] { return reader.Next(); },
            [&](const LineCall &c) { return fFnCheckCall(s, c, p, source); });
        FUZZ_CHECK(source.ReleaseRequests() == 0);
    }
    FUZZ_CHECK(source.ReleaseRequests() == 1);
    return calls;
}

// A refused setting or a failing first fill leaves nothing behind.
void CheckRefusedCreate(const Settings &s) {
    MemorySource source(s.abStream, s.acbBlocks);
    if (s.fFailFirstFill) source.FailOnRequest(1, 0x7777);
    {
        LineReader reader(source, s.wFormat, s.cbMaxRecord, 0x5555);
        FUZZ_CHECK(!reader.Created());
        if (fFnRefusedAtCreate(s)) {
            FUZZ_CHECK(reader.Handle() == nullptr);
            FUZZ_CHECK(reader.Status() == DSP_ERR_BAD_FORMAT);
            FUZZ_CHECK(source.FillRequests() == 0);
            FUZZ_CHECK(reader.Job().WorkBuffer() == nullptr);
        } else {
            FUZZ_CHECK(reader.Status() == 0x7777);
            FUZZ_CHECK(source.FillRequests() == 1);
        }
    }
    FUZZ_CHECK(source.ReleaseRequests() == (fFnRefusedAtCreate(s) ? 0 : 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *lpb, size_t cb) {
    Selectors sel(lpb, cb);
    const Settings s = ReadSettings(sel);
    if (fFnRefusedAtCreate(s) || s.fFailFirstFill) {
        CheckRefusedCreate(s);
        return 0;
    }
    CheckSameCalls(ReadStream(s, s.acbBlocks), ReadStream(s, {4096}),
                   "planned blocks against 4096-byte blocks");
    return 0;
}
