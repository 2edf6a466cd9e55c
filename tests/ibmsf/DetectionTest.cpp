// Structured-field stream detection: the known-identifier table, the pure
// classifier of a first block (one row per input), and the same verdicts as
// create reports them.
#include <gtest/gtest.h>

#include <sstream>

#include "DetectStream.h"
#include "SfReading.h"

using namespace vokdsp_test;
using vokdsp::ibmsf::cKnownSFID;
using vokdsp::ibmsf::ClassifyFirstBlock;
using vokdsp::ibmsf::SFSTREAM_D3;
using vokdsp::ibmsf::SFSTREAM_PREFIX;
using vokdsp::ibmsf::SFSTREAM_RDW;
using vokdsp::ibmsf::StreamClass;

namespace {

constexpr uint32_t dwBPF = 0xD3A8A5;  // Begin Print File: real, but not known here

Bytes WithByte(Bytes ab, size_t ib, uint8_t b) {
    ab.at(ib) = b;
    return ab;
}

Bytes FirstBytes(const Bytes &ab, size_t cb) {
    return Bytes(ab.begin(), ab.begin() + cb);
}

// ---- The table ----------------------------------------------------------

// The known identifiers, D3A8D9 twice as the table holds it.
TEST(SfKnownIds, EveryKnownIdentifierIsAcceptedFirst) {
    std::istringstream in(
        "D3A8C9 D3A8EB D3A877 D3A88A D3A887 D3A892 D3A8C4 D3A8A7 D3A8CA D3A8A8 D3A8E3 "
        "D3A889 D3A8C5 D3A8CD D3A8BB D3A87B D3A8FB D3A8CC D3A8DF D3A8AD D3A8C7 D3A8AF "
        "D3A8CB D3A85F D3A89B D3A8CE D3A8C6 D3EEEE D3EEEB D3A6EB D3A7CA D3B077 D3A79B "
        "D3A6E3 D3A78A D38C8A D3A787 D3A687 D38C87 D3A9C9 D3A9EB D3A98A D3A987 D3A992 "
        "D3A9C4 D3A9CA D3A9A8 D3A9E3 D3A989 D3A9C5 D3A9CD D3A9BB D3A97B D3A9FB D3A9CC "
        "D3A9DF D3A9AD D3A9C7 D3A9AF D3A9CB D3A95F D3A99B D3A9CE D3A9C6 D3AAEC D3EEEC "
        "D3A6C5 D3A789 D3A689 D3EE89 D38C89 D3A289 D3AE89 D3AC89 D3EEBB D3A6BB D3AC7B "
        "D3A6FB D3A67B D3A77B D3EEFB D3EE7B D3ABCA D3ABCC D3AFD8 D3AF5F D3AAE7 D3A6E7 "
        "D3ABEB D3B18A D3AB8A D3ABBB D3ABFB D3B1DF D3ABD8 D3B15F D3ABEA D3A288 D3A688 "
        "D3A788 D3A66B D3AC6B D3A6AF D3ACAF D3B1AF D3A69B D3B19B D3EE9B D3A090 D3EE92 "
        "D3A8D9 D3A8D9 D3A9D9");
    size_t cKnown = 0;
    for (std::string s; in >> s; ++cKnown) {
        const Bytes ab = Field(std::stoul(s, nullptr, 16));
        const StreamClass sc =
            ClassifyFirstBlock(ab.data(), static_cast<uint16_t>(ab.size()));
        EXPECT_TRUE(sc.fFound) << s;
    }
    EXPECT_EQ(cKnown, cKnownSFID);
}

// ---- Verdicts, one row per first block -------------------------------------

struct DetectCase {
    const char *lpszName;
    Bytes ab;
    uint16_t wKind;      // expected framing; 0 refused
    uint32_t dwID;       // expected first identifier
    bool fUnknownID;     // DSP_ERR_UNKNOWN_SF_ID is stored
    size_t cbCount = 0;  // bytes the first read delivers; 0: all of ab
};

std::ostream &operator<<(std::ostream &os, const DetectCase &c) {
    return os << c.lpszName;
}

// The framings an accepted stream can have.
constexpr uint16_t kPlain = SFSTREAM_D3;
constexpr uint16_t kRdw = SFSTREAM_RDW | SFSTREAM_D3;
constexpr uint16_t kPrefix = SFSTREAM_PREFIX | SFSTREAM_D3;

const Bytes abTwoPlain = Concat({Field(dwBDT), Field(dwEDT, 12)});
const Bytes abTwoRdw = Concat({RdwRecord(Field(dwBDT)), RdwRecord(Field(dwEDT, 4))});
const Bytes abTwoPrefixed = Concat({Prefixed(Field(dwBDT)), Prefixed(Field(dwEDT, 3))});

const DetectCase aDetectCases[] = {
    // Plain.
    {"plain two fields", abTwoPlain, kPlain, dwBDT, false},
    {"plain one field D3FFFF", Field(0xD3FFFF), 0, 0xD3FFFF, true},
    {"plain first field Begin Print File", Concat({Field(dwBPF), Field(dwBDT)}), 0, dwBPF,
     true},
    {"plain class byte without introducer", WithByte(abTwoPlain, 0, 0x00), kPlain, dwBDT,
     false},
    {"plain second field shows neither byte",
     Concat({Field(dwBDT), HexBytes("00 00 08 C3 A9 A8 00 00 00")}), 0, 0, false},
    {"plain second field introducer but class C3 (strict)",
     Concat({Field(dwBDT), HexBytes("5A 00 08 C3 A9 A8 00 00 00")}), 0, dwBDT, false},
    {"plain first class byte C3", HexBytes("5A 00 08 C3 A8 A8 00 00 00"), 0, 0xC3A8A8,
     false},
    {"plain length FFFE: next offsets do not wrap",
     Concat({HexBytes("5A FF FE D3 A8 A8 00 00 00"), Bytes(40, 0x11)}), kPlain, dwBDT,
     false},
    {"plain and RDW patterns both hold: plain",
     Concat({SfBytes({dwBDT, {}, 0, 0xD300}), Field(dwEDT)}), kPlain, dwBDT, false},
    {"plain second field's class byte at the count is not tested",
     Concat({Field(dwBDT), HexBytes("00 00 08")}), kPlain, dwBDT, false},
    // RDW.
    {"RDW two records", abTwoRdw, kRdw, dwBDT, false},
    {"RDW first record reaching past the block",
     FirstBytes(RdwRecord(Field(dwBDT, 5000)), 4096), kRdw, dwBDT, false},
    {"RDW second record shows neither byte",
     Concat(
         {RdwRecord(Field(dwBDT)), HexBytes("00 0D 00 00 00 00 08 C3 A9 A8 00 00 00")}),
     0, 0, false},
    {"RDW first class byte C3 (strict)",
     RdwRecord(HexBytes("5A 00 08 C3 A8 A8 00 00 00")), 0, 0xC3A8A8, false},
    {"RDW next class byte measured by the field, not the record (strict)",
     Concat({RdwRecord(Field(dwBDT), Bytes(4, 0)), RdwRecord(Field(dwEDT))}), 0, dwBDT,
     false},
    // Prefix.
    {"prefix two fields", abTwoPrefixed, kPrefix, dwBDT, false},
    {"prefix next class byte C3 (strict)",
     Concat({Prefixed(Field(dwBDT)), Prefixed(HexBytes("5A 00 08 C3 A9 A8 00 00 00"))}),
     0, dwBDT, false},
    {"prefix values are not tested",
     Concat({Prefixed(Field(dwBDT)), HexBytes("FF FF"), Field(dwEDT)}), kPrefix, dwBDT,
     false},
    {"empty first read", {}, 0, 0, false},
    {"no framing fits", HexBytes("00 01 02 03 04 05 06 07 08"), 0, 0, false},
    {"short first read: bytes beyond the count are 0", abTwoPlain, 0, 0, false, 3},
};

class SfDetect : public ::testing::TestWithParam<DetectCase> {
  protected:
    // The bytes the first read delivers.
    Bytes Block() const {
        const DetectCase &c = GetParam();
        return FirstBytes(c.ab, c.cbCount != 0 ? c.cbCount : c.ab.size());
    }
};

TEST_P(SfDetect, ClassifierVerdict) {
    const DetectCase &c = GetParam();
    const Bytes abBlock = Block();  // exactly the delivered bytes: no read past them
    const StreamClass sc =
        ClassifyFirstBlock(abBlock.data(), static_cast<uint16_t>(abBlock.size()));
    EXPECT_EQ(sc.wStreamKind, c.wKind);
    EXPECT_EQ(sc.dwID, c.dwID);
    EXPECT_EQ(sc.fUnknownID(), c.fUnknownID);
    EXPECT_EQ(sc.fFound, c.wKind != 0);
}

TEST_P(SfDetect, CreateReportsTheVerdict) {
    const DetectCase &c = GetParam();
    const Bytes abBlock = Block();
    MemorySource source(c.ab, {static_cast<uint16_t>(abBlock.size())});
    uint32_t dwStatus = 0x1234;
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 64, &MemorySource::Read, source.Context(), &dwStatus);
    EXPECT_EQ(lpRec != nullptr, c.wKind != 0);
    EXPECT_EQ(dwStatus, c.fUnknownID ? DSP_ERR_UNKNOWN_SF_ID : 0x1234u);
    EXPECT_EQ(source.FillRequests(), 1);  // a short first read is not topped up
    EXPECT_EQ(source.ReleaseRequests(), 0);
    if (lpRec != nullptr) {
        EXPECT_EQ(lpRec->hdr.dwID, c.dwID);
        fFnDestroyIBMSF(lpRec);
        EXPECT_EQ(source.ReleaseRequests(), 1);
    }
}

