/*
 * vokDSPsr - data stream record parser.
 *
 * Two independent readers cut a print data stream into records, one record
 * per call:
 *
 *   - the line-data reader (fFnVOK32XX_*, cFnVOK32XX_GetNext,
 *     fFnGetMixedDataCurrentRecordInfo): text print files, fixed-length,
 *     variable-length and blocked records;
 *   - the structured-field reader (lpibmsfFnCreate, fFnGetNextIBMSF,
 *     fFnGetIBMSFCurrentRecordInfo, fFnDestroyIBMSF): MO:DCA structured-field
 *     streams, plain, RDW-framed or 2-byte-prefixed.
 *
 * Both take their input through the caller's read callback in blocks of at
 * most 4096 bytes. The handle that create returns is the address of the
 * reader's record area; the reader overwrites it on every get-next call, so
 * the caller copies what it wants to keep. Every call that can fail reports
 * through its result and through a caller-owned 32-bit status word.
 *
 * Usable from C99 and C++. Nothing here allocates or frees on the caller's
 * behalf except create (allocates) and destroy (frees).
 */
#ifndef VOKDSPSR_H
#define VOKDSPSR_H

#include <stddef.h>
#include <stdint.h>

#if defined(VOKDSP_BUILDING_LIBRARY)
#define VOKDSP_API __attribute__((visibility("default")))
#else
#define VOKDSP_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Read callback. Called with cbWanted = 4096 (a fill request): place up to
 * 4096 bytes at lpbDest and return their count; 0 means the source has
 * nothing more for now. Called once with cbWanted = 0 at destroy (a release
 * request): the source may be closed; the result is ignored. lpContext is
 * the value given to create, untouched. The callback may store an error
 * code in *lpdwStatus. It must not throw. A count above 4096 is taken as
 * 4096.
 */
typedef uint16_t (*lpfnReadBlock)(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                                  uint32_t *lpdwStatus);

/*
 * Status values stored in the caller's status word. "First wins" codes are
 * stored only while the word is 0; the others overwrite it.
 */
/* No error. The line-data create clears the word to this on entry. */
#define DSP_OK 0x0u
/* Line-data create could not allocate; first wins. The reader is gone. */
#define DSP_ERR_NOMEM 0x40100u
/* A record is longer than the room the caller gave for it; overwrites.
   The record is refused (line data variable formats also throw MVXError);
   a structured-field line of a text stream is delivered cut instead. */
#define DSP_ERR_RECORD_TOO_LONG 0x40080u
/* Structured-field get-next: the next field does not start with 0x5A;
   first wins. The reader does not resynchronise. */
#define DSP_ERR_NOT_SF 0x406AAu
/* Structured-field create: the first identifier is not a known one;
   overwrites. No reader is created. */
#define DSP_ERR_UNKNOWN_SF_ID 0x9000u
/* A null handle or null output pointer; overwrites. Nothing else done. */
#define DSP_ERR_BAD_ARG 0xFFFFFFFFu
/* Line-data create: a format code or maximum record length this library
   cannot read; first wins. No reader is created. */
#define DSP_ERR_BAD_FORMAT 0x40090u
/* A malformed length in the input (descriptor word below 4, record longer
   than its block, end of input inside a descriptor, field shorter than its
   header); first wins. After a bad length the line-data variable formats
   stay failed; after input that ended inside a descriptor they read on. A
   text-stream field length below 2 is taken as 2 and the line delivered. */
#define DSP_ERR_BAD_RECORD 0x40091u

/*
 * Line-data record area, at the handle's address. Valid until the next
 * get-next or destroy. abData holds cbData bytes followed by a NUL; its room
 * is the maximum record length + 4 bytes.
 */
typedef struct LINEREC {
    uint8_t bCC;       /* carriage-control byte; 0x5A: abData is a structured field */
    uint8_t bTRC;      /* table reference character 0-15, 0 when none */
    uint16_t cbData;   /* bytes in abData, equal to get-next's result */
    uint32_t fEnd;     /* 1 when the input was found exhausted in this call */
    uint32_t dwStatus; /* DSP_OK or the code that refused or marked this record */
    uint8_t abData[];  /* the record's data, then a NUL */
} LINEREC;

