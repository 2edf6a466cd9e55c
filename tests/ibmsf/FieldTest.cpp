// Structured-field delivery: header, extension and data in each framing,
// block boundaries, record info, and what the record area shows after each
// kind of get-next.
#include <gtest/gtest.h>

#include "SfReading.h"

using namespace vokdsp_test;

namespace {

constexpr uint32_t dwBDT = 0xD3A8A8;
constexpr uint32_t dwEDT = 0xD3A9A8;
constexpr uint32_t dwPTX = 0xD3EE9B;

// cb bytes counting up from bFirst.
Bytes Counting(size_t cb, uint8_t bFirst = 1) {
    Bytes ab(cb);
    for (size_t i = 0; i < cb; ++i) ab[i] = static_cast<uint8_t>(bFirst + i);
    return ab;
}

// The same snapshot with another result: what a call that changed nothing shows.
SfField WithResult(SfField f, int32_t iResult) {
    f.iResult = iResult;
    return f;
}

TEST(SfFields, TwoPlainFieldsThenEnd) {
    const Bytes abData = Counting(12);
    MemorySource source(
        Concat({SfBytes({dwBDT, {}, 0, 1}), SfBytes({dwEDT, abData, 0x08, 0x0203})}));
    SfReader reader(source, 16);
    ASSERT_TRUE(reader.Created());

    // {result, {introducer, length, identifier, flags, sequence}, data, position, length}
    EXPECT_EQ(reader.Next(), (SfField{8, {0x5A, 8, dwBDT, 0, 1}, Bytes(16, 0), 9, 9}));

    // The padding flag is passed through, not acted on.
    const SfField f2 = reader.Next();
    EXPECT_EQ(
        f2,
        (SfField{
            20, {0x5A, 20, dwEDT, 0x08, 0x0203}, Concat({abData, Bytes(4, 0)}), 30, 21}));

    EXPECT_EQ(reader.Next(), WithResult(f2, 0));
    EXPECT_EQ(reader.Status(), 0u);
}

TEST(SfFields, HeaderStraddlingBlocksAndDataAcrossSeveralBlocks) {
    const Bytes abLong = Counting(10000, 7);
    MemorySource source(Concat({SfBytes({dwBDT}), SfBytes({dwPTX, abLong, 0, 9})}),
                        {13, 5, 4096});
    SfReader reader(source, 10000);
    ASSERT_TRUE(reader.Created());
    EXPECT_EQ(reader.Next().iResult, 8);
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 10008);
    EXPECT_EQ(f.hdr.dwID, dwPTX);
    EXPECT_EQ(f.hdr.wSeq, 9);
    EXPECT_EQ(f.abArea, abLong);
    EXPECT_EQ(f.dwPos, 9u + 10009u);
    EXPECT_EQ(reader.Next().iResult, 0);
}

TEST(SfFields, RdwRecordOfItsFieldsLength) {
    const Bytes abField = SfBytes({dwBDT, Counting(8)});  // length 16
    MemorySource source(RdwRecord(abField));
    SfReader reader(source, 16);
    ASSERT_TRUE(reader.Created());
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 16);
    EXPECT_EQ(f.abArea, Concat({Counting(8), Bytes(8, 0)}));
    EXPECT_EQ(f.dwPos, 21u);  // the RDW counts
    EXPECT_EQ(f.dwLen, 17u);  // the field does not
}

TEST(SfFields, RdwRecordLongerThanItsFieldDeliversTheRestAsData) {
    const Bytes abField = SfBytes({dwBDT, Counting(8)});  // length 16
    // Detection measures the next field by the first field's own length, so
    // the first block ends with this record.
    MemorySource source(Concat({RdwRecord(abField, HexBytes("E1 E2 E3 E4")),
                                RdwRecord(SfBytes({dwEDT}))}),
                        {25, 4096});
    SfReader reader(source, 16);
    ASSERT_TRUE(reader.Created());
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 16);
    EXPECT_EQ(f.abArea, Concat({Counting(8), HexBytes("E1 E2 E3 E4"), Bytes(4, 0)}));
    EXPECT_EQ(f.dwPos, 25u);
    EXPECT_EQ(f.dwLen, 17u);
    const SfField g = reader.Next();
    EXPECT_EQ(g.iResult, 8);
    EXPECT_EQ(g.hdr.dwID, dwEDT);
    EXPECT_EQ(g.dwPos, 25u + 13u);
}

TEST(SfFields, PrefixCountsTheBytesBehindIt) {
    const Bytes abField = SfBytes({dwBDT, Counting(8)});  // length 16, 17 bytes
    MemorySource source(
        Concat({Prefixed(abField), Prefixed(SfBytes({dwEDT, Counting(2, 0x70)}))}));
    SfReader reader(source, 16);
    ASSERT_TRUE(reader.Created());
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 16);
    EXPECT_EQ(f.Data(9), Concat({Counting(8), Bytes(1, 0)}));
    EXPECT_EQ(f.dwPos, 19u);
    EXPECT_EQ(f.dwLen, 17u);
    const SfField g = reader.Next();
    EXPECT_EQ(g.iResult, 10);
    EXPECT_EQ(g.Data(3), HexBytes("70 71 03"));  // byte 2 still the older field's
    EXPECT_EQ(g.dwPos, 19u + 13u);
}

