#include "Output.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace dspsplit {
namespace {

constexpr size_t cbCache = size_t{256} << 10;
constexpr size_t cbOutBuffer = size_t{1} << 20;
constexpr size_t cbMaxName = 100;
constexpr unsigned cbPrefix = 2;

// Letters, digits, '.', '-' and '_' kept, anything else '_'; never hidden.
std::string sFnSafeName(const std::string &sName) {
    std::string s = sName.substr(0, cbMaxName);
    for (char &c : s)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
    if (!s.empty() && s[0] == '.') s[0] = '_';
    return s.empty() ? "group" : s;
}

std::string sFnDirectoryOf(const std::string &sPath) {
    const size_t i = sPath.rfind('/');
    return i == std::string::npos ? "." : i == 0 ? "/" : sPath.substr(0, i);
}

// ".NAME.part" beside NAME.
std::string sFnTempPath(const std::string &sPath) {
    const size_t i = sPath.rfind('/') + 1;  // 0 without a directory
    return sPath.substr(0, i) + "." + sPath.substr(i) + ".part";
}

bool fFnNotBefore(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

}  // namespace

OutputSink::OutputSink(const Input &input, const Window &window,
                       const OutputOptions &options)
    : input_(input),
      window_(window),
      options_(options),
      fStrip_(input.cbFraming != 0 && !options.fKeepFraming),
      abCache_(cbCache),
      abOut_(cbOutBuffer) {}

OutputSink::~OutputSink() {
    if (fd_ >= 0) close(fd_);
    if (fpJournal_ != nullptr) fclose(fpJournal_);
}

bool OutputSink::fReady() {
    fpJournal_ = tmpfile();
    if (fpJournal_ == nullptr) {
        Fail("(journal)", "cannot create a temporary file");
        return false;
    }
    if (options_.fDryRun) return true;
    const std::string sDir =
        options_.fGroups ? options_.sPath : sFnDirectoryOf(options_.sPath);
    if (options_.fGroups && mkdir(sDir.c_str(), 0777) != 0 && errno != EEXIST) {
        Fail(sDir, "cannot create the directory");
        return false;
    }
    std::string sStamp = sDir + "/.dspsplit-XXXXXX";
    const int fd = mkstemp(&sStamp[0]);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        Fail(sDir, "cannot write in the directory");
        return false;
    }
    stamp_ = st.st_mtim;
    close(fd);
    unlink(sStamp.c_str());
    return true;
}

void OutputSink::Open(const std::string &sName) {
    sPath_ = options_.fGroups ? sFnPathFor(sName) : options_.sPath;
    cbWritten_ = 0;
    if (!options_.fGroups && !options_.fDryRun && !fFnReserve(sPath_))
        Fail(sFnTempPath(sPath_), "cannot write");
}

std::string OutputSink::sFnPathFor(const std::string &sName) {
    const std::string sBase = options_.sPath + "/" + sFnSafeName(sName);
    // A run of one name (a missing tag, say) goes on from the last number given.
    uint64_t n = sBase == sLastBase_ ? nLastNumber_ : 1;
    std::string sPath =
        n == 1 ? sBase + ".afp" : sBase + "-" + std::to_string(n) + ".afp";
    while (!fFnReserve(sPath) && !fFailed_)
        sPath = sBase + "-" + std::to_string(++n) + ".afp";
    sLastBase_ = sBase;
    nLastNumber_ = n;
    return sPath;
}

