// The read-callback contract shared by both readers: block size, the clamp on
// what a callback may return, and the release request.
#ifndef VOKDSP_COMMON_READSOURCE_H
#define VOKDSP_COMMON_READSOURCE_H

#include <stdint.h>

#include "vokDSPsr.h"

namespace vokdsp {

// Every fill request asks for one full block.
constexpr uint16_t cbReadBlock = 4096;

// Asks the callback for the next block. A callback that claims more than a
// block is taken at a block, so no reader ever indexes past its buffer.
inline uint16_t cbFnRequestBlock(lpfnReadBlock lpfnRead, uint8_t *lpbBuffer,
                                 void *lpContext, uint32_t *lpdwStatus) {
    uint16_t cb = lpfnRead(lpbBuffer, cbReadBlock, lpContext, lpdwStatus);
    return cb > cbReadBlock ? cbReadBlock : cb;
}

// Tells the callback that the source may be released. Neither the count it
// returns nor what it stores in the local status word is looked at.
inline void vFnReleaseSource(lpfnReadBlock lpfnRead, uint8_t *lpbBuffer,
                             void *lpContext) {
    uint32_t dwDiscarded = DSP_OK;
    (void)lpfnRead(lpbBuffer, 0, lpContext, &dwDiscarded);
}

}  // namespace vokdsp

#endif
