#include <string.h>

#include <algorithm>
#include <string>

#include "Dump.h"
#include "MVXError.h"
#include "vokDSPsr.h"

namespace dspdump {
namespace {

constexpr uint64_t cbDescriptor = 4;  // a record descriptor word
constexpr uint8_t bFormFeed = 0x0C;
constexpr uint8_t bStructuredField = 0x5A;
constexpr uint8_t bMachineSkipToChannel1 = 0x8B;

// The caller records the line-data reader reads and writes.
struct LineCallerRecords {
    alignas(8) uint8_t abJob[128] = {};
    alignas(8) uint8_t abDesc[320] = {};

    LineCallerRecords(uint16_t wFormat, uint16_t cbMaxRecord) {
        memcpy(abDesc + 288, &wFormat, sizeof wFormat);
        memcpy(abDesc + 292, &cbMaxRecord, sizeof cbMaxRecord);
    }
};

// A record starts a page after a form feed, or with a skip to channel 1:
// ASA '1' or machine code 0x8B.
bool fFnStartsPage(const LINEREC *lpRec, int nFirstByte, const Options &options) {
    const uint16_t w = options.wFormat;
    if ((w & wOptFormFeed) && nFirstByte == bFormFeed) return true;
    if (w & wOptMachineCC) return lpRec->bCC == bMachineSkipToChannel1;
    if (w & wOptCC) return lpRec->bCC == ((w & wOptEbcdic) ? 0xF1 : '1');
    return false;
}

// A text line as long as the reader takes one, ended by a CR LF that was
// not in the file: it went on, and its rest comes as the next record.
bool fFnLineCut(const LINEREC *lpRec, const InputSource &source, uint64_t ibEnd,
                const Options &options) {
    const uint32_t cbLimit = std::min<uint32_t>(options.cbMaxRecord + 1u, 0xFFFF);
    return fFnTextLines(options) && lpRec->bCC != bStructuredField &&
           lpRec->cbData == cbLimit && ibEnd >= 2 && source.fFnInserted(ibEnd - 2) &&
           source.fFnInserted(ibEnd - 1);
}

void vFnReportRecord(const LINEREC *lpRec, const RecordView &base, Report &report) {
    RecordView record = base;
    record.bCC = lpRec->bCC;
    record.bTRC = lpRec->bTRC;
    record.lpbData = lpRec->abData;
    record.cbData = lpRec->cbData;
    FieldView field;
    if (lpRec->bCC == bStructuredField &&
        fFnParseField(lpRec->abData, lpRec->cbData, &field)) {
        field.ibOffset = record.ibOffset;
        record.lpField = &field;
    }
    report.Record(record);
}

ErrorView FnRefusal(uint32_t dwStatus, uint64_t ibOffset, const std::string &sThrown,
                    const Options &options) {
    ErrorView error;
    error.ibOffset = ibOffset;
    error.szStatus = szFnStatusName(dwStatus);
    error.sDetail = sThrown;
    error.sMessage = dwStatus == DSP_ERR_RECORD_TOO_LONG
                         ? "record longer than the maximum of " +
                               std::to_string(options.cbMaxRecord) + " bytes"
                     : dwStatus == DSP_ERR_BAD_RECORD
                         ? std::string("malformed length in the input")
                         : std::string("refused record");
    return error;
}

// Notes the first line cut; the number of them comes at the end.
void vFnReportCut(uint64_t ibOffset, uint64_t nCut, const Options &options,
                  Report &report) {
    if (nCut == 1)
        report.Note(ibOffset,
                    "line longer than the maximum of " +
                        std::to_string(options.cbMaxRecord) +
                        " bytes; its rest is listed as the next record (--lrecl)");
}

}  // namespace

void vFnDumpLineData(InputSource &source, const Options &options, Report &report) {
    LineCallerRecords records(options.wFormat, options.cbMaxRecord);
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = DSP_OK;
    if (fFnTextLines(options)) source.PresentCrLf(options.wFormat, options.cbMaxRecord);
    if (!fFnVOK32XX_CreateIndirect(records.abJob, records.abDesc, &lpRec,
                                   source.Context(), &InputSource::Read, &dwStatus)) {
        ErrorView error;
        error.szStatus = szFnStatusName(dwStatus);
        error.sMessage = "the line-data reader refused to open";
        report.Error(error);
        return;
    }
    Position64 position;
    uint64_t ibStart = 0;
    RecordView record;
    uint64_t nCut = 0;
    for (;;) {
        uint16_t cbData = 0;
        std::string sThrown;
        bool fThrown = false;
        try {
            cbData = cFnVOK32XX_GetNext(lpRec, &dwStatus);
        } catch (const MVXError &error) {
            fThrown = true;
            sThrown = error.Message();
        }
        uint32_t cbConsumed = 0, cbRecord = 0;
        fFnGetMixedDataCurrentRecordInfo(lpRec, &cbConsumed, &cbRecord, nullptr);
        const uint64_t ibEnd = position.Update(cbConsumed);
        if (cbData != 0) {
            ++record.nRecord;
            record.ibOffset = source.ibFnFileOffset(ibEnd - cbRecord);
            const int nFirst = source.nByteAt(ibEnd - cbRecord);
            record.fNewPage =
                record.nRecord == 1 || fFnStartsPage(lpRec, nFirst, options);
            vFnReportRecord(lpRec, record, report);
            if (fFnLineCut(lpRec, source, ibEnd, options)) {
                report.LineCut();
                vFnReportCut(record.ibOffset, ++nCut, options, report);
            }
        }
        if (report.OutputFailed()) break;
        if (dwStatus == DSP_OK) {
            if (cbData == 0) break;  // end of input
            ibStart = ibEnd;
            continue;
        }
        // A refused record: an over-long one has had its descriptor taken; a
        // delivered record carries its own offset.
        const uint64_t ibError = fThrown       ? ibEnd - cbDescriptor
                                 : cbData != 0 ? ibEnd - cbRecord
                                               : ibStart;
        report.Error(
            FnRefusal(dwStatus, source.ibFnFileOffset(ibError), sThrown, options));
        dwStatus = DSP_OK;
        // After a malformed descriptor the reader gives nothing more.
        const bool fReaderDone = !fThrown && cbData == 0 && lpRec->fEnd;
        if (!options.fKeepGoing || fReaderDone) break;
        ibStart = ibEnd;
    }
    fFnVOK32XX_Destroy(lpRec, records.abJob);
    if (nCut > 1)
        report.Note(source.Delivered(), "lines cut at the maximum of " +
                                            std::to_string(options.cbMaxRecord) +
                                            " bytes: " + std::to_string(nCut));
}

}  // namespace dspdump
