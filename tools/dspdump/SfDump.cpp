#include <stdio.h>

#include <string>
#include <vector>

#include "Dump.h"
#include "FieldNames.h"
#include "Fields.h"
#include "PlausibleField.h"
#include "ReaderStatus.h"
#include "vokDSPsr.h"

namespace dspdump {
using namespace modca;
namespace {

constexpr uint16_t cbFieldData = 65535;  // room for the longest data a field has
constexpr size_t cbScanStep = size_t{1}
                              << 17;  // resynchronisation looks this far at once
constexpr uint8_t bIntroducer = 0x5A;

// Bytes in front of each field, from the served offset where a reader
// started; the listing needs them to find a field's header in the input.
uint32_t cbFnFramingBytes(const InputSource &source, uint64_t ibServed) {
    uint8_t ab[8];
    for (int i = 0; i < 8; ++i)
        ab[i] = static_cast<uint8_t>(source.nByteAt(ibServed + i));
    return cbFnStreamFraming(ab);
}

// The field the reader just delivered: its data length is what its record
// took after framing, header and extension. Offsets are served ones.
FieldView FnDeliveredField(const SFREC *lpRec, const InputSource &source,
                           uint64_t ibStart, uint64_t ibEnd, uint32_t cbFraming) {
    FieldView field;
    field.cbLength = lpRec->hdr.cbSF + 1u;
    field.dwID = lpRec->hdr.dwID;
    field.bFlags = lpRec->hdr.bFlags;
    field.wSeq = lpRec->hdr.wSeq;
    field.lpbData = lpRec->abData;
    int nExtension = 0;
    if (field.bFlags & 0x80) nExtension = source.nByteAt(ibStart + cbFraming + 9);
    field.cbData = cbFnFieldData(ibEnd - ibStart, cbFraming,
                                 nExtension > 0 ? uint32_t(nExtension) : 0, cbFieldData);
    field.cbRecord = static_cast<uint32_t>(ibEnd - ibStart);
    return field;
}

ErrorView FnError(uint64_t ibOffset, uint32_t dwStatus, std::string sMessage) {
    ErrorView error;
    error.ibOffset = ibOffset;
    error.szStatus = dwStatus != DSP_OK ? szFnStatusName(dwStatus) : nullptr;
    error.sMessage = std::move(sMessage);
    return error;
}

// Lists a structured-field stream with one library reader after another: a
// new one starts after leading fields the reader does not start on, which
// dspdump lists itself, and, with --keep-going, at the next plausible field
// after damage.
class SfDumper {
  public:
    SfDumper(InputSource &source, const Options &options, Report &report)
        : source_(source), options_(options), report_(report) {}

    void Run(bool fRequired) {
        uint64_t ibBase = 0;
        while (ibBase != cbNoResume && !report_.OutputFailed()) {
            source_.Restart(ibBase);
            const uint64_t ibServed = source_.Served();  // where this reader starts
            uint32_t dwStatus = DSP_OK;
            SFREC *lpRec = lpibmsfFnCreate(nullptr, cbFieldData, &InputSource::Read,
                                           source_.Context(), &dwStatus);
            if (lpRec != nullptr) {
                ibBase = ibFnReadFields(lpRec, ibBase, ibServed);
                fFnDestroyIBMSF(lpRec);
            } else {
                ibBase = ibFnListRefusedField(ibBase, dwStatus, fRequired);
            }
        }
    }

  private:
    static constexpr uint64_t cbNoResume = UINT64_MAX;
    static constexpr size_t cIdBatch = 256;

    bool fFnAtEnd(uint64_t ib) {
        uint8_t b;
        return source_.cbFnPeek(ib, &b, 1) == 0;
    }

    // A field the reader's create refused: listed here when it is plausible;
    // else the stream is refused (or, after resynchronising, ends).
    uint64_t ibFnListRefusedField(uint64_t ib, uint32_t dwStatus, bool fRequired) {
        if (fFnAtEnd(ib) && ib != 0) return cbNoResume;
        abScan_.resize(cbPlausibleLookahead);
        const size_t cb = source_.cbFnPeek(ib, abScan_.data(), abScan_.size());
        uint32_t cbFraming = 0, cbRecord = 0;
        for (const uint32_t cbTry : {0u, 4u, 2u}) {  // plain, RDW, prefix
            cbRecord =
                cbFnPlausibleRecord(abScan_.data(), cb, cb < cbPlausibleLookahead, cbTry);
            cbFraming = cbTry;
            if (cbRecord != 0) break;
        }
        FieldView field;
        if (cbRecord == 0 ||
            !fFnParseField(abScan_.data() + cbFraming, cbRecord - cbFraming, &field)) {
            std::string sWhy =
                dwStatus == DSP_ERR_UNKNOWN_SF_ID
                    ? "the first structured field has an unknown identifier"
                    : "not a structured-field stream";
            if (!fRequired && ib == 0)
                sWhy += " (for line data use --line=text|fixed|var|vb)";
            report_.Error(FnError(ib, dwStatus, sWhy));
            return cbNoResume;
        }
        field.ibOffset = ib;
        field.cbRecord = cbRecord;
        const FieldName &name = FnFieldName(field.dwID);
        char szID[8];
        snprintf(szID, sizeof szID, "%06X", field.dwID);
        report_.Note(ib, std::string("the reader does not start on ") + name.szName +
                             " (" + szID +
                             "); dspdump lists it and hands on what follows");
        report_.Field(field);
        return ib + cbRecord;
    }

