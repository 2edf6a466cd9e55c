// Text streams (format code 0): control positions, text, line ends, embedded
// structured fields and the record info of each line; each row read every way.
#include <gtest/gtest.h>

#include "LineReading.h"

using namespace vokdsp_test;

namespace {

// One line as get-next delivers it (default carriage control, an empty line
// as one blank), with its input bytes, its dropped line end included.
struct Line {
    uint8_t bCC, bTRC;
    const char *szData;
    uint32_t cbUsed;
    uint32_t dwStatus = DSP_OK;
};

struct TextCase {
    const char *szName;
    uint16_t wFormat, cbMaxRecord;
    const char *szInput;  // a further line follows, so none of these is the last
    std::vector<Line> lines;
    uint32_t dwWord = DSP_OK;  // the status word afterwards
};

std::ostream &operator<<(std::ostream &os, const TextCase &c) { return os << c.szName; }

class TextRecord : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextRecord, LinesAndRecordInfo) {
    const TextCase &c = GetParam();
    const LineRun run =
        ReadLinesEveryWay(Concat({HexBytes(c.szInput), HexBytes("7A 7A 7A 0D0A")}),
                          c.wFormat, c.cbMaxRecord);
    ASSERT_GT(run.records.size(), c.lines.size());
    uint32_t cbConsumed = 0;
    for (size_t i = 0; i < c.lines.size(); ++i) {
        const Line &line = c.lines[i];
        const LineRecord &r = run.records[i];
        cbConsumed += line.cbUsed;
        EXPECT_EQ(r.bCC, line.bCC) << line.szData;
        EXPECT_EQ(r.bTRC, line.bTRC);
        EXPECT_EQ(r.abData, HexBytes(line.szData));
        EXPECT_EQ(r.dwStatus, line.dwStatus);
        EXPECT_EQ(r.cbRecord, line.cbUsed);
        EXPECT_EQ(r.cbConsumed, cbConsumed);
        EXPECT_EQ(r.fEnd, 0u);
    }
    EXPECT_EQ(run.dwWord, c.dwWord);
}

