#include "Output.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
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

bool fFnNotBefore(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

}  // namespace

OutputSink::OutputSink(const Input &input, const OutputOptions &options)
    : input_(input), options_(options), abCopy_(cbCopyBuffer) {}

OutputSink::~OutputSink() {
    if (fd_ >= 0) close(fd_);
    if (!sTemp_.empty()) unlink(sTemp_.c_str());
}

bool OutputSink::fReady() {
    if (!options_.fGroups || options_.fDryRun) return true;
    if (mkdir(options_.sPath.c_str(), 0777) != 0 && errno != EEXIST) {
        Fail(options_.sPath, "cannot create the directory");
        return false;
    }
    std::string sStamp = options_.sPath + "/.dspsplit-XXXXXX";
    const int fd = mkstemp(&sStamp[0]);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        Fail(options_.sPath, "cannot write in the directory");
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
    if (options_.fDryRun || fFailed_) return;
    const std::string sDir = sFnDirectoryOf(sPath_);
    sTemp_ = sDir + "/.dspsplit-XXXXXX";
    fd_ = mkstemp(&sTemp_[0]);
    if (fd_ < 0) {
        sTemp_.clear();
        Fail(sPath_, "cannot write");
    }
}

std::string OutputSink::sFnPathFor(const std::string &sName) {
    const std::string sBase = options_.sPath + "/" + sFnSafeName(sName);
    // A run of one name (a missing tag, say) goes on from the last number given.
    uint64_t n = sBase == sLastBase_ ? nLastNumber_ : 1;
    std::string sPath =
        n == 1 ? sBase + ".afp" : sBase + "-" + std::to_string(n) + ".afp";
    while (fFnTaken(sPath)) sPath = sBase + "-" + std::to_string(++n) + ".afp";
    sLastBase_ = sBase;
    nLastNumber_ = n;
    return sPath;
}

bool OutputSink::fFnTaken(const std::string &sPath) {
    if (options_.fDryRun) return !dryRunNames_.insert(sPath).second;
    struct stat st;
    return stat(sPath.c_str(), &st) == 0 && fFnNotBefore(st.st_mtim, stamp_);
}

void OutputSink::Copy(const modca::ByteRange &range) {
    const bool fStrip = input_.cbFraming != 0 && !options_.fKeepFraming;
    cbFramingSeen_ = 0;
    cbFieldLeft_ = 0;
    for (uint64_t ib = range.ib; ib < range.ibEnd() && !fFailed_;) {
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
    if (fd_ >= 0) {
        if (close(fd_) != 0) Fail(sPath_, "cannot write");
        fd_ = -1;
        if (!fFailed_ && rename(sTemp_.c_str(), sPath_.c_str()) != 0)
            Fail(sPath_, "cannot rename the finished output");
        if (fFailed_) unlink(sTemp_.c_str());
        sTemp_.clear();
    }
    if (fFailed_) return;
    const std::string sPages =
        nFirstPage == 0 ? "no pages"
        : nFirstPage == nLastPage
            ? "page " + std::to_string(nFirstPage)
            : "pages " + std::to_string(nFirstPage) + "-" + std::to_string(nLastPage);
    printf("%s\t%s\t%llu bytes\n", sPath_.c_str(), sPages.c_str(),
           static_cast<unsigned long long>(cbWritten_));
}

void OutputSink::Fail(const std::string &sPath, const char *szWhat) {
    if (!fFailed_)
        fprintf(stderr, "dspsplit: %s: %s: %s\n", sPath.c_str(), szWhat, strerror(errno));
    fFailed_ = true;
}

}  // namespace dspsplit
