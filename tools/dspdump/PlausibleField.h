// Whether a structured field plausibly starts at a byte: used to resume after
// damage and to list leading fields the reader does not start on.
#ifndef VOKDSP_DSPDUMP_PLAUSIBLEFIELD_H
#define VOKDSP_DSPDUMP_PLAUSIBLEFIELD_H

#include <stddef.h>
#include <stdint.h>

namespace dspdump {

// Bytes a caller supplies so that cbFnPlausibleRecord can decide: the longest
// framed field and the framing and header of the one after it.
constexpr size_t cbPlausibleLookahead = 65536 + 16;

// The size of the record at lpb, framing included, or 0 unless the field
// behind its cbFraming bytes of framing (0 plain; 4 a record descriptor word,
// which counts the whole record; 2 a length prefix, which counts the bytes
// after it) has the introducer 0x5A, a length of at least 8 that the
// framing's count agrees with, and class byte 0xD3, and the record ends where
// the input ends (fInputEnds: the input ends at lpb + cb) or where another
// such record starts.
uint32_t cbFnPlausibleRecord(const uint8_t *lpb, size_t cb, bool fInputEnds,
                             uint32_t cbFraming);

}  // namespace dspdump

#endif