constexpr uint16_t wFF = 0x80, wCC = 0x10, wTRC = 0x100;
constexpr uint32_t dwLong = DSP_ERR_RECORD_TOO_LONG, dwBad = DSP_ERR_BAD_RECORD;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, TextRecord, ::testing::Values(
    // Results for typical lines.
    TextCase{"Plain", 0, 80, "616263 0D0A", {{0x20, 0, "616263", 5}}},
    TextCase{"Empty", 0, 80, "0D0A", {{0x20, 0, "20", 2}}},
    TextCase{"BackspaceNul", 0, 80, "61 08 62 00 63 0D0A", {{0x20, 0, "6120622063", 7}}},
    TextCase{"FormFeed", wFF, 80, "0C 616263 0D0A", {{0x31, 0, "616263", 6}}},
    TextCase{"FormFeedEndsLine", wFF, 80, "616263 0C 646566 0D0A",
             {{0x20, 0, "616263", 3}, {0x31, 0, "646566", 6}}},
    TextCase{"FormFeedPositionEmpty", wFF, 80, "0D0A", {{0x20, 0, "20", 2}}},
    TextCase{"FormFeedAlone", wFF, 80, "0C 0D0A", {{0x31, 0, "20", 3}}},
    TextCase{"FormFeedPositionBlank", wFF, 80, "20 61 0D0A", {{0x20, 0, "2061", 4}}},
    TextCase{"CarriageControl", wCC, 80, "31 616263 0D0A", {{0x31, 0, "616263", 6}}},
    TextCase{"CcAndTrc", wCC | wTRC, 80, "31 41 616263 0D0A", {{0x31, 1, "616263", 7}}},
    TextCase{"TrcBlank", wCC | wTRC, 80, "31 20 61 0D0A", {{0x31, 0, "61", 5}}},
    TextCase{"Field", wCC, 80, "5A 000A 0008030405060708 0D0A",
             {{0x5A, 0, "5A000A 0008030405060708 0D", 13}}},
    // The cut, the two bytes dropped after it, and what ends or empties a line.
    TextCase{"CutDropsTextAndCr", 0, 3, "6162636465 0D0A",
             {{0x20, 0, "61626364", 6}, {0x20, 0, "20", 2}}},
    TextCase{"CutCountsFormFeedData", wFF, 0, "61 62 0D0A",
             {{0x20, 0, "61", 3}, {0x20, 0, "20", 2}}},
    TextCase{"FormFeedWithoutOption", 0, 80, "61 0C 62 63 0D0A",
             {{0x20, 0, "61", 3}, {0x20, 0, "63", 3}}},
    TextCase{"AllPositions", wFF | wCC | wTRC, 80, "08 32 F5 61 0D0A",
             {{0x32, 5, "2061", 6}}},
    TextCase{"CcNulEmpty", wCC, 80, "00 61 0D0A",
             {{0x20, 0, "20", 2}, {0x20, 0, "20", 2}}},
    TextCase{"CcNulEmptyEbcdic", wCC | 0x1000, 80, "00 61 0D0A",
             {{0x40, 0, "40", 2}, {0x40, 0, "40", 2}}},
    TextCase{"LongLineWithNul", 0, 80,
             "6162636465666768696A6B6C6D6E6F70 6162636465666768696A6B6C6D6E6F70 00 "
             "7172737475767778797A 0D0A",
             {{0x20, 0, "6162636465666768696A6B6C6D6E6F70 6162636465666768696A6B6C6D6E6F70 "
                        "20 7172737475767778797A", 45}}},
    TextCase{"TrcBelowBlankEmpty", wCC | wTRC, 80, "31 0D0A", {{0x31, 0, "20", 3}}},
    // Structured-field lines.
    TextCase{"FieldAfterFormFeedData", wFF | wCC | wTRC, 80, "61 5A 0002 0D0A",
             {{0x5A, 0, "61 5A0002 0D", 6}}},
    // A field cut by the record area whose last byte is its carriage return.
    TextCase{"FieldCutOnItsCr", wCC, 3, "5A 0006 414243 0D 0D0A",
             {{0x5A, 0, "5A0006414243", 8, dwLong}, {0x20, 0, "20", 2}}, dwLong},
    TextCase{"FieldLengthBelowTwo", wCC, 80, "5A 0001 41 0D0A",
             {{0x5A, 0, "5A0001 41 0D", 6, dwBad}}, dwBad},
    TextCase{"FieldTooLongThenBadLength", wCC, 3, "5A 0006 41424344 0D0A 5A 0000 0D0A",
             {{0x5A, 0, "5A0006414243", 9, dwLong}, {0x5A, 0, "5A00000D", 5, dwBad}},
             dwLong}),
    [](const auto &info) { return std::string(info.param.szName); });
// clang-format on

// Text is taken eight bytes at a time where none is a control byte. One byte
// of each kind, at every place in and around a word of a 40-byte line, is kept,
// blanked or ends the line exactly as it would standing alone.
enum class Kept { kAsIs, kBlank, kEndsLine };

class TextByteInWord : public ::testing::TestWithParam<std::pair<uint8_t, Kept>> {};

TEST_P(TextByteInWord, SameAtEveryPosition) {
    const auto [b, kept] = GetParam();
    for (size_t ib = 0; ib < 40; ++ib) {
        Bytes abLine(40, 'a');
        abLine[ib] = b;
        MemorySource source(Concat({abLine, HexBytes("0D0A 62 0D0A")}));
        const LineRecord r = LineReader(source, 0, 133).Next();
        Bytes abExpected = abLine;
        if (kept == Kept::kBlank) abExpected[ib] = ' ';
        if (kept == Kept::kEndsLine) abExpected.resize(ib);
        if (abExpected.empty()) abExpected = {' '};  // an empty line
        EXPECT_EQ(r.abData, abExpected) << ib;
    }
}

