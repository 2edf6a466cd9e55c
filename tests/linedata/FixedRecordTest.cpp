// Fixed-length records (format codes 1 and 5): prefixes, defaults, blank
// fill, end of input and block-size independence.
#include <gtest/gtest.h>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

struct FixedCase {
    const char *szName;
    uint16_t wFormat;
    uint16_t cbMaxRecord;
    const char *szInput;  // hex: exactly one record followed by a second one
    uint8_t bCC;
    uint8_t bTRC;
    const char *szData;  // hex of the first record's data
};

void PrintTo(const FixedCase &c, std::ostream *os) { *os << c.szName; }

class FixedRecord : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedRecord, FirstRecord) {
    const FixedCase &c = GetParam();
    MemorySource source(HexBytes(c.szInput));
    LineReader reader(source, c.wFormat, c.cbMaxRecord);
    ASSERT_TRUE(reader.Created());
    const LineRecord r = reader.Next();
    EXPECT_EQ(r.bCC, c.bCC);
    EXPECT_EQ(r.bTRC, c.bTRC);
    EXPECT_EQ(r.abData, HexBytes(c.szData));
    EXPECT_EQ(r.cbResult, r.cbData);
    EXPECT_EQ(r.bTerminator, 0);
    EXPECT_EQ(r.fEnd, 0u);
    EXPECT_EQ(r.dwStatus, DSP_OK);
    EXPECT_EQ(r.cbConsumed, c.cbMaxRecord);
    EXPECT_EQ(r.cbRecord, c.cbMaxRecord);
}

// Every input holds a second record so that the first is never the last.
INSTANTIATE_TEST_SUITE_P(
    Rows, FixedRecord,
    ::testing::Values(
        FixedCase{"NoPrefix", 1, 4, "61626364 65666768", 0x20, 0, "61626364"},
        FixedCase{"CcAndTrc", 0x0111, 10, "31 33 6162636465666768 00000000000000000000",
                  0x31, 3, "6162636465666768"},
        FixedCase{"TrcHighNibbleIgnored", 0x0111, 4, "31 F3 6162 00000000", 0x31, 3,
                  "6162"},
        FixedCase{"AnyBitOfF0SelectsCc", 0x0041, 3, "31 6162 000000", 0x31, 0, "6162"},
        FixedCase{"Code5LikeCode1", 0x0115, 4, "31 F3 6162 00000000", 0x31, 3, "6162"},
        FixedCase{"DefaultCcAscii", 0x0011, 3, "00 6162 000000", 0x20, 0, "6162"},
        FixedCase{"DefaultCcEbcdic", 0x1011, 3, "00 8182 000000", 0x40, 0, "8182"},
        FixedCase{"DefaultCcMachine", 0x0021, 3, "00 6162 000000", 0x0B, 0, "6162"},
        FixedCase{"MachineWinsOverEbcdic", 0x1021, 3, "00 8182 000000", 0x0B, 0, "8182"},
        FixedCase{"NoCcOptionGetsDefault", 0x0001, 2, "6162 0000", 0x20, 0, "6162"},
        FixedCase{"NulsBecomeAsciiBlanks", 0x0001, 4, "00610000 00000000", 0x20, 0,
                  "20612020"},
        FixedCase{"NulsBecomeEbcdicBlanks", 0x1001, 4, "00810000 00000000", 0x40, 0,
                  "40814040"},
        FixedCase{"EmbeddedFieldKeepsNulsAndSkipsTrc", 0x0111, 6,
                  "5A 0005 00 0000 000000000000", 0x5A, 0, "5A0005000000"},
        FixedCase{"CcWithoutTrcOptionKeepsSecondByte", 0x0011, 3, "31 33 61 000000", 0x31,
                  0, "3361"}),
    [](const auto &info) { return std::string(info.param.szName); });

TEST(FixedRecordEnd, WholeNumberOfRecordsThenEndOnEveryLaterCall) {
    MemorySource source(TextBytes("aaaabbbbcccc"));
    LineReader reader(source, 1, 4);
    const std::vector<LineRecord> records = reader.ReadAll();
    ASSERT_EQ(records.size(), 3u);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].fEnd, 0u);
        EXPECT_EQ(records[i].cbConsumed, 4 * (i + 1));
        EXPECT_EQ(records[i].cbRecord, 4u);
    }
    // ReadAll's last call found the end; each further call asks once more.
    uint32_t cbConsumed = 0, cbRecord = 9;
    fFnGetMixedDataCurrentRecordInfo(reader.Handle(), &cbConsumed, &cbRecord, nullptr);
    EXPECT_EQ(cbConsumed, 12u);
    EXPECT_EQ(cbRecord, 0u);
    const int nFills = source.FillRequests();
    LineRecord r = reader.Next();
    EXPECT_EQ(r.cbResult, 0);
    EXPECT_EQ(r.fEnd, 1u);
    EXPECT_EQ(source.FillRequests(), nFills + 1);
}

