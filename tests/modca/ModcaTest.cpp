// The field interpretation library: byte strings in, decoded values out.
// The byte strings are FOP's own (tests/modca/fop) where FOP writes the field.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Ebcdic.h"
#include "Fields.h"
#include "Structure.h"
#include "TextPage.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FnHex(const std::string &sHex) {
    Bytes ab;
    for (size_t i = 0; i + 1 < sHex.size(); i += 2)
        ab.push_back(static_cast<uint8_t>(std::stoul(sHex.substr(i, 2), nullptr, 16)));
    return ab;
}

TEST(ModcaText, DecodesNamesAndPrintableText) {
    const struct {
        const char *szHex;
        bool fPrintable;
        const char *szText;
    } aCases[] = {
        {"D7C7D5F0F0F0F0F1", true, "PGN00001"},      // FOP's first page
        {"C3F0D5F2F0F0F0F04040", true, "C0N20000"},  // trailing blanks dropped
        {"C1404040C2404040", true, "A   B"},         // eight bytes, inner blanks kept
        {"4040404040404040", true, ""},
        {"A2A381A385948595A34099A49540F4F2", true, "statement run 42"},
        {"48656C6C6F2C2041534349492E", true, "Hello, ASCII."},  // not EBCDIC text
        {"00FF1020", false, ""},                                // binary
        {"", false, ""},
    };
    for (const auto &c : aCases) {
        const Bytes ab = FnHex(c.szHex);
        std::string sText;
        EXPECT_EQ(modca::fFnPrintableText(ab.data(), ab.size(), &sText), c.fPrintable)
            << c.szHex;
        EXPECT_EQ(sText, c.szText) << c.szHex;
    }
    const Bytes abMixed = FnHex("C100C2");
    EXPECT_EQ(modca::sFnDecodeName(abMixed.data(), abMixed.size()), "A.B");
    std::string sName = "an earlier name";  // replaced, not appended to
    modca::FnDecodeName(abMixed.data(), abMixed.size(), &sName);
    EXPECT_EQ(sName, "A.B");
}

TEST(ModcaTriplets, DecodesKnownTripletsAndStopsAtBadLengths) {
    const struct {
        const char *szHex;
        bool fWhole;
        std::vector<std::string> values;  // "id/type/value" per triplet
    } aCases[] = {
        {"0C028600C3F0D5F2F0F0F0F0", true, {"2/134/C0N20000"}},
        {"0B020B00C1C3C3D6E4D5E308360000F1F0F0F1", true, {"2/11/ACCOUNT", "54/-1/1001"}},
        {"04240502042600000C0285101122334455667788",
         true,
         {"36/5/2", "38/-1/", "2/133/"}},   // FQN in a format other than text: no value
        {"0C028600C3F0", false, {}},        // runs past the data
        {"0424050201", false, {"36/5/2"}},  // length byte 1 after a good triplet
    };
    for (const auto &c : aCases) {
        const Bytes ab = FnHex(c.szHex);
        std::vector<modca::Triplet> triplets;
        EXPECT_EQ(modca::fFnParseTriplets(ab.data(), ab.size(), &triplets), c.fWhole)
            << c.szHex;
        std::vector<std::string> values;
        for (const auto &t : triplets)
            values.push_back(std::to_string(t.bId) + "/" + std::to_string(t.nType) + "/" +
                             t.sValue);
        EXPECT_EQ(values, c.values) << c.szHex;
    }
}

