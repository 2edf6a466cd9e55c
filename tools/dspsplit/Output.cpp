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

constexpr size_t cbCopyBuffer = size_t{1} << 20;
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

OutputSink::OutputSink(const Input &input, const OutputOptions &options)
    : input_(input), options_(options), abCopy_(cbCopyBuffer) {}

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
    cbWritten_ = ibEnd_ = 0;
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

void OutputSink::Copy(const modca::ByteRange &range) {
    ibEnd_ = std::max(ibEnd_, range.ibEnd());
    const bool fStrip = input_.cbFraming != 0 && !options_.fKeepFraming;
    cbFramingSeen_ = 0;
    cbFieldLeft_ = 0;
    uint64_t ib = range.ib;
    if (!fStrip && fd_ >= 0) ib = ibFnCopyInKernel(range);
    for (; ib < range.ibEnd() && !fFailed_;) {
        const size_t cbWanted = std::min<uint64_t>(abCopy_.size(), range.ibEnd() - ib);
        const ssize_t cb = pread(input_.fd, abCopy_.data(), cbWanted, ib);
        if (cb <= 0) {
            Fail(input_.sName, "cannot read");
            return;
        }
        if (fStrip)
            CopyStripped(abCopy_.data(), size_t(cb));
        else
            fFnWrite(abCopy_.data(), size_t(cb));
        ib += uint64_t(cb);
    }
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

bool OutputSink::fFnWrite(const uint8_t *lpb, size_t cb) {
    cbWritten_ += cb;
    if (fd_ < 0) return !fFailed_;
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
    if (fd_ >= 0 && close(fd_) != 0) Fail(sPath_, "cannot write");
    fd_ = -1;
    const Done done = {nFirstPage, nLastPage, cbWritten_, ibEnd_};
    const uint32_t cbPath = static_cast<uint32_t>(sPath_.size());
    if (fwrite(&done, sizeof done, 1, fpJournal_) != 1 ||
        fwrite(&cbPath, sizeof cbPath, 1, fpJournal_) != 1 ||
        fwrite(sPath_.data(), 1, cbPath, fpJournal_) != cbPath)
        Fail("(journal)", "cannot write");
}

void OutputSink::Complete(const modca::ByteRange &trailer, bool fDiscard, bool fKeepOnly,
                          uint64_t ibDamage) {
    if (fpJournal_ == nullptr) return;
    rewind(fpJournal_);
    Done done;
    uint32_t cbPath;
    std::string sPath;
    while (fread(&done, sizeof done, 1, fpJournal_) == 1 &&
           fread(&cbPath, sizeof cbPath, 1, fpJournal_) == 1 && cbPath <= PATH_MAX) {
        sPath.resize(cbPath);
        if (fread(&sPath[0], 1, cbPath, fpJournal_) != cbPath) break;
        Finalize(done, sPath, trailer,
                 !fFailed_ && !fDiscard && (!fKeepOnly || done.ibEnd <= ibDamage));
    }
}

// Adds the trailer and renames, or removes the temporary file.
void OutputSink::Finalize(const Done &done, const std::string &sPath,
                          const modca::ByteRange &trailer, bool fKeep) {
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
    if (fd_ >= 0 && close(fd_) != 0) Fail(sPath, "cannot write");
    fd_ = -1;
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

void OutputSink::Fail(const std::string &sPath, const char *szWhat) {
    if (!fFailed_)
        fprintf(stderr, "dspsplit: %s: %s: %s\n", sPath.c_str(), szWhat, strerror(errno));
    fFailed_ = true;
}

}  // namespace dspsplit
