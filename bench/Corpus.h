// Print-stream corpora generated in memory from fixed seeds: the same bytes on
// every run and every machine. The benchmarks read them at about 64 MiB each;
// the allocation and corpus suites read smaller ones built the same way.
#ifndef VOKDSP_BENCH_CORPUS_H
#define VOKDSP_BENCH_CORPUS_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace vokdsp_bench {

using Bytes = std::vector<uint8_t>;

struct Corpus {
    std::string sName;
    Bytes ab;
    size_t nRecords = 0;  // records or fields a reader delivers from ab
};

// Structured-field streams: the same fields back to back, each in an RDW
// record, or each behind a two-byte length prefix. Many fields of 10 to 100
// bytes, some of 1 to 8 KiB, a few 32 KiB image fields; some with extensions.
enum class SfFraming { kPlain, kRdw, kPrefix };

// Line data: one sequence of print lines (ASA carriage control, 60 lines a
// page, one embedded structured field a page) in each layout.
enum class LineLayout {
    kFixed,     // 133-byte records: carriage control, text padded with blanks
    kVariable,  // RDW, carriage control, text
    kBlocked,   // the variable records in blocks of at most 27998 bytes
    kTextCC,    // carriage control, text, CR LF
    kTextFF,    // text, CR LF; a form feed opens each page; no embedded fields
};

// The description a line-data reader is created with for each layout.
struct LineFormat {
    uint16_t wFormat;
    uint16_t cbMaxRecord;
};
LineFormat FnLineFormat(LineLayout layout);

// The capacity a structured-field reader is created with: the largest field.
constexpr uint16_t cbSfCapacity = 65535;

// Corpora of at least cbTarget bytes, ending at a record boundary.
Corpus FnSfCorpus(SfFraming framing, size_t cbTarget);
Corpus FnLineCorpus(LineLayout layout, size_t cbTarget);

const char *lpszFnName(SfFraming framing);
const char *lpszFnName(LineLayout layout);

}  // namespace vokdsp_bench

#endif
