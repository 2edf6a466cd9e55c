#include "FieldNames.h"

#include <string.h>

#include <algorithm>
#include <iterator>

namespace modca {
namespace {

// Generated at configure time from modca-names.tsv, sorted by identifier.
const FieldName aFieldNames[] = {
#include "ModcaNames.inc"
};

const FieldName unknownField = {0, "???", ""};

}  // namespace

const FieldName &FnFieldName(uint32_t dwID) {
    const FieldName *lpName = std::lower_bound(
        std::begin(aFieldNames), std::end(aFieldNames), dwID,
        [](const FieldName &name, uint32_t dw) { return name.dwID < dw; });
    return lpName != std::end(aFieldNames) && lpName->dwID == dwID ? *lpName
                                                                   : unknownField;
}

uint32_t dwFnFieldId(const char *szAbbreviation) {
    for (const FieldName &name : aFieldNames)
        if (strcmp(name.szAbbreviation, szAbbreviation) == 0) return name.dwID;
    return 0;
}

bool fFnKnownField(uint32_t dwID) { return &FnFieldName(dwID) != &unknownField; }

}  // namespace modca
