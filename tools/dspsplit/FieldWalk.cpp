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
constexpr size_t cbReadAhead = size_t{1} << 20;
constexpr uint16_t cbBlock = 4096;

// Serves the file to the reader's callback from a buffer refilled with pread.
struct ReadContext {
    int fd;
    uint64_t ibNext = 0;
    std::vector<uint8_t> ab = std::vector<uint8_t>(cbReadAhead);
    size_t ibBuffer = 0, cbBuffer = 0;
};

uint16_t cbFnRead(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext, uint32_t *) {
    auto *lpRead = static_cast<ReadContext *>(lpContext);
    if (cbWanted == 0) return 0;
    if (lpRead->ibBuffer == lpRead->cbBuffer) {
        const ssize_t cb =
            pread(lpRead->fd, lpRead->ab.data(), cbReadAhead, lpRead->ibNext);
        lpRead->cbBuffer = cb > 0 ? size_t(cb) : 0;
        lpRead->ibBuffer = 0;
        lpRead->ibNext += lpRead->cbBuffer;
    }
    const size_t cb =
        std::min<size_t>({cbWanted, cbBlock, lpRead->cbBuffer - lpRead->ibBuffer});
    memcpy(lpbDest, lpRead->ab.data() + lpRead->ibBuffer, cb);
    lpRead->ibBuffer += cb;
    return static_cast<uint16_t>(cb);
}

unsigned cbFnFraming(int fd) {
    uint8_t ab[8] = {};
    if (pread(fd, ab, sizeof ab, 0) != ssize_t(sizeof ab)) return 0;
    return modca::cbFnStreamFraming(ab);
}

// The data length of the field in record range.
size_t cbFnData(const Input &input, const SFREC *lpRec, const modca::ByteRange &range) {
    uint8_t cbExtension = 0;
    if ((lpRec->hdr.bFlags & 0x80) &&
        pread(input.fd, &cbExtension, 1, range.ib + input.cbFraming + 9) != 1)
        cbExtension = 0;
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

void vFnWalkFields(const Input &input, uint64_t ibStop, modca::StreamIndex *lpIndex,
                   const std::function<bool(const modca::IndexedField &)> &fnField) {
    ReadContext context{input.fd};
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
        field.cbData = cbFnData(input, lpRec, field.range);
        if (ibStart >= ibStop || !fnField(field)) break;
        ibStart = ibEnd;
    }
    fFnDestroyIBMSF(lpRec);
}

}  // namespace dspsplit
