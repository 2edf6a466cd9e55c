// Malformed record and block descriptor words: lengths below 4, records
// longer than their block, input ending inside a descriptor. None may make
// the reader write past its record area, loop, or deliver a record.
#include <gtest/gtest.h>

#include <random>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

struct MalformedCase {
    const char *szName;
    uint16_t wFormat;
    const char *szInput;
    size_t nRecords;    // delivered before the refusal
    bool fStaysFailed;  // false: the input ended inside a descriptor
    int nMissing;       // bytes of that descriptor the input lacks
};

std::ostream &operator<<(std::ostream &os, const MalformedCase &c) {
    return os << c.szName;
}

class MalformedDescriptor : public ::testing::TestWithParam<MalformedCase> {};

// The refusal ends a read-until-0 loop with the end flag and
// DSP_ERR_BAD_RECORD and keeps the last record's length. A failed reader
// repeats it without reading; after input that ended inside a descriptor the
// next call is a plain end of input.
TEST_P(MalformedDescriptor, RefusedWithoutRecord) {
    const MalformedCase &c = GetParam();
    for (uint16_t cbBlock : {1, 4096}) {
        MemorySource source(HexBytes(c.szInput), {cbBlock});
        LineReader reader(source, c.wFormat, 64);
        const std::vector<LineRecord> records = reader.ReadAll(50);
        ASSERT_EQ(records.size(), c.nRecords) << cbBlock;
        const uint32_t cbLastRecord = records.empty() ? 0 : records.back().cbRecord;
        const LINEREC *lpRec = reader.Handle();
        EXPECT_EQ(lpRec->fEnd, 1u);
        EXPECT_EQ(lpRec->dwStatus, DSP_ERR_BAD_RECORD);
        EXPECT_EQ(lpRec->cbData, 0);
        EXPECT_EQ(lpRec->abData[0], 0);
        EXPECT_EQ(reader.Status(), DSP_ERR_BAD_RECORD);
        if (!c.fStaysFailed && cbBlock == 4096) {
            EXPECT_EQ(source.FillRequests(), 1 + c.nMissing);
        }

        reader.Status() = 0x77;  // first wins: the code stays
        const int nFills = source.FillRequests();
        const LineRecord again = reader.Next();
        EXPECT_EQ(again.cbResult, 0);
        EXPECT_EQ(again.fEnd, 1u);
        EXPECT_EQ(reader.Status(), 0x77u);
        EXPECT_EQ(again.dwStatus, c.fStaysFailed ? DSP_ERR_BAD_RECORD : DSP_OK);
        EXPECT_EQ(source.FillRequests(), nFills + (c.fStaysFailed ? 0 : 1));
        EXPECT_EQ(again.cbRecord, c.fStaysFailed ? cbLastRecord : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MalformedDescriptor,
    ::testing::Values(
        MalformedCase{"RdwLength0", 2, "0000 0000 6162", 0, true, 0},
        MalformedCase{"RdwLength3", 2, "0003 0000 6162 6364", 0, true, 0},
        MalformedCase{"RdwLength1AfterRecord", 2, "0005 0000 61 0001 0000", 1, true, 0},
        MalformedCase{"RdwCutAfterOneByte", 2, "0005 0000 61 00", 1, false, 3},
        MalformedCase{"RdwCutAfterThreeBytes", 2, "000800", 0, false, 1},
        MalformedCase{"BdwLength0", 6, "0000 0000 0005 0000 61", 0, true, 0},
        MalformedCase{"EmptyBlockThenBdwLength1", 6, "0004 0000 0001 0000", 0, true, 0},
        MalformedCase{"BdwCut", 6, "000C 00", 0, false, 1},
        MalformedCase{"BdwCutAfterBlock", 6, "0009 0000 0005 0000 61 00", 1, false, 3},
        MalformedCase{"BlockWithoutItsRecords", 6, "000C 0000", 0, false, 4},
        MalformedCase{"RdwCutInBlock", 6, "000D 0000 0005 0000 61 0005", 1, false, 2},
        MalformedCase{"RdwLength3InBlock", 6, "000C 0000 0003 0000 6162 6364", 0, true,
                      0},
        MalformedCase{"RdwOverrunsBlock", 6, "0008 0000 0005 0000 61", 0, true, 0},
        MalformedCase{"SecondRdwOverrunsBlock", 6, "000D 0000 0005 0000 61 0005 0000 62",
                      1, true, 0},
        MalformedCase{"RdwFFFFInBlockFFFF", 6, "FFFF 0000 FFFF 0000 61", 0, true, 0}),
    [](const auto &info) { return std::string(info.param.szName); });

// Streams of random bytes, biased towards small and extreme lengths, under
// every option and small maximum lengths (0 included): each call stays in
// the record area (the sanitizer build checks every byte), and a caller that
// reads until a 0 result without a throw stops within one call per
// descriptor.
TEST(MalformedDescriptorRandom, StaysInsideTheRecordAreaAndTerminates) {
    std::mt19937 rng(20240611);
    const uint8_t abLikely[] = {0x00, 0x00, 0x01, 0x03, 0x04, 0x05, 0x08, 0x5A, 0xFF};
    const uint16_t awOptions[] = {0, 0x0010, 0x0110, 0x1020};
    for (int nRun = 0; nRun < 2000; ++nRun) {
        Bytes abInput(rng() % 80);
        for (uint8_t &b : abInput)
            b = rng() % 3 ? abLikely[rng() % sizeof abLikely]
                          : static_cast<uint8_t>(rng());
        const uint16_t wFormat = (rng() % 2 ? 2 : 6) | awOptions[rng() % 4];
        const uint16_t cbMax = rng() % 16;
        MemorySource source(abInput, {static_cast<uint16_t>(1 + rng() % 5)});
        LineReader reader(source, wFormat, cbMax);
        ASSERT_TRUE(reader.Created());
        for (size_t nCall = 0;; ++nCall) {
            ASSERT_LE(nCall, abInput.size() / 4 + 2) << "run " << nRun;
            const LineRecord r = reader.Next();
            ASSERT_LE(r.cbData + 1u, cbMax + 4u) << "run " << nRun;
            ASSERT_EQ(r.bTerminator, 0);
            if (r.cbResult == 0 && !r.thrown) break;
        }
    }
}

}  // namespace
