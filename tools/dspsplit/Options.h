// Command line of dspsplit.
#ifndef VOKDSP_DSPSPLIT_OPTIONS_H
#define VOKDSP_DSPSPLIT_OPTIONS_H

#include <string>

#include "Index.h"
#include "Output.h"

namespace dspsplit {

struct Options {
    modca::SplitRequest request;
    OutputOptions output;
    bool fKeepGoing = false;
    std::string sInput;  // "-": standard input
};

// Parses argv into *lpOptions. Returns -1 to go on, else the exit status (0
// after --help or --version, 2 after a usage error already reported).
int nFnParseOptions(int argc, char **argv, Options *lpOptions);

}  // namespace dspsplit

#endif
