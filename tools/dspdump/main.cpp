// dspdump: lists the structured fields or line-data records of a print
// stream, one line each, as JSON Lines, or as a summary.
#include <stdio.h>
#include <unistd.h>

#include "Dump.h"
#include "InputSource.h"
#include "Options.h"
#include "Report.h"
#include "StructureDump.h"
#include "TextDump.h"

using namespace dspdump;

int main(int argc, char **argv) {
    Options options;
    const int nParsed = nFnParseOptions(argc, argv, &options);
    if (nParsed >= 0) return nParsed;

    TextDecoder text;
    const bool fEbcdic = options.mode == Mode::LineData && (options.wFormat & wOptEbcdic);
    if (!text.fFnInit(fEbcdic, options.sCodepage) || !fFnTextCodepageKnown(options)) {
        fprintf(stderr, "dspdump: unknown code page: %s\n",
                sFnEscaped(options.sCodepage).c_str());
        return 2;
    }
    InputSource source(options.sPath);
    if (!source.Open()) {
        fprintf(stderr, "dspdump: %s: cannot read: %s\n",
                sFnEscaped(source.Name()).c_str(), source.OpenError().c_str());
        return 1;
    }
    source.EnableProgress(options.progress, !options.fStats && isatty(STDOUT_FILENO));
    std::unique_ptr<Report> report = FnMakeReport(options, text);
    if (options.structure == Structure::Text)
        report = FnMakeTextReport(options, text);
    else if (options.mode != Mode::LineData)
        report = FnMakeStructureReport(options, std::move(report), text);
    report->SetInput(source.Name(), [&source] { source.BreakProgress(); });
    if (options.mode == Mode::LineData)
        vFnDumpLineData(source, options, *report);
    else
        vFnDumpStructuredFields(source, options, *report,
                                options.mode == Mode::StructuredFields);
    report->FlushOutput();  // the listing before the progress line ends
    source.FinishProgress();
    return report->Finish(source.Delivered());
}
