// Malformed structured-field input: data longer than the capacity, lengths
// shorter than header and extension, missing introducers in a run, null
// arguments and a callback that claims more than a block.
#include <gtest/gtest.h>

#include "SfReading.h"

using namespace vokdsp_test;

namespace {

constexpr uint32_t dwBDT = 0xD3A8A8;
constexpr uint32_t dwEDT = 0xD3A9A8;
constexpr uint32_t dwPTX = 0xD3EE9B;

Bytes Field(uint32_t dwID, size_t cbData = 0, uint8_t bFill = 0x11) {
    return SfBytes({dwID, Bytes(cbData, bFill)});
}

// ---- Data longer than the capacity ---------------------------------------

TEST(SfTooLong, FieldIsDroppedAndTheReaderStaysInStep) {
    MemorySource source(
        Concat({Field(dwBDT, 4), SfBytes({dwEDT, Bytes(20, 0xEE), 0x08, 7}),
                Field(dwPTX, 3, 0x33)}));
    SfReader reader(source, 10);
    ASSERT_TRUE(reader.Created());
    const SfField f1 = reader.Next();
    ASSERT_EQ(f1.iResult, 12);

    reader.Status() = 0x1234;
    const SfField f2 = reader.Next();
    EXPECT_EQ(f2.iResult, 0);
    EXPECT_EQ(reader.Status(), DSP_ERR_RECORD_TOO_LONG);  // overwrites
    EXPECT_EQ(f2.hdr.bCC, 0x5A);
    EXPECT_EQ(f2.hdr.cbSF, 12);  // header put back
    EXPECT_EQ(f2.hdr.dwID, dwBDT);
    EXPECT_EQ(f2.hdr.bFlags, 0x08);  // the refused field's
    EXPECT_EQ(f2.hdr.wSeq, 7);
    EXPECT_EQ(f2.abArea, f1.abArea);  // untouched
    EXPECT_EQ(f2.dwPos, 13u + 29u);   // its data taken and dropped
    EXPECT_EQ(f2.dwLen, 13u);

    const SfField f3 = reader.Next();
    EXPECT_EQ(f3.iResult, 11);
    EXPECT_EQ(f3.hdr.dwID, dwPTX);
    EXPECT_EQ(f3.Data(4), HexBytes("33 33 33 11"));
    EXPECT_EQ(f3.dwPos, 42u + 12u);
}

TEST(SfTooLong, DataExactlyAtTheCapacityIsDelivered) {
    MemorySource source(Concat({Field(dwBDT), Field(dwEDT, 10, 0xEE)}));
    SfReader reader(source, 10);
    ASSERT_TRUE(reader.Created());
    ASSERT_EQ(reader.Next().iResult, 8);
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 18);
    EXPECT_EQ(f.abArea, Bytes(10, 0xEE));
    EXPECT_EQ(reader.Status(), 0u);
}

TEST(SfTooLong, RecordBytesBeyondTheFieldCount) {
    MemorySource source(RdwRecord(Field(dwBDT, 8), HexBytes("F1")));  // 9 data bytes
    SfReader reader(source, 8);
    ASSERT_TRUE(reader.Created());
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 0);
    EXPECT_EQ(reader.Status(), DSP_ERR_RECORD_TOO_LONG);
    EXPECT_EQ(f.abArea, Bytes(8, 0));
    EXPECT_EQ(f.dwPos, 22u);
}

TEST(SfTooLong, InputEndingWhileDropping) {
    const Bytes abInput = Concat({Field(dwBDT), Field(dwEDT, 20, 0xEE)});
    MemorySource source(Bytes(abInput.begin(), abInput.end() - 10));
    SfReader reader(source, 10);
    ASSERT_TRUE(reader.Created());
    ASSERT_EQ(reader.Next().iResult, 8);
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 0);
    EXPECT_EQ(reader.Status(), DSP_ERR_RECORD_TOO_LONG);
    EXPECT_EQ(f.abArea, Bytes(10, 0));
    EXPECT_EQ(f.dwPos, 9u + 9u + 20u);  // the whole count
    EXPECT_EQ(reader.Next().iResult, 0);
}

