#include "InputSource.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "Report.h"

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
// The stretch of a regular file mapped at once: address space and resident
// size stay bounded however large the file.
constexpr uint64_t cbMapWindow = uint64_t{16} << 20;
// Windows start on 2 MiB boundaries of the file, so that where the page cache
// holds large pages a fault maps one of them whole.
constexpr uint64_t cbMapAlign = uint64_t{2} << 20;
// The stretch one page fault maps (the kernel's fault-around).
constexpr size_t cbPrefaultStep = size_t{64} << 10;

// What a fault on the mapped file prints: made when the file is mapped, as
// the handler may only write(2) and _exit(2).
char szFaultMessage[1024];
size_t cbFaultMessage = 0;

void vFnOnFault(int) {
    ssize_t cb = write(STDERR_FILENO, szFaultMessage, cbFaultMessage);
    (void)cb;
    _exit(1);
}

// A mapped file cut short, or failing on disk, faults when read: dspdump
// then ends with a message, never with a core dump or as if all went well.
void vFnFailOnFault(const std::string &sName) {
    const int cb =
        snprintf(szFaultMessage, sizeof szFaultMessage,
                 "dspdump: %s: the file changed or could not be read while it was read\n",
                 sFnEscaped(sName).c_str());
    cbFaultMessage = std::min<size_t>(size_t(std::max(cb, 0)), sizeof szFaultMessage - 1);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = vFnOnFault;
    sigaction(SIGBUS, &action, nullptr);
}

// Faults a mapped window in before it is read, a byte every cbPrefaultStep:
// each fault maps the pages around it too, and faults taken in one run cost
// the reader behind the callback less than faults among its work (which
// flush its cache and TLB), and less than madvise(MADV_POPULATE_READ), which
// walks the window page by page. A file cut since its size was looked at
// faults here as it would when read.
void vFnPrefault(const uint8_t *lpb, size_t cb) {
    for (size_t ib = 0; ib < cb; ib += cbPrefaultStep)
        (void)*static_cast<const volatile uint8_t *>(lpb + ib);
}

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
    if (!sPath.empty() && sPath != "-" && cbSize_ != 0) Map();
    fOpen_ = true;
}

InputSource::~InputSource() {
    if (lpbWindow_ != nullptr) munmap(const_cast<uint8_t *>(lpbWindow_), cbWindow_);
    if (fp_ != nullptr) fclose(fp_);
}

// A regular file is read through a window mapped on it, without a system
// call and the kernel's copy for each block; where mapping fails, stdio reads.
void InputSource::Map() {
    cbMappable_ = cbSize_;
    vFnFailOnFault(sName_);  // before the first window is touched
    if (!fFnMapAround(0, 1)) return;
    fMapped_ = true;
}

// Maps the window anew so that it holds [ibFile, ibFile + cb) and what lies a
// ring's length before; false where the file is shorter or mapping fails.
bool InputSource::fFnMapAround(uint64_t ibFile, size_t cb) const {
    if (lpbWindow_ != nullptr) munmap(const_cast<uint8_t *>(lpbWindow_), cbWindow_);
    lpbWindow_ = nullptr;
    const uint64_t ibStart =
        ibFile < cbKept ? 0 : (ibFile - cbKept) / cbMapAlign * cbMapAlign;
    if (ibFile + cb > cbMappable_ ||
        cbMappable_ - ibStart != size_t(cbMappable_ - ibStart))
        return false;
    cbWindow_ = size_t(std::min(cbMapWindow, cbMappable_ - ibStart));
    void *lpv =
        mmap(nullptr, cbWindow_, PROT_READ, MAP_SHARED, fileno(fp_), off_t(ibStart));
    if (lpv == MAP_FAILED) return false;
    madvise(lpv, cbWindow_, MADV_SEQUENTIAL);
    // What the kernel reads from disk through the window it then caches in
    // large pages where it can: this run and later ones map each with one
    // fault, and unmap it at once, instead of 4 KiB page by page.
    madvise(lpv, cbWindow_, MADV_HUGEPAGE);
    lpbWindow_ = static_cast<const uint8_t *>(lpv);
    // From ibFile on: what lies before it was read through the last window.
    vFnPrefault(lpbWindow_ + (ibFile - ibStart), cbWindow_ - size_t(ibFile - ibStart));
    ibWindow_ = ibStart;
    return true;
}

