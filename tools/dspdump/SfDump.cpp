#include <string>

#include "Dump.h"
#include "vokDSPsr.h"

namespace dspdump {
namespace {

constexpr uint16_t cbFieldData = 65535;  // room for the longest data a field has

// Bytes in front of each field. The reader tells the framings apart the same
// way; the listing needs it only to find a field's header in the input.
uint32_t cbFnFramingBytes(const InputSource &source) {
    if (source.nByteAt(0) == 0x5A || source.nByteAt(3) == 0xD3) return 0;
    if (source.nByteAt(4) == 0x5A || source.nByteAt(7) == 0xD3) return 4;
    return 2;
}

// The field the reader just delivered: its data length is what its record
// took after framing, header and extension.
FieldView FnDeliveredField(const SFREC *lpRec, const InputSource &source,
                           uint64_t ibStart, uint64_t ibEnd, uint32_t cbFraming) {
    FieldView field;
    field.ibOffset = ibStart;
    field.cbLength = lpRec->hdr.cbSF + 1u;
    field.dwID = lpRec->hdr.dwID;
    field.bFlags = lpRec->hdr.bFlags;
    field.wSeq = lpRec->hdr.wSeq;
    field.lpbData = lpRec->abData;
    int nExtension = 0;
    if (field.bFlags & 0x80) nExtension = source.nByteAt(ibStart + cbFraming + 9);
    const int64_t cbData = static_cast<int64_t>(ibEnd - ibStart) - cbFraming - 9 -
                           (nExtension > 0 ? nExtension : 0);
    field.cbData = cbData < 0 ? 0 : cbData > cbFieldData ? cbFieldData : uint32_t(cbData);
    return field;
}

}  // namespace

int nFnDumpStructuredFields(InputSource &source, const Options &options, Report &report,
                            bool fRequired) {
    uint32_t dwStatus = DSP_OK;
    SFREC *lpRec = lpibmsfFnCreate(nullptr, cbFieldData, &InputSource::Read,
                                   source.Context(), &dwStatus);
    if (lpRec == nullptr) {
        std::string sWhy = dwStatus == DSP_ERR_UNKNOWN_SF_ID
                               ? "the first structured field has an unknown identifier"
                               : "not a structured-field stream";
        if (!fRequired) sWhy += " (for line data use --line=text|fixed|var|vb)";
        report.Error(0, dwStatus != DSP_OK ? szFnStatusName(dwStatus) : "refused", sWhy);
        return report.Finish(source.Name(), source.Delivered());
    }
    const uint32_t cbFraming = cbFnFramingBytes(source);
    Position64 position;
    uint64_t ibStart = 0;
    bool fInSkippedRun = false;  // consecutive bytes that are no introducer
    for (;;) {
        const int32_t cbSF = fFnGetNextIBMSF(lpRec, &dwStatus);
        uint32_t cbPos = 0, cbLen = 0;
        fFnGetIBMSFCurrentRecordInfo(lpRec, &cbPos, &cbLen, nullptr);
        const uint64_t ibEnd = position.Update(cbPos);
        if (cbSF != 0) {
            report.Field(FnDeliveredField(lpRec, source, ibStart, ibEnd, cbFraming));
            fInSkippedRun = false;
        } else if (dwStatus != DSP_OK) {
            const bool fRepeat = fInSkippedRun && dwStatus == DSP_ERR_NOT_SF;
            if (!fRepeat) report.Error(ibStart, szFnStatusName(dwStatus), "");
            fInSkippedRun = dwStatus == DSP_ERR_NOT_SF;
            dwStatus = DSP_OK;
            if (!options.fKeepGoing) break;
        } else {
            if (ibEnd != ibStart)
                report.Error(ibStart, "truncated",
                             "the input ends inside a structured field");
            break;
        }
        ibStart = ibEnd;
    }
    fFnDestroyIBMSF(lpRec);
    return report.Finish(source.Name(), source.Delivered());
}

bool fFnParseField(const uint8_t *lpb, uint32_t cb, FieldView *lpField) {
    if (cb < 9 || lpb[0] != 0x5A) return false;
    const uint32_t cbSF = (lpb[1] << 8) | lpb[2];
    uint32_t cbHeader = 9;
    if ((lpb[6] & 0x80) && cb > 9) cbHeader += lpb[9];
    const uint32_t cbField = cbSF + 1 < cb ? cbSF + 1 : cb;
    lpField->cbLength = cbSF + 1;
    lpField->dwID = (uint32_t{lpb[3]} << 16) | (lpb[4] << 8) | lpb[5];
    lpField->bFlags = lpb[6];
    lpField->wSeq = static_cast<uint16_t>((lpb[7] << 8) | lpb[8]);
    lpField->lpbData = lpb + (cbHeader < cbField ? cbHeader : cbField);
    lpField->cbData = cbHeader < cbField ? cbField - cbHeader : 0;
    return true;
}

}  // namespace dspdump
