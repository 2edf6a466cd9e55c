// Per-record allocations: every reader, in every format, reads 100000 records
// or fields of a realistic stream (the benchmark corpora, served over and over
// in blocks of changing sizes) without a single heap request after create.
#include <gtest/gtest.h>

#include "AllocationHooks.h"
#include "Corpus.h"
#include "LineReading.h"
#include "SfReading.h"

using namespace vokdsp_test;
using vokdsp_bench::LineLayout;
using vokdsp_bench::SfFraming;

namespace {

constexpr size_t nRecordsRead = 100000;
constexpr size_t cbCorpus = 1 << 20;
// Refills land inside descriptors, headers and line ends as well as data.
const std::vector<uint16_t> acbBlocks = {4096, 777, 1, 4095, 2};

struct Counts {
    int nAtCreate = -1;     // requests made by create
    int nAfterFirst = -1;   // ... and by the first 1000 get-next calls
    int nAfterAll = -1;     // ... and by all of them
    size_t nRecords = 0;    // records delivered
    uint32_t dwStatus = 0;  // the status word after the last call
};

template <typename Next>
void vFnReadCounting(Counts &counts, Next fnNext) {
    counts.nAtCreate = AllocationCount();
    while (counts.nRecords < nRecordsRead && fnNext()) {
        if (++counts.nRecords == 1000) counts.nAfterFirst = AllocationCount();
    }
    counts.nAfterAll = AllocationCount();
}

Counts CountSf(SfFraming framing) {
    MemorySource source(vokdsp_bench::FnSfCorpus(framing, cbCorpus).ab, acbBlocks);
    source.ServeRepeatedly();
    Counts counts;
    ResetAllocationCount();
    SfReader reader(source, vokdsp_bench::cbSfCapacity);
    if (!reader.Created()) return counts;
    vFnReadCounting(
        counts, [&] { return fFnGetNextIBMSF(reader.Handle(), &reader.Status()) != 0; });
    counts.dwStatus = reader.Status();
    return counts;
}

Counts CountLines(LineLayout layout) {
    MemorySource source(vokdsp_bench::FnLineCorpus(layout, cbCorpus).ab, acbBlocks);
    source.ServeRepeatedly();
    const vokdsp_bench::LineFormat format = vokdsp_bench::FnLineFormat(layout);
    Counts counts;
    ResetAllocationCount();
    LineReader reader(source, format.wFormat, format.cbMaxRecord);
    if (!reader.Created()) return counts;
    vFnReadCounting(counts, [&] {
        return cFnVOK32XX_GetNext(reader.Handle(), &reader.Status()) != 0;
    });
    counts.dwStatus = reader.Status();
    return counts;
}

struct ReaderCase {
    const char *lpszName;
    Counts (*lpfnCount)();
    int nCreateAllocations;  // the reader; for line data also the working buffer
};

void PrintTo(const ReaderCase &c, std::ostream *os) { *os << c.lpszName; }

class PerRecordAllocation : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(PerRecordAllocation, NoneAfterCreate) {
    const ReaderCase &c = GetParam();
    const Counts counts = c.lpfnCount();
    EXPECT_EQ(counts.nRecords, nRecordsRead);
    EXPECT_EQ(counts.dwStatus, DSP_OK);
    EXPECT_EQ(counts.nAtCreate, c.nCreateAllocations);
    EXPECT_EQ(counts.nAfterFirst, counts.nAtCreate);
    EXPECT_EQ(counts.nAfterAll, counts.nAtCreate);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, PerRecordAllocation,
    ::testing::Values(
        ReaderCase{"SfPlain", [] { return CountSf(SfFraming::kPlain); }, 1},
        ReaderCase{"SfRdw", [] { return CountSf(SfFraming::kRdw); }, 1},
        ReaderCase{"SfPrefix", [] { return CountSf(SfFraming::kPrefix); }, 1},
        ReaderCase{"Fixed", [] { return CountLines(LineLayout::kFixed); }, 2},
        ReaderCase{"Variable", [] { return CountLines(LineLayout::kVariable); }, 2},
        ReaderCase{"Blocked", [] { return CountLines(LineLayout::kBlocked); }, 2},
        ReaderCase{"TextCarriageControl", [] { return CountLines(LineLayout::kTextCC); },
                   2},
        ReaderCase{"TextFormFeeds", [] { return CountLines(LineLayout::kTextFF); }, 2}),
    [](const ::testing::TestParamInfo<ReaderCase> &info) { return info.param.lpszName; });

}  // namespace
