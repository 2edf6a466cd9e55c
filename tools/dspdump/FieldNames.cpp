#include "FieldNames.h"

namespace dspdump {
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

}  // namespace dspdump
