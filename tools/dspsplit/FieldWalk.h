// dspsplit's index pass: the structured fields of a seekable input, read once
// with the library's reader from offset 0 on, each with its record's range.
// The bytes read stay in a window of bounded size as long as they are wanted,
// so that the outputs are copied from memory rather than read again.
#ifndef VOKDSP_DSPSPLIT_FIELDWALK_H
#define VOKDSP_DSPSPLIT_FIELDWALK_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "Index.h"

namespace dspsplit {

struct Input {
    int fd = -1;
    uint64_t cbSize = 0;
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

// Hands each field to fnField until it returns false. Damage the reader meets
// goes to lpIndex's SetDamage, and the walk stops there. lpWindow keeps the
// bytes from the least of the current field's offset and fnOldestWanted().
void vFnWalkFields(const Input &input, Window *lpWindow, modca::StreamIndex *lpIndex,
                   const std::function<bool(const modca::IndexedField &)> &fnField,
                   const std::function<uint64_t()> &fnOldestWanted);

}  // namespace dspsplit

#endif
