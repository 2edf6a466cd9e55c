// Variable-length (format 2) and blocked (format 6) records: prefixes,
// embedded structured fields, record info, records cut short, block-size
// independence and the refusal of over-long records.
#include <gtest/gtest.h>

#include <tuple>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

// A record or block descriptor word announcing cb bytes, its own four included.
Bytes Descriptor(size_t cb) {
    return {static_cast<uint8_t>(cb >> 8), static_cast<uint8_t>(cb), 0, 0};
}

Bytes OneBlock(const Bytes &abRecords) {
    return Concat({Descriptor(abRecords.size() + 4), abRecords});
}

struct VarCase {
    const char *szName;
    uint16_t wOptions;     // added to format code 2 and to 6
    const char *szRecord;  // hex: one record with its descriptor word
    uint8_t bCC;
    uint8_t bTRC;
    const char *szData;
};

std::ostream &operator<<(std::ostream &os, const VarCase &c) { return os << c.szName; }

class VarRecord : public ::testing::TestWithParam<VarCase> {};

// The record read as format 2 and inside a block as format 6, with a second
// record after it so that it is never the last.
TEST_P(VarRecord, FirstRecordInBothFormats) {
    const VarCase &c = GetParam();
    const Bytes abRecord = HexBytes(c.szRecord);
    const Bytes abRecords = Concat({abRecord, HexBytes("0006 0000 7A7A")});
    for (uint16_t wCode : {2, 6}) {
        MemorySource source(wCode == 2 ? abRecords : OneBlock(abRecords));
        LineReader reader(source, wCode | c.wOptions, 200);
        LineRecord want;
        want.cbResult = want.cbData = static_cast<uint16_t>(HexBytes(c.szData).size());
        want.bCC = c.bCC;
        want.bTRC = c.bTRC;
        want.abData = HexBytes(c.szData);
        want.bTerminator = 0;
        want.cbRecord = abRecord.size();
        want.cbConsumed = abRecord.size() + (wCode == 6 ? 4 : 0);
        EXPECT_EQ(reader.Next(), want) << "format " << wCode;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VarRecord,
    ::testing::Values(
        VarCase{"Plain", 0, "0008 0000 61626364", 0x20, 0, "61626364"},
        VarCase{"SecondHalfWordIgnored", 0, "0006 FFFF 6162", 0x20, 0, "6162"},
        VarCase{"EmptyRecordIsOneBlank", 0, "0004 0000", 0x20, 0, "20"},
        VarCase{"CcAndTrc", 0x0110, "0007 0000 31 F3 61", 0x31, 3, "61"},
        VarCase{"CcOnlyRecordTakesNoTrc", 0x0110, "0005 0000 31", 0x31, 0, "20"},
        VarCase{"EmbeddedFieldWhole", 0x0110, "000B 0000 5A 0006 D3A8 0000", 0x5A, 0,
                "5A0006D3A80000"},
        VarCase{"LeadingFieldByteWithoutCcIsData", 0, "0006 0000 5A00", 0x20, 0, "5A20"}),
    [](const auto &info) { return std::string(info.param.szName); });

TEST(VarBlockRecord, TwoBlocksOfTwoRecordsArriveInOrder) {
    MemorySource source(
        Concat({OneBlock(HexBytes("0007 0000 616263 0009 0000 6465666768")),
                OneBlock(HexBytes("0006 0000 6969 0006 0000 6A6A"))}));
    LineReader reader(source, 6, 20);
    std::vector<std::tuple<Bytes, uint32_t, uint32_t>> records;
    for (const LineRecord &r : reader.ReadAll())
        records.emplace_back(r.abData, r.cbConsumed, r.cbRecord);
    EXPECT_EQ(records, (std::vector<std::tuple<Bytes, uint32_t, uint32_t>>{
                           {TextBytes("abc"), 11, 7},
                           {TextBytes("defgh"), 20, 9},
                           {TextBytes("ii"), 30, 6},
                           {TextBytes("jj"), 36, 6}}));
    EXPECT_EQ(reader.Status(), DSP_OK);
}

struct CutCase {
    const char *szName;
    uint16_t wOptions;
    const char *szRecord;  // its descriptor announces more than follows
    uint8_t bCC;
    const char *szData;
    uint32_t cbRecord;
};

std::ostream &operator<<(std::ostream &os, const CutCase &c) { return os << c.szName; }

class VarRecordCut : public ::testing::TestWithParam<CutCase> {};

// A record cut short by the end of input carries exactly the bytes read,
// with the end flag and without defaults or blank fill; the next call is a
// clean end of input.
TEST_P(VarRecordCut, DeliversWhatWasRead) {
    const CutCase &c = GetParam();
    const Bytes abRecords = Concat({HexBytes("0006 0000 7A7A"), HexBytes(c.szRecord)});
    for (uint16_t wCode : {2, 6}) {
        // The block announces the longest length, so that the record fits it.
        const Bytes abInput =
            wCode == 2 ? abRecords : Concat({Descriptor(0xFFFF), abRecords});
        for (uint16_t cbBlock : {1, 5, 4096}) {
            MemorySource source(abInput, {cbBlock});
            LineReader reader(source, wCode | c.wOptions, 0xFFFF);
            reader.Next();
            LineRecord want;
            want.cbResult = want.cbData =
                static_cast<uint16_t>(HexBytes(c.szData).size());
            want.bCC = c.bCC;
            want.abData = HexBytes(c.szData);
            want.bTerminator = 0;
            want.fEnd = 1;
            want.cbConsumed = abInput.size();
            want.cbRecord = c.cbRecord;
            EXPECT_EQ(reader.Next(), want) << "format " << wCode << " block " << cbBlock;
            EXPECT_EQ(reader.Next().cbRecord, 0u);
            EXPECT_EQ(reader.Status(), DSP_OK);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VarRecordCut,
    ::testing::Values(
        CutCase{"InData", 0x0010, "000A 0000 31 616263", 0x31, "616263", 8},
        // a carriage-control byte missing at the end of input reads as a blank
        CutCase{"AfterDescriptor", 0x0110, "000A 0000", 0x20, "", 4},
        CutCase{"EmbeddedFieldKeepsNuls", 0x0010, "0010 0000 5A 00 0300", 0x5A,
                "5A000300", 8},
        CutCase{"LongestLength", 0, "FFF0 0000 616263", 0, "616263", 7}),
    [](const auto &info) { return std::string(info.param.szName); });

// Records of many lengths (past 255, so both length bytes count), one empty,
// embedded fields with NULs; blocked streams hold 1 to 4 records a block,
// with empty blocks between and at the end. Gives each record's offset.
Bytes MakeStream(bool fBlocked, std::vector<uint32_t> &aibRecord) {
    Bytes abInput;
    auto vAppend = [&abInput](const Bytes &ab) {
        abInput.insert(abInput.end(), ab.begin(), ab.end());
    };
    std::vector<Bytes> aabBlock;
    size_t cbBlock = 4;
    for (int i = 0; i < 400; ++i) {
        const size_t cbRecord = 4 + (i * 37) % 600;
        aabBlock.push_back(Descriptor(cbRecord));
        for (size_t k = 4; k < cbRecord; ++k)
            aabBlock.back().push_back(static_cast<uint8_t>(i * 7 + k * 13));
        if (i % 5 == 1) aabBlock.back()[4] = 0x5A;
        cbBlock += cbRecord;
        if (fBlocked && aabBlock.size() < size_t(i % 5) && i != 399) continue;
        if (fBlocked) vAppend(Descriptor(cbBlock));
        for (const Bytes &ab : aabBlock) {
            aibRecord.push_back(abInput.size());
            vAppend(ab);
        }
        if (fBlocked && i % 7 == 0) vAppend(Descriptor(4));  // 399 is one
        aabBlock.clear();
        cbBlock = 4;
    }
    return abInput;
}

TEST(VarRecordBlocks, SameRecordsWhateverTheBlockSize) {
    const std::vector<std::vector<uint16_t>> blockPlans = {
        {1}, {2}, {3}, {7}, {255}, {4095}, {1, 4096, 3}, {4096, 1}, {5, 1, 600}};
    for (uint16_t wFormat : {0x0002, 0x0112, 0x1022, 0x0006, 0x0116, 0x1046}) {
        std::vector<uint32_t> aibRecord;
        const Bytes abInput = MakeStream((wFormat & 0x0F) == 6, aibRecord);
        MemorySource whole(abInput, {4096});
        LineReader reference(whole, wFormat, 700);
        const std::vector<LineRecord> expected = reference.ReadAll();
        ASSERT_EQ(expected.size(), aibRecord.size()) << wFormat;
        EXPECT_EQ(reference.Status(), DSP_OK);
        for (size_t i = 0; i < expected.size(); ++i) {
            const LineRecord &r = expected[i];
            const size_t ib = aibRecord[i];
            ASSERT_EQ(r.cbConsumed - r.cbRecord, ib) << wFormat << ' ' << i;
            ASSERT_EQ(r.cbRecord, abInput[ib] << 8 | abInput[ib + 1]);
        }
        for (const std::vector<uint16_t> &plan : blockPlans) {
            MemorySource pieces(abInput, plan);
            LineReader reader(pieces, wFormat, 700);
            ASSERT_EQ(reader.ReadAll(), expected)
                << "format " << wFormat << " first block " << plan[0];
        }
    }
}

// A record of exactly cbMaxRecord passes; one byte more is refused: status
// stored (replacing any code), the descriptor taken, the record area cleared,
// and MVXError thrown out of the plain get-next export.
TEST(VarRecordTooLong, RefusedPastTheMaximumLength) {
    for (uint16_t wCode : {2, 6}) {
        const Bytes abRecords =
            Concat({Descriptor(100), Bytes(96, 'a'), Descriptor(101), Bytes(97, 'b')});
        MemorySource source(wCode == 6 ? OneBlock(abRecords) : abRecords);
        LineReader reader(source, wCode, 100);
        reader.Status() = 0x1234;
        const std::vector<LineRecord> records = reader.ReadAllCatching();
        ASSERT_EQ(records.size(), 2u) << wCode;
        EXPECT_EQ(records[0].cbData, 96);
        ASSERT_TRUE(records[1].thrown);
        const int32_t nLine = records[1].thrown->nLine;
        EXPECT_GT(nLine, 0);
        LineRecord want;
        want.dwStatus = DSP_ERR_RECORD_TOO_LONG;
        want.bTerminator = 0;
        want.cbConsumed = (wCode == 6 ? 4 : 0) + 100 + 4;
        want.cbRecord = 100;  // still the previous record's
        want.thrown = ThrownError{
            std::string(wCode == 2 ? "cfnVarRecord_Get" : "cfnVarBlockRecord_Get") +
                ". The record is too long - 101 bytes. Max length is 100 bytes",
            16, 16, "vok32100", wCode == 2 ? 829 : nLine};
        EXPECT_EQ(records[1], want);
        EXPECT_EQ(reader.Status(), DSP_ERR_RECORD_TOO_LONG);
    }
}

// The refused descriptor is not counted against its block: the next call
// reads the record's first body bytes as a descriptor inside the same block.
TEST(VarRecordTooLong, BlockedRefusalLeavesTheBlockAsItWas) {
    MemorySource source(HexBytes("000C 0000  0008 0000  0004 0000"));
    LineReader reader(source, 6, 6);
    EXPECT_TRUE(reader.NextCatching().thrown);
    const LineRecord r = reader.Next();
    EXPECT_EQ(r.abData, TextBytes(" "));
    EXPECT_EQ(r.cbRecord, 4u);
}

}  // namespace

// NUL data bytes print as blanks (0x40 with EBCDIC data) at every length
// around the word and vector widths and every place, whether the record lies
// whole in one block or arrives a byte at a time; an embedded field keeps them.
TEST(RecordBlankFill, EveryLengthAndPlace) {
    for (uint16_t wFormat : {0x0002, 0x1002, 0x0012}) {
        const uint8_t bBlank = (wFormat & 0x1000) ? 0x40 : 0x20;
        for (size_t cbData = 0; cbData <= 40; ++cbData) {
            for (size_t ibNul = 0; ibNul <= cbData; ++ibNul) {
                Bytes abData(cbData, 'a');
                for (size_t ib = 0; ib < cbData; ib += 3)
                    abData[ib] = 0;  // a NUL in every word
                if (ibNul < cbData) abData[ibNul] = 0;
                const bool fField = (wFormat & 0x0010) && cbData != 0 && ibNul == 1;
                if (fField) abData[0] = 0x5A;
                Bytes abExpected = abData;
                if (wFormat & 0x0010 && cbData != 0) abExpected.erase(abExpected.begin());
                if (fField) abExpected.insert(abExpected.begin(), 0x5A);
                for (uint8_t &b : abExpected)
                    if (b == 0 && !fField) b = bBlank;
                if (abExpected.empty()) abExpected = {bBlank};
                const Bytes abInput =
                    Concat({Descriptor(cbData + 4), abData, HexBytes("0005 0000 61")});
                for (uint16_t cbBlock : {4096, 1}) {
                    MemorySource source(abInput, {cbBlock});
                    const LineRecord r = LineReader(source, wFormat, 700).Next();
                    ASSERT_EQ(r.abData, abExpected)
                        << wFormat << ' ' << cbData << ' ' << ibNul << ' ' << cbBlock;
                }
            }
        }
    }
}
