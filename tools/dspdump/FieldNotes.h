// What the structure modes add to a field's line: its nesting depth and what
// its data says (names, tags, fonts, comments), written straight into the
// line being formatted. The cursors go by value, so that each stays in a
// register.
#ifndef VOKDSP_DSPDUMP_FIELDNOTES_H
#define VOKDSP_DSPDUMP_FIELDNOTES_H

#include "Fields.h"
#include "LineOut.h"

namespace dspdump {

struct FieldNotes {
    int nDepth = -1;  // --tree: nesting depth to indent by
    const modca::FieldInfo *lpInfo = nullptr;
};

// The most characters either form of the notes below takes.
size_t cchFnNotesRoom(const FieldNotes &notes);

// The decoded names and text for the listing, separated by blanks; nothing
// when the field says nothing worth showing.
Cursor FnPutNotesText(const modca::FieldInfo &info, Cursor cursor);

// The same as JSON members, each starting with ','.
Cursor FnPutNotesJson(const FieldNotes &notes, Cursor cursor);

}  // namespace dspdump

#endif
