// A read callback over a byte string, for every test suite: serves the bytes
// in blocks of chosen sizes, counts fill and release requests, and can store
// a status word on a chosen fill request.
#ifndef VOKDSP_TESTS_MEMORYSOURCE_H
#define VOKDSP_TESTS_MEMORYSOURCE_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "vokDSPsr.h"

namespace vokdsp_test {

using Bytes = std::vector<uint8_t>;

// Bytes from a string of hex pairs ("5A 00 0A", spaces ignored).
Bytes HexBytes(const std::string &sHex);
// Bytes of a text, character for character.
Bytes TextBytes(const std::string &sText);
Bytes Concat(std::initializer_list<Bytes> parts);

class MemorySource {
  public:
    explicit MemorySource(Bytes abInput, std::vector<uint16_t> acbBlocks = {4096});

    // Pass these two to create.
    static uint16_t Read(uint8_t *lpbDest, uint16_t cbWanted, void *lpContext,
                         uint32_t *lpdwStatus);
    void *Context() { return this; }

    // Store dwStatus during fill request number nRequest (1 = the first).
    void FailOnRequest(int nRequest, uint32_t dwStatus) {
        nFailRequest_ = nRequest;
        dwFailStatus_ = dwStatus;
    }
    // Claim cbExtra more bytes than the block holds on every fill request.
    void OverReport(uint16_t cbExtra) { cbOverReport_ = cbExtra; }
    // Start over from the first byte once the last has been served, so that
    // a stream of whole records never ends.
    void ServeRepeatedly() { fRepeat_ = true; }

    int FillRequests() const { return nFills_; }
    int ReleaseRequests() const { return nReleases_; }
    size_t Delivered() const { return cbDelivered_; }  // over every repetition

  private:
    Bytes abInput_;
    std::vector<uint16_t> acbBlocks_;
    size_t ibNext_ = 0;
    size_t cbDelivered_ = 0;
    int nFills_ = 0;
    int nReleases_ = 0;
    int nFailRequest_ = 0;
    uint32_t dwFailStatus_ = 0;
    uint16_t cbOverReport_ = 0;
    bool fRepeat_ = false;
};

}  // namespace vokdsp_test

#endif
