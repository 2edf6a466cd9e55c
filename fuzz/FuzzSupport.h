// What both fuzz targets share: a cursor over the selector bytes in front of
// the stream, the block-size plan for the read callback, the check that
// turns a broken invariant into a crash with a message, and the call loop.
#ifndef VOKDSP_FUZZ_FUZZSUPPORT_H
#define VOKDSP_FUZZ_FUZZSUPPORT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "MemorySource.h"

namespace vokdsp_fuzz {

using vokdsp_test::Bytes;

// What the next check looks at, printed when it fails.
inline std::string &Context() {
    static std::string s;
    return s;
}

// A broken invariant: libFuzzer keeps the input as a crash reproducer.
#define FUZZ_CHECK(fCondition)                                                   \
    do {                                                                         \
        if (!(fCondition)) {                                                     \
            fprintf(stderr, "invariant broken: %s (%s:%d)\n  %s\n", #fCondition, \
                    __FILE__, __LINE__, Context().c_str());                      \
            abort();                                                             \
        }                                                                        \
    } while (0)

// Calls a reader may make beyond one per input byte before it must have
// stopped: the end-of-input call, a refusal and the call that repeats it.
constexpr size_t cExtraCalls = 16;

// Takes the selector bytes from the front of the input; missing bytes read 0.
class Selectors {
  public:
    Selectors(const uint8_t *lpb, size_t cb) : lpb_(lpb), cb_(cb) {}

    bool Exhausted() const { return ib_ >= cb_; }
    uint8_t Byte() { return ib_ < cb_ ? lpb_[ib_++] : 0; }
    uint16_t Word() {
        const uint8_t bHigh = Byte();
        return static_cast<uint16_t>(bHigh << 8 | Byte());
    }

    // A 16-bit size biased towards the values where lengths go wrong: small
    // ones, any one, and those next to 65535.
    uint16_t Size() {
        const uint8_t bMode = Byte();
        const uint8_t bLow = Byte();
        switch (bMode >> 6) {
            case 0:
                return bLow;
            case 1:
                return static_cast<uint16_t>((bMode & 0x3F) << 8 | bLow);
            case 2:
                return static_cast<uint16_t>(bLow << 4 | (bMode & 0x0F));
            default:
                return (bMode & 0x3F) == 0x3F ? static_cast<uint16_t>(0xFFFF - bLow)
                                              : static_cast<uint16_t>(bMode << 8 | bLow);
        }
    }

    // One to sixteen fill-request sizes, 1 to 4096 each, used in turn; half
    // of them small, so that block edges fall inside descriptors and headers.
    std::vector<uint16_t> BlockPlan(uint8_t bCount) {
        std::vector<uint16_t> acb(1 + bCount % 16);
        for (uint16_t &cb : acb) {
            const uint16_t w = Word();
            cb = static_cast<uint16_t>(1 + ((w & 0x8000) ? (w & 0x0FFF) : (w & 0x3F)));
        }
        return acb;
    }

    // The stream: every byte after the selectors.
    Bytes Rest() const { return ib_ < cb_ ? Bytes(lpb_ + ib_, lpb_ + cb_) : Bytes(); }

  private:
    const uint8_t *lpb_;
    size_t cb_;
    size_t ib_ = 0;
};

// One get-next call as the caller sees it: the reader's snapshot, and the
// status word after the call, which the loop clears before the next.
template <class Snapshot>
struct Call {
    Snapshot got;
    uint32_t dwWord;
    bool operator==(const Call &o) const { return got == o.got && dwWord == o.dwWord; }
};

template <class Snapshot>
std::string Describe(const Call<Snapshot> &c) {
    std::ostringstream os;
    os << c.got << " word " << std::hex << c.dwWord;
    return os.str();
}

// Calls fnNext as a conversion program would, looking at the status word and
// clearing it after every call, until fnCheck says the reading is over.
template <class Snapshot, class Next, class Check>
std::vector<Call<Snapshot>> ReadCalls(uint32_t &dwStatus, size_t cbStream, Next fnNext,
                                      Check fnCheck) {
    std::vector<Call<Snapshot>> calls;
    do {
        FUZZ_CHECK(calls.size() <= cbStream + cExtraCalls);
        calls.push_back({fnNext(), dwStatus});
        dwStatus = DSP_OK;
        Context() = Describe(calls.back());
    } while (fnCheck(calls.back()));
    return calls;
}

// Two runs over the same stream must be the same call for call.
template <class Snapshot>
void CheckSameCalls(const std::vector<Call<Snapshot>> &a,
                    const std::vector<Call<Snapshot>> &b, const char *lpszWhat) {
    Context() = lpszWhat;
    FUZZ_CHECK(a.size() == b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        Context() = lpszWhat + (": " + Describe(a[i])) + " against " + Describe(b[i]);
        FUZZ_CHECK(a[i] == b[i]);
    }
}

}  // namespace vokdsp_fuzz

#endif
