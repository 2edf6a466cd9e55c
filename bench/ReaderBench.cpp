// Throughput of each reader over corpora generated in memory, in bytes per
// second, against the physical floor (memcpy of the corpus in 4096-byte
// blocks, once and twice over) and against the loop a caller would write by
// hand (fread of framing, header and body; std::getline over the text), and
// against a bare inline loop that only finds and copies records. Every
// loop touches each record it gets: its length and its first data byte. Each
// reader runs twice: fed by a callback that only copies, and by one that also
// reads the next block ahead, which shows how much is memory latency.
//
//   vokdsp_bench [benchmark flags] [--table_out=FILE]
//
// Prints the usual benchmark lines, then one table of medians and ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <istream>
#include <streambuf>
#include <string>

#include "BareLoops.h"
#include "Corpus.h"
#include "RatioTable.h"
#include "vokDSPsr.h"

namespace vokdsp_bench {

namespace {

constexpr size_t cbCorpus = size_t{64} << 20;
constexpr size_t cbBlock = 4096;

// ---- The library, fed by a callback that copies from memory ------------------

struct MemoryFeed {
    const uint8_t *lpb;
    size_t cb;
    size_t ib;
    bool fReadAhead;
};

uint16_t cbFnFeed(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext, uint32_t *) {
    auto *lpFeed = static_cast<MemoryFeed *>(lpContext);
    const size_t cb = std::min<size_t>(cbWanted, lpFeed->cb - lpFeed->ib);
    memcpy(lpbDest, lpFeed->lpb + lpFeed->ib, cb);
    lpFeed->ib += cb;
    // A caller that knows its source is read in order can have the next block
    // on its way into the cache while the reader works on this one; the
    // hardware prefetcher stops at each page boundary.
    if (lpFeed->fReadAhead) {
        const size_t cbAhead = std::min(cbBlock, lpFeed->cb - lpFeed->ib);
        for (size_t ib = 0; ib < cbAhead; ib += 64)
            __builtin_prefetch(lpFeed->lpb + lpFeed->ib + ib);
    }
    return static_cast<uint16_t>(cb);
}

size_t nFnReadFields(const Corpus &corpus, bool fReadAhead, uint64_t *lpqwSink) {
    MemoryFeed feed{corpus.ab.data(), corpus.ab.size(), 0, fReadAhead};
    uint32_t dwStatus = DSP_OK;
    SFREC *lpRec = lpibmsfFnCreate(nullptr, cbSfCapacity, &cbFnFeed, &feed, &dwStatus);
    if (lpRec == nullptr) return 0;
    size_t n = 0;
    for (int32_t cb; (cb = fFnGetNextIBMSF(lpRec, &dwStatus)) != 0; ++n)
        *lpqwSink += static_cast<uint32_t>(cb) + lpRec->abData[0];
    fFnDestroyIBMSF(lpRec);
    return dwStatus == DSP_OK ? n : 0;
}

size_t nFnReadLines(const Corpus &corpus, LineLayout layout, bool fReadAhead,
                    uint64_t *lpqwSink) {
    const LineFormat format = FnLineFormat(layout);
    alignas(8) uint8_t abDesc[320] = {};
    alignas(8) uint8_t abJob[128] = {};
    memcpy(abDesc + 288, &format.wFormat, 2);
    memcpy(abDesc + 292, &format.cbMaxRecord, 2);
    MemoryFeed feed{corpus.ab.data(), corpus.ab.size(), 0, fReadAhead};
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = DSP_OK;
    if (!fFnVOK32XX_CreateIndirect(abJob, abDesc, &lpRec, &feed, &cbFnFeed, &dwStatus))
        return 0;
    size_t n = 0;
    for (uint16_t cb; (cb = cFnVOK32XX_GetNext(lpRec, &dwStatus)) != 0; ++n)
        *lpqwSink += cb + lpRec->abData[0];
    fFnVOK32XX_Destroy(lpRec, abJob);
    return dwStatus == DSP_OK ? n : 0;
}

// ---- The physical floor ---------------------------------------------------------
//
// memcpy of the bytes, and the bare loop (BareLoops.h) that also copies each
// record out: the least a reader does before any check or API call.

// The corpus in 4096-byte blocks into a buffer, and with nPasses 2 on from
// there into a record area, as a reader moves its data bytes.
size_t nFnCopyBlocks(const Corpus &corpus, int nPasses, uint8_t *lpbBuffer,
                     uint8_t *lpbRecord) {
    for (size_t ib = 0; ib < corpus.ab.size(); ib += cbBlock) {
        const size_t cb = std::min(cbBlock, corpus.ab.size() - ib);
        memcpy(lpbBuffer, corpus.ab.data() + ib, cb);
        if (nPasses == 2) memcpy(lpbRecord, lpbBuffer, cb);
        benchmark::ClobberMemory();
    }
    return corpus.nRecords;
}

// ---- What a caller writes by hand ---------------------------------------------------

uint16_t wFnBig(const uint8_t *lpb) {
    return static_cast<uint16_t>(lpb[0] << 8 | lpb[1]);
}

// fread of the framing bytes, the 9-byte header, then the rest of the record,
// from fp (closed at the end).
size_t nFnFreadFields(FILE *fp, SfFraming framing, uint8_t *lpbBody, uint64_t *lpqwSink) {
    if (fp == nullptr) return 0;
    const size_t cbFrame = framing == SfFraming::kRdw      ? 4
                           : framing == SfFraming::kPrefix ? 2
                                                           : 0;
    uint8_t abFrame[4], abHeader[9];
    size_t n = 0;
    for (;; ++n) {
        if (cbFrame != 0 && fread(abFrame, 1, cbFrame, fp) != cbFrame) break;
        if (fread(abHeader, 1, 9, fp) != 9 || abHeader[0] != 0x5A) break;
        const size_t cbSF = wFnBig(abHeader + 1);
        const size_t cbRecord = framing == SfFraming::kRdw      ? wFnBig(abFrame) - 13
                                : framing == SfFraming::kPrefix ? wFnBig(abFrame) - 9
                                                                : cbSF - 8;
        if (cbRecord > cbSfCapacity || fread(lpbBody, 1, cbRecord, fp) != cbRecord) break;
        *lpqwSink += cbSF + lpbBody[0];
    }
    fclose(fp);
    return n;
}

// Reads one record behind its RDW; 0 at the end.
size_t cbFnFreadVariable(FILE *fp, uint8_t *lpbBody, uint64_t *lpqwSink) {
    uint8_t abRdw[4];
    if (fread(abRdw, 1, 4, fp) != 4) return 0;
    const size_t cbBody = wFnBig(abRdw) - 4;
    if (cbBody > cbSfCapacity || fread(lpbBody, 1, cbBody, fp) != cbBody) return 0;
    *lpqwSink += cbBody + lpbBody[0];
    return cbBody + 4;
}

size_t nFnFreadLines(const Corpus &corpus, LineLayout layout, uint8_t *lpbBody,
                     uint64_t *lpqwSink) {
    FILE *fp = fmemopen(const_cast<uint8_t *>(corpus.ab.data()), corpus.ab.size(), "r");
    if (fp == nullptr) return 0;
    const size_t cbFixed = FnLineFormat(LineLayout::kFixed).cbMaxRecord;
    size_t n = 0;
    if (layout == LineLayout::kFixed) {
        for (; fread(lpbBody, 1, cbFixed, fp) == cbFixed; ++n)
            *lpqwSink += cbFixed + lpbBody[1];
    } else if (layout == LineLayout::kVariable) {
        while (cbFnFreadVariable(fp, lpbBody, lpqwSink) != 0) ++n;
    } else {
        uint8_t abBdw[4];
        while (fread(abBdw, 1, 4, fp) == 4) {
            for (size_t cbLeft = wFnBig(abBdw) - 4, cb; cbLeft != 0; cbLeft -= cb, ++n)
                if ((cb = cbFnFreadVariable(fp, lpbBody, lpqwSink)) == 0) break;
        }
    }
    fclose(fp);
    return n;
}

// An input stream straight over the corpus bytes, without copying them.
class MemoryStreamBuf : public std::streambuf {
  public:
    explicit MemoryStreamBuf(const Bytes &ab) {
        char *lpch = reinterpret_cast<char *>(const_cast<uint8_t *>(ab.data()));
        setg(lpch, lpch, lpch + ab.size());
    }
};

size_t nFnGetlines(const Corpus &corpus, uint64_t *lpqwSink) {
    MemoryStreamBuf buf(corpus.ab);
    std::istream is(&buf);
    std::string sLine;
    size_t n = 0;
    for (; std::getline(is, sLine); ++n)
        *lpqwSink += sLine.size() + (sLine.empty() ? 0 : static_cast<uint8_t>(sLine[0]));
    return n;
}

// ---- From a file: the reader's path source, and dspdump ---------------------------

size_t nFnReadFieldsFromPath(const std::string &sPath, uint64_t *lpqwSink) {
    uint32_t dwStatus = DSP_OK;
    SFREC *lpRec =
        lpibmsfFnCreate(sPath.c_str(), cbSfCapacity, nullptr, nullptr, &dwStatus);
    if (lpRec == nullptr) return 0;
    size_t n = 0;
    for (int32_t cb; (cb = fFnGetNextIBMSF(lpRec, &dwStatus)) != 0; ++n)
        *lpqwSink += static_cast<uint32_t>(cb) + lpRec->abData[0];
    fFnDestroyIBMSF(lpRec);
    return dwStatus == DSP_OK ? n : 0;
}

Bytes FnFileBytes(const std::string &sPath) {
    Bytes ab;
    FILE *fp = fopen(sPath.c_str(), "rb");
    if (fp == nullptr) return ab;
    uint8_t abChunk[1 << 16];
    for (size_t cb; (cb = fread(abChunk, 1, sizeof abChunk, fp)) != 0;)
        ab.insert(ab.end(), abChunk, abChunk + cb);
    fclose(fp);
    return ab;
}

bool fFnWriteFile(const std::string &sPath, const Bytes &ab) {
    FILE *fp = fopen(sPath.c_str(), "wb");
    if (fp == nullptr) return false;
    const bool fOk = fwrite(ab.data(), 1, ab.size(), fp) == ab.size();
    return fclose(fp) == 0 && fOk;
}

double dFnChildCpuSeconds() {
    rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

// Runs the command with its output to /dev/null; true when it exits with 0.
bool fFnRunQuietly(std::vector<std::string> asArgs) {
    std::vector<char *> argv;
    for (std::string &sArg : asArgs) argv.push_back(sArg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int nError =
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int nStatus = 0;
    return nError == 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus) &&
           WEXITSTATUS(nStatus) == 0;
}

// dspdump over a file, timed by the CPU time the child process used.
void vFnRegisterDspdump(const std::string &sName, const std::string &sDspdump,
                        const char *szMode, const std::string &sPath, size_t cbFile) {
    benchmark::RegisterBenchmark(
        sName.c_str(),
        [=](benchmark::State &state) {
            for (auto _ : state) {
                std::vector<std::string> asArgs = {sDspdump, sPath};
                if (*szMode != 0) asArgs.insert(asArgs.begin() + 1, szMode);
                const double dStart = dFnChildCpuSeconds();
                if (!fFnRunQuietly(asArgs)) {
                    state.SkipWithError("dspdump failed");
                    break;
                }
                state.SetIterationTime(dFnChildCpuSeconds() - dStart);
            }
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                    static_cast<int64_t>(cbFile));
        })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

// ---- Registration ------------------------------------------------------------------

// Runs one pass per iteration; a pass that does not deliver every record of
// the corpus is an error, so a broken corpus or reader never shows as fast.
void vFnRegister(const std::string &sName, const Corpus &corpus,
                 std::function<size_t(uint64_t *)> fnPass) {
    benchmark::RegisterBenchmark(sName.c_str(), [&corpus,
                                                 fnPass](benchmark::State &state) {
        for (auto _ : state) {
            uint64_t qwSink = 0;
            const size_t n = fnPass(&qwSink);
            benchmark::DoNotOptimize(qwSink);
            if (n != corpus.nRecords) {
                state.SkipWithError("not every record was delivered");
                break;
            }
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                static_cast<int64_t>(corpus.ab.size()));
    })->Unit(benchmark::kMillisecond);
}

// The buffers the baselines copy into, escaped so no copy is optimised away.
struct Scratch {
    Bytes abBuffer = Bytes(cbBlock);
    Bytes abRecord = Bytes(size_t{cbSfCapacity} + 1);
};

void vFnRegisterFloor(const Corpus &corpus, BareShape shape, Scratch &scratch) {
    benchmark::DoNotOptimize(scratch.abBuffer.data());
    benchmark::DoNotOptimize(scratch.abRecord.data());
    for (int nPasses : {1, 2}) {
        vFnRegister(nPasses == 1 ? "memcpy/" + corpus.sName : "memcpy2/" + corpus.sName,
                    corpus, [&corpus, &scratch, nPasses](uint64_t *) {
                        return nFnCopyBlocks(corpus, nPasses, scratch.abBuffer.data(),
                                             scratch.abRecord.data());
                    });
    }
    vFnRegister("bare/" + corpus.sName, corpus,
                [&corpus, &scratch, shape](uint64_t *lpq) {
                    return nFnBareRecords(corpus, shape, scratch.abBuffer.data(),
                                          scratch.abRecord.data(), lpq);
                });
}

// The file-path source and a caller's fread loop over the same file.
void vFnRegisterFileReaders(const Corpus &corpus, const std::string &sPath,
                            Scratch &scratch) {
    vFnRegister("path/" + corpus.sName, corpus,
                [sPath](uint64_t *lpq) { return nFnReadFieldsFromPath(sPath, lpq); });
    vFnRegister("fread-file/" + corpus.sName, corpus, [sPath, &scratch](uint64_t *lpq) {
        return nFnFreadFields(fopen(sPath.c_str(), "rb"), SfFraming::kPlain,
                              scratch.abRecord.data(), lpq);
    });
}

// A FOP-made stream from a file; its field count from one read.
Corpus FnFopCorpus(const std::string &sName, const std::string &sPath) {
    Corpus corpus{sName, FnFileBytes(sPath), 0};
    uint64_t qwSink = 0;
    corpus.nRecords = nFnReadFields(corpus, false, &qwSink);
    return corpus;
}

// The rows of the issue's table: each measured against its own reference.
std::vector<GoalRow> FnIssueGoals() {
    std::vector<GoalRow> aGoals = {
        {"sf, file path, vs fread loop on the file", "path/sf-plain",
         "fread-file/sf-plain", 2.0},
        {"sf, callback, vs memcpy twice", "reader/sf-plain", "memcpy2/sf-plain", 0.9},
        {"FOP stream (64 MiB), callback, vs memcpy", "reader/fop", "memcpy/fop", 0.3},
    };
    for (const char *szLayout : {"fixed", "variable", "blocked", "text-cc", "text-ff"})
        aGoals.push_back({std::string(szLayout) + " vs bare loop",
                          std::string("reader/") + szLayout,
                          std::string("bare/") + szLayout, 0.8});
    for (const char *szLayout : {"text-cc", "text-ff"})
        aGoals.push_back({std::string(szLayout) + " vs std::getline",
                          std::string("reader/") + szLayout,
                          std::string("getline/") + szLayout, 2.0});
    aGoals.push_back({"dspdump listing, FOP 256 MiB, vs callback reader",
                      "dspdump/fop256", "reader/fop256", 0.15});
    aGoals.push_back({"dspdump --json, FOP 256 MiB, vs callback reader",
                      "dspdump--json/fop256", "reader/fop256", 0.1});
    aGoals.push_back({"dspdump --stats, FOP 256 MiB, vs callback reader",
                      "dspdump--stats/fop256", "reader/fop256", 0.5});
    return aGoals;
}

// Parses and removes --NAME=VALUE, which the benchmark library would refuse.
std::string sFnTakeFlag(const std::string &sName, int *lpArgc, char **argv) {
    const std::string sFlag = "--" + sName + "=";
    const char *const lpszFlag = sFlag.c_str();
    std::string sPath;
    int iOut = 1;
    for (int i = 1; i < *lpArgc; ++i) {
        if (strncmp(argv[i], lpszFlag, strlen(lpszFlag)) == 0)
            sPath = argv[i] + strlen(lpszFlag);
        else
            argv[iOut++] = argv[i];
    }
    *lpArgc = iOut;
    return sPath;
}

}  // namespace

}  // namespace vokdsp_bench

int main(int argc, char **argv) {
    using namespace vokdsp_bench;
    const std::string sTableOut = sFnTakeFlag("table_out", &argc, argv);
    const std::string sSfFile = sFnTakeFlag("sf_file", &argc, argv);
    const std::string sFop64 = sFnTakeFlag("fop64", &argc, argv);
    const std::string sFop256 = sFnTakeFlag("fop256", &argc, argv);
    const std::string sDspdump = sFnTakeFlag("dspdump", &argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::deque<Corpus> aCorpora;  // stable addresses for the registered lambdas
    Scratch scratch;
    std::vector<TableRow> aRows;
    for (SfFraming framing : {SfFraming::kPlain, SfFraming::kRdw, SfFraming::kPrefix}) {
        const Corpus &corpus = aCorpora.emplace_back(FnSfCorpus(framing, cbCorpus));
        const bool fPlain = framing == SfFraming::kPlain;
        aRows.push_back({corpus.sName, corpus.ab.size(), corpus.nRecords, "fread",
                         fPlain ? 0.5 : 0, fPlain ? 3.0 : 0});
        for (bool fAhead : {false, true}) {
            vFnRegister((fAhead ? "reader-ahead/" : "reader/") + corpus.sName, corpus,
                        [&corpus, fAhead](uint64_t *lpq) {
                            return nFnReadFields(corpus, fAhead, lpq);
                        });
        }
        vFnRegisterFloor(corpus, FnBareShape(framing), scratch);
        if (fPlain && !sSfFile.empty() && fFnWriteFile(sSfFile, corpus.ab))
            vFnRegisterFileReaders(corpus, sSfFile, scratch);
        vFnRegister("fread/" + corpus.sName, corpus,
                    [&corpus, &scratch, framing](uint64_t *lpq) {
                        FILE *fp = fmemopen(const_cast<uint8_t *>(corpus.ab.data()),
                                            corpus.ab.size(), "r");
                        return nFnFreadFields(fp, framing, scratch.abRecord.data(), lpq);
                    });
    }
    for (LineLayout layout :
         {LineLayout::kFixed, LineLayout::kVariable, LineLayout::kBlocked,
          LineLayout::kTextCC, LineLayout::kTextFF}) {
        const Corpus &corpus = aCorpora.emplace_back(FnLineCorpus(layout, cbCorpus));
        const bool fText = layout == LineLayout::kTextCC || layout == LineLayout::kTextFF;
        aRows.push_back({corpus.sName, corpus.ab.size(), corpus.nRecords,
                         fText ? "getline" : "fread", fText ? 0 : 0.25, fText ? 2.0 : 0});
        for (bool fAhead : {false, true}) {
            vFnRegister((fAhead ? "reader-ahead/" : "reader/") + corpus.sName, corpus,
                        [&corpus, layout, fAhead](uint64_t *lpq) {
                            return nFnReadLines(corpus, layout, fAhead, lpq);
                        });
        }
        vFnRegisterFloor(corpus, FnBareShape(layout), scratch);
        if (fText) {
            vFnRegister("getline/" + corpus.sName, corpus,
                        [&corpus](uint64_t *lpq) { return nFnGetlines(corpus, lpq); });
        } else {
            vFnRegister("fread/" + corpus.sName, corpus,
                        [&corpus, &scratch, layout](uint64_t *lpq) {
                            return nFnFreadLines(corpus, layout, scratch.abRecord.data(),
                                                 lpq);
                        });
        }
    }

    if (!sFop64.empty()) {
        Corpus &fop = aCorpora.emplace_back(FnFopCorpus("fop", sFop64));
        vFnRegister("reader/fop", fop,
                    [&fop](uint64_t *lpq) { return nFnReadFields(fop, false, lpq); });
        vFnRegisterFloor(fop, FnBareShape(SfFraming::kPlain), scratch);
    }
    if (!sFop256.empty()) {
        Corpus &fop = aCorpora.emplace_back(FnFopCorpus("fop256", sFop256));
        vFnRegister("reader/fop256", fop,
                    [&fop](uint64_t *lpq) { return nFnReadFields(fop, false, lpq); });
        for (const char *szMode : {"", "--json", "--stats"})
            vFnRegisterDspdump(std::string("dspdump") + szMode + "/fop256", sDspdump,
                               szMode, sFop256, fop.ab.size());
    }

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::string sTable = sFnGoalTable(FnIssueGoals(), reporter.Medians()) + "\n" +
                               sFnRatioTable(aRows, reporter.Medians());
    printf("\n%s", sTable.c_str());
    if (!sTableOut.empty()) {
        FILE *fp = fopen(sTableOut.c_str(), "w");
        if (fp == nullptr || fputs(sTable.c_str(), fp) < 0 || fclose(fp) != 0) {
            perror(sTableOut.c_str());
            return 1;
        }
    }
    benchmark::Shutdown();
    return 0;
}
