// Variable-length (format 2) and blocked (format 6) records: prefixes,
// embedded structured fields, record info, records cut short, the blank fill
// and the refusal of over-long records; each row read every way.
#include <gtest/gtest.h>

#include <tuple>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

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
    bool fCut = false;      // the record is cut short by the end of input
    uint32_t cbRecord = 0;  // input bytes a cut record took
};

std::ostream &operator<<(std::ostream &os, const VarCase &c) { return os << c.szName; }

class VarRecord : public ::testing::TestWithParam<VarCase> {};

// The record, after a first one, as format 2 and inside a block as format 6;
// a whole one has another record after it. A cut one carries exactly the bytes
// read, with the end flag and without defaults or blank fill.
TEST_P(VarRecord, SecondRecordInBothFormats) {
    const VarCase &c = GetParam();
    const Bytes abRecord = HexBytes(c.szRecord);
    const Bytes abRecords = Concat({HexBytes("0006 0000 7A7A"), abRecord,
                                    c.fCut ? Bytes() : HexBytes("0006 0000 7A7A")});
    for (uint16_t wCode : {2, 6}) {
        // A cut record's block announces the longest length, so that it fits.
        const Bytes abInput = wCode == 2 ? abRecords
                              : c.fCut   ? Concat({Descriptor(0xFFFF), abRecords})
                                         : OneBlock(abRecords);
        const LineRun run = ReadLinesEveryWay(abInput, wCode | c.wOptions, 0xFFFF);
        LineRecord want;
        want.cbResult = want.cbData = static_cast<uint16_t>(HexBytes(c.szData).size());
        want.bCC = c.bCC;
        want.bTRC = c.bTRC;
        want.abData = HexBytes(c.szData);
        want.bTerminator = 0;
        want.fEnd = c.fCut;
        want.cbRecord = c.fCut ? c.cbRecord : abRecord.size();
        want.cbConsumed = (wCode == 6 ? 4 : 0) + 6 + abRecord.size();
        // A cut record with no data is the last call; else the end comes after.
        const size_t nCalls = !c.fCut ? 4 : want.cbResult == 0 ? 2 : 3;
        ASSERT_EQ(run.records.size(), nCalls);
        EXPECT_EQ(run.records[1], want) << "format " << wCode;
        EXPECT_EQ(run.records.back().cbRecord, nCalls > 2 ? 0u : want.cbRecord);
        EXPECT_EQ(run.dwWord, DSP_OK);
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
        VarCase{"LeadingFieldByteWithoutCcIsData", 0, "0006 0000 5A00", 0x20, 0, "5A20"},
        VarCase{"CutLongerThan255", 0, "0110 0000 00", 0, 0, "00", true, 5},
        VarCase{"CutInData", 0x0010, "000A 0000 31 616263", 0x31, 0, "616263", true, 8},
        // a carriage-control byte missing at the end of input reads as a blank
        VarCase{"CutAfterDescriptor", 0x0110, "000A 0000", 0x20, 0, "", true, 4},
        VarCase{"CutEmbeddedFieldKeepsNuls", 0x0010, "0010 0000 5A 00 0300", 0x5A, 0,
                "5A000300", true, 8},
        VarCase{"CutLongestLength", 0, "FFF0 0000 616263", 0, 0, "616263", true, 7}),
    [](const auto &info) { return std::string(info.param.szName); });

TEST(VarBlockRecord, EmptyBlocksAndTwoBlocksOfTwoRecords) {
    const LineRun run = ReadLinesEveryWay(
        Concat({Descriptor(4),
                OneBlock(HexBytes("0007 0000 616263 0009 0000 6465666768")),
                Descriptor(4), OneBlock(HexBytes("0006 0000 6969 0006 0000 6A6A")),
                Descriptor(4)}),
        6, 20);
    std::vector<std::tuple<Bytes, uint32_t, uint32_t>> records;
    for (const LineRecord &r : run.records)
        records.emplace_back(r.abData, r.cbConsumed, r.cbRecord);
    EXPECT_EQ(records, (std::vector<std::tuple<Bytes, uint32_t, uint32_t>>{
                           {TextBytes("abc"), 15, 7},
                           {TextBytes("defgh"), 24, 9},
                           {TextBytes("ii"), 38, 6},
                           {TextBytes("jj"), 44, 6},
                           {Bytes(), 48, 0}}));
    EXPECT_EQ(run.dwWord, DSP_OK);
}

// A record of exactly cbMaxRecord passes; one byte more is refused: status
// stored (replacing any code), the descriptor taken, the record area cleared,
// and MVXError thrown out of the plain get-next export.
TEST(VarRecordTooLong, RefusedPastTheMaximumLength) {
    for (uint16_t wCode : {2, 6}) {
        const Bytes abRecords =
            Concat({Descriptor(100), Bytes(96, 'a'), Descriptor(101), Bytes(97, 'b')});
        const LineRun run = ReadLinesEveryWay(
            wCode == 6 ? OneBlock(abRecords) : abRecords, wCode, 100, 0x1234);
        ASSERT_EQ(run.records.size(), 2u) << wCode;
        EXPECT_EQ(run.records[0].cbData, 96);
        ASSERT_TRUE(run.records[1].thrown);
        const int32_t nLine = run.records[1].thrown->nLine;
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
        EXPECT_EQ(run.records[1], want);
        EXPECT_EQ(run.dwWord, DSP_ERR_RECORD_TOO_LONG);
    }
}

// The refused descriptor is not counted against its block: the next call
// reads the record's first body bytes as a descriptor inside the same block.
TEST(VarRecordTooLong, BlockedRefusalLeavesTheBlockAsItWas) {
    MemorySource source(HexBytes("000C 0000  0008 0000  0004 0000"));
    LineReader reader(source, 6, 6);
    EXPECT_TRUE(reader.Next().thrown);
    const LineRecord r = reader.Next();
    EXPECT_EQ(r.abData, TextBytes(" "));
    EXPECT_EQ(r.cbRecord, 4u);
}

// NUL data bytes print as blanks (0x40 with EBCDIC data) at every length
// around the word and vector widths and every place, whether the record lies
// whole in one block or arrives a byte at a time; an embedded field keeps them.
TEST(RecordBlankFill, EveryLengthAndPlace) {
    for (uint16_t wFormat : {0x0002, 0x1012}) {
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
                    ASSERT_EQ(LineReader(source, wFormat, 700).Next().abData, abExpected)
                        << wFormat << ' ' << cbData << ' ' << ibNul << ' ' << cbBlock;
                }
            }
        }
    }
}

}  // namespace
