// The structured-field reader's control block and its buffered byte source.
//
// One zero-filled allocation holds the control block IBMSFIO, whose last
// member is the record area SFREC, and the capacity's worth of data bytes
// behind it; a reader over a file path also has its file chunk there, behind
// the data. The caller's handle is the record area's address; the control
// block is the object that encloses it.
#ifndef VOKDSP_IBMSF_IBMSFIO_H
#define VOKDSP_IBMSF_IBMSFIO_H

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include "AlignedBlock.h"
#include "ReadSource.h"
#include "WideVectors.h"
#include "vokDSPsr.h"

namespace vokdsp::ibmsf {

// Extension bytes behind the largest extension-length byte (255 - 1).
constexpr size_t cbExtensionMax = 254;

// A file is read in chunks of this size; the 4096-byte fills are cut from
// them where they lie, so most fills from a file cost neither a read call
// nor a copy. The file is read, not mapped: a file cut short or failing
// while it is read is then an error status, never a SIGBUS. Larger reads
// cost the kernel less per byte (64 KiB: 1.8, 256 KiB: 1.9, 1 MiB: 2.35
// times a caller's fread loop); a pipe still gives what it has.
constexpr size_t cbFileChunk = 1024 * 1024;

// Data of at most this many bytes is copied as two 16-byte moves that end
// where the data ends.
constexpr size_t cbShortCopy = 32;

struct IBMSFIO {
    int fdFile;               // the file opened from the path; -1 with a callback
    uint32_t ibChunk;         // next byte of lpbChunk to hand out
    uint32_t cbChunk;         // bytes of lpbChunk not yet handed out
    uint8_t *lpbChunk;        // cbFileChunk bytes behind the data; null with a callback
    bool fEndOfFile;          // the file gave 0 or an error: never read again
    uint16_t wStreamKind;     // SFSTREAM_* bits
    uint8_t cbFraming;        // bytes in front of each introducer: 0, 2 or 4
    uint8_t cbFramingBias;    // added to a framing length to count the framing: 0 or 2
    uint16_t cbBuffer;        // bytes of the current block
    uint16_t cB;              // bytes of the current block not yet taken
    uint16_t ibBuffer;        // next byte to take; cB + ibBuffer == cbBuffer
    uint16_t cbDataMax;       // capacity of rec.abData
    bool fWideVectors;        // data moves in 32-byte vectors
    uint32_t cbConsumed;      // stream bytes taken since the first
    const uint8_t *lpbBlock;  // the current block: abBuffer, or a piece of lpbChunk
    void *lpAllocation;       // what create allocated, this control block in it
    // Cache-line aligned. A string move, as a callback's library copy makes
    // of a block, runs several times slower when its destination lies 1-31
    // bytes past its source modulo 4096; from a source at a multiple of 16
    // bytes off a 64-byte boundary, as large allocations and mapped files
    // give, this buffer never lies so.
    alignas(64) uint8_t abBuffer[cbReadBlock];
    uint8_t abExtension[cbExtensionMax];
    uint16_t cbExtension;  // bytes in abExtension
    void *lpContext;
    lpfnReadBlock lpfnRead;  // null with a file source
    // Room in front of rec that a short data copy may overwrite before the
    // record header is stored over its own part of it (cbShortCopy bytes with
    // the header).
    uint8_t abCopySlack[cbShortCopy - offsetof(SFREC, abData)];
    SFREC rec;  // the caller's record area; abData runs to the allocation's end
};

// A short copy also reads up to cbShortCopy bytes in front of a field's data,
// and that is never in front of the control block or the file chunk.
static_assert(offsetof(IBMSFIO, abBuffer) >= cbShortCopy, "room before the buffer");
static_assert(offsetof(IBMSFIO, rec) + offsetof(SFREC, abData) -
                      offsetof(IBMSFIO, abCopySlack) >=
                  cbShortCopy,
              "room before the record area");

// Bytes of one allocation: control block with record header, then the data,
// then for a file source the chunk, aligned for the block copies out of it;
// and what aligning the control block can skip.
inline size_t cbFnChunkOffset(uint16_t cbDataMax) {
    return (sizeof(IBMSFIO) + size_t{cbDataMax} + 63) & ~size_t{63};
}

inline size_t cbFnReaderAllocation(uint16_t cbDataMax, bool fFile) {
    return alignof(IBMSFIO) - 1 +
           (fFile ? cbFnChunkOffset(cbDataMax) + cbFileChunk
                  : sizeof(IBMSFIO) + size_t{cbDataMax});
}

inline IBMSFIO *lpFnReaderOf(SFREC *lpRec) {
    return reinterpret_cast<IBMSFIO *>(reinterpret_cast<uint8_t *>(lpRec) -
                                       offsetof(IBMSFIO, rec));
}

// Tops the chunk up to at least one whole block unless the file ends, the
// bytes not yet handed out moved to its front: every block but the last has
// 4096 bytes, as fread gives them, while a pipe or a terminal is never waited
// on for a whole chunk. The end of the file, or an error, is final.
inline void vFnTopUpChunk(IBMSFIO *lpio) {
    memmove(lpio->lpbChunk, lpio->lpbChunk + lpio->ibChunk, lpio->cbChunk);
    lpio->ibChunk = 0;
    while (!lpio->fEndOfFile && lpio->cbChunk < cbReadBlock) {
        const ssize_t cbRead = read(lpio->fdFile, lpio->lpbChunk + lpio->cbChunk,
                                    cbFileChunk - lpio->cbChunk);
        if (cbRead < 0 && errno == EINTR) continue;
        if (cbRead <= 0)
            lpio->fEndOfFile = true;
        else
            lpio->cbChunk += static_cast<uint32_t>(cbRead);
    }
}

// Cuts the next block, up to 4096 bytes, from the file's chunk; the block is
// taken where it lies, uncopied. 0 at the end of the file or on an error.
inline uint16_t cbFnFileBlock(IBMSFIO *lpio) {
    if (lpio->cbChunk < cbReadBlock) vFnTopUpChunk(lpio);
    const uint16_t cb =
        lpio->cbChunk < cbReadBlock ? static_cast<uint16_t>(lpio->cbChunk) : cbReadBlock;
    lpio->lpbBlock = lpio->lpbChunk + lpio->ibChunk;
    lpio->ibChunk += cb;
    lpio->cbChunk -= cb;
    return cb;
}

// Reads the next block from the file or the callback, position back to 0.
// Returns the count, which is also the count of bytes not yet taken.
inline uint16_t FillBuffer(IBMSFIO *lpio, uint32_t *lpdwStatus) {
    lpio->ibBuffer = 0;
    lpio->lpbBlock = lpio->abBuffer;
    const uint16_t cb = lpio->lpfnRead != nullptr
                            ? cbFnRequestBlock(lpio->lpfnRead, lpio->abBuffer,
                                               lpio->lpContext, lpdwStatus)
                            : cbFnFileBlock(lpio);
    lpio->cbBuffer = cb;
    lpio->cB = cb;
    return cb;
}

// Takes the next byte into *lpb, refilling when the buffer is used up.
// False at end of input: the running get-next then fails.
inline bool GetByte(IBMSFIO *lpio, uint32_t *lpdwStatus, uint8_t *lpb) {
    if (lpio->cB == 0 && FillBuffer(lpio, lpdwStatus) == 0) return false;
    lpio->cB--;
    lpio->cbConsumed++;
    *lpb = lpio->lpbBlock[lpio->ibBuffer++];
    return true;
}

// Takes cb header or framing bytes: straight from the buffer when it holds
// them all, else one at a time across the refill. False at end of input,
// having counted only the bytes it took.
inline bool fFnGetBytewise(IBMSFIO *lpio, uint32_t *lpdwStatus, uint8_t *lpb, size_t cb) {
    if (lpio->cB >= cb) {
        memcpy(lpb, lpio->lpbBlock + lpio->ibBuffer, cb);
        lpio->cB -= static_cast<uint16_t>(cb);
        lpio->ibBuffer += static_cast<uint16_t>(cb);
        lpio->cbConsumed += static_cast<uint32_t>(cb);
        return true;
    }
    for (size_t ib = 0; ib < cb; ++ib)
        if (!GetByte(lpio, lpdwStatus, lpb + ib)) return false;
    return true;
}

// Takes the next cb bytes in block copies into lpbDest, or drops them when
// lpbDest is null. The whole count is added to cbConsumed first. False when
// the input runs out first; the bytes copied so far stay in lpbDest.
inline bool vFnGetNbytes(uint8_t *lpbDest, IBMSFIO *lpio, uint16_t cb,
                         uint32_t *lpdwStatus) {
    lpio->cbConsumed += cb;
    while (cb > lpio->cB) {
        if (lpbDest != nullptr) {
            vFnCopyBytes(lpbDest, lpio->lpbBlock + lpio->ibBuffer, lpio->cB,
                         lpio->fWideVectors);
            lpbDest += lpio->cB;
        }
        cb -= lpio->cB;
        if (FillBuffer(lpio, lpdwStatus) == 0) return false;
    }
    if (lpbDest != nullptr)
        vFnCopyBytes(lpbDest, lpio->lpbBlock + lpio->ibBuffer, cb, lpio->fWideVectors);
    lpio->cB -= cb;
    lpio->ibBuffer += cb;
    return true;
}

}  // namespace vokdsp::ibmsf

#endif
