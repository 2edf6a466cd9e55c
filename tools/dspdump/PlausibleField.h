// Whether a structured field plausibly starts at a byte: used to resume after
// damage and to list leading fields the reader does not start on.
#ifndef VOKDSP_DSPDUMP_PLAUSIBLEFIELD_H
#define VOKDSP_DSPDUMP_PLAUSIBLEFIELD_H

#include <stddef.h>
#include <stdint.h>

namespace dspdump {

// Bytes a caller supplies so that cbFnPlausibleField can decide: the longest
// field and the header of the one after it.
constexpr size_t cbPlausibleLookahead = 65536 + 9;

// The size with its introducer of the field at lpb[0], or 0 unless it has the
// introducer 0x5A, a length of at least 8, class byte 0xD3, and ends where
// the input ends (fInputEnds: the input ends at lpb + cb) or where another
// field with the same three marks starts.
uint32_t cbFnPlausibleField(const uint8_t *lpb, size_t cb, bool fInputEnds);

}  // namespace dspdump

#endif
