/* A C99 caller of the public header: the layout it sees and the symbols it
   links against must be those of the library. */
#include <stddef.h>
#include <stdio.h>

#include "vokDSPsr.h"

int main(void) {
    uint32_t dwStatus = 7;
    uint32_t cbConsumed = 0, cbRecord = 0;
    int fOk = offsetof(LINEREC, abData) == 12 && offsetof(SFREC, abData) == 12 &&
              offsetof(SFHDR, wSeq) == 10 && sizeof(SFHDR) == 12;
    /* Calls that must fail cleanly on null arguments. */
    fOk = fOk && fFnVOK32XX_Create(NULL, NULL, NULL) == 0;
    fOk = fOk &&
          fFnGetMixedDataCurrentRecordInfo(NULL, &cbConsumed, &cbRecord, &dwStatus) == 0;
    fOk = fOk && dwStatus == DSP_ERR_BAD_ARG;
    fOk = fOk && fFnVOK32XX_Destroy(NULL, NULL) == 1;
    if (!fOk) {
        fprintf(stderr, "C99 view of the interface is wrong\n");
        return 1;
    }
    return 0;
}
