// Record decoders of the line-data reader, one per format code. Each clears
// bCC and bTRC, fills abData with NUL bytes made blanks (not in embedded
// structured fields, nor in a record the end of input cut short) and returns
// the data length; get-next completes the record (end flag, defaults,
// terminating NUL).
#ifndef VOKDSP_LINEDATA_VOK32100_H
#define VOKDSP_LINEDATA_VOK32100_H

#include <stdint.h>

#include "LineIO.h"

namespace vokdsp {

// Record and block descriptor words: a big-endian length that counts the
// word's own four bytes, then two bytes that mean nothing here.
constexpr uint16_t cbDescriptor = 4;

// What a decoder returns when the input holds a malformed record: get-next
// then delivers none and reports DSP_ERR_BAD_RECORD.
constexpr uint32_t cbNoRecord = 0xFFFFFFFF;

// Format 0: get-next for a text stream of this format code and options, for
// a reader that copies in cWholeVectors whole vectors (0: by length), 32-byte
// ones when fWide. The common line, lying whole in
// the buffer with its line end and no structured field, is decoded straight
// from the buffer; every other goes through cbFnGetNextByteSource. A text
// stream never fails the reader.
lpfnGetNextLine lpfnFnTextGetNext(uint16_t wFormat, uint8_t cWholeVectors, bool fWide);

// Get-next through the byte source (LineReader.cpp): every record the
// buffered paths leave, and the null handle.
uint16_t cbFnGetNextByteSource(LINEREC *lpRec, uint32_t *lpdwStatus);

// Formats 1 and 5: every record takes exactly cbMaxRecord input bytes.
uint32_t cfnFixedRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus);

// Format 2: a record descriptor word leads each record. Throws MVXError for
// a record longer than cbMaxRecord.
uint32_t cfnVarRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus);

// Format 6: a block descriptor word leads each block of records laid out as
// in format 2. Throws MVXError for a record longer than cbMaxRecord.
uint32_t cfnVarBlockRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus);

// Format 0: text lines closed by a two-byte line end, with optional form feed,
// carriage-control and TRC positions, and embedded structured-field lines.
// Marks a structured-field line cut to the record area DSP_ERR_RECORD_TOO_LONG
// and a field length below 2 DSP_ERR_BAD_RECORD.
uint32_t cfnTextRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus);

}  // namespace vokdsp

#endif
