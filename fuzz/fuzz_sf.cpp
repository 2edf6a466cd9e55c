// Fuzz target for the structured-field reader.
//
// Input: capacity (2 bytes), block-plan count and flags, the block plan (2
// bytes per size), then the stream. The stream is read as a conversion
// program would: the status word is looked at and cleared after every call,
// and the loop stops at a 0 result with a clear status word. Every delivered
// field is checked against the stream bytes it came from, every refusal
// against what it must leave in the record area. The run must match one that
// reads the same first block and then 4096-byte blocks; for one input in
// eight, also one that reads the stream from a temporary file.
#include <string.h>

#include <vector>

#include "DetectStream.h"
#include "FuzzSupport.h"
#include "SfReading.h"

using namespace vokdsp_test;
using namespace vokdsp_fuzz;
using vokdsp::ibmsf::ClassifyFirstBlock;
using vokdsp::ibmsf::SFSTREAM_PREFIX;
using vokdsp::ibmsf::SFSTREAM_RDW;
using vokdsp::ibmsf::StreamClass;

namespace {

constexpr uint16_t cbBlock = 4096;
// Bytes of the data area compared from call to call and between runs; every
// delivered field's data is compared with the stream in full.
constexpr size_t cbAreaCompared = 64;

struct Settings {
    uint16_t cbCapacity;
    std::vector<uint16_t> acbBlocks;
    bool fFileToo;  // also read through a path; the first block is then 4096
    Bytes abStream;
};

Settings ReadSettings(Selectors &sel) {
    Settings s;
    s.cbCapacity = sel.Size();
    const uint8_t bPlan = sel.Byte();
    s.fFileToo = (bPlan & 0xE0) == 0xE0;
    s.acbBlocks = sel.BlockPlan(bPlan);
    if (s.fFileToo) s.acbBlocks[0] = cbBlock;
    s.abStream = sel.Rest();
    return s;
}

using SfCall = Call<SfField>;

struct Run {
    bool fCreated = false;
    uint32_t dwCreateStatus = 0;
    std::vector<SfCall> calls;
};

// The stream as the reader must see it: what the next call must do, given
// the position where it begins, worked out from the stream bytes alone.
struct StreamModel {
    const Bytes &ab;
    uint16_t wStreamKind;

