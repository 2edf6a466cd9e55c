// Builds structured-field streams and drives a structured-field reader over a
// MemorySource or a file, snapshotting each field with its record info so
// suites compare whole runs with one assertion.
#ifndef VOKDSP_TESTS_SFREADING_H
#define VOKDSP_TESTS_SFREADING_H

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "MemorySource.h"
#include "vokDSPsr.h"

namespace vokdsp_test {

// One structured field as it stands in the stream.
struct SfSpec {
    uint32_t dwID;
    Bytes abData = {};
    uint8_t bFlags = 0;
    uint16_t wSeq = 0;
    Bytes abExtension = {};  // written behind its length byte when bFlags has 0x80
};

// 5A, length, identifier, flags, sequence, [extension length, extension], data.
Bytes SfBytes(const SfSpec &field);
// Identifiers the suites use: Begin and End Document, Presentation Text Data.
constexpr uint32_t dwBDT = 0xD3A8A8, dwEDT = 0xD3A9A8, dwPTX = 0xD3EE9B;
// A field with cbData data bytes of bFill.
Bytes Field(uint32_t dwID, size_t cbData = 0, uint8_t bFill = 0x11);
// cb bytes counting up from bFirst.
Bytes Counting(size_t cb, uint8_t bFirst = 1);
// A field inside an RDW record: length (RDW included), 2 zero bytes, the
// field, then abTrail, which the record holds beyond the field.
Bytes RdwRecord(const Bytes &abField, const Bytes &abTrail = {});
// A field behind its 2-byte prefix: the count of the bytes that follow.
Bytes Prefixed(const Bytes &abField);

// Block sizes for a MemorySource: cbFirst, then cbRest until cbInput bytes
// are served. Detection sees only the first block, so a stream read in tiny
// blocks still needs a first block that shows its first field.
std::vector<uint16_t> BlockPlan(uint16_t cbFirst, uint16_t cbRest, size_t cbInput);

// A temporary file holding the given bytes, removed at the end of scope.
class TempFile {
  public:
    explicit TempFile(const Bytes &abContent);
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const char *Path() const { return sPath_.c_str(); }

  private:
    std::string sPath_;
};

// One get-next call: its result, the record area and the record info after it.
struct SfField {
    int32_t iResult = 0;
    SFHDR hdr{};
    Bytes abArea;  // the data area: capacity bytes, or as many as LimitSnapshot says
    uint32_t dwPos = 0;
    uint32_t dwLen = 0;

    Bytes Data(size_t cb) const { return Bytes(abArea.begin(), abArea.begin() + cb); }
    bool operator==(const SfField &o) const;
};
// One call as a line: result, introducer, length, identifier, flags,
// sequence, @position+length, then the first cbShow bytes of the data area.
std::string Spelled(const SfField &f, size_t cbShow);
std::ostream &operator<<(std::ostream &os, const SfField &f);

// Opens a reader at construction and destroys it at the end of scope.
class SfReader {
  public:
    // Through the source's read callback; lpszPath is handed to create too.
    SfReader(MemorySource &source, uint16_t cbCapacity, const char *lpszPath = nullptr);
    // Through a file path, no callback.
    SfReader(const char *lpszPath, uint16_t cbCapacity);
    ~SfReader();
    SfReader(const SfReader &) = delete;
    SfReader &operator=(const SfReader &) = delete;

    bool Created() const { return lpRec_ != nullptr; }
    SFREC *Handle() const { return lpRec_; }
    uint32_t &Status() { return dwStatus_; }

    // Snapshots hold only the first cb bytes of the data area: a long run
    // over a large capacity would otherwise copy all of it on every call.
    void LimitSnapshot(size_t cb) { cbSnapshot_ = cb < cbCapacity_ ? cb : cbCapacity_; }

    SfField Snapshot(int32_t iResult) const;
    SfField Next();
    // Fields until get-next returns 0 (that call not included), at most nMax.
    std::vector<SfField> ReadAll(size_t nMax = 100000);
    // Destroys now; the destructor then does nothing.
    void Destroy();

  private:
    uint16_t cbCapacity_;
    size_t cbSnapshot_;
    uint32_t dwStatus_ = 0;
    SFREC *lpRec_ = nullptr;
};

// Every get-next call until two in a row return 0 at the same position, and
// the status word after (dwBefore is stored in it after create), read in the
// blocks acbFirst and then 4096-byte blocks; then in single bytes after
// acbFirst, which must give the same. Snapshots hold the first cbSnapshot
// bytes of the data area.
struct SfRun {
    std::vector<SfField> fields;
    uint32_t dwWord = 0;
};
SfRun ReadFieldsEveryWay(const Bytes &abInput, uint16_t cbCapacity,
                         std::vector<uint16_t> acbFirst = {4096},
                         size_t cbSnapshot = 0xFFFF, uint32_t dwBefore = 0);

}  // namespace vokdsp_test

#endif
