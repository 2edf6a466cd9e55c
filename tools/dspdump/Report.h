// What dspdump prints: a listing, JSON Lines or a summary. The dump loops
// hand every field, record and error to one Report.
#ifndef VOKDSP_DSPDUMP_REPORT_H
#define VOKDSP_DSPDUMP_REPORT_H

#include <stdint.h>

#include <map>
#include <memory>
#include <string>

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
};

struct RecordView {
    uint64_t nRecord = 0;
    uint64_t ibOffset = 0;
    uint8_t bCC = 0;
    uint8_t bTRC = 0;
    const uint8_t *lpbData = nullptr;
    uint16_t cbData = 0;
    const FieldView *lpField = nullptr;  // an embedded structured field
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
    explicit Report(const TextDecoder &text) : text_(text) {}
    virtual ~Report() = default;

    virtual void Field(const FieldView &field);
    virtual void Record(const RecordView &record);
    // Prints the error on stderr and counts it.
    void Error(uint64_t ibOffset, const char *szCode, const std::string &sDetail);
    // Closes the output; returns the exit status.
    virtual int Finish(const std::string &sInput, uint64_t cbRead);

  protected:
    const TextDecoder &text_;
    uint64_t nFields_ = 0;
    uint64_t nRecords_ = 0;
    uint64_t nErrors_ = 0;
    std::string sFirstError_;
    std::map<uint32_t, uint64_t> mapFieldCounts_;
};

std::unique_ptr<Report> FnMakeReport(Output output, const TextDecoder &text);

const char *szFnStatusName(uint32_t dwStatus);

}  // namespace dspdump

#endif
