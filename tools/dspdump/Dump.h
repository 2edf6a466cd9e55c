// The two reading loops of dspdump. They stop at the first error unless
// --keep-going, and when the output cannot be written.
#ifndef VOKDSP_DSPDUMP_DUMP_H
#define VOKDSP_DSPDUMP_DUMP_H

#include "InputSource.h"
#include "Options.h"
#include "Report.h"

namespace dspdump {

// Structured fields. With fRequired false a stream the reader refuses is
// reported as "not a structured-field stream" with a hint to --line.
void vFnDumpStructuredFields(InputSource &source, const Options &options, Report &report,
                             bool fRequired);

void vFnDumpLineData(InputSource &source, const Options &options, Report &report);

// The header of a structured field that stands whole in lpb, or false.
bool fFnParseField(const uint8_t *lpb, uint32_t cb, FieldView *lpField);

}  // namespace dspdump

#endif
