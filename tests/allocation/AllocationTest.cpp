// Allocations of both readers: this process replaces malloc and calloc, so a
// chosen request fails and every request is counted. A failed create releases
// what it took (leaks show under valgrind); a reader reads any number of
// records without a heap request after create.
#include <gtest/gtest.h>
#include <string.h>

#include "AllocationHooks.h"
#include "Corpus.h"
#include "LineReading.h"
#include "SfReading.h"

using namespace vokdsp_test;
using vokdsp_bench::LineLayout;
using vokdsp_bench::SfFraming;

namespace {

struct FailCase {
    const char *lpszName;
    bool fSf, fFile;      // structured-field reader (through a path), else line data
    int nAllowed;         // requests that succeed before the failing one
    uint32_t dwFillCode;  // stored by the callback on the first fill, if not 0
    uint32_t dwStatus;    // the word afterwards; it held 0x1234
    int nFills, nReleases, nRequests;
};

void PrintTo(const FailCase &c, std::ostream *os) { *os << c.lpszName; }

class FailedAllocation : public ::testing::TestWithParam<FailCase> {};

TEST_P(FailedAllocation, CreateFailsAndReleasesWhatItTook) {
    const FailCase &c = GetParam();
    const Bytes ab = SfBytes({0xD3A8A8});
    MemorySource source(ab);
    if (c.dwFillCode != 0) source.FailOnRequest(1, c.dwFillCode);
    TempFile file(ab);
    JobRecord job;
    memset(job.ab, 0xAB, sizeof job.ab);
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = 0x1234;
    ResetAllocationCount();
    FailAllocationAfter(c.nAllowed);
    const bool fCreated =
        c.fSf ? lpibmsfFnCreate(c.fFile ? file.Path() : nullptr, 16,
                                c.fFile ? nullptr : &MemorySource::Read, source.Context(),
                                &dwStatus) != nullptr
              : fFnVOK32XX_CreateIndirect(job.ab, LineDesc(1, 80).ab, &lpRec,
                                          source.Context(), &MemorySource::Read,
                                          &dwStatus) != 0;
    FailAllocationAfter(-1);
    EXPECT_FALSE(fCreated);
    EXPECT_EQ(dwStatus, c.dwStatus);
    EXPECT_EQ(source.FillRequests(), c.nFills);
    EXPECT_EQ(source.ReleaseRequests(), c.nReleases);
    EXPECT_EQ(AllocationCount(), c.nRequests);  // a file opened would add fopen's
    // The working buffer is stored even when it failed, not when create stopped first.
    EXPECT_EQ(job.WorkBuffer() == nullptr, !c.fSf && c.nAllowed == 1);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, FailedAllocation,
    ::testing::Values(
        FailCase{"LineControlBlock", false, false, 0, 0, DSP_ERR_NOMEM, 0, 0, 1},
        FailCase{"LineWorkingBuffer", false, false, 1, 0, DSP_ERR_NOMEM, 1, 1, 2},
        FailCase{"LineWorkingBufferKeepsFillCode", false, false, 1, 0x77, 0x77, 1, 1, 2},
        FailCase{"SfCallback", true, false, 0, 0, 0x1234, 0, 0, 1},
        FailCase{"SfFileIsNotOpened", true, true, 0, 0, 0x1234, 0, 0, 1}),
    [](const auto &info) { return std::string(info.param.lpszName); });

// 100000 records of the benchmark corpora, served over and over in blocks of
// changing sizes, so that refills land inside descriptors, headers and line ends.
constexpr size_t nRecordsRead = 100000;
const std::vector<uint16_t> acbBlocks = {4096, 777, 1, 4095, 2};

struct PerRecordCase {
    const char *lpszName;
    bool fSf;
    int iLayout;    // SfFraming or LineLayout
    int nAtCreate;  // the reader; for line data also the working buffer
};

void PrintTo(const PerRecordCase &c, std::ostream *os) { *os << c.lpszName; }

class PerRecordAllocation : public ::testing::TestWithParam<PerRecordCase> {};

TEST_P(PerRecordAllocation, NoneAfterCreate) {
    const PerRecordCase &c = GetParam();
    const auto layout = static_cast<LineLayout>(c.iLayout);
    MemorySource source(
        c.fSf ? vokdsp_bench::FnSfCorpus(static_cast<SfFraming>(c.iLayout), 1 << 20).ab
              : vokdsp_bench::FnLineCorpus(layout, 1 << 20).ab,
        acbBlocks);
    source.ServeRepeatedly();
    const vokdsp_bench::LineFormat format = vokdsp_bench::FnLineFormat(layout);
    ResetAllocationCount();
    SfReader sf(source, c.fSf ? vokdsp_bench::cbSfCapacity : 0);
    LineReader line(source, c.fSf ? 3 : format.wFormat, format.cbMaxRecord);
    EXPECT_EQ(AllocationCount(), c.nAtCreate);
    uint32_t dwStatus = DSP_OK;
    size_t nRecords = 0;
    while (nRecords < nRecordsRead &&
           (c.fSf ? fFnGetNextIBMSF(sf.Handle(), &dwStatus)
                  : cFnVOK32XX_GetNext(line.Handle(), &dwStatus)) != 0)
        ++nRecords;
    EXPECT_EQ(nRecords, nRecordsRead);
    EXPECT_EQ(dwStatus, DSP_OK);
    EXPECT_EQ(AllocationCount(), c.nAtCreate);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, PerRecordAllocation,
    ::testing::Values(PerRecordCase{"SfPlain", true, int(SfFraming::kPlain), 1},
                      PerRecordCase{"SfRdw", true, int(SfFraming::kRdw), 1},
                      PerRecordCase{"SfPrefix", true, int(SfFraming::kPrefix), 1},
                      PerRecordCase{"Fixed", false, int(LineLayout::kFixed), 2},
                      PerRecordCase{"Variable", false, int(LineLayout::kVariable), 2},
                      PerRecordCase{"Blocked", false, int(LineLayout::kBlocked), 2},
                      PerRecordCase{"TextCC", false, int(LineLayout::kTextCC), 2},
                      PerRecordCase{"TextFF", false, int(LineLayout::kTextFF), 2}),
    [](const auto &info) { return std::string(info.param.lpszName); });

}  // namespace
