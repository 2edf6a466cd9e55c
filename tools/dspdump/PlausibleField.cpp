#include "PlausibleField.h"

namespace dspdump {
namespace {

constexpr uint8_t bIntroducer = 0x5A;
constexpr uint8_t bClass = 0xD3;
constexpr uint32_t cbMinLength = 8;  // length, identifier, flags, sequence

// The length of the field header at lpb, or 0 unless its marks are right.
uint32_t cbFnHeaderLength(const uint8_t *lpb, size_t cb) {
    if (cb < 4 || lpb[0] != bIntroducer || lpb[3] != bClass) return 0;
    const uint32_t cbLength = (uint32_t{lpb[1]} << 8) | lpb[2];
    return cbLength >= cbMinLength ? cbLength : 0;
}

}  // namespace

uint32_t cbFnPlausibleField(const uint8_t *lpb, size_t cb, bool fInputEnds) {
    const uint32_t cbLength = cbFnHeaderLength(lpb, cb);
    if (cbLength == 0 || cb < cbLength + 1u) return 0;
    const uint32_t cbField = cbLength + 1;
    if (cb == cbField && fInputEnds) return cbField;
    return cbFnHeaderLength(lpb + cbField, cb - cbField) != 0 ? cbField : 0;
}

}  // namespace dspdump