// Opens the temporary file of sPath, unless this run has made it already.
bool OutputSink::fFnReserve(const std::string &sPath) {
    if (options_.fDryRun) return dryRunNames_.insert(sPath).second;
    const std::string sTemp = sFnTempPath(sPath);
    struct stat st;
    if (lstat(sTemp.c_str(), &st) == 0 && fFnNotBefore(st.st_mtim, stamp_)) return false;
    fd_ = open(sTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
    if (fd_ < 0) Fail(sTemp, "cannot write");
    return true;
}

// Ranges that follow on are gathered and copied as one, in the kernel where
// the window no longer holds them: one output of all pages is one copy.
void OutputSink::Copy(const modca::ByteRange &range) {
    if (fStrip_ || fd_ < 0) return CopyNow(range);
    if (pending_.cb != 0 && pending_.ibEnd() == range.ib) {
        pending_.cb += range.cb;
        return;
    }
    CopyPending();
    pending_ = range;
}

void OutputSink::CopyPending() {
    const modca::ByteRange range = pending_;
    pending_ = modca::ByteRange();
    if (range.cb != 0) CopyNow(range);
}

void OutputSink::CopyNow(const modca::ByteRange &range) {
    if (options_.fDryRun && !fStrip_) {
        cbWritten_ += range.cb;
        return;
    }
    cbFramingSeen_ = 0;
    cbFieldLeft_ = 0;
    for (uint64_t ib = range.ib; ib < range.ibEnd() && !fFailed_;) {
        const size_t cbHeld = window_.cbHeldFrom(ib);
        if (cbHeld != 0) {
            const size_t cb = std::min<uint64_t>(cbHeld, range.ibEnd() - ib);
            Put(window_.lpbAt(ib), cb);
            ib += cb;
            continue;
        }
        const uint64_t ibTo = window_.ibStart > ib && window_.ibStart < range.ibEnd()
                                  ? window_.ibStart
                                  : range.ibEnd();
        CopyFromFile({ib, ibTo - ib});
        ib = ibTo;
    }
}

// What the window no longer holds: through the cache when it fits, else in
// the kernel where it can be, else in pieces.
void OutputSink::CopyFromFile(const modca::ByteRange &range) {
    if (range.cb <= abCache_.size()) {
        if ((cached_.ib != range.ib || cached_.cb != range.cb) &&
            !fFnReadAt(abCache_.data(), range))
            return;
        cached_ = range;
        return Put(abCache_.data(), range.cb);
    }
    uint64_t ib = range.ib;
    if (!fStrip_ && fd_ >= 0 && fFnFlush()) ib = ibFnCopyInKernel(range);
    cached_ = modca::ByteRange();
    while (ib < range.ibEnd() && !fFailed_) {
        const modca::ByteRange piece = {
            ib, std::min<uint64_t>(abCache_.size(), range.ibEnd() - ib)};
        if (!fFnReadAt(abCache_.data(), piece)) return;
        Put(abCache_.data(), piece.cb);
        ib += piece.cb;
    }
}

bool OutputSink::fFnReadAt(uint8_t *lpb, const modca::ByteRange &range) {
    for (uint64_t cbDone = 0; cbDone < range.cb;) {
        const ssize_t cb =
            pread(input_.fd, lpb + cbDone, range.cb - cbDone, range.ib + cbDone);
        if (cb < 0 && errno == EINTR) continue;
        if (cb <= 0) {
            Fail(input_.sName, "cannot read");
            return false;
        }
        cbDone += uint64_t(cb);
    }
    return true;
}

// Copies what it can of range without bringing it into the process (where
// the file systems allow); returns where it stopped.
uint64_t OutputSink::ibFnCopyInKernel(const modca::ByteRange &range) {
    loff_t ib = static_cast<loff_t>(range.ib);
    while (uint64_t(ib) < range.ibEnd()) {
        const ssize_t cb = copy_file_range(input_.fd, &ib, fd_, nullptr,
                                           range.ibEnd() - uint64_t(ib), 0);
        if (cb <= 0) break;  // not possible here: the ordinary copy goes on
        cbWritten_ += uint64_t(cb);
    }
    return uint64_t(ib);
}

void OutputSink::Put(const uint8_t *lpb, size_t cb) {
    if (fStrip_)
        CopyStripped(lpb, cb);
    else
        fFnWrite(lpb, cb);
}

// An End without a name (which closes its Begin whatever that is named), in
// the framing the output keeps.
void OutputSink::WriteEnd(uint32_t dwID) {
    CopyPending();
    const unsigned cbFraming = fStrip_ ? 0 : input_.cbFraming;
    uint8_t ab[13] = {};
    uint8_t *lpbField = ab + cbFraming;
    lpbField[0] = 0x5A;
    lpbField[2] = 8;  // the length counts all but the 0x5A
    lpbField[3] = uint8_t(dwID >> 16);
    lpbField[4] = uint8_t(dwID >> 8);
    lpbField[5] = uint8_t(dwID);
    if (cbFraming != 0) ab[1] = uint8_t(cbFraming == cbPrefix ? 9 : 13);
    fFnWrite(ab, cbFraming + 9);
}

// Writes the fields of whole records, leaving out their framing: an RDW,
// whose first two bytes count the record with it, or a 2-byte prefix, which
// counts the field alone.
void OutputSink::CopyStripped(const uint8_t *lpb, size_t cb) {
    while (cb != 0) {
        if (cbFieldLeft_ == 0) {
            abFraming_[cbFramingSeen_++] = *lpb++;
            --cb;
            if (cbFramingSeen_ == input_.cbFraming) {
                const unsigned cbLength = (abFraming_[0] << 8) | abFraming_[1];
                cbFieldLeft_ = cbFramingSeen_ == cbPrefix  ? cbLength
                               : cbLength > cbFramingSeen_ ? cbLength - cbFramingSeen_
                                                           : 0;
                cbFramingSeen_ = 0;
            }
            continue;
        }
        const size_t cbField = std::min<uint64_t>(cb, cbFieldLeft_);
        if (!fFnWrite(lpb, cbField)) return;
        lpb += cbField;
        cb -= cbField;
        cbFieldLeft_ -= cbField;
    }
}

// Small pieces gather in the buffer; large ones go out as they are.
bool OutputSink::fFnWrite(const uint8_t *lpb, size_t cb) {
    cbWritten_ += cb;
    if (fd_ < 0) return !fFailed_;
    if ((cbOut_ + cb > abOut_.size() || cb > abOut_.size() / 2) && !fFnFlush())
        return false;
    if (cb > abOut_.size() / 2) return fFnWriteAll(lpb, cb);
    memcpy(abOut_.data() + cbOut_, lpb, cb);
    cbOut_ += cb;
    return true;
}

bool OutputSink::fFnFlush() {
    const size_t cb = cbOut_;
    cbOut_ = 0;
    return fFnWriteAll(abOut_.data(), cb);
}

bool OutputSink::fFnWriteAll(const uint8_t *lpb, size_t cb) {
    while (cb != 0) {
        const ssize_t cbDone = write(fd_, lpb, cb);
        if (cbDone < 0 && errno == EINTR) continue;
        if (cbDone <= 0) {
            Fail(sPath_, "cannot write");
            return false;
        }
        lpb += cbDone;
        cb -= size_t(cbDone);
    }
    return true;
}

void OutputSink::Close(uint64_t nFirstPage, uint64_t nLastPage) {
    CloseFile();
    const Done done = {nFirstPage, nLastPage, cbWritten_};
    const uint32_t cbPath = static_cast<uint32_t>(sPath_.size());
    if (fwrite(&done, sizeof done, 1, fpJournal_) != 1 ||
        fwrite(&cbPath, sizeof cbPath, 1, fpJournal_) != 1 ||
        fwrite(sPath_.data(), 1, cbPath, fpJournal_) != cbPath)
        Fail("(journal)", "cannot write");
}

void OutputSink::Complete(const modca::ByteRange &trailer,
                          const std::vector<uint32_t> &ends, bool fDiscard) {
    if (fpJournal_ == nullptr) return;
    rewind(fpJournal_);
    Done done;
    uint32_t cbPath;
    std::string sPath;
    while (fread(&done, sizeof done, 1, fpJournal_) == 1 &&
           fread(&cbPath, sizeof cbPath, 1, fpJournal_) == 1 && cbPath <= PATH_MAX) {
        sPath.resize(cbPath);
        if (fread(&sPath[0], 1, cbPath, fpJournal_) != cbPath) break;
        Finalize(done, sPath, trailer, ends, !fFailed_ && !fDiscard);
    }
}

// Adds the trailer and Ends and renames, or removes the temporary file.
void OutputSink::Finalize(const Done &done, const std::string &sPath,
                          const modca::ByteRange &trailer,
                          const std::vector<uint32_t> &ends, bool fKeep) {
    const std::string sTemp = sFnTempPath(sPath);
    if (!fKeep) {
        unlink(sTemp.c_str());
        return;
    }
    sPath_ = sPath;
    cbWritten_ = done.cbWritten;
    if (!options_.fDryRun) {
        fd_ = open(sTemp.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW);
        if (fd_ < 0) Fail(sTemp, "cannot write");
    }
    Copy(trailer);
    for (const uint32_t dwID : ends) WriteEnd(dwID);
    CloseFile();
    if (!options_.fDryRun && (fFailed_ || rename(sTemp.c_str(), sPath.c_str()) != 0)) {
        Fail(sPath, "cannot rename the finished output");
        unlink(sTemp.c_str());
        return;
    }
    const std::string sPages = done.nFirstPage == 0 ? "no pages"
                               : done.nFirstPage == done.nLastPage
                                   ? "page " + std::to_string(done.nFirstPage)
                                   : "pages " + std::to_string(done.nFirstPage) + "-" +
                                         std::to_string(done.nLastPage);
    printf("%s\t%s\t%llu bytes\n", sPath.c_str(), sPages.c_str(),
           static_cast<unsigned long long>(cbWritten_));
}

void OutputSink::CloseFile() {
    if (fd_ < 0) return;
    CopyPending();
    const bool fFlushed = fFnFlush();
    if (close(fd_) != 0 && fFlushed) Fail(sPath_, "cannot write");
    fd_ = -1;
}

void OutputSink::Fail(const std::string &sPath, const char *szWhat) {
    if (!fFailed_)
        fprintf(stderr, "dspsplit: %s: %s: %s\n", sPath.c_str(), szWhat, strerror(errno));
    fFailed_ = true;
}

}  // namespace dspsplit