/* Structured-field header, natural alignment (fill after bCC and bFlags). */
typedef struct SFHDR {
    uint8_t bCC;   /* introducer, 0x5A for a delivered field */
    uint16_t cbSF; /* field length: the bytes after the introducer */
    uint32_t dwID; /* three-byte identifier, high byte 0 */
    uint8_t bFlags;
    uint16_t wSeq;
} SFHDR;

/* Structured-field record area, at the handle's address. abData has the
   capacity given to create; a delivered field fills its first D bytes. */
typedef struct SFREC {
    SFHDR hdr;
    uint8_t abData[];
} SFREC;

/* The layout is part of the binary interface. */
#if defined(__cplusplus)
static_assert(offsetof(LINEREC, cbData) == 2, "LINEREC.cbData");
static_assert(offsetof(LINEREC, fEnd) == 4, "LINEREC.fEnd");
static_assert(offsetof(LINEREC, dwStatus) == 8, "LINEREC.dwStatus");
static_assert(offsetof(LINEREC, abData) == 12, "LINEREC.abData");
static_assert(offsetof(SFHDR, cbSF) == 2 && offsetof(SFHDR, dwID) == 4, "SFHDR");
static_assert(offsetof(SFHDR, bFlags) == 8 && offsetof(SFHDR, wSeq) == 10, "SFHDR");
static_assert(offsetof(SFREC, abData) == 12, "SFREC.abData");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(offsetof(LINEREC, abData) == 12, "LINEREC.abData");
_Static_assert(offsetof(LINEREC, dwStatus) == 8, "LINEREC.dwStatus");
_Static_assert(offsetof(SFHDR, wSeq) == 10, "SFHDR.wSeq");
_Static_assert(offsetof(SFREC, abData) == 12, "SFREC.abData");
#else
/* C99: a negative array size stops the build on a wrong layout. */
typedef char VOKDSP_LINEREC_LAYOUT[offsetof(LINEREC, abData) == 12 ? 1 : -1];
typedef char VOKDSP_SFREC_LAYOUT[offsetof(SFREC, abData) == 12 ? 1 : -1];
#endif

/* ---- Line-data reader ---------------------------------------------------
 *
 * The description record is read at byte offsets 286 (second word, kept but
 * unused), 288 (format word: code in bits 0-3, option bits above) and 292
 * (maximum record length), each a native 16-bit word. The job record holds,
 * at byte offset 96, the address of a working buffer of maximum record
 * length + 12 bytes that create allocates for the caller and destroy frees.
 *
 * Format codes: 0 text lines, 1 and 5 fixed length, 2 variable length (RDW),
 * 6 variable blocked (BDW + RDW). Option bits: 0x00F0 carriage-control byte
 * (0x0010/0x0020 for text), 0x0020 default carriage control 0x0B, 0x0080 form
 * feeds (text), 0x0100 TRC byte, 0x1000 EBCDIC blank 0x40.
 */

/* Opens a reader. Clears *lpdwStatus to DSP_OK, then stores any error.
   Returns 1 and the handle in *lplpRec, or 0: DSP_ERR_BAD_ARG (a null
   pointer argument), DSP_ERR_BAD_FORMAT, DSP_ERR_NOMEM, or the code the read
   callback stored on the first fill request. After a 0 result nothing is
   left to release or destroy: *lplpRec and the job record's working-buffer
   address hold null (when create got that far), so a cleanup that destroys
   whatever it received cannot free twice. */
VOKDSP_API int32_t fFnVOK32XX_CreateIndirect(void *lpJob, const void *lpDesc,
                                             LINEREC **lplpRec, void *lpContext,
                                             lpfnReadBlock lpfnRead,
                                             uint32_t *lpdwStatus);

