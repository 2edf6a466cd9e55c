// Fuzz target for the field interpretation library (tools/modca).
//
// Input: a plain structured-field stream. Every field that stands whole goes
// through FnInterpretField and the structure tracker, as dspdump's structure
// modes use them; a byte that starts no whole field is skipped. The tracker
// must keep its depths consistent: a Begin is shown at the depth before it
// and opens one level, an End is shown at the depth it leaves, problems name
// no offset past the field that caused them, and Finish closes everything.
// Every field also goes to a TextPage, as dspdump --text hands it the fields
// of a page: presentation text must decode and lay out without reading past
// a field, and a problem names an offset inside the field's data.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "Fields.h"
#include "Structure.h"
#include "TextPage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *lpb, size_t cb) {
    modca::StructureTracker tracker;
    modca::TextPage page("IBM500");
    size_t ib = 0;
    while (cb - ib >= 9) {
        const size_t cbField = ((size_t{lpb[ib + 1]} << 8) | lpb[ib + 2]) + 1;
        if (lpb[ib] != 0x5A || cbField < 9 || cbField > cb - ib) {
            ++ib;
            continue;
        }
        const uint32_t dwID =
            (uint32_t{lpb[ib + 3]} << 16) | (lpb[ib + 4] << 8) | lpb[ib + 5];
        const uint8_t *lpbData = lpb + ib + 9;
        modca::FnInterpretField(dwID, lpbData, cbField - 9);
        page.Feed(dwID, lpbData, cbField - 9);
        for (const auto &problem : page.Problems())
            if (problem.first >= cbField - 9) abort();
        if (page.fFull()) page.TakeRuns();
        const size_t cBefore = tracker.Depth();
        const size_t nDepth = tracker.Feed(ib, dwID, lpbData, cbField - 9);
        if (modca::fFnIsBegin(dwID) &&
            (nDepth != cBefore || tracker.Depth() != cBefore + 1))
            abort();
        if (modca::fFnIsEnd(dwID) && (nDepth != tracker.Depth() || nDepth > cBefore))
            abort();
        for (const modca::Problem &problem : tracker.Problems())
            if (problem.ibOffset > ib) abort();
        ib += cbField;
    }
    tracker.Finish();
    modca::TextPage::sFnLines(page.TakeRuns());
    if (tracker.Depth() != 0) abort();
    return 0;
}
