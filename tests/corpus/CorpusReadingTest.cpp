// The benchmark corpora, realistic streams of every layout and framing, read
// every way: every record comes out, without a status, to the last byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "Corpus.h"
#include "LineReading.h"
#include "SfReading.h"

using namespace vokdsp_test;
using vokdsp_bench::LineLayout;
using vokdsp_bench::SfFraming;

namespace {

constexpr size_t cbCorpus = 256 << 10;

// The fields read through a path: a file, or a named pipe a thread writes.
std::vector<SfField> FnReadFromPath(const Bytes &ab, bool fPipe) {
    TempFile file(fPipe ? Bytes{} : ab);
    const std::string sFifo = std::string(file.Path()) + ".fifo";
    std::thread writer;
    if (fPipe) {
        signal(SIGPIPE,
               SIG_IGN);  // a reader that stops early fails the test, not the run
        if (mkfifo(sFifo.c_str(), 0600) != 0) return {};
        writer = std::thread([&] {
            const int fd = open(sFifo.c_str(), O_WRONLY);
            for (size_t ib = 0; fd >= 0 && ib < ab.size();) {
                const ssize_t cb =
                    write(fd, ab.data() + ib, std::min<size_t>(ab.size() - ib, 10000));
                if (cb <= 0) break;
                ib += static_cast<size_t>(cb);
            }
            close(fd);
        });
    }
    std::vector<SfField> aFields;
    {
        SfReader reader(fPipe ? sFifo.c_str() : file.Path(), vokdsp_bench::cbSfCapacity);
        reader.LimitSnapshot(4096);
        aFields = reader.ReadAll();
    }
    if (fPipe) {
        writer.join();
        unlink(sFifo.c_str());
    }
    return aFields;
}

TEST(CorpusReading, EverySfFraming) {
    for (SfFraming framing : {SfFraming::kPlain, SfFraming::kRdw, SfFraming::kPrefix}) {
        const vokdsp_bench::Corpus corpus = vokdsp_bench::FnSfCorpus(framing, cbCorpus);
        const SfRun run =
            ReadFieldsEveryWay(corpus.ab, vokdsp_bench::cbSfCapacity, {4096}, 4096);
        ASSERT_EQ(run.fields.size(), corpus.nRecords + 2) << corpus.sName;
        EXPECT_EQ(run.dwWord, DSP_OK);
        EXPECT_EQ(run.fields.back().dwPos, corpus.ab.size());
        for (bool fPipe : {false, true}) {
            const std::vector<SfField> aFields = FnReadFromPath(corpus.ab, fPipe);
            ASSERT_EQ(aFields.size() + 2, run.fields.size()) << corpus.sName << fPipe;
            EXPECT_TRUE(std::equal(aFields.begin(), aFields.end(), run.fields.begin()))
                << corpus.sName << (fPipe ? " through a pipe" : " through a file");
        }
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
