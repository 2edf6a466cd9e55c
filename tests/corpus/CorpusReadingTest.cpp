// The benchmark corpora, realistic streams of every layout and framing, read
// every way: every record comes out, without a status, to the last byte.
#include <gtest/gtest.h>

#include "Corpus.h"
#include "LineReading.h"
#include "SfReading.h"

using namespace vokdsp_test;
using vokdsp_bench::LineLayout;
using vokdsp_bench::SfFraming;

namespace {

constexpr size_t cbCorpus = 256 << 10;

TEST(CorpusReading, EverySfFraming) {
    for (SfFraming framing : {SfFraming::kPlain, SfFraming::kRdw, SfFraming::kPrefix}) {
        const vokdsp_bench::Corpus corpus = vokdsp_bench::FnSfCorpus(framing, cbCorpus);
        const SfRun run =
            ReadFieldsEveryWay(corpus.ab, vokdsp_bench::cbSfCapacity, {4096}, 4096);
        ASSERT_EQ(run.fields.size(), corpus.nRecords + 2) << corpus.sName;
        EXPECT_EQ(run.dwWord, DSP_OK);
        EXPECT_EQ(run.fields.back().dwPos, corpus.ab.size());
    }
}

TEST(CorpusReading, EveryLineLayout) {
    for (LineLayout layout :
         {LineLayout::kFixed, LineLayout::kVariable, LineLayout::kBlocked,
          LineLayout::kTextCC, LineLayout::kTextFF}) {
        const vokdsp_bench::Corpus corpus = vokdsp_bench::FnLineCorpus(layout, cbCorpus);
        const vokdsp_bench::LineFormat format = vokdsp_bench::FnLineFormat(layout);
        const LineRun run =
            ReadLinesEveryWay(corpus.ab, format.wFormat, format.cbMaxRecord);
        ASSERT_EQ(run.records.size(), corpus.nRecords + 1) << corpus.sName;
        EXPECT_EQ(run.dwWord, DSP_OK);
        EXPECT_EQ(run.records.back().cbConsumed, corpus.ab.size());
        for (const LineRecord &r : run.records) ASSERT_EQ(r.dwStatus, DSP_OK) << r;
    }
}

}  // namespace
