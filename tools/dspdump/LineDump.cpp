#include <string.h>

#include <string>

#include "Dump.h"
#include "MVXError.h"
#include "vokDSPsr.h"

namespace dspdump {
namespace {

constexpr uint64_t cbDescriptor = 4;  // a record descriptor word

// The caller records the line-data reader reads and writes.
struct LineCallerRecords {
    alignas(8) uint8_t abJob[128] = {};
    alignas(8) uint8_t abDesc[320] = {};

    LineCallerRecords(uint16_t wFormat, uint16_t cbMaxRecord) {
        memcpy(abDesc + 288, &wFormat, sizeof wFormat);
        memcpy(abDesc + 292, &cbMaxRecord, sizeof cbMaxRecord);
    }
};

void vFnReportRecord(const LINEREC *lpRec, uint64_t nRecord, uint64_t ibOffset,
                     Report &report) {
    RecordView record;
    record.nRecord = nRecord;
    record.ibOffset = ibOffset;
    record.bCC = lpRec->bCC;
    record.bTRC = lpRec->bTRC;
    record.lpbData = lpRec->abData;
    record.cbData = lpRec->cbData;
    FieldView field;
    if (lpRec->bCC == 0x5A && fFnParseField(lpRec->abData, lpRec->cbData, &field)) {
        field.ibOffset = ibOffset;
        record.lpField = &field;
    }
    report.Record(record);
}

}  // namespace

int nFnDumpLineData(InputSource &source, const Options &options, Report &report) {
    LineCallerRecords records(options.wFormat, options.cbMaxRecord);
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = DSP_OK;
    if (!fFnVOK32XX_CreateIndirect(records.abJob, records.abDesc, &lpRec,
                                   source.Context(), &InputSource::Read, &dwStatus)) {
        report.Error(0, szFnStatusName(dwStatus), "the line-data reader refused to open");
        return report.Finish(source.Name(), source.Delivered());
    }
    Position64 position;
    uint64_t ibStart = 0, nRecord = 0;
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
        if (cbData != 0) vFnReportRecord(lpRec, ++nRecord, ibEnd - cbRecord, report);
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
        report.Error(ibError, szFnStatusName(dwStatus), sThrown);
        dwStatus = DSP_OK;
        // After a malformed descriptor the reader gives nothing more.
        const bool fReaderDone = !fThrown && cbData == 0 && lpRec->fEnd;
        if (!options.fKeepGoing || fReaderDone) break;
        ibStart = ibEnd;
    }
    fFnVOK32XX_Destroy(lpRec, records.abJob);
    return report.Finish(source.Name(), source.Delivered());
}

}  // namespace dspdump
