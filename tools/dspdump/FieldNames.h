// MO:DCA abbreviations and names of structured-field identifiers.
#ifndef VOKDSP_DSPDUMP_FIELDNAMES_H
#define VOKDSP_DSPDUMP_FIELDNAMES_H

#include <stdint.h>

namespace dspdump {

struct FieldName {
    uint32_t dwID;
    const char *szAbbreviation;
    const char *szName;
};

// The name of dwID; an unknown identifier gets "???" and an empty name.
const FieldName &FnFieldName(uint32_t dwID);

constexpr uint32_t dwBeginDocument = 0xD3A8A8;
constexpr uint32_t dwBeginPage = 0xD3A8AF;

}  // namespace dspdump

#endif