/* Not supported: ignores its arguments and returns 0, storing nothing. */
VOKDSP_API int32_t fFnVOK32XX_Create(void *lpJob, void *lpDesc, void *lpRec);

/* Delivers the next record into the record area and returns its data length;
   0 only when no record was delivered (end of input, fEnd = 1, or a
   DSP_ERR_BAD_RECORD refusal). An empty record arrives as one blank. Throws
   MVXError for an over-long variable-length record after storing
   DSP_ERR_RECORD_TOO_LONG. A null handle gives 0 and DSP_ERR_BAD_ARG. */
VOKDSP_API uint16_t cFnVOK32XX_GetNext(LINEREC *lpRec, uint32_t *lpdwStatus);

/* Makes the release request (when lpRec is not null), frees the reader and
   the working buffer whose address the job record holds. Returns 1. */
VOKDSP_API int32_t fFnVOK32XX_Destroy(LINEREC *lpRec, void *lpJob);

/* Stores the input bytes consumed so far and the input length of the current
   record; cbConsumed - cbRecord is the record's offset. Returns 1, or 0 and
   DSP_ERR_BAD_ARG (when lpdwStatus is not null) for a null argument. */
VOKDSP_API int32_t fFnGetMixedDataCurrentRecordInfo(LINEREC *lpRec,
                                                    uint32_t *lpcbConsumed,
                                                    uint32_t *lpcbRecord,
                                                    uint32_t *lpdwStatus);

/* ---- Structured-field reader -------------------------------------------- */

/* Opens a reader over lpfnRead (preferred; lpszPath is then never opened) or
   the file lpszPath (opened read-only), reads the first block and checks that
   it is a structured-field stream (plain, RDW-framed or 2-byte-prefixed) whose
   first identifier is a known one. cbSize is the capacity of abData and must
   not be 0. Returns the handle, whose dwID already holds the first identifier, or
   null: DSP_ERR_UNKNOWN_SF_ID (overwrites) for an unknown first identifier,
   otherwise no status. A refused file is closed; a refused callback source
   gets no release request. lpdwStatus may be null. */
VOKDSP_API SFREC *lpibmsfFnCreate(const char *lpszPath, uint16_t cbSize,
                                  lpfnReadBlock lpfnRead, void *lpContext,
                                  uint32_t *lpdwStatus);

/* Reads the next field into the record area and returns its length cbSF
   (never 0); abData holds its data, which in a framed stream runs to the end
   of the field's record (extension bytes are not delivered). Returns 0, and
   puts the previous field's bCC, cbSF and dwID back, at end of input (no
   status; a later call asks the source again) and for DSP_ERR_RECORD_TOO_LONG
   (data longer than cbSize: the field is skipped, abData untouched;
   overwrites) or DSP_ERR_BAD_RECORD (a length shorter than the header and
   extension; first wins). Returns 0 with bCC, cbSF and dwID at 0 for
   DSP_ERR_NOT_SF (no 0x5A where a field is due; first wins; the reader goes
   on from the next byte). A null handle gives 0 and DSP_ERR_BAD_ARG. */
VOKDSP_API int32_t fFnGetNextIBMSF(SFREC *lpRec, uint32_t *lpdwStatus);

/* Stores the stream bytes consumed so far (framing bytes included) and the
   current field's size with its introducer (cbSF + 1). Returns 1, or 0 and
   DSP_ERR_BAD_ARG (when lpdwStatus is not null) for a null argument. */
VOKDSP_API int32_t fFnGetIBMSFCurrentRecordInfo(SFREC *lpRec, uint32_t *lpdwPos,
                                                uint32_t *lpdwLen, uint32_t *lpdwStatus);

/* Closes the file or makes the one release request, and frees the reader.
   Due after every successful create. Returns 1; a null handle does nothing. */
VOKDSP_API int32_t fFnDestroyIBMSF(SFREC *lpRec);

#ifdef __cplusplus
}
#endif

#endif /* VOKDSPSR_H */
