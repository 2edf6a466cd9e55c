// The two reading loops of dspdump. Each returns the exit status.
#ifndef VOKDSP_DSPDUMP_DUMP_H
#define VOKDSP_DSPDUMP_DUMP_H

#include "InputSource.h"
#include "Options.h"
#include "Report.h"

namespace dspdump {

// Structured fields. With fRequired false a stream the reader refuses is
// reported as "not a structured-field stream" with a hint to --line.
int nFnDumpStructuredFields(InputSource &source, const Options &options, Report &report,
                            bool fRequired);

int nFnDumpLineData(InputSource &source, const Options &options, Report &report);

// The header of a structured field that stands whole in lpb, or false.
bool fFnParseField(const uint8_t *lpb, uint32_t cb, FieldView *lpField);

}  // namespace dspdump

#endif
