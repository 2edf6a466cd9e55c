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
constexpr uint32_t dwBeginResource = 0xD3A8CE;
constexpr uint32_t dwMapCodedFont = 0xD3AB8A;
constexpr uint32_t dwMapPageOverlay = 0xD3ABD8;
constexpr uint32_t dwMapDataResource = 0xD3ABC3;
constexpr uint32_t dwIncludePageOverlay = 0xD3AFD8;
constexpr uint32_t dwIncludePageSegment = 0xD3AF5F;
constexpr uint32_t dwIncludeObject = 0xD3AFC3;
constexpr uint32_t dwTagLogicalElement = 0xD3A090;
constexpr uint32_t dwNoOperation = 0xD3EEEE;
constexpr uint32_t dwBeginNamedPageGroup = 0xD3A8AD;
constexpr uint32_t dwEndNamedPageGroup = 0xD3A9AD;
constexpr uint32_t dwBeginTextObject = 0xD3A89B;
constexpr uint32_t dwTextDescriptor = 0xD3B19B;
constexpr uint32_t dwTextDescriptorFormat1 = 0xD3A69B;
constexpr uint32_t dwBeginOverlay = 0xD3A8DF;
constexpr uint32_t dwEndOverlay = 0xD3A9DF;
constexpr uint32_t dwPresentationText = 0xD3EE9B;

}  // namespace modca

#endif
