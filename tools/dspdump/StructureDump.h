// dspdump's document structure modes: --pages, --tree, --check, --resources
// and the listing's filters, over the modca library.
#ifndef VOKDSP_DSPDUMP_STRUCTUREDUMP_H
#define VOKDSP_DSPDUMP_STRUCTUREDUMP_H

#include <memory>

#include "Options.h"
#include "Report.h"

namespace dspdump {

// A report that follows the nesting of the fields and hands the listing's
// lines, with their decoded names, to inner; inner unchanged when the
// options ask for nothing it would add.
std::unique_ptr<Report> FnMakeStructureReport(const Options &options,
                                              std::unique_ptr<Report> inner,
                                              const TextDecoder &text);

}  // namespace dspdump

#endif
