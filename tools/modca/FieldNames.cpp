#include "FieldNames.h"

#include <string.h>

#include <iterator>

namespace modca {
namespace {

// Generated at configure time from modca-names.tsv.
constexpr FieldName aFieldNames[] = {
#include "ModcaNames.inc"
};
constexpr size_t cNames = std::size(aFieldNames);

const FieldName unknownField = {0, "???", ""};

// An open-addressing hash of the identifiers, built at compile time: a
// lookup costs a multiplication and about one probe, where every field a
// tool lists asks for its name.
constexpr size_t cSlots = 512;  // a power of two, over twice the names
static_assert(cNames < 255 && 2 * cNames < cSlots, "names fit the index");

constexpr size_t nFnSlot(uint32_t dwID) { return (dwID * 0x9E3779B1u) >> 23; }

struct NameIndex {
    uint8_t aiName[cSlots];  // 1 + index into aFieldNames; 0 for a free slot
    constexpr NameIndex() : aiName() {
        for (size_t i = 0; i < cNames; ++i) {
            size_t n = nFnSlot(aFieldNames[i].dwID);
            while (aiName[n] != 0) n = (n + 1) % cSlots;
            aiName[n] = static_cast<uint8_t>(i + 1);
        }
    }
};
constexpr NameIndex nameIndex{};

}  // namespace

const FieldName &FnFieldName(uint32_t dwID) {
    for (size_t n = nFnSlot(dwID);; n = (n + 1) % cSlots) {
        const size_t i = nameIndex.aiName[n];
        if (i == 0) return unknownField;
        if (aFieldNames[i - 1].dwID == dwID) return aFieldNames[i - 1];
    }
}

uint32_t dwFnFieldId(const char *szAbbreviation) {
    for (const FieldName &name : aFieldNames)
        if (strcmp(name.szAbbreviation, szAbbreviation) == 0) return name.dwID;
    return 0;
}

bool fFnKnownField(uint32_t dwID) { return &FnFieldName(dwID) != &unknownField; }

}  // namespace modca