TEST(SfFields, ExtensionIsTakenAndNotDelivered) {
    MemorySource source(Concat({
        SfBytes({dwBDT, Counting(5, 0x40), 0x80, 1, HexBytes("EE EF")}),  // E = 3
        SfBytes({dwEDT, Counting(4, 0x50), 0x80, 2, {}}),                 // E = 1
        SfBytes({dwPTX, Counting(3, 0x60), 0x00, 3}),                     // no extension
    }));
    SfReader reader(source, 8);
    ASSERT_TRUE(reader.Created());
    const SfField f1 = reader.Next();
    EXPECT_EQ(f1.iResult, 16);  // 8 + 3 + 5
    EXPECT_EQ(f1.hdr.bFlags, 0x80);
    EXPECT_EQ(f1.Data(6), Concat({Counting(5, 0x40), Bytes(1, 0)}));
    EXPECT_EQ(f1.dwPos, 17u);
    const SfField f2 = reader.Next();
    EXPECT_EQ(f2.iResult, 13);  // 8 + 1 + 4
    EXPECT_EQ(f2.Data(5), Concat({Counting(4, 0x50), HexBytes("44")}));
    EXPECT_EQ(f2.dwPos, 17u + 14u);
    const SfField f3 = reader.Next();
    EXPECT_EQ(f3.iResult, 11);  // 8 + 3: the earlier extension plays no part
    EXPECT_EQ(f3.hdr.bFlags, 0);
    EXPECT_EQ(f3.Data(4), Concat({Counting(3, 0x60), HexBytes("53")}));
    EXPECT_EQ(f3.dwPos, 31u + 12u);
}

TEST(SfFields, ExtensionInFramedStreamsShortensTheData) {
    const Bytes abRdwField = SfBytes({dwBDT, Counting(4), 0x80, 0, HexBytes("EE EF")});
    MemorySource rdw(RdwRecord(abRdwField, HexBytes("F1")));
    SfReader rdwReader(rdw, 8);
    ASSERT_TRUE(rdwReader.Created());
    const SfField f = rdwReader.Next();
    EXPECT_EQ(f.iResult, 15);
    EXPECT_EQ(f.Data(6), Concat({Counting(4), HexBytes("F1 00")}));  // R - 13 - 3 = 5

    MemorySource prefixed(Prefixed(abRdwField));
    SfReader prefixReader(prefixed, 8);
    ASSERT_TRUE(prefixReader.Created());
    const SfField g = prefixReader.Next();
    EXPECT_EQ(g.iResult, 15);
    EXPECT_EQ(g.Data(5), Concat({Counting(4), Bytes(1, 0)}));  // R - 11 - 3 = 4
}

TEST(SfFields, PaddingComesAsData) {
    const Bytes abData = Concat({HexBytes("C1 C2 C3"), HexBytes("00 00 03")});
    MemorySource source(SfBytes({dwPTX, abData, 0x08, 5}));
    SfReader reader(source, 8);
    ASSERT_TRUE(reader.Created());
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 14);
    EXPECT_EQ(f.Data(6), abData);
}

// ---- The record area after a get-next that delivers nothing ----------------

TEST(SfFieldStates, InputEndingInsideTheDataPutsTheHeaderBack) {
    const Bytes abInput = Concat({SfBytes({dwBDT, Counting(4), 0, 1}),
                                  SfBytes({dwEDT, Bytes(10, 0xAA), 0x08, 2})});
    MemorySource source(Bytes(abInput.begin(), abInput.end() - 4));  // 6 of 10 data bytes
    SfReader reader(source, 12);
    ASSERT_TRUE(reader.Created());
    const SfField f1 = reader.Next();
    ASSERT_EQ(f1.iResult, 12);
    reader.Status() = 0;
    const SfField f2 = reader.Next();
    EXPECT_EQ(f2.iResult, 0);
    EXPECT_EQ(reader.Status(), 0u);
    EXPECT_EQ(f2.hdr.bCC, 0x5A);
    EXPECT_EQ(f2.hdr.cbSF, 12);
    EXPECT_EQ(f2.hdr.dwID, dwBDT);
    EXPECT_EQ(f2.hdr.bFlags, 0x08);  // the failed field's
    EXPECT_EQ(f2.hdr.wSeq, 2);
    EXPECT_EQ(f2.abArea, Concat({Bytes(6, 0xAA), Bytes(6, 0)}));
    EXPECT_EQ(f2.dwPos, 13u + 9u + 10u);  // the copy's whole count
    EXPECT_EQ(f2.dwLen, 13u);
}

