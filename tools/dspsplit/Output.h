// Where dspsplit's outputs go: files written under a temporary name in
// their directory and renamed when complete, or, for --dry-run, only counted.
// Each output is listed on standard output: file, pages, bytes.
#ifndef VOKDSP_DSPSPLIT_OUTPUT_H
#define VOKDSP_DSPSPLIT_OUTPUT_H

#include <stdint.h>
#include <time.h>

#include <set>
#include <string>
#include <vector>

#include "FieldWalk.h"
#include "Index.h"

namespace dspsplit {

struct OutputOptions {
    std::string sPath;  // the file (pages) or the directory (groups)
    bool fGroups = false;
    bool fDryRun = false;
    bool fKeepFraming = false;
};

class OutputSink : public modca::SplitSink {
  public:
    OutputSink(const Input &input, const OutputOptions &options);
    ~OutputSink() override;
    // False with the message printed when the directory cannot take outputs.
    bool fReady();

    void Open(const std::string &sName) override;
    void Copy(const modca::ByteRange &range) override;
    void Close(uint64_t nFirstPage, uint64_t nLastPage) override;
    bool fFailed() const { return fFailed_; }

  private:
    std::string sFnPathFor(const std::string &sName);
    bool fFnTaken(const std::string &sPath);
    bool fFnWrite(const uint8_t *lpb, size_t cb);
    void CopyStripped(const uint8_t *lpb, size_t cb);
    void Fail(const std::string &sPath, const char *szWhat);

    const Input &input_;
    const OutputOptions &options_;
    std::vector<uint8_t> abCopy_;
    std::string sPath_, sTemp_;
    int fd_ = -1;
    uint64_t cbWritten_ = 0;
    bool fFailed_ = false;
    // Removing framing: header bytes still to skip, then field bytes to keep.
    uint8_t abFraming_[4] = {};
    unsigned cbFramingSeen_ = 0;
    uint64_t cbFieldLeft_ = 0;
    // Names given in this run: on disk those modified since stamp_, for
    // --dry-run remembered.
    struct timespec stamp_ = {};
    std::set<std::string> dryRunNames_;
    std::string sLastBase_;  // the last name given, and its number
    uint64_t nLastNumber_ = 1;
};

}  // namespace dspsplit

#endif
