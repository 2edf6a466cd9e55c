#include "Options.h"

#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>

#include "Structure.h"

namespace dspsplit {
namespace {

const char szHelp[] =
    "usage: dspsplit --pages=N[-M] FILE -o OUT.afp\n"
    "       dspsplit --groups [--group=NAME] [--tag=NAME=VALUE] [--name-by=TAG] FILE -o "
    "DIR\n"
    "Copies pages or named page groups out of a MO:DCA print file into new,\n"
    "well-formed print files: the leading resource group and the document-level\n"
    "fields before the first page, the pages with the Begin and End of each named\n"
    "page group they sit in, and the document's End; every field byte for byte.\n"
    "FILE - reads standard input, which must be a seekable file.\n"
    "\n"
    "  --pages=N[-M]      pages N to M (from 1) into the file OUT.afp\n"
    "  --groups           one file per outermost named page group into DIR, named\n"
    "                     after the group (made safe; repeated names numbered -2, -3)\n"
    "  --group=NAME       only the groups named NAME (implies --groups)\n"
    "  --tag=NAME=VALUE   only the groups with this index tag (implies --groups)\n"
    "  --name-by=TAG      name the files by this index tag's value\n"
    "  -o, --output=PATH  the output file (--pages) or directory (--groups)\n"
    "  --dry-run          list what would be written, write nothing\n"
    "  --keep-framing     keep the input's record framing (RDW or prefix); default "
    "plain\n"
    "  --keep-going       after damage, write what lies before it, each Begin it\n"
    "                     holds closed by an End made anew (exit status 1)\n"
    "  --help             show this help\n"
    "  --version          show the version\n"
    "Each output is listed on standard output: file, pages, bytes.\n"
    "\n"
    "Exit status: 0 success, 1 unreadable or damaged input, nothing to write, or\n"
    "a write error, 2 usage error.\n";

enum {
    optPages = 256,
    optGroups,
    optGroup,
    optTag,
    optNameBy,
    optDryRun,
    optKeepFraming,
    optKeepGoing,
    optHelp,
    optVersion,
};

const struct option aLongOptions[] = {
    {"pages", required_argument, nullptr, optPages},
    {"groups", no_argument, nullptr, optGroups},
    {"group", required_argument, nullptr, optGroup},
    {"tag", required_argument, nullptr, optTag},
    {"name-by", required_argument, nullptr, optNameBy},
    {"output", required_argument, nullptr, 'o'},
    {"dry-run", no_argument, nullptr, optDryRun},
    {"keep-framing", no_argument, nullptr, optKeepFraming},
    {"keep-going", no_argument, nullptr, optKeepGoing},
    {"help", no_argument, nullptr, optHelp},
    {"version", no_argument, nullptr, optVersion},
    {nullptr, 0, nullptr, 0},
};

int nFnUsage(const std::string &sWhat) {
    fprintf(stderr, "dspsplit: %s (see dspsplit --help)\n", sWhat.c_str());
    return 2;
}

int nFnOption(int nOption, const std::string &sArg, Options *lpOptions, bool *lpfPages) {
    modca::SplitRequest &request = lpOptions->request;
    switch (nOption) {
        case optPages:
            if (!modca::fFnParsePageRange(sArg.c_str(), &request.nFirstPage,
                                          &request.nLastPage))
                return nFnUsage("--pages takes N or N-M, 1 <= N <= M: " + sArg);
            *lpfPages = true;
            return -1;
        case optGroup:
            request.sGroup = sArg;
            break;
        case optTag: {
            const size_t iEqual = sArg.find('=');
            if (iEqual == 0 || iEqual == std::string::npos)
                return nFnUsage("--tag takes NAME=VALUE: " + sArg);
            request.sTagName = sArg.substr(0, iEqual);
            request.sTagValue = sArg.substr(iEqual + 1);
            break;
        }
        case optNameBy:
            request.sNameBy = sArg;
            break;
        case 'o':
            lpOptions->output.sPath = sArg;
            return -1;
        case optDryRun:
            lpOptions->output.fDryRun = true;
            return -1;
        case optKeepFraming:
            lpOptions->output.fKeepFraming = true;
            return -1;
        case optKeepGoing:
            lpOptions->fKeepGoing = true;
            return -1;
        case optHelp:
            fputs(szHelp, stdout);
            return 0;
        case optVersion:
            printf("dspsplit %s\n", VOKDSP_VERSION);
            return 0;
        case optGroups:
            break;
        default:
            return 2;  // getopt has said what was wrong
    }
    request.fGroups = true;
    return -1;
}

}  // namespace

int nFnParseOptions(int argc, char **argv, Options *lpOptions) {
    bool fPages = false;
    int nOption;
    while ((nOption = getopt_long(argc, argv, "o:", aLongOptions, nullptr)) != -1) {
        const int nStatus =
            nFnOption(nOption, optarg != nullptr ? optarg : "", lpOptions, &fPages);
        if (nStatus >= 0) return nStatus;
    }
    modca::SplitRequest &request = lpOptions->request;
    lpOptions->output.fGroups = request.fGroups;
    if (fPages == request.fGroups)
        return nFnUsage("give either --pages or --groups (--group, --tag)");
    if (optind + 1 != argc) return nFnUsage("give one input FILE");
    if (lpOptions->output.sPath.empty()) return nFnUsage("give the output with -o");
    lpOptions->sInput = argv[optind];
    while (request.fGroups && lpOptions->output.sPath.size() > 1 &&
           lpOptions->output.sPath.back() == '/')
        lpOptions->output.sPath.pop_back();
    return -1;
}

}  // namespace dspsplit
