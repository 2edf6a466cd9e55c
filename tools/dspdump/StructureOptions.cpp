// The command line of the structure modes; see Options.h.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "FieldNames.h"
#include "Options.h"
#include "Structure.h"

namespace dspdump {
namespace {

bool fFnNumber(const char *sz, uint64_t *lpn, const char **lplpszEnd) {
    char *lpszEnd = nullptr;
    errno = 0;
    const unsigned long long ull = strtoull(sz, &lpszEnd, 0);
    if (errno != 0 || lpszEnd == sz || sz[0] == '-') return false;
    *lpn = ull;
    *lplpszEnd = lpszEnd;
    return true;
}

// A comma-separated list of abbreviations (BPG) or hex identifiers (D3A8AF).
bool fFnParseTypes(const char *sz, Options *lpOptions) {
    std::string sList = sz;
    size_t ib = 0;
    do {
        const size_t ibComma = std::min(sList.find(',', ib), sList.size());
        const std::string sItem = sList.substr(ib, ibComma - ib);
        uint32_t dwID = modca::dwFnFieldId(sItem.c_str());
        char *lpszEnd = nullptr;
        if (dwID == 0 && sItem.size() == 6)
            dwID = uint32_t(strtoul(sItem.c_str(), &lpszEnd, 16));
        if (dwID == 0 || (lpszEnd != nullptr && *lpszEnd != '\0')) return false;
        lpOptions->typeIds.push_back(dwID);
        ib = ibComma + 1;
    } while (ib <= sList.size());
    return true;
}

bool fFnSetMode(Structure structure, Options *lpOptions) {
    if (lpOptions->structure != Structure::None && lpOptions->structure != structure)
        return false;
    lpOptions->structure = structure;
    return true;
}

}  // namespace

bool fFnParseStructureOption(const char *szName, const char *szArg, Options *lpOptions,
                             std::string *lpsError) {
    static const struct {
        const char *szName;
        Structure structure;
    } aModes[] = {{"pages", Structure::Pages},
                  {"tree", Structure::Tree},
                  {"check", Structure::Check},
                  {"resources", Structure::Resources},
                  {"text", Structure::Text}};
    for (const auto &mode : aModes) {
        if (strcmp(szName, mode.szName) != 0) continue;
        *lpsError = "--pages, --tree, --check, --resources and --text exclude each other";
        if (mode.structure == Structure::Check) lpOptions->fKeepGoing = true;
        return fFnSetMode(mode.structure, lpOptions);
    }
    if (strcmp(szName, "page") == 0) {
        *lpsError = "--page takes N or N-M, pages counted from 1";
        return modca::fFnParsePageRange(szArg, &lpOptions->nFirstPage,
                                        &lpOptions->nLastPage);
    }
    if (strcmp(szName, "type") == 0) {
        *lpsError =
            "--type takes field abbreviations or 6-digit hex identifiers, "
            "comma-separated";
        return fFnParseTypes(szArg, lpOptions);
    }
    *lpsError = "--offset takes a byte offset";
    const char *lpszEnd = nullptr;
    lpOptions->fOffset = true;
    return fFnNumber(szArg, &lpOptions->ibFind, &lpszEnd) && *lpszEnd == '\0';
}

bool fFnCheckStructureOptions(const Options &options, std::string *lpsError) {
    const bool fStructure = options.structure != Structure::None;
    const bool fFilter =
        options.nFirstPage != 0 || !options.typeIds.empty() || options.fOffset;
    if ((fStructure || fFilter) && options.mode == Mode::LineData) {
        *lpsError =
            "the structure modes and filters read structured fields, not line data";
        return false;
    }
    if ((fStructure || fFilter) && options.fStats) {
        *lpsError = "--stats excludes the structure modes and filters";
        return false;
    }
    const bool fListing =
        options.structure == Structure::None || options.structure == Structure::Tree;
    if (fFilter && !fListing &&
        !((options.structure == Structure::Pages ||
           options.structure == Structure::Text) &&
          options.typeIds.empty() && !options.fOffset)) {
        *lpsError =
            "filters apply to the listing and --tree (--page also to --pages and --text)";
        return false;
    }
    return true;
}

}  // namespace dspdump
