// The bytes dspdump reads: a file or the bundled sample, served to the
// library's read callback. It keeps the most recent stretch of the stream so
// that the listing can look at a field's raw header, and it widens the
// library's 32-bit positions to 64 bits.
#ifndef VOKDSP_DSPDUMP_INPUTSOURCE_H
#define VOKDSP_DSPDUMP_INPUTSOURCE_H

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "Options.h"
#include "vokDSPsr.h"

namespace dspdump {

class InputSource {
  public:
    // The bundled sample when sPath is empty. Check Open() afterwards.
    explicit InputSource(const std::string &sPath);
    ~InputSource();
    InputSource(const InputSource &) = delete;
    InputSource &operator=(const InputSource &) = delete;

    bool Open() const { return fOpen_; }
    const std::string &Name() const { return sName_; }
    const std::string &OpenError() const { return sOpenError_; }
    uint64_t Size() const { return cbSize_; }  // 0 when unknown
    uint64_t Delivered() const { return cbDelivered_; }

    static uint16_t Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                         uint32_t *lpdwStatus);
    void *Context() { return this; }

    // Byte of the stream at ibStream, if it is still kept; -1 otherwise.
    int nByteAt(uint64_t ibStream) const;

    // On request, or by default for a large file when stderr is a terminal.
    void EnableProgress(Progress progress);
    // Ends the progress line, if one was shown.
    void FinishProgress();

  private:
    uint16_t cbFnFill(uint8_t *lpbDest);
    void vFnKeep(const uint8_t *lpb, uint16_t cb);
    void vFnShowProgress();

    static constexpr size_t cbKept = size_t{1} << 17;  // > one field + one block
    FILE *fp_ = nullptr;
    const uint8_t *lpbMemory_ = nullptr;
    bool fOpen_ = false;
    bool fProgress_ = false;
    bool fProgressShown_ = false;
    std::string sName_;
    std::string sOpenError_;
    uint64_t cbSize_ = 0;
    uint64_t cbDelivered_ = 0;
    uint64_t cbNextProgress_ = 0;
    uint8_t abKept_[cbKept];
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
