// Where dspsplit's outputs go. Each is written under a temporary name beside
// its final one (".NAME.part", which also reserves NAME in this run) and
// noted in a journal on disk; when the stream has ended, Complete adds the
// trailer to each (after damage, Ends made anew) and renames it, or removes it.
// Bytes come from the index pass's window where it still holds them, else
// from the file; they go out through a buffer in large writes.
// --dry-run writes nothing and only counts. Each output is listed on
// standard output: file, pages, bytes.
#ifndef VOKDSP_DSPSPLIT_OUTPUT_H
#define VOKDSP_DSPSPLIT_OUTPUT_H

#include <stdint.h>
#include <stdio.h>
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
    OutputSink(const Input &input, const Window &window, const OutputOptions &options);
    ~OutputSink() override;
    // False with the message printed when the outputs cannot be written.
    bool fReady();

    void Open(const std::string &sName) override;
    void Copy(const modca::ByteRange &range) override;
    void WriteEnd(uint32_t dwID) override;
    void Close(uint64_t nFirstPage, uint64_t nLastPage) override;
    // Adds trailer, then an End of each of ends, to the outputs and gives them
    // their names; with fDiscard it removes them instead.
    void Complete(const modca::ByteRange &trailer, const std::vector<uint32_t> &ends,
                  bool fDiscard);
    bool fFailed() const { return fFailed_; }

  private:
    struct Done {
        uint64_t nFirstPage, nLastPage, cbWritten;
    };

    std::string sFnPathFor(const std::string &sName);
    bool fFnReserve(const std::string &sPath);
    void CopyPending();
    void CopyNow(const modca::ByteRange &range);
    void CopyFromFile(const modca::ByteRange &range);
    bool fFnReadAt(uint8_t *lpb, const modca::ByteRange &range);
    uint64_t ibFnCopyInKernel(const modca::ByteRange &range);
    void Put(const uint8_t *lpb, size_t cb);
    void CopyStripped(const uint8_t *lpb, size_t cb);
    bool fFnWrite(const uint8_t *lpb, size_t cb);
    bool fFnFlush();
    bool fFnWriteAll(const uint8_t *lpb, size_t cb);
    void CloseFile();
    void Finalize(const Done &done, const std::string &sPath,
                  const modca::ByteRange &trailer, const std::vector<uint32_t> &ends,
                  bool fKeep);
    void Fail(const std::string &sPath, const char *szWhat);

    const Input &input_;
    const Window &window_;
    const OutputOptions &options_;
    const bool fStrip_;  // framing left out
    // The last range read from the file when it fits (the prologue, mostly).
    std::vector<uint8_t> abCache_;
    modca::ByteRange cached_;
    modca::ByteRange pending_;    // to copy next, gathered from ranges that follow on
    std::vector<uint8_t> abOut_;  // written, cbOut_ bytes of it not yet out
    size_t cbOut_ = 0;
    std::string sPath_;  // of the output being written
    int fd_ = -1;
    uint64_t cbWritten_ = 0;
    bool fFailed_ = false;
    FILE *fpJournal_ = nullptr;  // Done and final path of each output written
    // Removing framing: header bytes seen, then field bytes still to write.
    uint8_t abFraming_[4] = {};
    unsigned cbFramingSeen_ = 0;
    uint64_t cbFieldLeft_ = 0;
    // Names given in this run: on disk, the temporary files made since stamp_;
    // for --dry-run remembered.
    struct timespec stamp_ = {};
    std::set<std::string> dryRunNames_;
    std::string sLastBase_;  // the last name given, and its number
    uint64_t nLastNumber_ = 1;
};

}  // namespace dspsplit

#endif
