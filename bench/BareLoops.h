// The least any reader behind a 4096-byte input buffer does for each record,
// written inline for one layout: a table row that shows how far a target lies
// from what the machine allows once records, not bytes, set the pace.
#ifndef VOKDSP_BENCH_BARELOOPS_H
#define VOKDSP_BENCH_BARELOOPS_H

#include <stddef.h>
#include <stdint.h>

#include "Corpus.h"

namespace vokdsp_bench {

// How a bare loop finds where each record ends.
enum class BareShape {
    kFixed,     // 133 bytes
    kRdw,       // a big-endian length that counts itself (variable records, RDW fields)
    kBlocked,   // RDW records inside BDW blocks
    kPrefixed,  // a big-endian count of the bytes that follow it
    kField,     // 5A and a big-endian length that counts itself
    kLine,      // through the next LF
};

BareShape FnBareShape(SfFraming framing);
BareShape FnBareShape(LineLayout layout);

// Copies the corpus into lpbBuffer a block at a time (each block begins at
// the first record the previous one did not hold whole), copies each
// record's bytes into lpbRecord and adds its length and first byte to
// *lpqwSink. No checks, no control bytes, no blank fill, no call per record.
// Returns the number of records.
size_t nFnBareRecords(const Corpus &corpus, BareShape shape, uint8_t *lpbBuffer,
                      uint8_t *lpbRecord, uint64_t *lpqwSink);

}  // namespace vokdsp_bench

#endif
