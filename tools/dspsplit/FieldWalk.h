// dspsplit's index passes: the structured fields of a seekable input, read
// with the library's reader from offset 0 on, each with its record's range.
#ifndef VOKDSP_DSPSPLIT_FIELDWALK_H
#define VOKDSP_DSPSPLIT_FIELDWALK_H

#include <stdint.h>

#include <functional>
#include <string>

#include "Index.h"

namespace dspsplit {

struct Input {
    int fd = -1;
    uint64_t cbSize = 0;
    unsigned cbFraming = 0;  // bytes in front of each field: 0, 2 (prefix) or 4 (RDW)
    std::string sName;
};

// Opens sPath ("-": standard input, which must be a seekable file); false
// with *lpsError set otherwise.
bool fFnOpenInput(const std::string &sPath, Input *lpInput, std::string *lpsError);

// Hands each field before ibStop to fnField until it returns false. Damage
// the reader meets goes to lpIndex's SetDamage, and the walk stops there.
void vFnWalkFields(const Input &input, uint64_t ibStop, modca::StreamIndex *lpIndex,
                   const std::function<bool(const modca::IndexedField &)> &fnField);

}  // namespace dspsplit

#endif
