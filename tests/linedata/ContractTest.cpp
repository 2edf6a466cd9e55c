// Line-data reader lifecycle: create arguments and refusals, status words,
// release requests, record info, null handles.
#include <gtest/gtest.h>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

constexpr uint16_t wFixedCC = 0x0011;

// The status word and the record area read as cleared before the first
// get-next; the test run (line_record_after_create) has the allocator fill new
// memory with a pattern.
TEST(LineContract, CreateClearsTheRecordReadsFirstBlockAndDestroyReleasesOnce) {
    MemorySource source(TextBytes("abcdefgh"));
    {
        LineReader reader(source, 1, 4, 0x1234);
        ASSERT_TRUE(reader.Created());
        const LINEREC &rec = *reader.Handle();
        EXPECT_EQ(rec.bCC + rec.bTRC + rec.cbData + rec.fEnd + rec.dwStatus, 0u);
        EXPECT_EQ(rec.abData[0], 0);
        EXPECT_EQ(reader.Status(), DSP_OK);
        EXPECT_EQ(source.FillRequests(), 1);
        EXPECT_NE(reader.Job().WorkBuffer(), nullptr);
        EXPECT_EQ(source.ReleaseRequests(), 0);
    }
    EXPECT_EQ(source.ReleaseRequests(), 1);
}

TEST(LineContract, CreateRefusesNullArgumentsWithoutReading) {
    MemorySource source(TextBytes("abcd"));
    LineDesc desc(1, 4);
    JobRecord job;
    LINEREC *lpRec = nullptr;
    for (int iNull = 0; iNull < 5; ++iNull) {  // each argument null in turn
        uint32_t dwStatus = 0;
        EXPECT_EQ(fFnVOK32XX_CreateIndirect(
                      iNull == 0 ? nullptr : job.ab, iNull == 1 ? nullptr : desc.ab,
                      iNull == 2 ? nullptr : &lpRec, source.Context(),
                      iNull == 3 ? nullptr : &MemorySource::Read,
                      iNull == 4 ? nullptr : &dwStatus),
                  0);
        EXPECT_EQ(dwStatus, iNull == 4 ? 0u : DSP_ERR_BAD_ARG) << iNull;
    }
    EXPECT_EQ(lpRec, nullptr);
    EXPECT_EQ(job.WorkBuffer(), nullptr);
    EXPECT_EQ(source.FillRequests() + source.ReleaseRequests(), 0);
}

struct RefusedFormat {
    uint16_t wFormat;
    uint16_t cbMaxRecord;
};

void PrintTo(const RefusedFormat &c, std::ostream *os) {
    *os << "format " << c.wFormat << " max " << c.cbMaxRecord;
}

class LineRefusedFormat : public ::testing::TestWithParam<RefusedFormat> {};