INSTANTIATE_TEST_SUITE_P(Bytes, TextByteInWord,
                         ::testing::Values(std::pair{uint8_t{0x00}, Kept::kBlank},
                                           std::pair{uint8_t{0x08}, Kept::kBlank},
                                           std::pair{uint8_t{0x01}, Kept::kEndsLine},
                                           std::pair{uint8_t{0x1F}, Kept::kEndsLine},
                                           std::pair{uint8_t{0x20}, Kept::kAsIs},
                                           std::pair{uint8_t{0xFF}, Kept::kAsIs}));

// A line of text as long as each maximum record length comes out whole, in
// however many vectors the reader copies it.
TEST(TextRecordLength, FullLineForEveryMaximum) {
    for (uint16_t cbMax = 1; cbMax < 150; ++cbMax) {
        Bytes abText(cbMax);
        for (size_t i = 0; i < abText.size(); ++i)
            abText[i] = static_cast<uint8_t>('a' + i % 26);
        for (const uint16_t wFormat : {0x00, 0x10}) {
            MemorySource source(Concat({wFormat != 0 ? HexBytes("20") : Bytes{}, abText,
                                        HexBytes("0D0A 62 0D0A")}));
            EXPECT_EQ(LineReader(source, wFormat, cbMax).Next().abData, abText)
                << cbMax << " " << wFormat;
        }
    }
}

// The last line, the input ending after its form-feed position or its empty
// carriage control: delivered with the end flag, its NUL not made a blank.
TEST(TextRecordEnd, LastLineCutShort) {
    EXPECT_EQ(ReadLinesEveryWay(HexBytes("61"), wFF | wCC, 80).records[0].abData,
              TextBytes("a"));
    const LineRecord r = ReadLinesEveryWay(HexBytes("00"), wCC, 80).records[0];
    EXPECT_EQ(r.abData, Bytes{0});
    EXPECT_EQ(r.fEnd, 1u);
}

// A line cut by the first block and too long for the record area goes back in
// front of the second fill; the lines after it end where their own bytes say,
// not where the second fill's bytes alone said (here: a line feed two bytes on).
TEST(TextRecordCarry, LinesAfterALinePutBackEndAtTheirOwnEnds) {
    const Bytes abInput = HexBytes(
        "20 4C4C4C4C4C4C4C4C 4C4C4C4C4C 0D0A  20 0D0A  20 41424344454647 0D0A  20 61 "
        "0D0A");
    MemorySource cut(abInput, {9, 4096}), bytewise(abInput, {1});
    EXPECT_EQ(LineReader(cut, wCC, 10).ReadAll(),
              LineReader(bytewise, wCC, 10).ReadAll());
}

// A field of the largest length with cbMaxRecord 133 is delivered cut to the
// record area, its line taken whole, and the next line read cleanly.
TEST(TextRecordField, LongestFieldIsCutAndTheNextLineFollows) {
    const Bytes abField = Concat({HexBytes("5A FFFF"), Bytes(65533, 0x41)});
    MemorySource source(Concat({abField, HexBytes("0D0A 31 6162 0D0A")}), {7});
    LineReader reader(source, 0x0010, 133);
    const LineRecord r = reader.Next();
    EXPECT_EQ(r.bCC, 0x5A);
    EXPECT_EQ(r.abData, Bytes(abField.begin(), abField.begin() + 136));
    EXPECT_EQ(r.dwStatus, DSP_ERR_RECORD_TOO_LONG);
    EXPECT_EQ(reader.Status(), DSP_ERR_RECORD_TOO_LONG);
    EXPECT_EQ(r.cbRecord, 65538u);
    const LineRecord next = reader.Next();
    EXPECT_EQ(next.abData, TextBytes("ab"));
    EXPECT_EQ(next.cbConsumed - next.cbRecord, 65538u);
}

}  // namespace
