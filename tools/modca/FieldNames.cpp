#include "FieldNames.h"

#include <string.h>

namespace modca {
namespace {

// Generated at configure time from modca-names.tsv.
const FieldName aFieldNames[] = {
#include "ModcaNames.inc"
};

const FieldName unknownField = {0, "???", ""};

}  // namespace

const FieldName &FnFieldName(uint32_t dwID) {
    for (const FieldName &name : aFieldNames)
        if (name.dwID == dwID) return name;
    return unknownField;
}

uint32_t dwFnFieldId(const char *szAbbreviation) {
    for (const FieldName &name : aFieldNames)
        if (strcmp(name.szAbbreviation, szAbbreviation) == 0) return name.dwID;
    return 0;
}

bool fFnKnownField(uint32_t dwID) { return &FnFieldName(dwID) != &unknownField; }

}  // namespace modca