TEST_P(LineRefusedFormat, CreateRefusesBeforeAnyAllocationOrRead) {
    MemorySource source(TextBytes("abcdefgh"));
    LineDesc desc(GetParam().wFormat, GetParam().cbMaxRecord);
    JobRecord job;
    memset(job.ab, 0xAB, sizeof job.ab);
    LINEREC *const lpSentinel = reinterpret_cast<LINEREC *>(&job);
    LINEREC *lpRec = lpSentinel;
    uint32_t dwStatus = 0x77;
    EXPECT_EQ(fFnVOK32XX_CreateIndirect(job.ab, desc.ab, &lpRec, source.Context(),
                                        &MemorySource::Read, &dwStatus),
              0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_FORMAT);
    EXPECT_EQ(lpRec, lpSentinel);
    for (uint8_t b : job.ab) ASSERT_EQ(b, 0xAB);
    EXPECT_EQ(source.FillRequests() + source.ReleaseRequests(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    CodesAndLengths, LineRefusedFormat,
    ::testing::Values(RefusedFormat{3, 80}, RefusedFormat{4, 80}, RefusedFormat{0x0F, 80},
                      // fixed lengths that cannot hold the prefix and one byte
                      RefusedFormat{5, 0}, RefusedFormat{0x0011, 1},
                      RefusedFormat{0x0115, 2}));

TEST(LineContract, SmallestFixedLengthsAreAccepted) {
    for (auto [wFormat, cbMax] :
         {std::pair<uint16_t, uint16_t>{1, 1}, {0x0011, 2}, {0x0101, 2}, {0x0111, 3}}) {
        MemorySource source(HexBytes("5A 31 32 33 34 35"));
        LineReader reader(source, wFormat, cbMax);
        EXPECT_TRUE(reader.Created()) << std::hex << wFormat;
        for (const LineRecord &r : reader.ReadAll()) {
            EXPECT_LE(r.cbData, cbMax);
            EXPECT_EQ(r.bTerminator, 0);
        }
    }
}

TEST(LineContract, FirstFillStatusFailsCreateWithOneRelease) {
    MemorySource source(TextBytes("abcd"));
    source.FailOnRequest(1, 0x5555);
    LineDesc desc(1, 4);
    JobRecord job;
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = 0;
    EXPECT_EQ(fFnVOK32XX_CreateIndirect(job.ab, desc.ab, &lpRec, source.Context(),
                                        &MemorySource::Read, &dwStatus),
              0);
    EXPECT_EQ(dwStatus, 0x5555u);
    EXPECT_EQ(source.FillRequests(), 1);
    EXPECT_EQ(source.ReleaseRequests(), 1);
    // Both allocations are gone (the sanitizer build reports a leak otherwise)
    // and neither address is left for a cleanup to free again.
    EXPECT_EQ(lpRec, nullptr);
    EXPECT_EQ(job.WorkBuffer(), nullptr);
}

TEST(LineContract, EmptyInputCreatesAndEndsAtOnce) {
    MemorySource source({});
    LineReader reader(source, 1, 10);
    ASSERT_TRUE(reader.Created());
    EXPECT_EQ(reader.Status(), DSP_OK);
    for (int nCall = 1; nCall <= 3; ++nCall) {
        LineRecord r = reader.Next();
        EXPECT_EQ(r.cbResult, 0);
        EXPECT_EQ(r.fEnd, 1u);
        EXPECT_EQ(r.cbData, 0);
        EXPECT_EQ(source.FillRequests(), 1 + nCall);
    }
}

TEST(LineContract, RecordInfoBeforeFirstRecordAndOnNullArguments) {
    MemorySource source(TextBytes("abcd"));
    LineReader reader(source, 1, 4);
    uint32_t cbConsumed = 9, cbRecord = 9, dwStatus = 0;
    EXPECT_EQ(fFnGetMixedDataCurrentRecordInfo(reader.Handle(), &cbConsumed, &cbRecord,
                                               &dwStatus),
              1);
    EXPECT_EQ(cbConsumed + cbRecord + dwStatus, 0u);
    for (int iNull = 0; iNull < 3; ++iNull) {  // each pointer null in turn
        cbConsumed = cbRecord = dwStatus = 9;
        EXPECT_EQ(
            fFnGetMixedDataCurrentRecordInfo(iNull == 0 ? nullptr : reader.Handle(),
                                             iNull == 1 ? nullptr : &cbConsumed,
                                             iNull == 2 ? nullptr : &cbRecord, &dwStatus),
            0);
        EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
        EXPECT_EQ(cbConsumed + cbRecord, 18u);
    }
    EXPECT_EQ(
        fFnGetMixedDataCurrentRecordInfo(reader.Handle(), nullptr, nullptr, nullptr), 0);
}

TEST(LineContract, GetNextWithNullHandleOrNullStatus) {
    uint32_t dwStatus = 0x10;
    EXPECT_EQ(cFnVOK32XX_GetNext(nullptr, &dwStatus), 0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    EXPECT_EQ(cFnVOK32XX_GetNext(nullptr, nullptr), 0);

    MemorySource source(TextBytes("abcd"));
    LineReader reader(source, 1, 4);
    EXPECT_EQ(cFnVOK32XX_GetNext(reader.Handle(), nullptr), 4);
    EXPECT_EQ(cFnVOK32XX_GetNext(reader.Handle(), nullptr), 0);
}

TEST(LineContract, DestroyWithNullHandleFreesOnlyTheWorkingBuffer) {
    MemorySource source(TextBytes("abcd"));
    LineReader reader(source, 1, 4);
    void *lpWork = reader.Job().WorkBuffer();
    EXPECT_EQ(fFnVOK32XX_Destroy(nullptr, reader.Job().ab), 1);
    EXPECT_EQ(source.ReleaseRequests(), 0);
    EXPECT_EQ(reader.Job().WorkBuffer(), lpWork);  // left as it was
    // The reader itself is still open: the end of scope releases it, now
    // without a working buffer to free.
    reader.Job() = JobRecord{};
}

TEST(LineContract, CreateAlwaysFailsStoringNothing) {
    uint32_t dwStatus = 0x42;
    EXPECT_EQ(fFnVOK32XX_Create(&dwStatus, &dwStatus, &dwStatus), 0);
    EXPECT_EQ(dwStatus, 0x42u);
}

TEST(LineContract, CallbackCountAboveBlockIsTakenAsBlock) {
    Bytes abInput(8192, 'x');
    MemorySource source(abInput);
    source.OverReport(1000);
    LineReader reader(source, 1, 128);
    const std::vector<LineRecord> records = reader.ReadAll();
    ASSERT_EQ(records.size(), 64u);
    EXPECT_EQ(records.back().cbConsumed, 8192u);
}

TEST(LineContract, StatusStoredByCallbackDuringGetNextStaysInTheWord) {
    MemorySource source(TextBytes("abcdefgh"), {4});
    source.FailOnRequest(2, 0x99);
    LineReader reader(source, wFixedCC, 8);
    LineRecord r = reader.Next();
    EXPECT_EQ(r.abData, TextBytes("bcdefgh"));
    EXPECT_EQ(reader.Status(), 0x99u);
    EXPECT_EQ(r.dwStatus, DSP_OK);
}

}  // namespace
