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
constexpr uint16_t cbBlock = 4096;

// Serves the file to the reader's callback from the window, refilled with
// large reads. It keeps what is still wanted when that fits in half the
// window, else at least the current field.
struct ReadContext {
    int fd;
    Window &window;
    const std::function<uint64_t()> &fnOldestWanted;
    size_t ibNext = 0;  // in the window
    uint64_t ibField = 0;
};

void Refill(ReadContext *lpRead) {
    Window &window = lpRead->window;
    const uint64_t ibEnd = window.ibStart + window.cb;
    const size_t cbHalf = window.ab.size() / 2;
    const uint64_t ibWanted = std::min(lpRead->fnOldestWanted(), lpRead->ibField);
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
}

uint16_t cbFnRead(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext, uint32_t *) {
    auto *lpRead = static_cast<ReadContext *>(lpContext);
    if (cbWanted == 0) return 0;
    if (lpRead->ibNext == lpRead->window.cb) Refill(lpRead);
    const size_t cb =
        std::min<size_t>({cbWanted, cbBlock, lpRead->window.cb - lpRead->ibNext});
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
    lpInput->cbSize = st.st_size;
    lpInput->cbFraming = cbFnFraming(lpInput->fd);
    return true;
}

void vFnWalkFields(const Input &input, Window *lpWindow, modca::StreamIndex *lpIndex,
                   const std::function<bool(const modca::IndexedField &)> &fnField,
                   const std::function<uint64_t()> &fnOldestWanted) {
    lpWindow->ab.resize(cbWindow);
    ReadContext context{input.fd, *lpWindow, fnOldestWanted};
    uint32_t dwStatus = DSP_OK;
    SFREC *lpRec = lpibmsfFnCreate(nullptr, cbFieldData, &cbFnRead, &context, &dwStatus);
    if (lpRec == nullptr) {
        lpIndex->SetDamage(0, dwStatus == DSP_ERR_UNKNOWN_SF_ID
                                  ? "the first structured field has an unknown identifier"
                                  : "not a structured-field stream");
        return;
    }
    uint64_t ibStart = 0, ibEnd = 0;
    uint32_t cbLast = 0;
    for (;;) {
        context.ibField = ibStart;
        dwStatus = DSP_OK;
        const int32_t cbSF = fFnGetNextIBMSF(lpRec, &dwStatus);
        uint32_t cbPos = 0, cbLength = 0;
        fFnGetIBMSFCurrentRecordInfo(lpRec, &cbPos, &cbLength, nullptr);
        ibEnd += uint32_t(cbPos - cbLast);  // the reader's position is 32 bits wide
        cbLast = cbPos;
        if (cbSF == 0) {
            if (dwStatus != DSP_OK)
                lpIndex->SetDamage(ibStart, modca::szFnRefusalText(dwStatus));
            else if (ibEnd != ibStart)
                lpIndex->SetDamage(ibStart, "the input ends inside a structured field");
            break;
        }
        modca::IndexedField field;
        field.range = {ibStart, ibEnd - ibStart};
        field.dwID = lpRec->hdr.dwID;
        field.lpbData = lpRec->abData;
        field.cbData = cbFnData(input, *lpWindow, lpRec, field.range);
        if (!fnField(field)) break;
        ibStart = ibEnd;
    }
    fFnDestroyIBMSF(lpRec);
}

}  // namespace dspsplit
