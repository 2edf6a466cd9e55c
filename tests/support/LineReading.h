// Drives a line-data reader over a MemorySource and snapshots each record
// with its record info, so suites compare whole runs with one assertion.
#ifndef VOKDSP_TESTS_LINEREADING_H
#define VOKDSP_TESTS_LINEREADING_H

#include <stdint.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "MemorySource.h"
#include "vokDSPsr.h"

namespace vokdsp_test {

// The caller's description record: the reader looks at offsets 288 and 292
// (and 286, left 0).
struct LineDesc {
    alignas(8) uint8_t ab[320] = {};
    LineDesc(uint16_t wFormat, uint16_t cbMaxRecord);
};

// The caller's job record: the reader stores the working buffer at offset 96.
struct JobRecord {
    alignas(8) uint8_t ab[128] = {};
    void *WorkBuffer() const;
};

// What an MVXError thrown out of get-next carried.
struct ThrownError {
    std::string sMessage;
    int32_t nCode = 0;
    int32_t nSubCode = 0;
    std::string sFile;
    int32_t nLine = 0;
    bool operator==(const ThrownError &o) const;
};

struct LineRecord {
    uint16_t cbResult = 0;
    uint8_t bCC = 0;
    uint8_t bTRC = 0;
    uint16_t cbData = 0;
    uint32_t fEnd = 0;
    uint32_t dwStatus = 0;
    Bytes abData;                // cbData bytes
    uint8_t bTerminator = 0xFF;  // abData[cbData]
    uint32_t cbConsumed = 0;
    uint32_t cbRecord = 0;
    std::optional<ThrownError> thrown;
    bool operator==(const LineRecord &o) const;
};
std::ostream &operator<<(std::ostream &os, const LineRecord &r);

// Opens a reader at construction and destroys it at the end of scope.
class LineReader {
  public:
    LineReader(MemorySource &source, uint16_t wFormat, uint16_t cbMaxRecord,
               uint32_t dwStatusBefore = DSP_OK);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    bool Created() const { return fCreated_; }
    LINEREC *Handle() const { return lpRec_; }
    uint32_t &Status() { return dwStatus_; }
    JobRecord &Job() { return job_; }

    // An MVXError from get-next is caught into thrown (result 0), and the
    // snapshot shows the record area as the throw left it.
    LineRecord Next();
    // Records until get-next returns 0 (that call not included), at most nMax.
    std::vector<LineRecord> ReadAll(size_t nMax = 100000);
    // Destroys now; the destructor then does nothing.
    void Destroy();

  private:
    void Snapshot(LineRecord &r) const;

    JobRecord job_;
    LINEREC *lpRec_ = nullptr;
    uint32_t dwStatus_ = 0;
    bool fCreated_ = false;
};

// A record or block descriptor word announcing cb bytes, its own four included.
Bytes Descriptor(size_t cb);

// Every get-next call up to the first with result 0 or a throw, that one
// included, and the status word after (dwBefore is stored in it after
// create), read in 4096-byte blocks; reading a byte at a time must give the
// same.
struct LineRun {
    std::vector<LineRecord> records;
    uint32_t dwWord = 0;
};
LineRun ReadLinesEveryWay(const Bytes &abInput, uint16_t wFormat, uint16_t cbMaxRecord,
                          uint32_t dwBefore = 0);

}  // namespace vokdsp_test

#endif