// File bytes [ibFile, ibFile + cb), all read already and, in the ring, kept
// and not wrapped round.
const uint8_t *InputSource::lpbFnFileBytes(uint64_t ibFile, size_t cb) const {
    if (!fMapped_) return abFile_ + ibFile % cbKept;
    if (ibFile < ibWindow_ || ibFile + cb > ibWindow_ + cbWindow_ ||
        lpbWindow_ == nullptr) {
        if (!fFnMapAround(ibFile, cb)) FailToRead();
    }
    return lpbWindow_ + (ibFile - ibWindow_);
}

// A read that fails is never taken for the end of the input: the run ends
// with the reason and status 1.
void InputSource::FailToRead() const {
    fprintf(stderr, "dspdump: %s: cannot read: %s\n", sFnEscaped(sName_).c_str(),
            strerror(errno));
    exit(1);
}

uint16_t InputSource::Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                           uint32_t *) {
    auto *self = static_cast<InputSource *>(lpContext);
    if (cbWanted == 0) return 0;  // release: the file closes with the source
    const uint16_t cb =
        self->lpCrLf_ ? self->cbFnServeCrLf(lpbDest) : self->cbFnServeFile(lpbDest);
    if (self->lpCrLf_ || !self->fMapped_)
        self->vFnKeepServed(lpbDest, cb);
    else
        self->cbServed_ += cb;
    if (self->fProgress_ && self->cbRead_ >= self->cbNextProgress_)
        self->vFnShowProgress();
    return cb;
}

// At the end of a mapped file: one that grew since is read on to its new
// end; one that shrank gave zeros for its lost bytes in the last page, which
// fail the run as a fault would.
void InputSource::LookAtSizeAgain() {
    struct stat st;
    if (fstat(fileno(fp_), &st) != 0) return;
    if (uint64_t(st.st_size) < cbMappable_) vFnOnFault(SIGBUS);
    cbMappable_ = uint64_t(st.st_size);
}

// One more block of the file into the ring (or, mapped, into reach); false
// at its end.
bool InputSource::fFnFetch() {
    const size_t ib = cbRead_ % cbKept;
    size_t cb = std::min<size_t>(cbBlock, cbKept - ib);
    if (fMapped_) {
        if (cbRead_ == cbMappable_) LookAtSizeAgain();
        cb = std::min<uint64_t>(cb, cbMappable_ - cbRead_);
    } else {
        cb = fread(abFile_ + ib, 1, cb, fp_);
        if (cb == 0 && ferror(fp_)) FailToRead();
    }
    cbRead_ += cb;
    return cb != 0;
}

uint16_t InputSource::cbFnServeFile(uint8_t *lpbDest) {
    if (ibNext_ == cbRead_ && !fFnFetch()) return 0;
    const size_t ib = ibNext_ % cbKept;
    const size_t cb = std::min<uint64_t>({cbBlock, cbRead_ - ibNext_, cbKept - ib});
    memcpy(lpbDest, lpbFnFileBytes(ibNext_, cb), cb);
    ibNext_ += cb;
    return static_cast<uint16_t>(cb);
}

uint16_t InputSource::cbFnServeCrLf(uint8_t *lpbDest) {
    uint16_t cb = 0;
    while (cb <= cbBlock - 3 && (ibNext_ != cbRead_ || fFnFetch())) {
        // What was fetched last lies in one piece.
        const uint8_t *lpb = lpbFnFileBytes(ibNext_, cbRead_ - ibNext_);
        for (; cb <= cbBlock - 3 && ibNext_ != cbRead_; ++ibNext_) {
            unsigned mInserted = 0;
            const unsigned cbOut = lpCrLf_->cbFnPresent(*lpb++, lpbDest + cb, &mInserted);
            for (unsigned i = 0; i < cbOut; ++i)
                if (mInserted & (1u << i)) dqibInserted_.push_back(cbServed_ + cb + i);
            cb += cbOut;
        }
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
    if (lpCrLf_ || !fMapped_) return abServed_[ibServed % cbKept];
    // Mapped, the served bytes are the file's since the latest restart.
    if (ibServed < cbServedAtRestart_) return -1;
    return *lpbFnFileBytes(ibServed - cbServedAtRestart_ + ibRestart_, 1);
}

size_t InputSource::cbFnPeek(uint64_t ibFile, uint8_t *lpb, size_t cb) {
    while (cbRead_ < ibFile + cb && fFnFetch()) {
    }
    if (ibFile >= cbRead_ || cbRead_ - ibFile > cbKept) return 0;
    cb = std::min<uint64_t>(cb, cbRead_ - ibFile);
    if (fMapped_)
        memcpy(lpb, lpbFnFileBytes(ibFile, cb), cb);
    else
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