TEST(SfFieldStates, InputEndingInsideTheHeaderChangesNothing) {
    const Bytes abInput =
        Concat({SfBytes({dwBDT, Counting(4), 0x08, 1}), SfBytes({dwEDT, {}, 0, 2})});
    for (size_t cbCut :
         {1, 4, 8}) {  // after the introducer, in the identifier, the sequence
        MemorySource source(Bytes(abInput.begin(), abInput.end() - cbCut));
        SfReader reader(source, 8);
        ASSERT_TRUE(reader.Created());
        const SfField f1 = reader.Next();
        ASSERT_EQ(f1.iResult, 12);
        const SfField f2 = reader.Next();
        const uint32_t cbTaken = static_cast<uint32_t>(abInput.size() - cbCut);
        EXPECT_EQ(f2, (SfField{0, f1.hdr, f1.abArea, cbTaken, 13})) << cbCut;
    }
}

TEST(SfFieldStates, InputEndingInsideTheExtension) {
    const Bytes abInput =
        Concat({SfBytes({dwBDT, {}, 0, 1}),
                SfBytes({dwEDT, Counting(2), 0x80, 2, HexBytes("E1 E2")})});
    for (size_t cbCut :
         {5, 4, 3}) {  // at its length byte, before and inside the extension
        MemorySource source(Bytes(abInput.begin(), abInput.end() - cbCut));
        SfReader reader(source, 8);
        ASSERT_TRUE(reader.Created());
        ASSERT_EQ(reader.Next().iResult, 8);
        const SfField f = reader.Next();
        EXPECT_EQ(f.iResult, 0);
        EXPECT_EQ(f.hdr.cbSF, 8);
        EXPECT_EQ(f.hdr.dwID, dwBDT);
        EXPECT_EQ(f.hdr.bFlags, 0x80);
        EXPECT_EQ(f.hdr.wSeq, 2);
        EXPECT_EQ(reader.Status(), 0u);
    }
}

TEST(SfFieldStates, InputEndingInsideTheFramingBytes) {
    const Bytes abInput =
        Concat({RdwRecord(SfBytes({dwBDT})), RdwRecord(SfBytes({dwEDT}))});
    MemorySource source(Bytes(abInput.begin(), abInput.end() - 13 + 2));  // 2 RDW bytes
    SfReader reader(source, 8);
    ASSERT_TRUE(reader.Created());
    const SfField f1 = reader.Next();
    ASSERT_EQ(f1.iResult, 8);
    EXPECT_EQ(reader.Next(), (SfField{0, f1.hdr, f1.abArea, 15, 9}));
}

TEST(SfFieldStates, NoIntroducerClearsTheHeaderAndReadsOnFromTheNextByte) {
    // A first block of one field, so that detection does not see the bytes after it.
    MemorySource source(Concat({SfBytes({dwBDT, Counting(2), 0x08, 1}),
                                HexBytes("00 01 02"), SfBytes({dwEDT})}),
                        {11, 4096});
    SfReader reader(source, 4);
    ASSERT_TRUE(reader.Created());
    const SfField f1 = reader.Next();
    ASSERT_EQ(f1.iResult, 10);

    SFHDR hdrCleared = f1.hdr;
    hdrCleared.bCC = 0;
    hdrCleared.cbSF = 0;
    hdrCleared.dwID = 0;
    EXPECT_EQ(reader.Next(), (SfField{0, hdrCleared, f1.abArea, 12, 1}));
    EXPECT_EQ(reader.Status(), DSP_ERR_NOT_SF);

    reader.Status() = 0x1234;  // an earlier code is kept
    EXPECT_EQ(reader.Next().dwPos, 13u);
    EXPECT_EQ(reader.Status(), 0x1234u);

    reader.Status() = 0;  // a cleared word gets the code again
    EXPECT_EQ(reader.Next().dwPos, 14u);
    EXPECT_EQ(reader.Status(), DSP_ERR_NOT_SF);

    const SfField f2 = reader.Next();
    EXPECT_EQ(f2.iResult, 8);
    EXPECT_EQ(f2.hdr.dwID, dwEDT);
    EXPECT_EQ(f2.dwPos, 23u);
}

TEST(SfFieldStates, EndOfInputIsNotFinal) {
    // The source has nothing on its second request and more on its third.
    MemorySource source(Concat({SfBytes({dwBDT}), SfBytes({dwEDT, Counting(3)})}),
                        {9, 0, 4096});
    SfReader reader(source, 4);
    ASSERT_TRUE(reader.Created());
    EXPECT_EQ(reader.Next().iResult, 8);
    EXPECT_EQ(source.FillRequests(), 1);
    EXPECT_EQ(reader.Next().iResult, 0);
    EXPECT_EQ(source.FillRequests(), 2);
    const SfField f = reader.Next();
    EXPECT_EQ(f.iResult, 11);
    EXPECT_EQ(f.hdr.dwID, dwEDT);
    EXPECT_EQ(f.dwPos, 21u);
    EXPECT_EQ(reader.Next().iResult, 0);  // one more request per call at the end
    EXPECT_EQ(reader.Next().iResult, 0);
    EXPECT_EQ(source.FillRequests(), 5);
    EXPECT_EQ(reader.Status(), 0u);
}

}  // namespace