TEST(ModcaFields, InterpretsNamesFontsTagsAndComments) {
    const struct {
        uint32_t dwID;
        const char *szHex;
        const char *szSummary;  // name|tag|fonts|comment|malformed
    } aCases[] = {
        {0xD3A8AF, "D7C7D5F0F0F0F0F1", "PGN00001||||0"},
        {0xD3A9AF, "FFFFFFFFFFFFFFFF", "||||0"},  // End matching any name
        {0xD3A8A8, "C4D6C3F0F0F0F0F1", "DOC00001||||0"},
        {0xD3AB8A,
         "00220C028600C3F0D5F2F0F0F0F00C028500E3F1E5F1F0F5F0F0042600000424050200220C02860"
         "0C3"
         "F0C8F2F0F0C2F00C028500E3F1E5F1F0F5F0F0042600000424",
         "||2:C0N20000/T1V10500;||1"},  // second group cut short
        {0xD3A090, "0B020B00C1C3C3D6E4D5E308360000F1F0F0F1", "|ACCOUNT=1001|||0"},
        {0xD3AFD8, "D6F1C6D6D9D4F0F100005E00005E0000", "O1FORM01||||0"},
        {0xD3AFC3,
         "D9C5E2F0F0F0F0F100FB00008E0000C300002D00FFFFFFFFFFFF01094C0200003600003608"
         "4B0000096009600304",
         "RES00001||||1"},  // last triplet cut short
        {0xD3EEEE, "A2A381A385948595A34099A49540F4F2", "|||statement run 42|0"},
        {0xD3EEEE, "0001", "||||0"},
    };
    auto summary = [](const modca::FieldInfo &info) {
        std::string sFonts;
        for (const auto &f : info.fonts)
            sFonts += std::to_string(f.nLocalId) + ":" + f.sCharacterSet + "/" +
                      f.sCodePage + ";";
        const std::string sTag =
            info.sTagName.empty() ? "" : info.sTagName + "=" + info.sTagValue;
        return info.sObjectName + "|" + sTag + "|" + sFonts + "|" + info.sComment + "|" +
               (info.fMalformed ? "1" : "0") + "|" + std::to_string(info.triplets.size());
    };
    modca::FieldInfo reused;  // each case over the last: nothing of it may stay
    for (const auto &c : aCases) {
        const Bytes ab = FnHex(c.szHex);
        const std::string sFresh =
            summary(modca::FnInterpretField(c.dwID, ab.data(), ab.size()));
        EXPECT_EQ(sFresh.substr(0, sFresh.rfind('|')), c.szSummary) << std::hex << c.dwID;
        modca::FnInterpretField(c.dwID, ab.data(), ab.size(), &reused);
        EXPECT_EQ(summary(reused), sFresh) << std::hex << c.dwID;
    }
}

// Fields fed to the tracker one by one, each at offset 10 * its index; the
// expected depths, then every problem as "offset:code" (warnings "offset:~code").
struct TrackerCase {
    const char *szName;
    std::vector<uint32_t> ids;
    std::vector<size_t> depths;
    std::vector<std::string> problems;
};

std::string sFnRun(modca::StructureTracker &tracker, const TrackerCase &c,
                   std::vector<size_t> *lpDepths) {
    const Bytes abName = FnHex("D7C7D5F0F0F0F0F1");
    std::string sProblems;
    auto note = [&] {
        for (const auto &p : tracker.Problems())
            sProblems +=
                std::to_string(p.ibOffset) + (p.fWarning ? ":~" : ":") + p.szCode + " ";
    };
    for (size_t i = 0; i < c.ids.size(); ++i) {
        lpDepths->push_back(tracker.Feed(10 * i, c.ids[i], abName.data(), abName.size()));
        note();
    }
    tracker.Finish();
    note();
    return sProblems;
}

TEST(ModcaStructure, NestsBeginsAndEndsAndReportsEveryProblem) {
    const uint32_t BDT = 0xD3A8A8, EDT = 0xD3A9A8, BNG = 0xD3A8AD, ENG = 0xD3A9AD,
                   BPG = 0xD3A8AF, EPG = 0xD3A9AF, PTX = 0xD3EE9B;
    const TrackerCase aCases[] = {
        {"well-formed", {BDT, BNG, BPG, PTX, EPG, ENG, EDT}, {0, 1, 2, 3, 2, 1, 0}, {}},
        {"End removed",
         {BDT, BNG, BPG, BPG, EPG, ENG, EDT},
         {0, 1, 2, 3, 3, 1, 0},
         {"20:unclosed"}},
        {"stray End", {BDT, BPG, EPG, EPG, EDT}, {0, 1, 1, 1, 0}, {"30:stray-end"}},
        {"left open", {BDT, BPG, PTX}, {0, 1, 2}, {"10:unclosed", "0:unclosed"}},
        {"class byte", {BDT, 0xD4A8AF, EDT}, {0, 1, 0}, {"10:class"}},
        {"unknown id", {BDT, 0xD3EE01, EDT}, {0, 1, 0}, {"10:~unknown"}},
    };
    for (const TrackerCase &c : aCases) {
        modca::StructureTracker tracker;
        std::vector<size_t> depths;
        std::string sExpected;
        for (const auto &s : c.problems) sExpected += s + " ";
        EXPECT_EQ(sFnRun(tracker, c, &depths), sExpected) << c.szName;
        EXPECT_EQ(depths, c.depths) << c.szName;
    }
}

