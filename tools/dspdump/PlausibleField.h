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

// The size with its introducer of the field at lpb[0], or 0 unless it has the
// introducer 0x5A, a length of at least 8, class byte 0xD3, and ends where
// the input ends (fInputEnds: the input ends at lpb + cb) or where another
// field with the same three marks starts.
uint32_t cbFnPlausibleField(const uint8_t *lpb, size_t cb, bool fInputEnds);

// The same for a field behind cbFraming bytes of framing: 4 for a record
// descriptor word, which counts the whole record, 2 for a length prefix,
// which counts the bytes after it; the count must agree with the field's
// length. Returns the size of the record, framing included, or 0.
uint32_t cbFnPlausibleRecord(const uint8_t *lpb, size_t cb, bool fInputEnds,
                             uint32_t cbFraming);

}  // namespace dspdump

#endif
