// What dspdump prints: a listing, JSON Lines or a summary. The dump loops
// hand every field, record, error and note to one Report.
#ifndef VOKDSP_DSPDUMP_REPORT_H
#define VOKDSP_DSPDUMP_REPORT_H

#include <errno.h>
#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <memory>
#include <string>

#include "FieldNotes.h"
#include "LineOut.h"
#include "Options.h"

namespace dspdump {

struct FieldView {
    uint64_t ibOffset = 0;  // where the field (or its record) starts in the input
    uint32_t cbLength = 0;  // the field with its introducer
    uint32_t dwID = 0;
    uint8_t bFlags = 0;
    uint16_t wSeq = 0;
    const uint8_t *lpbData = nullptr;
    uint32_t cbData = 0;
    uint32_t cbRecord = 0;  // the bytes the field took in the input, framing included
    const FieldNotes *lpNotes = nullptr;
};

struct RecordView {
    uint64_t nRecord = 0;
    uint64_t ibOffset = 0;
    uint8_t bCC = 0;
    uint8_t bTRC = 0;
    bool fNewPage = false;  // a form feed, a skip to channel 1, or the first record
    const uint8_t *lpbData = nullptr;
    uint16_t cbData = 0;
    const FieldView *lpField = nullptr;  // an embedded structured field
};

// An error found in the input. szStatus is the library's status name, or
// null when dspdump found the fault itself.
struct ErrorView {
    uint64_t ibOffset = 0;
    const char *szStatus = nullptr;
    std::string sMessage;  // for people
    std::string sDetail;   // the library's own text, JSON only
    uint64_t cbSkipped = 0;
};

// Shows record bytes as printable ASCII, from EBCDIC through iconv if asked.
class TextDecoder {
  public:
    // False when iconv does not know the code page.
    bool fFnInit(bool fEbcdic, const std::string &sCodepage);
    char cFnShow(uint8_t b) const { return acShown_[b]; }

  private:
    char acShown_[256] = {};
};

class Report {
  public:
    Report(const TextDecoder &text, const Options &options)
        : text_(text), options_(options) {}
    virtual ~Report() = default;

    // The input's name for messages; vfnBeforeMessage runs before each one.
    virtual void SetInput(const std::string &sName,
                          std::function<void()> vfnBeforeMessage);
    virtual void Field(const FieldView &) { ++nFields_; }
    // True for a report that wants no more of a field than its identifier:
    // the dump loops then hand it FieldIds instead of a whole view.
    bool fIdsOnly() const { return fIdsOnly_; }
    // The identifiers of c fields in input order.
    virtual void FieldIds(const uint32_t *, size_t c) { nFields_ += c; }
    virtual void Record(const RecordView &record);
    // Prints the error on stderr (and in the JSON stream) and counts it.
    virtual void Error(const ErrorView &error);
    // A remark on stderr that is no error.
    void Note(uint64_t ibOffset, const std::string &sMessage);
    void LineCut() { ++nLinesCut_; }
    // True once a write to stdout has failed: the dump loops stop.
    bool OutputFailed() {
        if (nWriteErrno_ == 0 && fFnStdoutFailed())
            nWriteErrno_ = errno != 0 ? errno : EIO;
        return nWriteErrno_ != 0;
    }
    // Writes out the lines held and flushes stdout.
    virtual void FlushOutput();
    // Closes the output; returns the exit status.
    virtual int Finish(uint64_t cbRead);

  protected:
    // stdout's error flag; only this thread writes there, so its lock is
    // not taken where the C library allows.
    static bool fFnStdoutFailed() {
#if defined(__GLIBC__)
        return ferror_unlocked(stdout) != 0;
#else
        return ferror(stdout) != 0;
#endif
    }
    std::string sFnOffset(uint64_t ib) const;  // listing column
    // The same, appended.
    Cursor PutOffset(Cursor cursor, uint64_t ib) {
        return options_.fHex ? cursor.Hex(ib, 12) : offsets_.Put(cursor, ib);
    }
    std::string sFnMessageOffset(uint64_t ib) const;  // "offset N" in messages
    const TextDecoder &text_;
    const Options &options_;
    std::string sInput_;  // escaped for the terminal
    std::string sInputRaw_;
    std::function<void()> vfnBeforeMessage_;
    bool fIdsOnly_ = false;
    uint64_t nFields_ = 0;
    uint64_t nRecords_ = 0;
    uint64_t nPages_ = 0;  // of line data
    uint64_t nErrors_ = 0;
    uint64_t nLinesCut_ = 0;
    uint64_t cbSkipped_ = 0;
    std::string sFirstError_;
    int nWriteErrno_ = 0;
    LineOut out_;  // the listing's or the JSON lines, held for one large write
    DecimalOffsets offsets_;
};

std::unique_ptr<Report> FnMakeReport(const Options &options, const TextDecoder &text);

// True for a listing or JSON of structured fields that no structure mode or
// filter narrows: the report then makes its fields' notes itself, without
// the structure layer in between.
bool fFnReportMakesNotes(const Options &options);

const char *szFnStatusName(uint32_t dwStatus);

// One JSON object for an error, on its own line of standard output.
void vFnPutJsonError(const ErrorView &error);

// sText with control characters, DEL and backslash written as C escapes.
std::string sFnEscaped(const std::string &sText);

// UTF-8 (or ASCII) text as a JSON string: quotes, backslashes and control
// characters escaped, everything else as it is.
std::string sFnJsonText(const std::string &s);

}  // namespace dspdump

#endif