struct CutCase {
    const char *szName;
    uint16_t wFormat;
    const char *szInput;  // one full 6-byte record, then the cut one
    uint16_t cbResult;
    uint8_t bCC;
    const char *szData;
    uint32_t cbRecord;
};

void PrintTo(const CutCase &c, std::ostream *os) { *os << c.szName; }

class FixedRecordCut : public ::testing::TestWithParam<CutCase> {};

// A record cut short by the end of input carries exactly the bytes read,
// with the end flag, and without default carriage control or blank fill.
TEST_P(FixedRecordCut, DeliversWhatWasRead) {
    const CutCase &c = GetParam();
    for (uint16_t cbBlock : {1, 5, 4096}) {
        MemorySource source(HexBytes(c.szInput), {cbBlock});
        LineReader reader(source, c.wFormat, 6);
        EXPECT_EQ(reader.Next().fEnd, 0u);
        const LineRecord r = reader.Next();
        EXPECT_EQ(r.cbResult, c.cbResult) << cbBlock;
        EXPECT_EQ(r.bCC, c.bCC);
        EXPECT_EQ(r.abData, HexBytes(c.szData));
        EXPECT_EQ(r.bTerminator, 0);
        EXPECT_EQ(r.fEnd, 1u);
        EXPECT_EQ(r.cbRecord, c.cbRecord);
        EXPECT_EQ(r.cbConsumed, HexBytes(c.szInput).size());
        EXPECT_EQ(reader.Next().cbResult, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FixedRecordCut,
    ::testing::Values(
        CutCase{"InData", 0x0011, "316162636465 31 6100", 2, 0x31, "6100", 3},
        CutCase{"AfterCc", 0x0111, "313161626364 31", 0, 0x31, "", 1},
        CutCase{"NoPrefixNoDefault", 0x0001, "616263646566 0061", 2, 0, "0061", 2},
        CutCase{"EmbeddedField", 0x0011, "316162636465 5A 0003", 3, 0x5A, "5A0003", 3}),
    [](const auto &info) { return std::string(info.param.szName); });

// Records of several lengths and options, read in blocks of many sizes,
// including sizes that vary from request to request.
TEST(FixedRecordBlocks, SameRecordsWhateverTheBlockSize) {
    Bytes abInput;
    for (int i = 0; i < 9000; ++i)
        abInput.push_back(static_cast<uint8_t>(i * 7 + i / 13));
    const std::vector<std::vector<uint16_t>> blockPlans = {
        {1}, {2}, {7}, {133}, {4095}, {1, 4096, 3}, {4096, 1}};
    for (uint16_t wFormat : {0x0001, 0x0111, 0x1021, 0x0115}) {
        for (uint16_t cbMax : {3, 133, 4096, 5000}) {
            MemorySource whole(abInput, {4096});
            LineReader reference(whole, wFormat, cbMax);
            const std::vector<LineRecord> expected = reference.ReadAll();
            ASSERT_EQ(expected.size(), (abInput.size() + cbMax - 1) / cbMax);
            for (const std::vector<uint16_t> &plan : blockPlans) {
                MemorySource pieces(abInput, plan);
                LineReader reader(pieces, wFormat, cbMax);
                ASSERT_EQ(reader.ReadAll(), expected)
                    << "format " << wFormat << " max " << cbMax << " first block "
                    << plan[0];
            }
        }
    }
}

TEST(FixedRecordBlocks, OffsetsFromRecordInfoLocateEachRecord) {
    Bytes abInput;
    for (int i = 0; i < 1000; ++i) abInput.push_back(static_cast<uint8_t>('A' + i % 26));
    MemorySource source(abInput, {7});
    LineReader reader(source, 0x0001, 10);
    for (const LineRecord &r : reader.ReadAll()) {
        const uint32_t ibRecord = r.cbConsumed - r.cbRecord;
        ASSERT_EQ(r.abData, Bytes(abInput.begin() + ibRecord,
                                  abInput.begin() + ibRecord + r.cbRecord));
    }
}

}  // namespace
