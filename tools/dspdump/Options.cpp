#include "Options.h"

#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "Report.h"

namespace dspdump {
namespace {

const char szHelp[] =
    "usage: dspdump [options] [FILE]\n"
    "Lists the records of a print stream, one line each. FILE - reads standard\n"
    "input, as does no FILE when standard input is not a terminal; a bare\n"
    "dspdump typed at a terminal dumps the bundled structured-field sample.\n"
    "\n"
    "Input:\n"
    "  --sample           dump the bundled sample (what a bare dspdump at a terminal "
    "does)\n"
    "  --sf               read structured fields (the default when FILE is one)\n"
    "  --line=KIND        read line data: text, fixed, var or vb\n"
    "  --cc               records or lines start with a carriage-control byte (0x0010)\n"
    "  --cc-machine       machine carriage control; default control 0x0B (0x0020)\n"
    "  --ff               text: form feeds start pages (0x0080)\n"
    "  --trc              a table-reference byte follows carriage control (0x0100)\n"
    "  --ebcdic           line data is EBCDIC (0x1000)\n"
    "  --options=0xNNNN   option bits of the format word, added to those above\n"
    "  --lrecl=N          maximum record length (default 133 fixed, 32756 others)\n"
    "  --codepage=NAME    iconv name of the EBCDIC code page (default IBM037); with\n"
    "                     --text, for fonts naming none it can map (default IBM500)\n"
    "  Text lines may end in CR LF, LF or CR; offsets always count file bytes.\n"
    "Output:\n"
    "  --json             one JSON object per record (JSON Lines), data in hex;\n"
    "                     with --stats one JSON object with the summary\n"
    "  --stats            a summary instead of the listing\n"
    "  --hex              offsets in hexadecimal (default: decimal byte offsets)\n"
    "  --keep-going       report refused records and read on; after a damaged\n"
    "                     structured field, from the next plausible one\n"
    "  --progress         show progress on stderr (default: for large files on a tty;\n"
    "                     never over a listing on the same terminal)\n"
    "  --no-progress      never show progress\n"
    "Document structure (structured fields; memory stays flat except for --resources):\n"
    "  --pages            one line per page: offset, length, name, page group, tags\n"
    "  --tree             the listing indented by Begin/End nesting\n"
    "  --check            verify Begin/End nesting; one message per problem,\n"
    "                     exit 1 if any (unknown identifiers are warnings)\n"
    "  --resources        fonts, overlays, segments and objects used, pages using\n"
    "                     each; remembers every name met\n"
    "  --text             the text of each page as UTF-8, form feed between pages;\n"
    "                     with --json one object per text run (page, x, y, font,\n"
    "                     text); see README.md for the reading order\n"
    "  --page=N[-M]       list only the fields of pages N to M, with their Begins\n"
    "  --type=ABR,...     list only these fields (abbreviation or hex identifier)\n"
    "  --offset=X         list only the field holding byte X\n"
    "  --help             show this help\n"
    "  --version          show the version\n"
    "\n"
    "Exit status: 0 success, 1 unreadable, malformed or refused input, or a write\n"
    "error, 2 usage error.\n";

enum {
    optSf = 256,
    optLine,
    optCC,
    optMachineCC,
    optFormFeed,
    optTRC,
    optEbcdic,
    optOptions,
    optLrecl,
    optCodepage,
    optJson,
    optStats,
    optKeepGoing,
    optHex,
    optSample,
    optProgress,
    optNoProgress,
    optHelp,
    optVersion,
    optStructure
};

const struct option aLongOptions[] = {
    {"sf", no_argument, nullptr, optSf},
    {"line", required_argument, nullptr, optLine},
    {"cc", no_argument, nullptr, optCC},
    {"cc-machine", no_argument, nullptr, optMachineCC},
    {"ff", no_argument, nullptr, optFormFeed},
    {"trc", no_argument, nullptr, optTRC},
    {"ebcdic", no_argument, nullptr, optEbcdic},
    {"options", required_argument, nullptr, optOptions},
    {"lrecl", required_argument, nullptr, optLrecl},
    {"codepage", required_argument, nullptr, optCodepage},
    {"json", no_argument, nullptr, optJson},
    {"stats", no_argument, nullptr, optStats},
    {"keep-going", no_argument, nullptr, optKeepGoing},
    {"hex", no_argument, nullptr, optHex},
    {"sample", no_argument, nullptr, optSample},
    {"progress", no_argument, nullptr, optProgress},
    {"no-progress", no_argument, nullptr, optNoProgress},
    {"help", no_argument, nullptr, optHelp},
    {"version", no_argument, nullptr, optVersion},
    {"pages", no_argument, nullptr, optStructure},
    {"tree", no_argument, nullptr, optStructure},
    {"check", no_argument, nullptr, optStructure},
    {"resources", no_argument, nullptr, optStructure},
    {"text", no_argument, nullptr, optStructure},
    {"page", required_argument, nullptr, optStructure},
    {"type", required_argument, nullptr, optStructure},
    {"offset", required_argument, nullptr, optStructure},
    {nullptr, 0, nullptr, 0},
};

int nFnUsageError(const char *szWhat, const char *szArg) {
    fprintf(stderr, "dspdump: %s%s%s (see dspdump --help)\n", szWhat, szArg ? ": " : "",
            szArg ? sFnEscaped(szArg).c_str() : "");
    return 2;
}

bool fFnParseNumber(const char *sz, unsigned long ulMax, unsigned long *lpul) {
    char *lpszEnd = nullptr;
    errno = 0;
    const unsigned long ul = strtoul(sz, &lpszEnd, 0);
    if (errno != 0 || lpszEnd == sz || *lpszEnd != '\0' || ul > ulMax || sz[0] == '-')
        return false;
    *lpul = ul;
    return true;
}

bool fFnFormatCode(const char *szKind, uint16_t *lpwCode) {
    static const struct {
        const char *sz;
        uint16_t w;
    } aKinds[] = {{"text", 0}, {"fixed", 1}, {"var", 2}, {"vb", 6}};
    for (const auto &kind : aKinds) {
        if (strcmp(szKind, kind.sz) == 0) {
            *lpwCode = kind.w;
            return true;
        }
    }
    return false;
}

}  // namespace

int nFnParseOptions(int argc, char **argv, Options *lpOptions) {
    uint16_t wCode = 0, wBits = 0;
    unsigned long ul = 0;
    bool fSf = false, fSample = false, fCodepage = false;
    std::string sLineOption;  // the first option only line data takes
    opterr = 0;
    int nOpt, iLong = 0;
    std::string sError;
    while ((nOpt = getopt_long(argc, argv, "", aLongOptions, &iLong)) != -1) {
        if (sLineOption.empty() && nOpt >= optCC && nOpt < optCodepage)
            sLineOption = std::string("--") + aLongOptions[nOpt - optSf].name;
        switch (nOpt) {
            case optSf:
                fSf = true;
                break;
            case optLine:
                if (!fFnFormatCode(optarg, &wCode))
                    return nFnUsageError("--line takes text, fixed, var or vb", optarg);
                lpOptions->mode = Mode::LineData;
                break;
            case optCC:
                wBits |= wOptCC;
                break;
            case optMachineCC:
                wBits |= wOptMachineCC;
                break;
            case optFormFeed:
                wBits |= wOptFormFeed;
                break;
            case optTRC:
                wBits |= wOptTRC;
                break;
            case optEbcdic:
                wBits |= wOptEbcdic;
                break;
            case optOptions:
                if (!fFnParseNumber(optarg, 0xFFFF, &ul))
                    return nFnUsageError("--options takes a 16-bit number", optarg);
                wBits |= static_cast<uint16_t>(ul & 0xFFF0);
                break;
            case optLrecl:
                if (!fFnParseNumber(optarg, 0xFFFF, &ul) || ul == 0)
                    return nFnUsageError("--lrecl takes a length from 1 to 65535",
                                         optarg);
                lpOptions->cbMaxRecord = static_cast<uint16_t>(ul);
                break;
            case optCodepage:
                lpOptions->sCodepage = optarg;
                fCodepage = true;
                break;
            case optJson:
                lpOptions->fJson = true;
                break;
            case optStats:
                lpOptions->fStats = true;
                break;
            case optHex:
                lpOptions->fHex = true;
                break;
            case optSample:
                fSample = true;
                break;
            case optKeepGoing:
                lpOptions->fKeepGoing = true;
                break;
            case optProgress:
                lpOptions->progress = Progress::On;
                break;
            case optNoProgress:
                lpOptions->progress = Progress::Off;
                break;
            case optStructure:
                if (!fFnParseStructureOption(aLongOptions[iLong].name, optarg, lpOptions,
                                             &sError))
                    return nFnUsageError(sError.c_str(), optarg);
                break;
            case optHelp:
                fputs(szHelp, stdout);
                return 0;
            case optVersion:
                printf("dspdump %s\n", VOKDSP_VERSION);
                return 0;
            default:
                return nFnUsageError("unknown or incomplete option", argv[optind - 1]);
        }
    }
    if (fSf && lpOptions->mode == Mode::LineData)
        return nFnUsageError("--sf and --line exclude each other", nullptr);
    if (!sLineOption.empty() && lpOptions->mode != Mode::LineData)
        return nFnUsageError("a line-data option needs --line", sLineOption.c_str());
    const bool fText = lpOptions->structure == Structure::Text;
    if (fCodepage && lpOptions->mode != Mode::LineData && !fText)
        return nFnUsageError("--codepage needs --line or --text", nullptr);
    if (fText && !fCodepage) lpOptions->sCodepage = "IBM500";
    if (lpOptions->fHex && lpOptions->fJson)
        return nFnUsageError(
            "--hex and --json exclude each other (JSON offsets are numbers)", nullptr);
    if (fSf) lpOptions->mode = Mode::StructuredFields;
    if (!fFnCheckStructureOptions(*lpOptions, &sError))
        return nFnUsageError(sError.c_str(), nullptr);
    if (optind < argc - 1) return nFnUsageError("more than one file", argv[optind + 1]);
    if (fSample && optind != argc)
        return nFnUsageError("--sample takes no FILE", argv[optind]);
    if (optind == argc - 1) lpOptions->sPath = argv[optind];
    if (optind == argc && !fSample && !isatty(STDIN_FILENO)) lpOptions->sPath = "-";
    lpOptions->wFormat = wCode | wBits;
    if (lpOptions->cbMaxRecord == 0) lpOptions->cbMaxRecord = wCode == 1 ? 133 : 32756;
    return -1;
}

}  // namespace dspdump