TEST(SfTooLong, LargestFieldFitsTheLargestCapacity) {
    MemorySource source(Field(dwPTX, 0xFFFF - 8, 0x5C));
    SfReader reader(source, 0xFFFF);
    ASSERT_TRUE(reader.Created());
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 0xFFFF);
    EXPECT_EQ(f.Data(0xFFFF - 8), Bytes(0xFFFF - 8, 0x5C));
    EXPECT_EQ(f.dwPos, 0x10000u);
    EXPECT_EQ(f.dwLen, 0x10000u);
}

// ---- Lengths shorter than header and extension ----------------------------

struct BadLengthCase {
    const char *lpszName;
    Bytes abFirst;   // a well-formed first field, in the stream's framing
    Bytes abBad;     // the malformed one, as far as the reader takes it
    uint8_t bFlags;  // the malformed field's flag byte
};

std::ostream &operator<<(std::ostream &os, const BadLengthCase &c) {
    return os << c.lpszName;
}

const BadLengthCase aBadLengthCases[] = {
    {"PlainLength7", Field(dwBDT), HexBytes("5A 00 07 D3 A9 A8 00 00 01"), 0x00},
    {"PlainLength10WithExtension3", Field(dwBDT),
     HexBytes("5A 00 0A D3 A9 A8 80 00 01 03"), 0x80},
    {"PlainLength8WithExtension1", Field(dwBDT),
     HexBytes("5A 00 08 D3 A9 A8 80 00 01 01"), 0x80},
    {"ExtensionLength0", Field(dwBDT), HexBytes("5A 00 20 D3 A9 A8 80 00 01 00"), 0x80},
    {"RdwRecord12", RdwRecord(Field(dwBDT)),
     HexBytes("00 0C 00 00 5A 00 08 D3 A9 A8 00 00 01"), 0x00},
    {"RdwRecord15WithExtension3", RdwRecord(Field(dwBDT)),
     HexBytes("00 0F 00 00 5A 00 0B D3 A9 A8 80 00 01 03"), 0x80},
    {"RdwFieldLength7", RdwRecord(Field(dwBDT)),
     HexBytes("00 10 00 00 5A 00 07 D3 A9 A8 00 00 01"), 0x00},
    {"PrefixRecord10", Prefixed(Field(dwBDT)),
     HexBytes("00 08 5A 00 08 D3 A9 A8 00 00 01"), 0x00},
    {"PrefixFFFFWrapsToRecord1", Prefixed(Field(dwBDT)),
     HexBytes("FF FF 5A 00 08 D3 A9 A8 00 00 01"), 0x00},
    {"PrefixRecord12WithExtension2", Prefixed(Field(dwBDT)),
     HexBytes("00 0A 5A 00 0A D3 A9 A8 80 00 01 02"), 0x80},
};

class SfBadLength : public ::testing::TestWithParam<BadLengthCase> {};

TEST_P(SfBadLength, RefusedAsBadRecordWhereTheLengthIsKnown) {
    const BadLengthCase &c = GetParam();
    // Bytes after the malformed header; the first block holds the first field only.
    const Bytes abInput = Concat({c.abFirst, c.abBad, Bytes(64, 0xEE)});
    MemorySource source(abInput, {static_cast<uint16_t>(c.abFirst.size()), 4096});
    SfReader reader(source, 16);
    ASSERT_TRUE(reader.Created());
    const SfField f1 = reader.Next();
    ASSERT_EQ(f1.iResult, 8);

    const SfField f2 = reader.Next();
    EXPECT_EQ(f2.iResult, 0);
    EXPECT_EQ(reader.Status(), DSP_ERR_BAD_RECORD);
    EXPECT_EQ(f2.hdr.cbSF, 8);  // header put back
    EXPECT_EQ(f2.hdr.dwID, dwBDT);
    EXPECT_EQ(f2.hdr.bFlags, c.bFlags);
    EXPECT_EQ(f2.hdr.wSeq, 1);
    EXPECT_EQ(f2.abArea, Bytes(16, 0));
    EXPECT_EQ(f2.dwPos, c.abFirst.size() + c.abBad.size());  // nothing taken beyond
}

