#include "LineReading.h"

#include <string.h>

#include <iomanip>

#include "MVXError.h"

namespace vokdsp_test {

LineDesc::LineDesc(uint16_t wFormat, uint16_t cbMaxRecord) {
    memcpy(ab + 288, &wFormat, 2);
    memcpy(ab + 292, &cbMaxRecord, 2);
}

void *JobRecord::WorkBuffer() const {
    void *lp;
    memcpy(&lp, ab + 96, sizeof lp);
    return lp;
}

bool ThrownError::operator==(const ThrownError &o) const {
    return sMessage == o.sMessage && nCode == o.nCode && nSubCode == o.nSubCode &&
           sFile == o.sFile && nLine == o.nLine;
}

bool LineRecord::operator==(const LineRecord &o) const {
    return cbResult == o.cbResult && bCC == o.bCC && bTRC == o.bTRC &&
           cbData == o.cbData && fEnd == o.fEnd && dwStatus == o.dwStatus &&
           abData == o.abData && bTerminator == o.bTerminator &&
           cbConsumed == o.cbConsumed && cbRecord == o.cbRecord && thrown == o.thrown;
}

std::ostream &operator<<(std::ostream &os, const LineRecord &r) {
    os << "{result " << r.cbResult << std::hex << " cc " << int{r.bCC} << " trc "
       << int{r.bTRC} << std::dec << " cbData " << r.cbData << " end " << r.fEnd
       << " status " << std::hex << r.dwStatus << " data";
    for (uint8_t b : r.abData) os << ' ' << std::setw(2) << std::setfill('0') << int{b};
    os << " nul " << int{r.bTerminator} << std::dec << " consumed " << r.cbConsumed
       << " record " << r.cbRecord;
    if (r.thrown)
        os << " thrown \"" << r.thrown->sMessage << "\" " << r.thrown->nCode << ' '
           << r.thrown->nSubCode << ' ' << r.thrown->sFile << ':' << r.thrown->nLine;
    os << '}';
    return os;
}

LineReader::LineReader(MemorySource &source, uint16_t wFormat, uint16_t cbMaxRecord,
                       uint32_t dwStatusBefore)
    : dwStatus_(dwStatusBefore) {
    LineDesc desc(wFormat, cbMaxRecord);
    fCreated_ = fFnVOK32XX_CreateIndirect(job_.ab, desc.ab, &lpRec_, source.Context(),
                                          &MemorySource::Read, &dwStatus_) == 1;
}

LineReader::~LineReader() { Destroy(); }

void LineReader::Destroy() {
    if (fCreated_) fFnVOK32XX_Destroy(lpRec_, job_.ab);
    fCreated_ = false;
}

LineRecord LineReader::Next() {
    LineRecord r;
    try {
        r.cbResult = cFnVOK32XX_GetNext(lpRec_, &dwStatus_);
    } catch (const MVXError &e) {
        r.thrown = ThrownError{e.Message(), e.Code(), e.SubCode(), e.File(), e.Line()};
    }
    Snapshot(r);
    return r;
}

void LineReader::Snapshot(LineRecord &r) const {
    r.bCC = lpRec_->bCC;
    r.bTRC = lpRec_->bTRC;
    r.cbData = lpRec_->cbData;
    r.fEnd = lpRec_->fEnd;
    r.dwStatus = lpRec_->dwStatus;
    r.abData.assign(lpRec_->abData, lpRec_->abData + lpRec_->cbData);
    r.bTerminator = lpRec_->abData[lpRec_->cbData];
    fFnGetMixedDataCurrentRecordInfo(lpRec_, &r.cbConsumed, &r.cbRecord, nullptr);
}

std::vector<LineRecord> LineReader::ReadAll(size_t nMax) {
    std::vector<LineRecord> records;
    while (records.size() < nMax) {
        LineRecord r = Next();
        if (r.cbResult == 0) break;
        records.push_back(std::move(r));
    }
    return records;
}

Bytes Descriptor(size_t cb) {
    return {static_cast<uint8_t>(cb >> 8), static_cast<uint8_t>(cb), 0, 0};
}

}  // namespace vokdsp_test
