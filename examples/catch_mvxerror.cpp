// Reads variable-length line data whose records may be longer than the
// maximum record length the caller allows: get-next then throws MVXError,
// which the caller catches, reports, and goes on to destroy the reader.
//
//   catch_mvxerror LINE-FILE FORMAT-WORD MAX-RECORD-LENGTH
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "MVXError.h"
#include "vokDSPsr.h"

namespace {

uint16_t ReadFile(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext, uint32_t *) {
    FILE *fp = static_cast<FILE *>(lpContext);
    if (cbWanted == 0) {
        fclose(fp);
        return 0;
    }
    return static_cast<uint16_t>(fread(lpbDest, 1, cbWanted, fp));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr,
                "usage: catch_mvxerror LINE-FILE FORMAT-WORD MAX-RECORD-LENGTH\n");
        return 2;
    }
    FILE *fp = fopen(argv[1], "rb");
    if (fp == nullptr) {
        perror(argv[1]);
        return 1;
    }
    const uint16_t wFormat = static_cast<uint16_t>(strtoul(argv[2], nullptr, 0));
    const uint16_t cbMaxRecord = static_cast<uint16_t>(strtoul(argv[3], nullptr, 0));
    unsigned char abJob[128] = {}, abDesc[320] = {};
    memcpy(abDesc + 288, &wFormat, sizeof wFormat);
    memcpy(abDesc + 292, &cbMaxRecord, sizeof cbMaxRecord);
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = DSP_OK;
    if (!fFnVOK32XX_CreateIndirect(abJob, abDesc, &lpRec, fp, ReadFile, &dwStatus)) {
        fprintf(stderr, "create failed: status 0x%X\n", static_cast<unsigned>(dwStatus));
        return 1;
    }
    unsigned long cRecords = 0;
    int nExit = 0;
    try {
        while (cFnVOK32XX_GetNext(lpRec, &dwStatus) != 0) ++cRecords;
        printf("%lu records, none too long\n", cRecords);
    } catch (const MVXError &error) {
        printf("after %lu records: %s (status 0x%X, codes %d/%d, %s:%d)\n", cRecords,
               error.Message(), static_cast<unsigned>(dwStatus), error.Code(),
               error.SubCode(), error.File(), error.Line());
        nExit = 3;
    }
    fFnVOK32XX_Destroy(lpRec, abJob);
    return nExit;
}