// Rows are numbered; a failure prints the row's name.
INSTANTIATE_TEST_SUITE_P(Blocks, SfDetect, ::testing::ValuesIn(aDetectCases));

// ---- Create around detection ---------------------------------------------

TEST(SfDetectCreate, AcceptedStreamLeavesTheBlockUnconsumed) {
    MemorySource source(abTwoPlain);
    SfReader reader(source, 32);
    ASSERT_TRUE(reader.Created());
    // Only the first identifier is set; nothing is consumed yet.
    EXPECT_EQ(reader.Snapshot(0), (SfField{0, {0, 0, dwBDT, 0, 0}, Bytes(32, 0), 0, 1}));
    EXPECT_EQ(reader.Next().iResult, 8);  // the first field, from the first byte
}

TEST(SfDetectCreate, CallbackStatusDuringFirstReadStaysAndDoesNotRefuse) {
    MemorySource source(abTwoPlain);
    source.FailOnRequest(1, 0x77);
    SfReader reader(source, 32);
    EXPECT_TRUE(reader.Created());
    EXPECT_EQ(reader.Status(), 0x77u);
}

TEST(SfDetectCreate, EmptyFirstReadRefusesWithoutStatus) {
    MemorySource source({});
    source.FailOnRequest(1, 0x55);
    SfReader reader(source, 32);
    EXPECT_FALSE(reader.Created());
    EXPECT_EQ(reader.Status(), 0x55u);  // only what the callback stored
    EXPECT_EQ(source.ReleaseRequests(), 0);
}

}  // namespace
