// The bytes dspdump reads: a file, standard input or the bundled sample,
// served to the library's read callback. It keeps the most recent stretch of
// the file so that a structured-field reader can be started again further on
// and the listing can look at raw bytes, presents text lines with CR LF line
// ends when asked, and widens the library's 32-bit positions to 64 bits.
#ifndef VOKDSP_DSPDUMP_INPUTSOURCE_H
#define VOKDSP_DSPDUMP_INPUTSOURCE_H

#include <stdint.h>
#include <stdio.h>

#include <deque>
#include <memory>
#include <string>

#include "LineEnds.h"
#include "Options.h"
#include "vokDSPsr.h"

namespace dspdump {

class InputSource {
  public:
    // sPath "-" is standard input; empty is the bundled sample. Check Open().
    explicit InputSource(const std::string &sPath);
    ~InputSource();
    InputSource(const InputSource &) = delete;
    InputSource &operator=(const InputSource &) = delete;

    bool Open() const { return fOpen_; }
    const std::string &Name() const { return sName_; }
    const std::string &OpenError() const { return sOpenError_; }
    uint64_t Size() const { return cbSize_; }       // 0 when unknown
    uint64_t Delivered() const { return cbRead_; }  // file bytes read so far
    uint64_t Served() const { return cbServed_; }   // bytes the readers got

    static uint16_t Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                         uint32_t *lpdwStatus);
    void *Context() { return this; }

    // Text lines: serve every line end as CR LF (see CrLfLines).
    void PresentCrLf(uint16_t wFormat, uint16_t cbMaxRecord) {
        lpCrLf_ = std::make_unique<CrLfLines>(wFormat, cbMaxRecord);
    }
    // Whether the served byte at ibServed, near the latest one, is not in the file.
    bool fFnInserted(uint64_t ibServed) const;
    // The file offset of a served offset near the latest one.
    uint64_t ibFnFileOffset(uint64_t ibServed) const;
    // Served byte at ibServed, if it is still kept; -1 otherwise.
    int nByteAt(uint64_t ibServed) const;

    // Serves the file from ibFile on, which is still kept (no CR LF lines).
    void Restart(uint64_t ibFile) {
        ibNext_ = ibFile;
        ibRestart_ = ibFile;
        cbServedAtRestart_ = cbServed_;
    }
    // Copies up to cb file bytes from ibFile on, reading ahead; returns the
    // count, below cb only at the end of the input.
    size_t cbFnPeek(uint64_t ibFile, uint8_t *lpb, size_t cb);

    // On request, or by default for a large file when stderr is a terminal;
    // never while a listing goes to the same terminal.
    void EnableProgress(Progress progress, bool fListingOnTerminal);
    // Ends the progress line, if one is shown, so that a message can follow.
    void BreakProgress();
    // Shows the final state and ends the progress line.
    void FinishProgress();

  private:
    void Map();
    bool fFnMapAround(uint64_t ibFile, size_t cb) const;
    [[noreturn]] void FailToRead() const;
    const uint8_t *lpbFnFileBytes(uint64_t ibFile, size_t cb) const;
    void LookAtSizeAgain();
    bool fFnFetch();
    uint16_t cbFnServeFile(uint8_t *lpbDest);
    uint16_t cbFnServeCrLf(uint8_t *lpbDest);
    void vFnKeepServed(const uint8_t *lpb, uint16_t cb);
    void vFnShowProgress();

    static constexpr size_t cbKept = size_t{1} << 18;  // > peek window + one block
    std::unique_ptr<char[]> stdioBuffer_;              // fp_'s, outlives it
    FILE *fp_ = nullptr;
    // A regular file is read through a window mapped on it, slid along.
    bool fMapped_ = false;
    mutable const uint8_t *lpbWindow_ = nullptr;
    mutable uint64_t ibWindow_ = 0;  // file offset of lpbWindow_[0]
    mutable size_t cbWindow_ = 0;
    mutable uint64_t cbMappable_ = 0;  // the file's size when last looked at
    bool fOpen_ = false;
    bool fProgress_ = false;
    bool fProgressShown_ = false;
    std::string sName_;
    std::string sOpenError_;
    uint64_t cbSize_ = 0;
    uint64_t cbRead_ = 0;  // file bytes read into abFile_ (or made available)
    uint64_t ibNext_ = 0;  // the next file byte to serve
    uint64_t cbServed_ = 0;
    uint64_t ibRestart_ = 0;          // where serving last started in the file
    uint64_t cbServedAtRestart_ = 0;  // and what had been served before
    uint64_t cbNextProgress_ = 0;
    std::unique_ptr<CrLfLines> lpCrLf_;
    // Served offsets of the bytes CR LF lines added; older ones only counted.
    std::deque<uint64_t> dqibInserted_;
    uint64_t cInsertedBefore_ = 0;
    uint8_t abFile_[cbKept];
    uint8_t abServed_[cbKept];
};

// Widens a running 32-bit position of the library by watching for wrap-around.
class Position64 {
  public:
    uint64_t Update(uint32_t cbNow) {
        cbTotal_ += static_cast<uint32_t>(cbNow - cbLast_);
        cbLast_ = cbNow;
        return cbTotal_;
    }
    uint64_t Value() const { return cbTotal_; }

  private:
    uint32_t cbLast_ = 0;
    uint64_t cbTotal_ = 0;
};

}  // namespace dspdump

#endif
