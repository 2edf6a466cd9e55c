// Status-word stores and the byte-order helpers used by both readers.
#ifndef VOKDSP_COMMON_STATUS_H
#define VOKDSP_COMMON_STATUS_H

#include <stdint.h>

#include "vokDSPsr.h"

namespace vokdsp {

// Codes whose first occurrence is the one the caller should see.
inline void vFnStoreFirstStatus(uint32_t *lpdwStatus, uint32_t dwCode) {
    if (*lpdwStatus == DSP_OK) *lpdwStatus = dwCode;
}

// Codes that replace whatever the word held.
inline void vFnStoreStatus(uint32_t *lpdwStatus, uint32_t dwCode) {
    *lpdwStatus = dwCode;
}

// Every length in the input formats is big-endian.
inline uint16_t wFnBigEndian(uint8_t bHigh, uint8_t bLow) {
    return static_cast<uint16_t>((bHigh << 8) | bLow);
}

// A structured-field identifier: three big-endian bytes in the low 24 bits.
inline uint32_t dwFnBigEndian24(uint8_t bHigh, uint8_t bMid, uint8_t bLow) {
    return (uint32_t{bHigh} << 16) | (uint32_t{bMid} << 8) | bLow;
}

}  // namespace vokdsp

#endif
