// Fixed-length records (format codes 1 and 5): prefixes, defaults, blank
// fill, records cut short by the end of input; each row read every way.
#include <gtest/gtest.h>

#include <string.h>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

struct FixedCase {
    const char *szName;
    uint16_t wFormat;
    uint16_t cbMaxRecord;
    const char *szInput;  // hex
    size_t iCall;         // the get-next call checked: 0, or the one cut short
    uint8_t bCC;
    uint8_t bTRC;
    const char *szData;     // hex of its data
    uint32_t cbRecord = 0;  // a cut record's input bytes; else cbMaxRecord
};

void PrintTo(const FixedCase &c, std::ostream *os) { *os << c.szName; }

class FixedRecord : public ::testing::TestWithParam<FixedCase> {};

// A record cut short by the end of input carries exactly the bytes read, with
// the end flag, and without default carriage control or blank fill.
TEST_P(FixedRecord, CheckedCall) {
    const FixedCase &c = GetParam();
    const Bytes abInput = HexBytes(c.szInput);
    const bool fCut = c.iCall != 0;
    const LineRun run = ReadLinesEveryWay(abInput, c.wFormat, c.cbMaxRecord);
    ASSERT_GT(run.records.size(), c.iCall + (fCut ? 0 : 1));
    const LineRecord &r = run.records[c.iCall];
    EXPECT_EQ(r.bCC, c.bCC);
    EXPECT_EQ(r.bTRC, c.bTRC);
    EXPECT_EQ(r.abData, HexBytes(c.szData));
    EXPECT_EQ(r.cbResult, r.cbData);
    EXPECT_EQ(r.bTerminator, 0);
    EXPECT_EQ(r.fEnd, fCut ? 1u : 0u);
    EXPECT_EQ(r.dwStatus, DSP_OK);
    EXPECT_EQ(r.cbRecord, fCut ? c.cbRecord : c.cbMaxRecord);
    EXPECT_EQ(r.cbConsumed, fCut ? abInput.size() : c.cbMaxRecord);
    EXPECT_EQ(run.records.back().cbRecord, fCut && r.cbResult == 0 ? c.cbRecord : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FixedRecord,
    ::testing::Values(
        FixedCase{"NoPrefix", 1, 4, "61626364 65666768", 0, 0x20, 0, "61626364"},
        FixedCase{"CcAndTrc", 0x0111, 10, "31 33 6162636465666768 00000000000000000000",
                  0, 0x31, 3, "6162636465666768"},
        FixedCase{"TrcHighNibbleIgnored", 0x0111, 4, "31 F3 6162 00000000", 0, 0x31, 3,
                  "6162"},
        FixedCase{"AnyBitOfF0SelectsCc", 0x0041, 3, "31 6162 000000", 0, 0x31, 0, "6162"},
        FixedCase{"Code5LikeCode1", 0x0115, 4, "31 F3 6162 00000000", 0, 0x31, 3, "6162"},
        FixedCase{"DefaultCcEbcdic", 0x1011, 3, "00 8182 000000", 0, 0x40, 0, "8182"},
        FixedCase{"MachineWinsOverEbcdic", 0x1021, 3, "00 8182 000000", 0, 0x0B, 0,
                  "8182"},
        FixedCase{"NulsBecomeEbcdicBlanks", 0x1001, 20,
                  "00810000 00000000 00000000 00000000 00000061 00", 0, 0x40, 0,
                  "40814040 40404040 40404040 40404040 40404061"},
        FixedCase{"EmbeddedFieldKeepsNulsAndSkipsTrc", 0x0111, 6,
                  "5A 0005 00 0000 000000000000", 0, 0x5A, 0, "5A0005000000"},
        FixedCase{"CcWithoutTrcOptionKeepsSecondByte", 0x0011, 3, "31 33 61 000000", 0,
                  0x31, 0, "3361"},
        FixedCase{"CutInData", 0x0011, 6, "316162636465 31 6100", 1, 0x31, 0, "6100", 3},
        FixedCase{"CutAfterCc", 0x0111, 6, "313161626364 31", 1, 0x31, 0, "", 1},
        FixedCase{"CutNoPrefixNoDefault", 0x0001, 6, "616263646566 0061", 1, 0, 0, "0061",
                  2},
        FixedCase{"CutEmbeddedField", 0x0011, 6, "316162636465 5A 0003", 1, 0x5A, 0,
                  "5A0003", 3}),
    [](const auto &info) { return std::string(info.param.szName); });

// After the last whole record every call finds the end and asks once more.
TEST(FixedRecordEnd, EndOnEveryLaterCall) {
    MemorySource source(TextBytes("aaaabbbbcccc"));
    LineReader reader(source, 1, 4);
    ASSERT_EQ(reader.ReadAll().size(), 3u);
    const int nFills = source.FillRequests();
    const LineRecord r = reader.Next();
    EXPECT_EQ(r.cbResult, 0);
    EXPECT_EQ(r.fEnd, 1u);
    EXPECT_EQ(r.cbConsumed, 12u);
    EXPECT_EQ(r.cbRecord, 0u);
    EXPECT_EQ(source.FillRequests(), nFills + 1);
}

// A source that had nothing once may have more later: the end flag goes.
TEST(FixedRecordEnd, EndOfInputIsNotFinal) {
    MemorySource source(TextBytes("aaaabbbb"), {4, 0, 4096});
    LineReader reader(source, 1, 4);
    EXPECT_EQ(reader.Next().fEnd, 0u);
    EXPECT_EQ(reader.Next().fEnd, 1u);
    const LineRecord r = reader.Next();
    EXPECT_EQ(r.abData, TextBytes("bbbb"));
    EXPECT_EQ(r.fEnd, 0u);
}

// A fill that brings less than the rest of a record, or nothing, is one
// fill as if the record were taken a byte at a time: no extra request.
TEST(FixedRecordEnd, ShortFillsCompleteOrCutTheRecord) {
    MemorySource source(TextBytes("aaaabbbbccccdd"), {6, 1, 0, 4096});
    LineReader reader(source, 1, 4);
    for (const char *sz : {"aaaa", "bbb", "bccc", "cdd"}) {
        const LineRecord r = reader.Next();
        EXPECT_EQ(r.abData, TextBytes(sz)) << sz;
        EXPECT_EQ(r.cbRecord, strlen(sz)) << sz;
    }
    EXPECT_EQ(source.FillRequests(), 5);
    EXPECT_EQ(reader.Next().fEnd, 1u);
    EXPECT_EQ(source.FillRequests(), 6);
}

}  // namespace