// An End names its Begin as decoded: a warning only where the two decode
// differently, and none for an End that matches any name.
TEST(ModcaStructure, WarnsWhenAnEndNamesAnotherBegin) {
    const Bytes abBegin = FnHex("D7C7D5F0F0F0F001");  // PGN0000.
    const struct {
        const char *szEnd;
        const char *szProblems;
    } aCases[] = {
        {"D7C7D5F0F0F0F0F2", "~name"},
        {"D7C7D5F0F0F0F001", ""},
        {"D7C7D5F0F0F0F002", ""},  // another unprintable byte: PGN0000. as well
        {"FFFFFFFFFFFFFFFF", ""},
    };
    for (const auto &c : aCases) {
        modca::StructureTracker tracker;
        const Bytes abEnd = FnHex(c.szEnd);
        tracker.Feed(0, 0xD3A8AF, abBegin.data(), abBegin.size());
        tracker.Feed(17, 0xD3A9AF, abEnd.data(), abEnd.size());
        std::string sProblems;
        for (const auto &p : tracker.Problems())
            sProblems += (p.fWarning ? "~" : "") + std::string(p.szCode);
        EXPECT_EQ(sProblems, c.szProblems) << c.szEnd;
    }
}

TEST(ModcaStructure, BoundsTheStackAndTracksPagesAndGroups) {
    modca::StructureTracker tracker;
    const Bytes abGroup = FnHex("D7C7D7F0F0F0F0F1");
    const Bytes abTag = FnHex("0B020B00C1C3C3D6E4D5E308360000F1F0F0F1");
    tracker.Feed(0, 0xD3A8AD, abGroup.data(), abGroup.size());
    tracker.Feed(17, 0xD3A090, abTag.data(), abTag.size());
    tracker.Feed(45, 0xD3A8AF, abGroup.data(), 0);
    EXPECT_EQ(tracker.Page().nPage, 1u);
    EXPECT_EQ(tracker.Page().sGroup, "PGP00001");
    ASSERT_EQ(tracker.Page().tags.size(), 1u);
    EXPECT_EQ(tracker.Page().tags[0].sName + "=" + tracker.Page().tags[0].sValue,
              "ACCOUNT=1001");
    // 200 more Begins, then their Ends: one problem where the bound is passed.
    size_t cProblems = 0;
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(tracker.Feed(100 + i, 0xD3A89B, nullptr, 0), 2u + i);
        cProblems += tracker.Problems().size();
    }
    EXPECT_EQ(cProblems, 1u);
    for (int i = 199; i >= 0; --i) {
        EXPECT_EQ(tracker.Feed(400 + i, 0xD3A99B, nullptr, 0), 2u + i);
        cProblems += tracker.Problems().size();
    }
    EXPECT_EQ(cProblems, 1u);
    tracker.Feed(700, 0xD3A9AF, nullptr, 0);
    EXPECT_TRUE(tracker.fPageEnded());
    EXPECT_TRUE(tracker.Problems().empty());
}

// Page ranges as both tools take them: "first-last", or "" when refused.
TEST(ModcaStructure, ParsesPageRanges) {
    const char *const aszCases[][2] = {{"7", "7-7"},
                                       {"2-5", "2-5"},
                                       {"010", "10-10"},
                                       {"999999999999999999-999999999999999999",
                                        "999999999999999999-999999999999999999"},
                                       {"0", ""},
                                       {"5-3", ""},
                                       {"0x10", ""},
                                       {"", ""},
                                       {"1-", ""},
                                       {"-3", ""},
                                       {" 1", ""},
                                       {"1-2-3", ""},
                                       {"+1", ""},
                                       {"1000000000000000000", ""}};
    for (const auto &c : aszCases) {
        uint64_t nFirst = 0, nLast = 0;
        const bool fTaken = modca::fFnParsePageRange(c[0], &nFirst, &nLast);
        EXPECT_EQ(fTaken ? std::to_string(nFirst) + "-" + std::to_string(nLast) : "",
                  c[1])
            << c[0];
    }
}

