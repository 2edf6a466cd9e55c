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

// The size of the record at lpb, framing included, or 0 unless its field's
// marks are right and the framing's count agrees with the field's length.
uint32_t cbFnRecordLength(const uint8_t *lpb, size_t cb, uint32_t cbFraming) {
    if (cb < cbFraming) return 0;
    const uint32_t cbLength = cbFnHeaderLength(lpb + cbFraming, cb - cbFraming);
    if (cbLength == 0) return 0;
    const uint32_t cbRecord = cbFraming + cbLength + 1;
    const uint32_t cbCount = cbFraming == 0 ? 0 : (uint32_t{lpb[0]} << 8) | lpb[1];
    if (cbFraming == 4 && cbCount != cbRecord) return 0;
    if (cbFraming == 2 && cbCount != cbLength + 1) return 0;
    return cbRecord;
}

}  // namespace

uint32_t cbFnPlausibleRecord(const uint8_t *lpb, size_t cb, bool fInputEnds,
                             uint32_t cbFraming) {
    const uint32_t cbRecord = cbFnRecordLength(lpb, cb, cbFraming);
    if (cbRecord == 0 || cb < cbRecord) return 0;
    if (cb == cbRecord && fInputEnds) return cbRecord;
    return cbFnRecordLength(lpb + cbRecord, cb - cbRecord, cbFraming) != 0 ? cbRecord : 0;
}

}  // namespace dspdump
