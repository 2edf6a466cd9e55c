// Structured-field stream detection: the known-identifier table and the
// classifier of a stream's first block.
//
// The classifier is a pure function of the block's bytes and their count, so
// a block can be classified without any source; the reader's create runs it
// over the first block it reads.
#ifndef VOKDSP_IBMSF_DETECTSTREAM_H
#define VOKDSP_IBMSF_DETECTSTREAM_H

#include <stddef.h>
#include <stdint.h>

namespace vokdsp::ibmsf {

// Stream-kind word: the framing bits and the class-byte bit. A plain stream
// sets neither framing bit; an accepted stream has 0x0010, 0x8010 or 0x0050.
constexpr uint16_t SFSTREAM_RDW = 0x8000;     // every field inside a 4-byte RDW record
constexpr uint16_t SFSTREAM_PREFIX = 0x0040;  // every field after a 2-byte length prefix
constexpr uint16_t SFSTREAM_D3 = 0x0010;      // the first field's class byte is 0xD3

constexpr uint8_t bSFIntroducer = 0x5A;
constexpr uint8_t bSFClassD3 = 0xD3;

// The identifiers a first field may carry, in table order; D3A8D9 stands
// twice (entries 111 and 112). The 0 entry after them ends the table.
constexpr size_t cKnownSFID = 113;
extern const uint32_t adwKnownSFID[cKnownSFID + 1];

// True when dwID equals an entry in front of the table's 0 entry.
bool fFnKnownSFID(uint32_t dwID);

// The verdict on a first block.
struct StreamClass {
    uint16_t wStreamKind = 0;  // 0 when the stream is refused
    uint32_t dwID = 0;         // first identifier; 0 when no framing fits
    bool fSearched = false;    // the identifier was looked up in the table...
    bool fFound = false;       // ...and found there

    // A refusal the caller hears of as DSP_ERR_UNKNOWN_SF_ID.
    bool fUnknownID() const { return fSearched && !fFound; }
};

// Classifies the cb bytes at lpb (cb at most 4096): framing by the first
// field's introducer or class byte, checked against the next field where the
// block shows it; then the first class byte and the table. Strict: a stream
// whose first class byte, or whose next class byte inside the block, is not
// 0xD3 is refused in every framing. Bytes at or beyond cb count as 0; no
// byte outside the cb bytes is read.
StreamClass ClassifyFirstBlock(const uint8_t *lpb, uint16_t cb);

}  // namespace vokdsp::ibmsf

#endif
