// Command line of dspdump.
#ifndef VOKDSP_DSPDUMP_OPTIONS_H
#define VOKDSP_DSPDUMP_OPTIONS_H

#include <stdint.h>

#include <string>
#include <vector>

namespace dspdump {

// The line-data format word: code in bits 0-3, option bits above.
constexpr uint16_t wFormatCodeMask = 0x000F;
constexpr uint16_t wOptCC = 0x0010;
constexpr uint16_t wOptMachineCC = 0x0020;
constexpr uint16_t wOptTextCC = wOptCC | wOptMachineCC;  // either makes a text CC byte
constexpr uint16_t wOptFormFeed = 0x0080;
constexpr uint16_t wOptTRC = 0x0100;
constexpr uint16_t wOptEbcdic = 0x1000;

enum class Mode { Auto, StructuredFields, LineData };
enum class Progress { Auto, On, Off };
enum class Structure { None, Pages, Tree, Check, Resources, Text };

struct Options {
    Mode mode = Mode::Auto;
    uint16_t wFormat = 0;      // line data: format code and option bits
    uint16_t cbMaxRecord = 0;  // line data: 0 picks the format's default
    // --text decodes with IBM500 unless --codepage is given
    std::string sCodepage = "IBM037";
    bool fJson = false;   // JSON Lines, or with fStats one JSON summary
    bool fStats = false;  // a summary instead of the listing
    bool fHex = false;    // offsets in the listing and messages in hexadecimal
    bool fKeepGoing = false;
    Progress progress = Progress::Auto;
    std::string sPath;  // "-": standard input; empty: the bundled sample
    // Document structure modes and the listing's filters (StructureDump.cpp).
    Structure structure = Structure::None;
    uint64_t nFirstPage = 0, nLastPage = 0;  // --page; 0: every page
    std::vector<uint32_t> typeIds;           // --type; empty: every type
    bool fOffset = false;                    // --offset given
    uint64_t ibFind = 0;
};

inline bool fFnTextLines(const Options &options) {
    return options.mode == Mode::LineData && (options.wFormat & wFormatCodeMask) == 0;
}

// Parses argv into *lpOptions. Returns -1 to go on, else the exit status
// (0 after --help or --version, 2 after a usage error already reported).
// Without FILE, standard input is read unless it is a terminal.
int nFnParseOptions(int argc, char **argv, Options *lpOptions);

// The structure options (--pages ... --offset) by long name; false with
// *lpsError set when szArg is no valid argument or the option clashes.
bool fFnParseStructureOption(const char *szName, const char *szArg, Options *lpOptions,
                             std::string *lpsError);
// After all options: false with *lpsError for a combination that makes no sense.
bool fFnCheckStructureOptions(const Options &options, std::string *lpsError);

}  // namespace dspdump

#endif
