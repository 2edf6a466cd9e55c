// Structured-field delivery, one table of streams: header, extension and data
// in each framing, record info, data longer than the capacity, lengths
// shorter than header and extension, input ending anywhere, and what the
// record area shows after each kind of get-next. Each row read every way.
#include <gtest/gtest.h>

#include "SfReading.h"

using namespace vokdsp_test;

namespace {

struct FieldCase {
    const char *lpszName;
    Bytes abInput;
    uint16_t cbCapacity;
    std::vector<uint16_t> acbFirst;  // the first blocks served
    uint32_t dwBefore;               // in the status word after create
    size_t cbShow;                   // data-area bytes spelled per call
    std::vector<std::string> asCalls;
    uint32_t dwWord;  // the status word at the end
};

std::ostream &operator<<(std::ostream &os, const FieldCase &c) {
    return os << c.lpszName;
}

class SfFieldRead : public ::testing::TestWithParam<FieldCase> {};

TEST_P(SfFieldRead, EveryCall) {
    const FieldCase &c = GetParam();
    const SfRun run =
        ReadFieldsEveryWay(c.abInput, c.cbCapacity, c.acbFirst, 0xFFFF, c.dwBefore);
    std::vector<std::string> asCalls;
    for (const SfField &f : run.fields) asCalls.push_back(Spelled(f, c.cbShow));
    asCalls.pop_back();  // the second end call, the same as the first
    EXPECT_EQ(asCalls, c.asCalls);
    EXPECT_EQ(run.dwWord, c.dwWord);
}

// Prefixes of streams: every byte of abWhole but the last cb.
Bytes Cut(const Bytes &abWhole, size_t cb) {
    return Bytes(abWhole.begin(), abWhole.end() - cb);
}

const Bytes abCutData = Cut(Concat({SfBytes({dwBDT, Counting(4), 0, 1}),
                                    SfBytes({dwEDT, Bytes(10, 0xAA), 0x08, 2})}),
                            4);
const Bytes abCutHeader =
    Concat({SfBytes({dwBDT, Counting(4), 0x08, 1}), HexBytes("5A 00 08 D3 A9")});
const Bytes abCutExtension =
    Concat({SfBytes({dwBDT, {}, 0, 1}), HexBytes("5A 00 0D D3 A9 A8 80 00 02 03 E1")});
const Bytes abTooLong = Concat(
    {Field(dwBDT, 4), SfBytes({dwEDT, Bytes(20, 0xEE), 0x08, 7}), Field(dwPTX, 3, 0x33)});
const Bytes abExtended = SfBytes({dwBDT, Counting(4), 0x80, 0, HexBytes("EE EF")});

// A malformed field after a well-formed first one that fills the first block.
FieldCase BadLength(const char *lpszName, const Bytes &abFirst, const char *lpszBad,
                    std::vector<std::string> asCalls, uint32_t dwBefore = 0) {
    return {lpszName,
            Concat({abFirst, HexBytes(lpszBad), HexBytes("EE")}),
            16,
            {static_cast<uint16_t>(abFirst.size())},
            dwBefore,
            2,
            std::move(asCalls),
            dwBefore != 0 ? dwBefore : DSP_ERR_BAD_RECORD};
}

// clang-format off
const FieldCase aFieldCases[] = {
    {"TwoPlainFieldsThenEnd",
     Concat({SfBytes({dwBDT, {}, 0, 1}), SfBytes({dwEDT, Counting(12), 0x08, 0x0203})}),
     16, {4096}, 0, 13,
     {"8: 5A 8 D3A8A8 00 1 @9+9 00000000000000000000000000",
      "20: 5A 20 D3A9A8 08 515 @30+21 0102030405060708090A0B0C00",
      "0: 5A 20 D3A9A8 08 515 @30+21 0102030405060708090A0B0C00"}, 0},
    {"HeaderStraddlingBlocksAndDataAcrossSeveral",
     Concat({SfBytes({dwBDT}), SfBytes({dwPTX, Counting(10000, 7), 0, 9})}),
     10000, {13, 5}, 0, 4,
     {"8: 5A 8 D3A8A8 00 0 @9+9 00000000",
      "10008: 5A 10008 D3EE9B 00 9 @10018+10009 0708090A",
      "0: 5A 10008 D3EE9B 00 9 @10018+10009 0708090A"}, 0},
    {"RdwRecordOfItsFieldsLength",
     RdwRecord(SfBytes({dwBDT, Counting(8)})), 16, {4096}, 0, 9,
     {"16: 5A 16 D3A8A8 00 0 @21+17 010203040506070800",
      "0: 5A 16 D3A8A8 00 0 @21+17 010203040506070800"}, 0},
    {"RdwRecordLongerThanItsFieldDeliversTheRestAsData",
     Concat({RdwRecord(SfBytes({dwBDT, Counting(8)}), HexBytes("E1 E2 E3 E4")),
             RdwRecord(SfBytes({dwEDT}))}), 16, {25}, 0, 13,
     {"16: 5A 16 D3A8A8 00 0 @25+17 0102030405060708E1E2E3E400",
      "8: 5A 8 D3A9A8 00 0 @38+9 0102030405060708E1E2E3E400",
      "0: 5A 8 D3A9A8 00 0 @38+9 0102030405060708E1E2E3E400"}, 0},
    {"PrefixCountsTheBytesBehindIt",
     Concat({Prefixed(SfBytes({dwBDT, Counting(8)})),
             Prefixed(SfBytes({dwEDT, Counting(2, 0x70)}))}), 16, {4096}, 0, 9,
     {"16: 5A 16 D3A8A8 00 0 @19+17 010203040506070800",
      "10: 5A 10 D3A9A8 00 0 @32+11 707103040506070800",
      "0: 5A 10 D3A9A8 00 0 @32+11 707103040506070800"}, 0},
    {"ExtensionIsTakenAndNotDelivered",
     Concat({SfBytes({dwBDT, Counting(5, 0x40), 0x80, 1, HexBytes("EE EF")}),
             SfBytes({dwEDT, Counting(4, 0x50), 0x80, 2, {}}),
             SfBytes({dwPTX, Counting(3, 0x60), 0x00, 3})}), 8, {4096}, 0, 6,
     {"16: 5A 16 D3A8A8 80 1 @17+17 404142434400",
      "13: 5A 13 D3A9A8 80 2 @31+14 505152534400",
      "11: 5A 11 D3EE9B 00 3 @43+12 606162534400",
      "0: 5A 11 D3EE9B 00 3 @43+12 606162534400"}, 0},
    {"ExtensionShortensRdwData",
     RdwRecord(abExtended, HexBytes("F1")), 8, {4096}, 0, 6,
     {"15: 5A 15 D3A8A8 80 0 @21+16 01020304F100",
      "0: 5A 15 D3A8A8 80 0 @21+16 01020304F100"}, 0},
    {"ExtensionShortensPrefixData",
     Prefixed(abExtended), 8, {4096}, 0, 5,
     {"15: 5A 15 D3A8A8 80 0 @18+16 0102030400",
      "0: 5A 15 D3A8A8 80 0 @18+16 0102030400"}, 0},
    {"InputEndingInsideTheData",
     abCutData, 12, {4096}, 0, 12,
     {"12: 5A 12 D3A8A8 00 1 @13+13 010203040000000000000000",
      "0: 5A 12 D3A8A8 08 2 @32+13 AAAAAAAAAAAA000000000000"}, 0},
    {"InputEndingInsideTheHeader",
     abCutHeader, 8, {4096}, 0, 4,
     {"12: 5A 12 D3A8A8 08 1 @13+13 01020304",
      "0: 5A 12 D3A8A8 08 1 @18+13 01020304"}, 0},
    {"InputEndingAtTheExtensionLength",
     Cut(abCutExtension, 2), 8, {4096}, 0, 0,
     {"8: 5A 8 D3A8A8 00 1 @9+9 ", "0: 5A 8 D3A8A8 80 2 @18+9 "}, 0},
    {"InputEndingInsideTheExtension",
     abCutExtension, 8, {4096}, 0, 0,
     {"8: 5A 8 D3A8A8 00 1 @9+9 ", "0: 5A 8 D3A8A8 80 2 @21+9 "}, 0},
    {"InputEndingInsideTheFramingBytes",
     Concat({RdwRecord(SfBytes({dwBDT})), HexBytes("00 0D")}), 8, {4096}, 0, 0,
     {"8: 5A 8 D3A8A8 00 0 @13+9 ", "0: 5A 8 D3A8A8 00 0 @15+9 "}, 0},
    {"NoIntroducerClearsTheHeaderAndReadsOn",
     Concat(
         {SfBytes({dwBDT, Counting(2), 0x08, 1}), HexBytes("00 01"), SfBytes({dwEDT})}),
         4, {11}, 0, 4,
     {"10: 5A 10 D3A8A8 08 1 @11+11 01020000", "0: 00 0 000000 08 1 @12+1 01020000",
      "0: 00 0 000000 08 1 @13+1 01020000", "8: 5A 8 D3A9A8 00 0 @22+9 01020000",
      "0: 5A 8 D3A9A8 00 0 @22+9 01020000"}, DSP_ERR_NOT_SF},
    {"NoIntroducerKeepsAnEarlierCode",
     Concat({SfBytes({dwBDT}), HexBytes("00"), SfBytes({dwEDT})}), 4, {9}, 0x1234, 0,
     {"8: 5A 8 D3A8A8 00 0 @9+9 ", "0: 00 0 000000 00 0 @10+1 ",
      "8: 5A 8 D3A9A8 00 0 @19+9 ", "0: 5A 8 D3A9A8 00 0 @19+9 "}, 0x1234},
    {"EndOfInputIsNotFinal",
     Concat({SfBytes({dwBDT}), SfBytes({dwEDT, Counting(3)})}), 4, {9, 0}, 0, 4,
     {"8: 5A 8 D3A8A8 00 0 @9+9 00000000", "0: 5A 8 D3A8A8 00 0 @9+9 00000000",
      "11: 5A 11 D3A9A8 00 0 @21+12 01020300",
      "0: 5A 11 D3A9A8 00 0 @21+12 01020300"}, 0},
    {"TooLongIsDroppedInStepReplacingAnEarlierCode",
     abTooLong, 10, {4096}, 0x1234, 5,
     {"12: 5A 12 D3A8A8 00 0 @13+13 1111111100", "0: 5A 12 D3A8A8 08 7 @42+13 1111111100",
      "11: 5A 11 D3EE9B 00 0 @54+12 3333331100",
      "0: 5A 11 D3EE9B 00 0 @54+12 3333331100"}, DSP_ERR_RECORD_TOO_LONG},
    {"DataExactlyAtTheCapacity",
     Concat({Field(dwBDT), Field(dwEDT, 10, 0xEE)}), 10, {4096}, 0, 10,
     {"8: 5A 8 D3A8A8 00 0 @9+9 00000000000000000000",
      "18: 5A 18 D3A9A8 00 0 @28+19 EEEEEEEEEEEEEEEEEEEE",
      "0: 5A 18 D3A9A8 00 0 @28+19 EEEEEEEEEEEEEEEEEEEE"}, 0},
    {"RdwRecordBytesBeyondTheCapacity",
     RdwRecord(Field(dwBDT, 8), HexBytes("F1")), 8, {4096}, 0, 8,
     {"0: 00 0 D3A8A8 00 0 @22+1 0000000000000000"}, DSP_ERR_RECORD_TOO_LONG},
    {"InputEndingWhileDropping",
     Cut(Concat({Field(dwBDT), Field(dwEDT, 20, 0xEE)}), 10), 10, {4096}, 0, 2,
     {"8: 5A 8 D3A8A8 00 0 @9+9 0000",
      "0: 5A 8 D3A8A8 00 0 @38+9 0000"}, DSP_ERR_RECORD_TOO_LONG},
    {"LargestFieldFitsTheLargestCapacity",
     Field(dwPTX, 0xFFFF - 8, 0x5C), 0xFFFF, {4096}, 0, 2,
     {"65535: 5A 65535 D3EE9B 00 0 @65536+65536 5C5C",
      "0: 5A 65535 D3EE9B 00 0 @65536+65536 5C5C"}, 0},
    BadLength("PlainLength7", Field(dwBDT), "5A 00 07 D3 A9 A8 00 00 01",
              {"8: 5A 8 D3A8A8 00 0 @9+9 0000", "0: 5A 8 D3A8A8 00 1 @18+9 0000",
               "0: 00 0 000000 00 1 @19+1 0000"}),
    BadLength("PlainLength10WithExtension3", Field(dwBDT),
              "5A 00 0A D3 A9 A8 80 00 01 03",
              {"8: 5A 8 D3A8A8 00 0 @9+9 0000", "0: 5A 8 D3A8A8 80 1 @19+9 0000",
               "0: 00 0 000000 80 1 @20+1 0000"}),
    BadLength("PlainLength8WithExtension1", Field(dwBDT), "5A 00 08 D3 A9 A8 80 00 01 01",
              {"8: 5A 8 D3A8A8 00 0 @9+9 0000", "0: 5A 8 D3A8A8 80 1 @19+9 0000",
               "0: 00 0 000000 80 1 @20+1 0000"}),
    BadLength("ExtensionLength0", Field(dwBDT), "5A 00 20 D3 A9 A8 80 00 01 00",
              {"8: 5A 8 D3A8A8 00 0 @9+9 0000", "0: 5A 8 D3A8A8 80 1 @19+9 0000",
               "0: 00 0 000000 80 1 @20+1 0000"}),
    BadLength("RdwRecord12", RdwRecord(Field(dwBDT)),
              "00 0C 00 00 5A 00 08 D3 A9 A8 00 00 01",
              {"8: 5A 8 D3A8A8 00 0 @13+9 0000", "0: 5A 8 D3A8A8 00 1 @26+9 0000",
               "0: 5A 8 D3A8A8 00 1 @27+9 0000"}),
    BadLength("RdwRecord15WithExtension3", RdwRecord(Field(dwBDT)),
              "00 0F 00 00 5A 00 0B D3 A9 A8 80 00 01 03",
              {"8: 5A 8 D3A8A8 00 0 @13+9 0000", "0: 5A 8 D3A8A8 80 1 @27+9 0000",
               "0: 5A 8 D3A8A8 80 1 @28+9 0000"}),
    BadLength("RdwFieldLength7", RdwRecord(Field(dwBDT)),
              "00 10 00 00 5A 00 07 D3 A9 A8 00 00 01",
              {"8: 5A 8 D3A8A8 00 0 @13+9 0000", "0: 5A 8 D3A8A8 00 1 @26+9 0000",
               "0: 5A 8 D3A8A8 00 1 @27+9 0000"}),
    {"RdwFieldLength7InTheSameBlock",
     Concat({RdwRecord(Field(dwBDT)), HexBytes("00 0D 00 00 5A 00 07 D3 A9 A8 00 00 01 EE")}),
     16, {4096}, 0, 2,
     {"8: 5A 8 D3A8A8 00 0 @13+9 0000", "0: 5A 8 D3A8A8 00 1 @26+9 0000",
      "0: 5A 8 D3A8A8 00 1 @27+9 0000"}, DSP_ERR_BAD_RECORD},
    BadLength("PrefixRecord10", Prefixed(Field(dwBDT)),
              "00 08 5A 00 08 D3 A9 A8 00 00 01",
              {"8: 5A 8 D3A8A8 00 0 @11+9 0000", "0: 5A 8 D3A8A8 00 1 @22+9 0000",
               "0: 5A 8 D3A8A8 00 1 @23+9 0000"}),
    BadLength("PrefixFFFFWrapsToRecord1", Prefixed(Field(dwBDT)),
              "FF FF 5A 00 08 D3 A9 A8 00 00 01",
              {"8: 5A 8 D3A8A8 00 0 @11+9 0000", "0: 5A 8 D3A8A8 00 1 @22+9 0000",
               "0: 5A 8 D3A8A8 00 1 @23+9 0000"}),
    BadLength("PrefixRecord12WithExtension2KeepsAnEarlierCode", Prefixed(Field(dwBDT)),
              "00 0A 5A 00 0A D3 A9 A8 80 00 01 02",
              {"8: 5A 8 D3A8A8 00 0 @11+9 0000", "0: 5A 8 D3A8A8 80 1 @23+9 0000",
               "0: 5A 8 D3A8A8 80 1 @24+9 0000"}, 0x1234),
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Streams, SfFieldRead, ::testing::ValuesIn(aFieldCases),
                         [](const auto &info) {
                             return std::string(info.param.lpszName);
                         });

}  // namespace
