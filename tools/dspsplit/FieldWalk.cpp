#include "FieldWalk.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "Fields.h"
#include "ReaderStatus.h"
#include "vokDSPsr.h"

namespace dspsplit {
namespace {

constexpr uint16_t cbFieldData = 65535;  // room for the longest data a field has
constexpr size_t cbWindow = size_t{2} << 20;

// Serves the file to the reader's callback from the window, refilled with
// large reads. It keeps what is still wanted when that fits in half the
// window, else at least the current field.
using Source = FieldWalk::Source;

void Refill(Source *lpRead) {
    Window &window = lpRead->window;
    const uint64_t ibEnd = window.ibStart + window.cb;
    const size_t cbHalf = window.ab.size() / 2;
    const uint64_t ibWanted =
        std::min(lpRead->splitter.ibOldestWanted(), lpRead->ibField);
    size_t cbKept = window.cbHeldFrom(ibWanted);
    // A field is far shorter than half the window.
    if (cbKept == 0 || cbKept > cbHalf) cbKept = window.cbHeldFrom(lpRead->ibField);
    memmove(window.ab.data(), window.ab.data() + (window.cb - cbKept), cbKept);
    window.ibStart = ibEnd - cbKept;
    window.cb = cbKept;
    lpRead->ibNext = cbKept;
    ssize_t cb;
    do
        cb = pread(lpRead->fd, window.ab.data() + cbKept, window.ab.size() - cbKept,
                   ibEnd);
    while (cb < 0 && errno == EINTR);
    if (cb > 0) window.cb += size_t(cb);
    if (cb < 0) lpRead->nReadError = errno;
}

uint16_t cbFnRead(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext, uint32_t *) {
    auto *lpRead = static_cast<Source *>(lpContext);
    if (cbWanted == 0) return 0;
    if (lpRead->ibNext == lpRead->window.cb) Refill(lpRead);
    size_t cb = lpRead->window.cb - lpRead->ibNext;
    if (cb > cbWanted) cb = cbWanted;  // the reader asks for a block at most
    memcpy(lpbDest, lpRead->window.ab.data() + lpRead->ibNext, cb);
    lpRead->ibNext += cb;
    return static_cast<uint16_t>(cb);
}

unsigned cbFnFraming(int fd) {
    uint8_t ab[8] = {};
    if (pread(fd, ab, sizeof ab, 0) != ssize_t(sizeof ab)) return 0;
    return modca::cbFnStreamFraming(ab);
}

// The data length of the field in record range, whose start the window holds.
size_t cbFnData(const Input &input, const Window &window, const SFREC *lpRec,
                const modca::ByteRange &range) {
    const uint64_t ibExtension = range.ib + input.cbFraming + 9;
    uint8_t cbExtension = 0;
    if ((lpRec->hdr.bFlags & 0x80) && window.cbHeldFrom(ibExtension) != 0)
        cbExtension = *window.lpbAt(ibExtension);
    return modca::cbFnFieldData(range.cb, input.cbFraming, cbExtension, cbFieldData);
}

}  // namespace

bool fFnOpenInput(const std::string &sPath, Input *lpInput, std::string *lpsError) {
    lpInput->sName = sPath == "-" ? "(standard input)" : sPath;
    lpInput->fd = sPath == "-" ? dup(STDIN_FILENO) : open(sPath.c_str(), O_RDONLY);
    struct stat st;
    if (lpInput->fd < 0 || fstat(lpInput->fd, &st) != 0) {
        *lpsError = std::string("cannot read: ") + strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *lpsError = S_ISDIR(st.st_mode)
                        ? std::string("cannot read: ") + strerror(EISDIR)
                        : "not a regular file: dspsplit copies from its input by offset "
                          "and needs a seekable file (redirect standard input from one)";
        return false;
    }
    lpInput->cbFraming = cbFnFraming(lpInput->fd);
    return true;
}

FieldWalk::FieldWalk(const Input &input, Window *lpWindow, modca::StreamIndex *lpIndex,
                     const modca::Splitter &splitter)
    : input_(input), index_(*lpIndex), source_{input.fd, *lpWindow, splitter, 0, 0, 0} {
    lpWindow->ab.resize(cbWindow);
    uint32_t dwStatus = DSP_OK;
    lpRec_ = lpibmsfFnCreate(nullptr, cbFieldData, &cbFnRead, &source_, &dwStatus);
    if (lpRec_ == nullptr)
        index_.SetDamage(0, dwStatus == DSP_ERR_UNKNOWN_SF_ID
                                ? "the first structured field has an unknown identifier"
                                : "not a structured-field stream");
}

FieldWalk::~FieldWalk() { fFnDestroyIBMSF(lpRec_); }

bool FieldWalk::fNext(modca::IndexedField *lpField) {
    if (lpRec_ == nullptr) return false;
    const uint64_t ibStart = ibEnd_;
    source_.ibField = ibStart;
    uint32_t dwStatus = DSP_OK;
    const int32_t cbSF = fFnGetNextIBMSF(lpRec_, &dwStatus);
    // A plain stream's record is its field, the introducer and cbSF bytes.
    if (cbSF == 0 || !fPlain_) {
        uint32_t cbPos = 0, cbLength = 0;
        fFnGetIBMSFCurrentRecordInfo(lpRec_, &cbPos, &cbLength, nullptr);
        // The reader's position is 32 bits wide.
        const uint32_t cbRecord = cbPos - uint32_t(ibEnd_);
        // The first field tells whether the reader takes the stream as plain.
        if (ibStart == 0)
            fPlain_ =
                input_.cbFraming == 0 && cbSF != 0 && cbRecord == uint32_t(cbSF) + 1;
        ibEnd_ += cbRecord;
    } else {
        ibEnd_ += uint32_t(cbSF) + 1;
    }
    if (cbSF == 0) {
        // A read that failed is not the end of the input.
        if (source_.nReadError != 0)
            index_.SetDamage(ibEnd_,
                             std::string("cannot read: ") + strerror(source_.nReadError));
        else if (dwStatus != DSP_OK)
            index_.SetDamage(ibStart, modca::szFnRefusalText(dwStatus));
        else if (ibEnd_ != ibStart)
            index_.SetDamage(ibStart, "the input ends inside a structured field");
        fFnDestroyIBMSF(lpRec_);
        lpRec_ = nullptr;
        return false;
    }
    lpField->range = {ibStart, ibEnd_ - ibStart};
    lpField->dwID = lpRec_->hdr.dwID;
    lpField->lpbData = lpRec_->abData;
    lpField->cbData = cbFnData(input_, source_.window, lpRec_, lpField->range);
    return true;
}

}  // namespace dspsplit
