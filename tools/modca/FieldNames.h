// MO:DCA abbreviations and names of structured-field identifiers.
#ifndef VOKDSP_MODCA_FIELDNAMES_H
#define VOKDSP_MODCA_FIELDNAMES_H

#include <stdint.h>

namespace modca {

struct FieldName {
    uint32_t dwID;
    const char *szAbbreviation;
    const char *szName;
};

// The name of dwID; an unknown identifier gets "???" and an empty name.
const FieldName &FnFieldName(uint32_t dwID);
// The identifier with abbreviation szAbbreviation (case-sensitive), or 0.
uint32_t dwFnFieldId(const char *szAbbreviation);
bool fFnKnownField(uint32_t dwID);

constexpr uint32_t dwBeginDocument = 0xD3A8A8;
constexpr uint32_t dwBeginPage = 0xD3A8AF;

}  // namespace modca

#endif
