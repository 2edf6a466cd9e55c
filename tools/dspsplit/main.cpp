// dspsplit: copies pages or named page groups out of a MO:DCA print file into
// new well-formed print files: one pass over the fields finds the parts and
// any damage, and the parts are copied as byte ranges meanwhile.
#include <stdio.h>

#include "FieldWalk.h"
#include "Index.h"
#include "Options.h"
#include "Output.h"

using namespace dspsplit;

namespace {

void vFnMessage(const Input &input, const std::string &sText) {
    fprintf(stderr, "dspsplit: %s: %s\n", input.sName.c_str(), sText.c_str());
}

std::string sFnNothing(const modca::SplitRequest &request,
                       const modca::StreamIndex &index) {
    if (request.fGroups) return "no named page group to write";
    return "no page " + std::to_string(request.nFirstPage) + " (the file has " +
           std::to_string(index.cPages()) + " pages)";
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    const int nParsed = nFnParseOptions(argc, argv, &options);
    if (nParsed >= 0) return nParsed;

    Input input;
    std::string sError;
    if (!fFnOpenInput(options.sInput, &input, &sError)) {
        vFnMessage(input, sError);
        return 1;
    }
    Window window;
    OutputSink sink(input, window, options.output);
    if (!sink.fReady()) return 1;
    modca::StreamIndex index;
    modca::Splitter splitter(index, options.request, sink);
    {
        FieldWalk walk(input, &window, &index, splitter);
        modca::IndexedField field;
        while (walk.fNext(&field)) {
            splitter.Feed(field);
            if (sink.fFailed() || index.fDamaged()) break;
        }
    }
    splitter.Finish();
    const bool fDamaged = index.fDamaged();
    if (fDamaged)
        vFnMessage(input, "offset " + std::to_string(index.ibDamage()) + ": " +
                              index.DamageText());
    // Past damage the document's End may be missing: the outputs get Ends made anew.
    if (fDamaged)
        sink.Complete(modca::ByteRange(), index.PrologueEnds(), !options.fKeepGoing);
    else
        sink.Complete(index.Trailer(), {}, false);
    if (sink.fFailed() || (fDamaged && !options.fKeepGoing)) return 1;
    if (splitter.cOutputs() == 0) {
        vFnMessage(input, sFnNothing(options.request, index));
        return 1;
    }
    return fDamaged ? 1 : 0;
}
