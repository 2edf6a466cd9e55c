// Block-size independence: one stream of many fields, data from 0 to 20000
// bytes, with extensions, read through callbacks of several block sizes and
// through a file path, in each framing, gives the same fields, data and
// record info, and those of the stream as it was written.
#include <gtest/gtest.h>

#include "SfReading.h"

using namespace vokdsp_test;

namespace {

enum class Framing { kPlain, kRdw, kPrefix };

// What one field should come out as.
struct ExpectedField {
    uint16_t cbSF;
    uint32_t dwID;
    uint8_t bFlags;
    uint16_t wSeq;
    Bytes abData;  // the D bytes delivered
    uint32_t dwPos;
};

struct Stream {
    Bytes abInput;
    std::vector<ExpectedField> aFields;
};

constexpr uint16_t cbCapacity = 20002;

// Data lengths around every block edge and up to 20000, with short ones between.
const size_t acbData[] = {0,     1,     2,     7,     8,    9,    12,    13,
                          100,   255,   256,   1000,  4086, 4087, 4095,  4096,
                          4097,  5000,  8191,  8192,  8193, 9000, 12288, 12289,
                          16384, 19999, 20000, 20000, 3,    4};

Stream BuildStream(Framing framing) {
    const uint32_t adwIDs[] = {0xD3EE9B, 0xD3A8AF, 0xD3A9AF,
                               0xD3EEEE, 0xD3A090, 0xD3A8D9};
    Stream s;
    uint32_t dwRandom = 12345;
    auto bNext = [&dwRandom] {
        dwRandom = dwRandom * 1103515245u + 12345u;
        return static_cast<uint8_t>(dwRandom >> 16);
    };
    const size_t cFields = 120;
    for (size_t i = 0; i < cFields; ++i) {
        // The first field is header-only so that every first block shows it whole.
        const size_t cbData = i == 0  ? 0
                              : i % 2 ? acbData[(i / 2) % std::size(acbData)]
                                      : i % 37;
        Bytes abData(cbData);
        for (uint8_t &b : abData) b = bNext();
        const bool fExtension = i % 5 == 3;
        Bytes abExtension(fExtension ? i % 7 : 0);
        for (uint8_t &b : abExtension) b = bNext();
        const uint8_t bFlags = (fExtension ? 0x80 : 0) | (i % 11 == 4 ? 0x08 : 0);
        const uint32_t dwID = i == 0 ? 0xD3A8A8 : adwIDs[i % std::size(adwIDs)];
        const uint16_t wSeq = static_cast<uint16_t>(i * 257);
        const Bytes abField = SfBytes({dwID, abData, bFlags, wSeq, abExtension});

        // Later RDW records hold up to 2 bytes beyond their field: data too.
        const Bytes abTrail(framing == Framing::kRdw && i != 0 ? i % 3 : 0, 0xA0);
        const Bytes abRecord = framing == Framing::kRdw      ? RdwRecord(abField, abTrail)
                               : framing == Framing::kPrefix ? Prefixed(abField)
                                                             : abField;
        s.abInput.insert(s.abInput.end(), abRecord.begin(), abRecord.end());
        s.aFields.push_back({static_cast<uint16_t>(abField.size() - 1), dwID, bFlags,
                             wSeq, Concat({abData, abTrail}),
                             static_cast<uint32_t>(s.abInput.size())});
    }
    return s;
}

struct ReadOutcome {
    std::vector<SfField> aFields;
    uint32_t dwStatus;
};

ReadOutcome ReadThroughCallback(const Bytes &abInput, std::vector<uint16_t> acbBlocks) {
    MemorySource source(abInput, std::move(acbBlocks));
    SfReader reader(source, cbCapacity);
    EXPECT_TRUE(reader.Created());
    if (!reader.Created()) return {};
    ReadOutcome run{reader.ReadAll(), 0};
    EXPECT_EQ(source.Delivered(), abInput.size());
    run.dwStatus = reader.Status();
    return run;
}

ReadOutcome ReadThroughPath(const Bytes &abInput) {
    TempFile file(abInput);
    SfReader reader(file.Path(), cbCapacity);
    EXPECT_TRUE(reader.Created());
    if (!reader.Created()) return {};
    ReadOutcome run{reader.ReadAll(), 0};
    run.dwStatus = reader.Status();
    return run;
}

class SfBlockSize : public ::testing::TestWithParam<Framing> {};

TEST_P(SfBlockSize, EveryBlockSizeAndTheFileGiveTheWrittenFields) {
    const Stream s = BuildStream(GetParam());
    const ReadOutcome byBlock = ReadThroughCallback(s.abInput, {4096});
    ASSERT_EQ(byBlock.aFields.size(), s.aFields.size());
    EXPECT_EQ(byBlock.dwStatus, 0u);
    for (size_t i = 0; i < s.aFields.size(); ++i) {
        const ExpectedField &e = s.aFields[i];
        const SfField &f = byBlock.aFields[i];
        ASSERT_EQ(f.iResult, e.cbSF) << i;
        EXPECT_EQ(f.hdr.bCC, 0x5A) << i;
        EXPECT_EQ(f.hdr.cbSF, e.cbSF) << i;
        EXPECT_EQ(f.hdr.dwID, e.dwID) << i;
        EXPECT_EQ(f.hdr.bFlags, e.bFlags) << i;
        EXPECT_EQ(f.hdr.wSeq, e.wSeq) << i;
        EXPECT_TRUE(f.Data(e.abData.size()) == e.abData) << i;
        EXPECT_EQ(f.dwPos, e.dwPos) << i;
        EXPECT_EQ(f.dwLen, e.cbSF + 1u) << i;
    }

    // A tiny block size still needs a first block that shows the first field.
    const ReadOutcome byByte =
        ReadThroughCallback(s.abInput, BlockPlan(16, 1, s.abInput.size()));
    const ReadOutcome by13 = ReadThroughCallback(s.abInput, {13});
    const ReadOutcome byPath = ReadThroughPath(s.abInput);
    EXPECT_EQ(byByte.aFields, byBlock.aFields);
    EXPECT_EQ(by13.aFields, byBlock.aFields);
    EXPECT_EQ(byPath.aFields, byBlock.aFields);
    EXPECT_EQ(byByte.dwStatus, 0u);
    EXPECT_EQ(by13.dwStatus, 0u);
    EXPECT_EQ(byPath.dwStatus, 0u);
}

INSTANTIATE_TEST_SUITE_P(Framings, SfBlockSize,
                         ::testing::Values(Framing::kPlain, Framing::kRdw,
                                           Framing::kPrefix),
                         [](const auto &info) {
                             switch (info.param) {
                                 case Framing::kPlain:
                                     return std::string("Plain");
                                 case Framing::kRdw:
                                     return std::string("Rdw");
                                 default:
                                     return std::string("Prefix");
                             }
                         });

}  // namespace
