// dspsplit's index pass: the structured fields of a seekable input, read once
// with the library's reader from offset 0 on, each with its record's range.
// The bytes read stay in a window of bounded size as long as they are wanted,
// so that the outputs are copied from memory rather than read again.
#ifndef VOKDSP_DSPSPLIT_FIELDWALK_H
#define VOKDSP_DSPSPLIT_FIELDWALK_H

#include <stdint.h>

#include <string>
#include <vector>

#include "Index.h"
#include "vokDSPsr.h"

namespace dspsplit {

struct Input {
    int fd = -1;
    unsigned cbFraming = 0;  // bytes in front of each field: 0, 2 (prefix) or 4 (RDW)
    std::string sName;
};

// The stretch of the input last read, from ibStart on.
struct Window {
    std::vector<uint8_t> ab;
    uint64_t ibStart = 0;
    size_t cb = 0;  // bytes held
    // The bytes held from ib on (0 when ib is not held).
    size_t cbHeldFrom(uint64_t ib) const {
        return ib >= ibStart && ib - ibStart < cb ? size_t(ibStart + cb - ib) : 0;
    }
    const uint8_t *lpbAt(uint64_t ib) const { return ab.data() + (ib - ibStart); }
};

// Opens sPath ("-": standard input, which must be a seekable file); false
// with *lpsError set otherwise.
bool fFnOpenInput(const std::string &sPath, Input *lpInput, std::string *lpsError);

// The fields of input, one by one, each with its record's range. Damage the
// reader meets goes to the index's SetDamage, and the walk stops there. The
// window keeps the bytes from the least of the current field's offset and the
// splitter's ibOldestWanted().
class FieldWalk {
  public:
    FieldWalk(const Input &input, Window *lpWindow, modca::StreamIndex *lpIndex,
              const modca::Splitter &splitter);
    ~FieldWalk();
    FieldWalk(const FieldWalk &) = delete;
    FieldWalk &operator=(const FieldWalk &) = delete;
    // The next field; false at the end of the stream or at damage. Its data
    // stays valid until the next call.
    bool fNext(modca::IndexedField *lpField);

    // What the reader's callback works with.
    struct Source {
        int fd;
        Window &window;
        const modca::Splitter &splitter;
        size_t ibNext;  // in the window
        uint64_t ibField;
        int nReadError;  // errno of a read that failed; 0 while none has
    };

  private:
    const Input &input_;
    modca::StreamIndex &index_;
    Source source_;
    SFREC *lpRec_ = nullptr;
    uint64_t ibEnd_ = 0;   // of the last field
    bool fPlain_ = false;  // records are fields without framing
};

}  // namespace dspsplit

#endif
