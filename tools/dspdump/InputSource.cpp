#include "InputSource.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace dspdump {
namespace {

const uint8_t abBundledSample[] = {
#include "BundledSample.inc"
};

constexpr uint16_t cbBlock = 4096;
// What stdio reads from a file or pipe at once: the blocks come out of it
// without a system call each. A read returns what a pipe holds, so a slow
// writer's data still comes through block by block.
constexpr size_t cbStdioBuffer = size_t{1} << 17;
constexpr uint64_t cbProgressThreshold = uint64_t{64} << 20;
constexpr uint64_t cbProgressStep = uint64_t{16} << 20;
// Added line-end bytes further back than this are only counted.
constexpr uint64_t cbInsertedWindow = uint64_t{1} << 18;

FILE *FnOpen(const std::string &sPath) {
    if (sPath.empty())
        return fmemopen(const_cast<uint8_t *>(abBundledSample), sizeof abBundledSample,
                        "rb");
    if (sPath == "-") return fdopen(dup(STDIN_FILENO), "rb");
    return fopen(sPath.c_str(), "rb");
}

}  // namespace

InputSource::InputSource(const std::string &sPath) {
    sName_ = sPath.empty()  ? "(bundled sample document.afp)"
             : sPath == "-" ? "(standard input)"
                            : sPath;
    fp_ = FnOpen(sPath);
    if (fp_ == nullptr) {
        sOpenError_ = strerror(errno);
        return;
    }
    struct stat st;
    if (fstat(fileno(fp_), &st) == 0 && S_ISDIR(st.st_mode)) {
        sOpenError_ = strerror(EISDIR);
        return;
    }
    if (!sPath.empty()) {
        stdioBuffer_.reset(new char[cbStdioBuffer]);
        setvbuf(fp_, stdioBuffer_.get(), _IOFBF, cbStdioBuffer);
    }
    if (sPath.empty())
        cbSize_ = sizeof abBundledSample;
    else if (fstat(fileno(fp_), &st) == 0 && S_ISREG(st.st_mode))
        cbSize_ = st.st_size;
    fOpen_ = true;
}

InputSource::~InputSource() {
    if (fp_ != nullptr) fclose(fp_);
}

uint16_t InputSource::Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                           uint32_t *) {
    auto *self = static_cast<InputSource *>(lpContext);
    if (cbWanted == 0) return 0;  // release: the file closes with the source
    const uint16_t cb =
        self->lpCrLf_ ? self->cbFnServeCrLf(lpbDest) : self->cbFnServeFile(lpbDest);
    self->vFnKeepServed(lpbDest, cb);
    if (self->fProgress_ && self->cbRead_ >= self->cbNextProgress_)
        self->vFnShowProgress();
    return cb;
}

// One more block of the file into the ring; false at its end.
bool InputSource::fFnFetch() {
    const size_t ib = cbRead_ % cbKept;
    const size_t cb = fread(abFile_ + ib, 1, std::min<size_t>(cbBlock, cbKept - ib), fp_);
    cbRead_ += cb;
    return cb != 0;
}

uint16_t InputSource::cbFnServeFile(uint8_t *lpbDest) {
    if (ibNext_ == cbRead_ && !fFnFetch()) return 0;
    const size_t ib = ibNext_ % cbKept;
    const size_t cb = std::min<uint64_t>({cbBlock, cbRead_ - ibNext_, cbKept - ib});
    memcpy(lpbDest, abFile_ + ib, cb);
    ibNext_ += cb;
    return static_cast<uint16_t>(cb);
}

uint16_t InputSource::cbFnServeCrLf(uint8_t *lpbDest) {
    uint16_t cb = 0;
    while (cb <= cbBlock - 3 && (ibNext_ != cbRead_ || fFnFetch())) {
        unsigned mInserted = 0;
        const unsigned cbOut =
            lpCrLf_->cbFnPresent(abFile_[ibNext_++ % cbKept], lpbDest + cb, &mInserted);
        for (unsigned i = 0; i < cbOut; ++i)
            if (mInserted & (1u << i)) dqibInserted_.push_back(cbServed_ + cb + i);
        cb += cbOut;
    }
    while (!dqibInserted_.empty() &&
           dqibInserted_.front() + cbInsertedWindow < cbServed_) {
        dqibInserted_.pop_front();
        ++cInsertedBefore_;
    }
    return cb;
}

uint64_t InputSource::ibFnFileOffset(uint64_t ibServed) const {
    const auto it =
        std::lower_bound(dqibInserted_.begin(), dqibInserted_.end(), ibServed);
    return ibServed - cInsertedBefore_ -
           static_cast<uint64_t>(it - dqibInserted_.begin());
}

bool InputSource::fFnInserted(uint64_t ibServed) const {
    return std::binary_search(dqibInserted_.begin(), dqibInserted_.end(), ibServed);
}

void InputSource::vFnKeepServed(const uint8_t *lpb, uint16_t cb) {
    const size_t ib = cbServed_ % cbKept;
    const size_t cbFirst = std::min<size_t>(cb, cbKept - ib);
    memcpy(abServed_ + ib, lpb, cbFirst);
    memcpy(abServed_, lpb + cbFirst, cb - cbFirst);
    cbServed_ += cb;
}

int InputSource::nByteAt(uint64_t ibServed) const {
    if (ibServed >= cbServed_ || cbServed_ - ibServed > cbKept) return -1;
    return abServed_[ibServed % cbKept];
}

size_t InputSource::cbFnPeek(uint64_t ibFile, uint8_t *lpb, size_t cb) {
    while (cbRead_ < ibFile + cb && fFnFetch()) {
    }
    if (ibFile >= cbRead_ || cbRead_ - ibFile > cbKept) return 0;
    cb = std::min<uint64_t>(cb, cbRead_ - ibFile);
    for (size_t i = 0; i < cb; ++i) lpb[i] = abFile_[(ibFile + i) % cbKept];
    return cb;
}

void InputSource::EnableProgress(Progress progress, bool fListingOnTerminal) {
    fProgress_ = progress == Progress::On ||
                 (progress == Progress::Auto && isatty(STDERR_FILENO) &&
                  cbSize_ > cbProgressThreshold);
    if (fListingOnTerminal) fProgress_ = false;
}

void InputSource::vFnShowProgress() {
    cbNextProgress_ = cbRead_ + cbProgressStep;
    fprintf(stderr, "\rdspdump: %llu MiB",
            static_cast<unsigned long long>(cbRead_ >> 20));
    if (cbSize_ != 0)
        fprintf(
            stderr, " of %llu MiB (%u%%)", static_cast<unsigned long long>(cbSize_ >> 20),
            static_cast<unsigned>(std::min<uint64_t>(cbRead_, cbSize_) * 100 / cbSize_));
    fProgressShown_ = true;
}

void InputSource::BreakProgress() {
    if (fProgressShown_) fputc('\n', stderr);
    fProgressShown_ = false;
}

void InputSource::FinishProgress() {
    if (!fProgress_) return;
    vFnShowProgress();
    BreakProgress();
    fProgress_ = false;
}

}  // namespace dspdump
