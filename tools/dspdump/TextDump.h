// dspdump --text: the text of each page, over the modca library.
#ifndef VOKDSP_DSPDUMP_TEXTDUMP_H
#define VOKDSP_DSPDUMP_TEXTDUMP_H

#include <memory>

#include "Options.h"
#include "Report.h"

namespace dspdump {

// Whether --text can decode with options.sCodepage where a font names no
// usable code page.
bool fFnTextCodepageKnown(const Options &options);

// A report that prints the text of each page (with --page, of pages N to
// M): UTF-8 lines, a form feed between pages; with --json one object per run.
std::unique_ptr<Report> FnMakeTextReport(const Options &options, const TextDecoder &text);

}  // namespace dspdump

#endif