    // Where the next plausible field (behind cbFraming bytes of framing)
    // starts at or after ib, or the input ends.
    uint64_t ibFnNextPlausible(uint64_t ib, uint32_t cbFraming) {
        abScan_.resize(cbScanStep + cbPlausibleLookahead);
        for (;; ib += cbScanStep) {
            const size_t cb = source_.cbFnPeek(ib, abScan_.data(), abScan_.size());
            const bool fEnds = cb < abScan_.size();
            const size_t cbCandidates = fEnds ? cb : cbScanStep;
            for (size_t i = 0; i < cbCandidates; ++i)
                if (i + cbFraming < cb && abScan_[i + cbFraming] == bIntroducer &&
                    cbFnPlausibleRecord(abScan_.data() + i, cb - i, fEnds, cbFraming) !=
                        0)
                    return ib + i;
            if (fEnds) return ib + cb;
        }
    }

    // The fields delivered from here on, for a report that wants identifiers
    // only: handed on in batches, without a view each. Stops at the first call
    // that delivers none (its status in *lpdwStatus) or when the output fails;
    // *lpibStart is then the end of the last field delivered. Returns how many
    // were delivered. In a plain stream a field takes its length and the
    // introducer, so the reader's position is asked for once a batch only.
    uint64_t nFnCountIds(SFREC *lpRec, uint32_t cbFraming, Position64 *lpPosition,
                         uint64_t *lpibStart, uint32_t *lpdwStatus) {
        uint32_t adwIDs[cIdBatch];
        uint64_t n = 0;
        for (;;) {
            size_t c = 0;
            int32_t cbSF = 0;
            uint64_t ibEnd = *lpibStart;
            while (c < cIdBatch && (cbSF = fFnGetNextIBMSF(lpRec, lpdwStatus)) != 0) {
                adwIDs[c++] = lpRec->hdr.dwID;
                ibEnd = cbFraming == 0 ? ibEnd + uint32_t(cbSF) + 1
                                       : ibFnUpdate(lpRec, lpPosition);
            }
            report_.FieldIds(adwIDs, c);
            n += c;
            if (cbSF == 0 || report_.OutputFailed()) {
                *lpibStart = ibEnd;
                return n;
            }
            *lpibStart = ibFnUpdate(lpRec, lpPosition);
        }
    }

    // The reader's position, widened.
    static uint64_t ibFnUpdate(SFREC *lpRec, Position64 *lpPosition) {
        uint32_t cbPos = 0, cbLen = 0;
        fFnGetIBMSFCurrentRecordInfo(lpRec, &cbPos, &cbLen, nullptr);
        return lpPosition->Update(cbPos);
    }

    // Lists what one reader started at file offset ibBase delivers; returns
    // where the next one starts.
    uint64_t ibFnReadFields(SFREC *lpRec, uint64_t ibBase, uint64_t ibServed) {
        const uint32_t cbFraming = cbFnFramingBytes(source_, ibServed);
        Position64 position;
        uint64_t ibStart = 0;        // of the field due, from the reader's start
        bool fInSkippedRun = false;  // consecutive bytes that are no introducer
        const bool fIdsOnly = report_.fIdsOnly();
        for (;;) {
            uint32_t dwStatus = DSP_OK;
            if (fIdsOnly) {
                if (nFnCountIds(lpRec, cbFraming, &position, &ibStart, &dwStatus) != 0)
                    fInSkippedRun = false;
                if (report_.OutputFailed()) return cbNoResume;
            }
            const int32_t cbSF = fIdsOnly ? 0 : fFnGetNextIBMSF(lpRec, &dwStatus);
            const uint64_t ibEnd = ibFnUpdate(lpRec, &position);
            if (cbSF != 0) {
                FieldView field = FnDeliveredField(lpRec, source_, ibServed + ibStart,
                                                   ibServed + ibEnd, cbFraming);
                field.ibOffset = ibBase + ibStart;
                report_.Field(field);
                fInSkippedRun = false;
                if (report_.OutputFailed()) return cbNoResume;
            } else if (dwStatus == DSP_ERR_NOT_SF && options_.fKeepGoing) {
                const uint64_t ibNext =
                    ibFnNextPlausible(ibBase + ibStart + 1, cbFraming);
                ErrorView error =
                    FnError(ibBase + ibStart, dwStatus, szFnRefusalText(dwStatus));
                error.cbSkipped = ibNext - (ibBase + ibStart);
                error.sMessage +=
                    "; skipped " + std::to_string(error.cbSkipped) +
                    (fFnAtEnd(ibNext) ? " bytes to the end of the input"
                                      : " bytes to the next plausible field");
                report_.Error(error);
                return fFnAtEnd(ibNext) ? cbNoResume : ibNext;
            } else if (dwStatus != DSP_OK) {
                const bool fRepeat = fInSkippedRun && dwStatus == DSP_ERR_NOT_SF;
                if (!fRepeat)
                    report_.Error(
                        FnError(ibBase + ibStart, dwStatus, szFnRefusalText(dwStatus)));
                fInSkippedRun = dwStatus == DSP_ERR_NOT_SF;
                if (!options_.fKeepGoing) return cbNoResume;
            } else {
                if (ibEnd != ibStart)
                    report_.Error(FnError(ibBase + ibStart, DSP_OK,
                                          "the input ends inside a structured field"));
                return cbNoResume;
            }
            ibStart = ibEnd;
        }
    }

    InputSource &source_;
    const Options &options_;
    Report &report_;
    std::vector<uint8_t> abScan_;
};

}  // namespace

void vFnDumpStructuredFields(InputSource &source, const Options &options, Report &report,
                             bool fRequired) {
    SfDumper(source, options, report).Run(fRequired);
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
