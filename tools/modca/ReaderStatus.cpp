#include "ReaderStatus.h"

#include "vokDSPsr.h"

namespace modca {

const char *szFnRefusalText(uint32_t dwStatus) {
    switch (dwStatus) {
        case DSP_ERR_NOT_SF:
            return "no structured-field introducer (0x5A) where a field is due";
        case DSP_ERR_BAD_RECORD:
            return "structured-field length shorter than its header";
        case DSP_ERR_RECORD_TOO_LONG:
            return "structured field longer than the room for it";
        default:
            return "refused structured field";
    }
}

}  // namespace modca
