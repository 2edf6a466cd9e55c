/* Counts the records of two print streams through the public C interface:
 * the structured fields of a MO:DCA file by identifier, and the records of a
 * line-data file by carriage-control byte.
 *
 *   count_records SF-FILE LINE-FILE [FORMAT-WORD [MAX-RECORD-LENGTH]]
 *
 * FORMAT-WORD defaults to 0x1116: variable blocked (6) with carriage control
 * (0x10), TRC (0x100) and EBCDIC (0x1000). MAX-RECORD-LENGTH applies to the
 * fixed and text formats only: for variable-length records (formats 2 and 6)
 * this program always allows 65535 bytes. A record longer than the maximum
 * makes get-next throw a C++ exception, which a C program cannot catch and
 * which would abort it; no record descriptor word can announce more than
 * 65535, so with that maximum no record is ever refused. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vokDSPsr.h"

#define MAX_TYPES 256

struct Tally {
    uint32_t adwType[MAX_TYPES];
    unsigned long acCount[MAX_TYPES];
    int cTypes;
};

static void Count(struct Tally *lpTally, uint32_t dwType) {
    int i;
    for (i = 0; i < lpTally->cTypes; ++i) {
        if (lpTally->adwType[i] == dwType) {
            lpTally->acCount[i]++;
            return;
        }
    }
    if (lpTally->cTypes < MAX_TYPES) {
        lpTally->adwType[lpTally->cTypes] = dwType;
        lpTally->acCount[lpTally->cTypes++] = 1;
    }
}

/* The line-data reader reads through a callback: this one reads a FILE and
   closes it on the release request. A create that fails before its first
   read makes no release request, so the source remembers whether it came. */
struct Source {
    FILE *fp;
    int fReleased;
};

static uint16_t ReadFile(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                         uint32_t *lpdwStatus) {
    struct Source *lpSource = (struct Source *)lpContext;
    (void)lpdwStatus;
    if (cbWanted == 0) {
        fclose(lpSource->fp);
        lpSource->fReleased = 1;
        return 0;
    }
    return (uint16_t)fread(lpbDest, 1, cbWanted, lpSource->fp);
}

static int CountFields(const char *szPath) {
    struct Tally tally = {{0}, {0}, 0};
    uint32_t dwStatus = DSP_OK;
    int i;
    SFREC *lpRec = lpibmsfFnCreate(szPath, 65535, NULL, NULL, &dwStatus);
    if (lpRec == NULL) {
        fprintf(stderr, "%s: not a structured-field stream (status 0x%X)\n", szPath,
                (unsigned)dwStatus);
        return 1;
    }
    while (fFnGetNextIBMSF(lpRec, &dwStatus) != 0) Count(&tally, lpRec->hdr.dwID);
    fFnDestroyIBMSF(lpRec);
    printf("%s: structured fields by identifier\n", szPath);
    for (i = 0; i < tally.cTypes; ++i)
        printf("  %06X %lu\n", (unsigned)tally.adwType[i], tally.acCount[i]);
    return dwStatus != DSP_OK;
}

/* Variable-length formats: the largest maximum, so that get-next never throws. */
static uint16_t cbFnSafeMaximum(uint16_t wFormat, uint16_t cbMaxRecord) {
    const uint16_t wCode = wFormat & 0x000F;
    return (wCode == 2 || wCode == 6) ? 65535 : cbMaxRecord;
}

static int CountLines(const char *szPath, uint16_t wFormat, uint16_t cbMaxRecord) {
    struct Tally tally = {{0}, {0}, 0};
    unsigned char abJob[128] = {0}, abDesc[320] = {0};
    LINEREC *lpRec = NULL;
    uint32_t dwStatus = DSP_OK;
    int i;
    struct Source source = {NULL, 0};
    source.fp = fopen(szPath, "rb");
    if (source.fp == NULL) {
        perror(szPath);
        return 1;
    }
    cbMaxRecord = cbFnSafeMaximum(wFormat, cbMaxRecord);
    memcpy(abDesc + 288, &wFormat, sizeof wFormat);
    memcpy(abDesc + 292, &cbMaxRecord, sizeof cbMaxRecord);
    if (!fFnVOK32XX_CreateIndirect(abJob, abDesc, &lpRec, &source, ReadFile, &dwStatus)) {
        fprintf(stderr, "%s: the reader refused to open (status 0x%X)\n", szPath,
                (unsigned)dwStatus);
        if (!source.fReleased) fclose(source.fp);
        return 1;
    }
    while (cFnVOK32XX_GetNext(lpRec, &dwStatus) != 0) Count(&tally, lpRec->bCC);
    fFnVOK32XX_Destroy(lpRec, abJob); /* closes the file through ReadFile */
    printf("%s: records by carriage control\n", szPath);
    for (i = 0; i < tally.cTypes; ++i)
        printf("  %02X %lu\n", (unsigned)tally.adwType[i], tally.acCount[i]);
    return dwStatus != DSP_OK;
}

int main(int argc, char **argv) {
    uint16_t wFormat = 0x1116, cbMaxRecord = 32756;
    if (argc < 3 || argc > 5) {
        fprintf(stderr, "usage: count_records SF-FILE LINE-FILE [FORMAT-WORD [LRECL]]\n");
        return 2;
    }
    if (argc > 3) wFormat = (uint16_t)strtoul(argv[3], NULL, 0);
    if (argc > 4) cbMaxRecord = (uint16_t)strtoul(argv[4], NULL, 0);
    return CountFields(argv[1]) | CountLines(argv[2], wFormat, cbMaxRecord);
}
