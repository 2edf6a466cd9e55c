#include "InputSource.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dspdump {
namespace {

const uint8_t abBundledSample[] = {
#include "BundledSample.inc"
};

constexpr uint64_t cbProgressThreshold = uint64_t{64} << 20;
constexpr uint64_t cbProgressStep = uint64_t{16} << 20;

}  // namespace

InputSource::InputSource(const std::string &sPath) {
    if (sPath.empty()) {
        sName_ = "(bundled sample document.afp)";
        lpbMemory_ = abBundledSample;
        cbSize_ = sizeof abBundledSample;
        fOpen_ = true;
        return;
    }
    sName_ = sPath;
    fp_ = sPath == "-" ? fdopen(dup(STDIN_FILENO), "rb") : fopen(sPath.c_str(), "rb");
    if (fp_ == nullptr) {
        sOpenError_ = strerror(errno);
        return;
    }
    struct stat st;
    if (fstat(fileno(fp_), &st) == 0 && S_ISDIR(st.st_mode)) {
        sOpenError_ = strerror(EISDIR);
        return;
    }
    if (fstat(fileno(fp_), &st) == 0 && S_ISREG(st.st_mode)) cbSize_ = st.st_size;
    fOpen_ = true;
}

void InputSource::EnableProgress(Progress progress) {
    fProgress_ = progress == Progress::On ||
                 (progress == Progress::Auto && isatty(STDERR_FILENO) &&
                  cbSize_ > cbProgressThreshold);
}

InputSource::~InputSource() {
    FinishProgress();
    if (fp_ != nullptr) fclose(fp_);
}

uint16_t InputSource::Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                           uint32_t *) {
    auto *self = static_cast<InputSource *>(lpContext);
    if (cbWanted == 0) return 0;  // release: the file closes with the source
    const uint16_t cb = self->cbFnFill(lpbDest);
    self->vFnKeep(lpbDest, cb);
    self->cbDelivered_ += cb;
    if (self->fProgress_ && self->cbDelivered_ >= self->cbNextProgress_)
        self->vFnShowProgress();
    return cb;
}

uint16_t InputSource::cbFnFill(uint8_t *lpbDest) {
    constexpr size_t cbBlock = 4096;
    if (fp_ != nullptr) return static_cast<uint16_t>(fread(lpbDest, 1, cbBlock, fp_));
    if (lpbMemory_ == nullptr || cbDelivered_ >= cbSize_) return 0;
    const size_t cb = cbSize_ - cbDelivered_ < cbBlock ? cbSize_ - cbDelivered_ : cbBlock;
    memcpy(lpbDest, lpbMemory_ + cbDelivered_, cb);
    return static_cast<uint16_t>(cb);
}

void InputSource::vFnKeep(const uint8_t *lpb, uint16_t cb) {
    const size_t ib = cbDelivered_ % cbKept;
    const size_t cbFirst = cb < cbKept - ib ? cb : cbKept - ib;
    memcpy(abKept_ + ib, lpb, cbFirst);
    memcpy(abKept_, lpb + cbFirst, cb - cbFirst);
}

int InputSource::nByteAt(uint64_t ibStream) const {
    if (ibStream >= cbDelivered_ || cbDelivered_ - ibStream > cbKept) return -1;
    return abKept_[ibStream % cbKept];
}

void InputSource::vFnShowProgress() {
    cbNextProgress_ = cbDelivered_ + cbProgressStep;
    fprintf(stderr, "\rdspdump: %llu MiB",
            static_cast<unsigned long long>(cbDelivered_ >> 20));
    if (cbSize_ != 0)
        fprintf(stderr, " of %llu MiB (%u%%)",
                static_cast<unsigned long long>(cbSize_ >> 20),
                static_cast<unsigned>(cbDelivered_ * 100 / cbSize_));
    fProgressShown_ = true;
}

void InputSource::FinishProgress() {
    if (fProgressShown_) fputc('\n', stderr);
    fProgressShown_ = false;
}

}  // namespace dspdump