// Presentation text from byte strings, after a Map Coded Font that gives
// local fonts 1-4 the code pages T1V10500, T1000273, T1V10037 and the
// double-byte T1120300 (unmappable: the fallback IBM500 serves). Runs come in
// reading order as "x,y,font:text"; the problem as "data offset:text".
TEST(ModcaText, DecodesControlSequencesIntoRuns) {
    const char szMcf[] =
        "00120C028500E3F1E5F1F0F5F0F00424050100120C028500E3F1F0F0F0F2F7F304240502"
        "00120C028500E3F1E5F1F0F0F3F70424050300120C028500E3F1F1F2F0F3F0F004240504";
    const struct {
        const char *szName, *szHex, *szRuns, *szProblem;
    } aCases[] = {
        {"absolute moves", "2BD304C7006404D300C805DAC1C2C3", "100,200,-1:ABC", ""},
        {"relative moves", "2BD304C7006404D300C804C9FFF604D5000503DAC1", "90,205,-1:A",
         ""},
        {"begin line", "2BD304C1001004D1002004C7005003DBC102D903DAC2",
         "80,0,-1:A|16,32,-1:B", ""},
        {"advance by twice the space", "2BD304C5000503DBC103DAC2", "0,0,-1:A|10,0,-1:B",
         ""},
        {"repeat string", "2BD306EE0005C1C2", "0,0,-1:ABABA", ""},
        {"font and code page switch",
         "2BD303F10103DB4A03F10203DB4A03F10303DB4A03F10403DA4A",
         "0,0,1:[|120,0,2:\xC3\x84|240,0,3:\xC2\xA2|360,0,4:[", ""},
        {"controls and unmapped", "2BD305DA05C1FF",
         "0,0,-1:\xEF\xBF\xBD"
         "A\xEF\xBF\xBD",
         ""},
        {"two unchained chains", "2BD303DAC12BD303DAC2", "0,0,-1:A|120,0,-1:B", ""},
        {"unknown type skipped", "2BD305F900000003DAC1", "0,0,-1:A", ""},
        {"rotated after the rest",
         "2BD306F72D00000004D3006403DBC104D3003203DBC206F7000000"
         "0004D300C803DAC3",
         "240,200,-1:C|0,100,-1:A|120,50,-1:B", ""},
        {"escape missing", "2BD303DAC103DAC2", "0,0,-1:A",
         "5:text data outside a control-sequence chain"},
        {"past the end", "2BD303DBC109DAC2C3", "0,0,-1:A",
         "5:a control sequence of 9 bytes runs past the field's end"},
        {"length under 2", "2BD301DA", "", "2:a control sequence with length under 2"},
        {"escape at the end", "2BD303DAC12BD3", "0,0,-1:A",
         "5:a control sequence cut off by the field's end"},
    };
    for (const auto &c : aCases) {
        modca::TextPage page("IBM500");
        page.StartPage();
        const Bytes abMcf = FnHex(szMcf), abPtx = FnHex(c.szHex);
        page.Feed(0xD3AB8A, abMcf.data(), abMcf.size());
        page.Feed(0xD3EE9B, abPtx.data(), abPtx.size());
        std::string sProblem;
        for (const auto &[ib, sText] : page.Problems())
            sProblem += std::to_string(ib) + ":" + sText;
        std::string sRuns;
        for (const modca::PageRun &r : page.TakeRuns())
            sRuns += (sRuns.empty() ? "" : "|") + std::to_string(r.run.x) + "," +
                     std::to_string(r.run.y) + "," + std::to_string(r.run.nFont) + ":" +
                     r.sText;
        EXPECT_EQ(sRuns, c.szRuns) << c.szName;
        EXPECT_EQ(sProblem, c.szProblem) << c.szName;
    }
}

}  // namespace