TEST_P(SfBadLength, AnEarlierCodeIsKept) {
    const BadLengthCase &c = GetParam();
    MemorySource source(Concat({c.abFirst, c.abBad, Bytes(64, 0xEE)}),
                        {static_cast<uint16_t>(c.abFirst.size()), 4096});
    SfReader reader(source, 16);
    ASSERT_TRUE(reader.Created());
    ASSERT_EQ(reader.Next().iResult, 8);
    reader.Status() = 0x1234;
    EXPECT_EQ(reader.Next().iResult, 0);
    EXPECT_EQ(reader.Status(), 0x1234u);
}

INSTANTIATE_TEST_SUITE_P(Fields, SfBadLength, ::testing::ValuesIn(aBadLengthCases),
                         [](const auto &info) {
                             return std::string(info.param.lpszName);
                         });

// ---- Null arguments and scratch status words ------------------------------

TEST(SfNullArguments, GetNextWithNullHandle) {
    uint32_t dwStatus = 0x1234;
    EXPECT_EQ(fFnGetNextIBMSF(nullptr, &dwStatus), 0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    EXPECT_EQ(fFnGetNextIBMSF(nullptr, nullptr), 0);
}

TEST(SfNullArguments, DestroyWithNullHandle) { EXPECT_EQ(fFnDestroyIBMSF(nullptr), 1); }

TEST(SfNullArguments, RecordInfoWithNullArguments) {
    MemorySource source(Field(dwBDT));
    SfReader reader(source, 8);
    ASSERT_TRUE(reader.Created());
    uint32_t dwPos = 77, dwLen = 77, dwStatus = 0;
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(nullptr, &dwPos, &dwLen, &dwStatus), 0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    dwStatus = 0;
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(reader.Handle(), nullptr, &dwLen, &dwStatus),
              0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    dwStatus = 0x1234;
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(reader.Handle(), &dwPos, nullptr, &dwStatus),
              0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(reader.Handle(), nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(dwPos, 77u);
    EXPECT_EQ(dwLen, 77u);
    dwStatus = 0x1234;
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(reader.Handle(), &dwPos, &dwLen, &dwStatus),
              1);
    EXPECT_EQ(dwStatus, 0x1234u);  // untouched on success
}

TEST(SfNullArguments, NullStatusPointersAreReplacedByScratchWords) {
    MemorySource refused(Field(0xD3FFFF));
    EXPECT_EQ(
        lpibmsfFnCreate(nullptr, 8, &MemorySource::Read, refused.Context(), nullptr),
        nullptr);

    MemorySource source(Concat({Field(dwBDT), HexBytes("00"), Field(dwEDT, 20)}),
                        {9, 4096});
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 8, &MemorySource::Read, source.Context(), nullptr);
    ASSERT_NE(lpRec, nullptr);
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 8);
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 0);  // no introducer
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 0);  // too long
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 0);  // end
    EXPECT_EQ(fFnDestroyIBMSF(lpRec), 1);
}

// ---- A callback that claims more than a block ------------------------------

TEST(SfOverReport, CountAboveABlockIsTakenAsABlock) {
    // Two full blocks, so that every claim is 4096 + 100.
    const Bytes abInput = Concat({Field(dwBDT), Field(dwPTX, 4000, 0x41),
                                  Field(dwPTX, 8192 - 9 - 4009 - 9, 0x42)});
    ASSERT_EQ(abInput.size(), 8192u);
    MemorySource plain(abInput);
    SfReader expected(plain, 8192);
    MemorySource over(abInput);
    over.OverReport(100);
    SfReader reader(over, 8192);
    ASSERT_TRUE(expected.Created());
    ASSERT_TRUE(reader.Created());
    const std::vector<SfField> aExpected = expected.ReadAll();
    EXPECT_EQ(aExpected.size(), 3u);
    EXPECT_EQ(reader.ReadAll(), aExpected);
}

}  // namespace
