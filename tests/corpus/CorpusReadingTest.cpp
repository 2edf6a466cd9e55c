// The benchmark corpora as the readers see them. Every record of each comes
// out, without a status, the same whatever the read callback's block sizes, so
// the block-copy paths are checked on realistic data; and the line layouts
// carry the same print lines, so the benchmarks compare like with like.
#include <gtest/gtest.h>

#include "Corpus.h"
#include "LineReading.h"
#include "SfReading.h"

using namespace vokdsp_test;
using vokdsp_bench::LineLayout;
using vokdsp_bench::SfFraming;

namespace {

constexpr size_t cbCorpus = 256 << 10;
// Detection needs the first field in the first block; the rest may be anything.
const std::vector<uint16_t> acbMixed = {4096, 3, 4095, 17, 1, 2048, 9};

// A field as the caller sees it, with its whole data area folded into a hash:
// bytes beyond the field's data are older fields' and must match too.
struct FieldDigest {
    SfField field;
    uint64_t qwArea;
    bool operator==(const FieldDigest &o) const {
        return field.iResult == o.field.iResult && field.hdr.cbSF == o.field.hdr.cbSF &&
               field.hdr.dwID == o.field.hdr.dwID &&
               field.hdr.bFlags == o.field.hdr.bFlags &&
               field.hdr.wSeq == o.field.hdr.wSeq && field.dwPos == o.field.dwPos &&
               field.dwLen == o.field.dwLen && qwArea == o.qwArea;
    }
};

std::vector<FieldDigest> ReadFields(const Bytes &abInput, std::vector<uint16_t> acbBlocks,
                                    uint32_t *lpdwStatus) {
    MemorySource source(abInput, std::move(acbBlocks));
    SfReader reader(source, vokdsp_bench::cbSfCapacity);
    std::vector<FieldDigest> aDigests;
    for (SfField f; reader.Created() && (f = reader.Next()).iResult != 0;) {
        uint64_t qw = 14695981039346656037ull;  // FNV-1a
        for (uint8_t b : f.abArea) qw = (qw ^ b) * 1099511628211ull;
        f.abArea.clear();
        aDigests.push_back({f, qw});
    }
    *lpdwStatus = reader.Status();
    return aDigests;
}

class SfCorpusReading : public ::testing::TestWithParam<SfFraming> {};

TEST_P(SfCorpusReading, EveryFieldWhateverTheBlockSize) {
    const vokdsp_bench::Corpus corpus = vokdsp_bench::FnSfCorpus(GetParam(), cbCorpus);
    uint32_t dwStatus = 0;
    const std::vector<FieldDigest> aExpected = ReadFields(corpus.ab, {4096}, &dwStatus);
    ASSERT_EQ(aExpected.size(), corpus.nRecords);
    ASSERT_EQ(dwStatus, DSP_OK);
    EXPECT_EQ(aExpected.back().field.dwPos, corpus.ab.size());
    for (const auto &acbBlocks : {BlockPlan(4096, 1, corpus.ab.size()), acbMixed}) {
        EXPECT_TRUE(ReadFields(corpus.ab, acbBlocks, &dwStatus) == aExpected)
            << acbBlocks[1];
        EXPECT_EQ(dwStatus, DSP_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Framings, SfCorpusReading,
    ::testing::Values(SfFraming::kPlain, SfFraming::kRdw, SfFraming::kPrefix),
    [](const auto &info) {
        return std::string(vokdsp_bench::lpszFnName(info.param)).replace(2, 1, "_");
    });

std::vector<LineRecord> ReadLines(LineLayout layout, const Bytes &abInput,
                                  std::vector<uint16_t> acbBlocks) {
    MemorySource source(abInput, std::move(acbBlocks));
    const vokdsp_bench::LineFormat format = vokdsp_bench::FnLineFormat(layout);
    LineReader reader(source, format.wFormat, format.cbMaxRecord);
    return reader.ReadAll();
}

class LineCorpusReading : public ::testing::TestWithParam<LineLayout> {};

TEST_P(LineCorpusReading, EveryRecordWhateverTheBlockSize) {
    const vokdsp_bench::Corpus corpus = vokdsp_bench::FnLineCorpus(GetParam(), cbCorpus);
    const std::vector<LineRecord> aExpected = ReadLines(GetParam(), corpus.ab, {4096});
    ASSERT_EQ(aExpected.size(), corpus.nRecords);
    EXPECT_EQ(aExpected.back().cbConsumed, corpus.ab.size());
    for (const LineRecord &r : aExpected) ASSERT_EQ(r.dwStatus, DSP_OK) << r;
    for (const auto &acbBlocks : {std::vector<uint16_t>{1}, acbMixed})
        EXPECT_EQ(ReadLines(GetParam(), corpus.ab, acbBlocks), aExpected) << acbBlocks[0];
}

INSTANTIATE_TEST_SUITE_P(Layouts, LineCorpusReading,
                         ::testing::Values(LineLayout::kFixed, LineLayout::kVariable,
                                           LineLayout::kBlocked, LineLayout::kTextCC,
                                           LineLayout::kTextFF),
                         [](const auto &info) {
                             std::string s = vokdsp_bench::lpszFnName(info.param);
                             if (s.size() > 4 && s[4] == '-') s[4] = '_';
                             return s;
                         });

// Carriage control and data with the padding and a field line's CR dropped.
std::pair<uint8_t, Bytes> Printed(const LineRecord &r) {
    Bytes ab = r.abData;
    while (!ab.empty() && (ab.back() == 0x20 || ab.back() == 0x40 || ab.back() == 0x0D))
        ab.pop_back();
    return {r.bCC, ab};
}

TEST(LineCorpusLines, EveryLayoutCarriesTheSameLines) {
    auto read = [](LineLayout layout) {
        return ReadLines(layout, vokdsp_bench::FnLineCorpus(layout, cbCorpus).ab, {4096});
    };
    const std::vector<LineRecord> aVariable = read(LineLayout::kVariable);
    for (LineLayout layout :
         {LineLayout::kFixed, LineLayout::kBlocked, LineLayout::kTextCC}) {
        const std::vector<LineRecord> aRecords = read(layout);
        ASSERT_GT(aRecords.size(), 1000u);
        for (size_t i = 0; i < std::min(aRecords.size(), aVariable.size()); ++i)
            ASSERT_EQ(Printed(aRecords[i]), Printed(aVariable[i])) << i << aRecords[i];
    }
    // Form feeds instead of carriage control, and no embedded fields.
    const std::vector<LineRecord> aFormFeeds = read(LineLayout::kTextFF);
    size_t iFF = 0;
    for (size_t i = 0; i < aVariable.size() && iFF < aFormFeeds.size(); ++i) {
        if (aVariable[i].bCC == 0x5A) continue;
        auto [bCC, abData] = Printed(aVariable[i]);
        const uint8_t bExpectedCC = bCC == '1' ? 0x31 : 0x20;
        ASSERT_EQ(Printed(aFormFeeds[iFF++]), std::make_pair(bExpectedCC, abData)) << i;
    }
    EXPECT_GT(iFF, 1000u);
}

}  // namespace
