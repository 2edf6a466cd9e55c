// Record decoders of the line-data reader, one per format code. Each clears
// bCC and bTRC, fills abData and returns the data length; get-next completes
// the record (end flag, defaults, blank fill, terminating NUL).
#ifndef VOKDSP_LINEDATA_VOK32100_H
#define VOKDSP_LINEDATA_VOK32100_H

#include <stdint.h>

#include "LineIO.h"

namespace vokdsp {

// Formats 1 and 5: every record takes exactly cbMaxRecord input bytes.
uint32_t cfnFixedRecord_Get(LINEREC *lpRec, LINEIO *lpio, uint32_t *lpdwStatus);

}  // namespace vokdsp

#endif
