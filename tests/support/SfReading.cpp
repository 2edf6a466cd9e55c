#include "SfReading.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

namespace vokdsp_test {

namespace {

void AppendWord(Bytes &ab, size_t w) {
    if (w > 0xFFFF) throw std::length_error("16-bit length overflow");
    ab.push_back(static_cast<uint8_t>(w >> 8));
    ab.push_back(static_cast<uint8_t>(w));
}

}  // namespace

Bytes SfBytes(const SfSpec &field) {
    const bool fExtension = (field.bFlags & 0x80) != 0;
    const size_t cbExtension = fExtension ? field.abExtension.size() + 1 : 0;
    Bytes ab{0x5A};
    AppendWord(ab, 8 + cbExtension + field.abData.size());
    ab.push_back(static_cast<uint8_t>(field.dwID >> 16));
    ab.push_back(static_cast<uint8_t>(field.dwID >> 8));
    ab.push_back(static_cast<uint8_t>(field.dwID));
    ab.push_back(field.bFlags);
    AppendWord(ab, field.wSeq);
    if (fExtension) {
        ab.push_back(static_cast<uint8_t>(cbExtension));
        ab.insert(ab.end(), field.abExtension.begin(), field.abExtension.end());
    }
    ab.insert(ab.end(), field.abData.begin(), field.abData.end());
    return ab;
}

Bytes Field(uint32_t dwID, size_t cbData, uint8_t bFill) {
    return SfBytes({dwID, Bytes(cbData, bFill)});
}

Bytes Counting(size_t cb, uint8_t bFirst) {
    Bytes ab(cb);
    for (size_t i = 0; i < cb; ++i) ab[i] = static_cast<uint8_t>(bFirst + i);
    return ab;
}

Bytes RdwRecord(const Bytes &abField, const Bytes &abTrail) {
    Bytes ab;
    AppendWord(ab, 4 + abField.size() + abTrail.size());
    ab.push_back(0);
    ab.push_back(0);
    return Concat({ab, abField, abTrail});
}

Bytes Prefixed(const Bytes &abField) {
    Bytes ab;
    AppendWord(ab, abField.size());
    return Concat({ab, abField});
}

std::vector<uint16_t> BlockPlan(uint16_t cbFirst, uint16_t cbRest, size_t cbInput) {
    std::vector<uint16_t> acb{cbFirst};
    for (size_t cb = cbFirst; cb < cbInput; cb += cbRest) acb.push_back(cbRest);
    return acb;
}

TempFile::TempFile(const Bytes &abContent) {
    const char *lpszDir = getenv("TMPDIR");
    std::string sTemplate = std::string(lpszDir ? lpszDir : "/tmp") + "/vokdsp-sf-XXXXXX";
    const int fd = mkstemp(sTemplate.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    const bool fWritten = write(fd, abContent.data(), abContent.size()) ==
                          static_cast<ssize_t>(abContent.size());
    close(fd);
    sPath_ = sTemplate;
    if (!fWritten) {
        unlink(Path());
        throw std::runtime_error("short write to " + sPath_);
    }
}

TempFile::~TempFile() { unlink(Path()); }

bool SfField::operator==(const SfField &o) const {
    return iResult == o.iResult && hdr.bCC == o.hdr.bCC && hdr.cbSF == o.hdr.cbSF &&
           hdr.dwID == o.hdr.dwID && hdr.bFlags == o.hdr.bFlags &&
           hdr.wSeq == o.hdr.wSeq && abArea == o.abArea && dwPos == o.dwPos &&
           dwLen == o.dwLen;
}

std::string Spelled(const SfField &f, size_t cbShow) {
    char sz[64];
    snprintf(sz, sizeof sz, "%d: %02X %u %06X %02X %u @%u+%u ", f.iResult, f.hdr.bCC,
             f.hdr.cbSF, f.hdr.dwID, f.hdr.bFlags, f.hdr.wSeq, f.dwPos, f.dwLen);
    std::string s = sz;
    for (size_t ib = 0; ib < cbShow && ib < f.abArea.size(); ++ib) {
        snprintf(sz, sizeof sz, "%02X", f.abArea[ib]);
        s += sz;
    }
    return s;
}

std::ostream &operator<<(std::ostream &os, const SfField &f) {
    return os << Spelled(f, 16) << (f.abArea.size() > 16 ? "..." : "");
}

SfReader::SfReader(MemorySource &source, uint16_t cbCapacity, const char *lpszPath)
    : cbCapacity_(cbCapacity), cbSnapshot_(cbCapacity) {
    lpRec_ = lpibmsfFnCreate(lpszPath, cbCapacity, &MemorySource::Read, source.Context(),
                             &dwStatus_);
}

SfReader::SfReader(const char *lpszPath, uint16_t cbCapacity)
    : cbCapacity_(cbCapacity), cbSnapshot_(cbCapacity) {
    lpRec_ = lpibmsfFnCreate(lpszPath, cbCapacity, nullptr, nullptr, &dwStatus_);
}

SfReader::~SfReader() { Destroy(); }

void SfReader::Destroy() {
    if (lpRec_ != nullptr) fFnDestroyIBMSF(lpRec_);
    lpRec_ = nullptr;
}

SfField SfReader::Snapshot(int32_t iResult) const {
    SfField f;
    f.iResult = iResult;
    f.hdr = lpRec_->hdr;
    f.abArea.assign(lpRec_->abData, lpRec_->abData + cbSnapshot_);
    fFnGetIBMSFCurrentRecordInfo(lpRec_, &f.dwPos, &f.dwLen, nullptr);
    return f;
}

SfField SfReader::Next() { return Snapshot(fFnGetNextIBMSF(lpRec_, &dwStatus_)); }

std::vector<SfField> SfReader::ReadAll(size_t nMax) {
    std::vector<SfField> fields;
    while (fields.size() < nMax) {
        SfField f = Next();
        if (f.iResult == 0) break;
        fields.push_back(std::move(f));
    }
    return fields;
}

}  // namespace vokdsp_test