    uint32_t Word(uint32_t ib) const { return uint32_t{ab[ib]} << 8 | ab[ib + 1]; }
    bool Holds(uint32_t ib, uint32_t cb) const { return ib + cb <= ab.size(); }
};

struct Expected {
    bool fEnd = false;         // the input ends first: 0, no status
    uint32_t dwWord = DSP_OK;  // else the status of a refusal, or DSP_OK
    uint32_t ibIntro = 0;
    uint32_t ibData = 0;
    uint32_t cbData = 0;
    uint32_t dwPos = 0;  // the position after the call
};

const Expected kEnd{true};

Expected ExpectRefusal(uint32_t dwWord, uint32_t dwPos) {
    return {false, dwWord, 0, 0, 0, dwPos};
}

// Framing, introducer, header, extension length and extension, then the
// data: to the end of the field, or of the record in a framed stream.
Expected Predict(const StreamModel &m, uint32_t ibStart, uint16_t cbCapacity) {
    const bool fRdw = (m.wStreamKind & SFSTREAM_RDW) != 0;
    const bool fPrefix = !fRdw && (m.wStreamKind & SFSTREAM_PREFIX) != 0;
    const uint32_t cbFraming = fRdw ? 4 : fPrefix ? 2 : 0;
    const uint32_t ib = ibStart + cbFraming;
    if (!m.Holds(ibStart, cbFraming + 1)) return kEnd;
    if (m.ab[ib] != 0x5A) return ExpectRefusal(DSP_ERR_NOT_SF, ib + 1);
    if (!m.Holds(ib, 9)) return kEnd;
    const bool fExtension = (m.ab[ib + 6] & 0x80) != 0;
    if (fExtension && !m.Holds(ib, 10)) return kEnd;
    const uint32_t cbExtension = fExtension ? m.ab[ib + 9] : 0;  // counts itself
    if (fExtension && cbExtension == 0) return ExpectRefusal(DSP_ERR_BAD_RECORD, ib + 10);
    // The record length counts the framing bytes; a prefix does not count itself.
    const uint32_t cbRecord = fRdw      ? m.Word(ibStart)
                              : fPrefix ? (m.Word(ibStart) + 2) & 0xFFFF
                                        : m.Word(ib + 1) + 1 + cbFraming;
    if (m.Word(ib + 1) < 8 + cbExtension || cbRecord < cbFraming + 9 + cbExtension)
        return ExpectRefusal(DSP_ERR_BAD_RECORD, ib + 9 + (fExtension ? 1 : 0));
    Expected e;
    e.ibIntro = ib;
    e.ibData = ib + 9 + cbExtension;
    if (fExtension && !m.Holds(ib + 10, cbExtension - 1)) return kEnd;
    e.cbData = cbRecord - cbFraming - 9 - cbExtension;
    e.dwPos = e.ibData + e.cbData;  // also when dropped data runs past the end
    if (e.cbData > cbCapacity)
        e.dwWord = DSP_ERR_RECORD_TOO_LONG;
    else if (!m.Holds(e.ibData, e.cbData))
        return kEnd;
    return e;
}

// A delivered field: its header as it stands in the stream, and its data.
void CheckDelivered(const StreamModel &m, const SfCall &c, const Expected &e,
                    const SFREC *lpRec) {
    const SfField &f = c.got;
    const uint32_t ib = e.ibIntro;
    FUZZ_CHECK(f.iResult == f.hdr.cbSF && f.hdr.bCC == 0x5A);
    FUZZ_CHECK(f.dwLen == f.hdr.cbSF + 1u && m.Word(ib + 1) == f.hdr.cbSF);
    FUZZ_CHECK(f.hdr.dwID == (uint32_t{m.ab[ib + 3]} << 16 | m.Word(ib + 4)));
    FUZZ_CHECK(f.hdr.bFlags == m.ab[ib + 6] && f.hdr.wSeq == m.Word(ib + 7));
    FUZZ_CHECK(memcmp(lpRec->abData, m.ab.data() + e.ibData, e.cbData) == 0);
}

// Returns false when the loop is to stop.
bool fFnCheckCall(const StreamModel &m, const SfCall &c, const SfField &before,
                  const SFREC *lpRec, const MemorySource *lpSource, uint16_t cbCapacity) {
    const SfField &f = c.got;
    const Expected e = Predict(m, before.dwPos, cbCapacity);
    FUZZ_CHECK(f.dwPos >= before.dwPos);
    FUZZ_CHECK(c.dwWord == e.dwWord &&
               (f.iResult == 0) == (e.fEnd || e.dwWord != DSP_OK));
    if (!e.fEnd) FUZZ_CHECK(f.dwPos == e.dwPos);
    if (f.iResult != 0) {
        CheckDelivered(m, c, e, lpRec);
        return true;
    }
    if (c.dwWord == DSP_ERR_NOT_SF) {
        // No introducer: the header is cleared and the reader goes on after it.
        FUZZ_CHECK(f.hdr.bCC == 0 && f.hdr.cbSF == 0 && f.hdr.dwID == 0);
        FUZZ_CHECK(f.abArea == before.abArea);
        return true;
    }
    // End of input or a refused field: the previous header is put back.
    FUZZ_CHECK(f.hdr.bCC == before.hdr.bCC && f.hdr.cbSF == before.hdr.cbSF &&
               f.hdr.dwID == before.hdr.dwID && f.dwLen == before.dwLen);
    if (e.fEnd) {
        if (lpSource != nullptr) FUZZ_CHECK(lpSource->Delivered() == m.ab.size());
        return false;
    }
    FUZZ_CHECK(f.abArea == before.abArea);
    return true;
}

// Create's verdict follows the first block alone; then every field is read.
// lpSource is null when the reader reads a file.
void CheckCreateAndRead(const Settings &s, SfReader &reader, uint16_t cbFirst,
                        const MemorySource *lpSource, Run &run) {
    const StreamClass sc = ClassifyFirstBlock(
        s.abStream.data(),
        static_cast<uint16_t>(std::min<size_t>(cbFirst, s.abStream.size())));
    run.fCreated = reader.Created();
    run.dwCreateStatus = reader.Status();
    FUZZ_CHECK(run.fCreated == (s.cbCapacity != 0 && sc.wStreamKind != 0));
    if (!run.fCreated) {
        FUZZ_CHECK(
            run.dwCreateStatus ==
            (s.cbCapacity != 0 && sc.fUnknownID() ? DSP_ERR_UNKNOWN_SF_ID : DSP_OK));
        return;
    }
    FUZZ_CHECK(reader.Handle()->hdr.dwID == sc.dwID);
    const StreamModel m{s.abStream, sc.wStreamKind};
    reader.LimitSnapshot(cbAreaCompared);
    SfField before = reader.Snapshot(0);
    run.calls = ReadCalls<SfField>(
        reader.Status(), s.abStream.size(), [&] { return reader.Next(); },
        [&](const SfCall &c) {
            const bool fGoOn =
                fFnCheckCall(m, c, before, reader.Handle(), lpSource, s.cbCapacity);
            before = c.got;
            return fGoOn;
        });
}

Run ReadThroughCallback(const Settings &s, const std::vector<uint16_t> &acbBlocks) {
    MemorySource source(s.abStream, acbBlocks);
    Run run;
    {
        SfReader reader(source, s.cbCapacity);
        FUZZ_CHECK(source.FillRequests() == (s.cbCapacity != 0 ? 1 : 0));
        CheckCreateAndRead(s, reader, acbBlocks[0], &source, run);
        FUZZ_CHECK(source.ReleaseRequests() == 0);
    }
    FUZZ_CHECK(source.ReleaseRequests() == (run.fCreated ? 1 : 0));
    return run;
}

Run ReadThroughFile(const Settings &s) {
    TempFile file(s.abStream);
    SfReader reader(file.Path(), s.cbCapacity);
    Run run;
    CheckCreateAndRead(s, reader, cbBlock, nullptr, run);
    return run;
}

void CheckSameRun(const Run &a, const Run &b, const char *lpszWhat) {
    Context() = lpszWhat;
    FUZZ_CHECK(a.fCreated == b.fCreated && a.dwCreateStatus == b.dwCreateStatus);
    CheckSameCalls(a.calls, b.calls, lpszWhat);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *lpb, size_t cb) {
    Selectors sel(lpb, cb);
    const Settings s = ReadSettings(sel);
    const Run fuzzed = ReadThroughCallback(s, s.acbBlocks);
    // Detection sees the first block only, so the reference keeps it.
    const Run whole =
        ReadThroughCallback(s, BlockPlan(s.acbBlocks[0], cbBlock, s.abStream.size()));
    CheckSameRun(fuzzed, whole, "planned blocks against 4096-byte blocks");
    if (s.fFileToo) CheckSameRun(ReadThroughFile(s), whole, "file against callback");
    return 0;
}
