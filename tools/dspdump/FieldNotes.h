// What the structure modes add to a field's line: its nesting depth and what
// its data says (names, tags, fonts, comments), written straight into the
// line being formatted. The cursors go by value, so that each stays in a
// register.
#ifndef VOKDSP_DSPDUMP_FIELDNOTES_H
#define VOKDSP_DSPDUMP_FIELDNOTES_H

#include <stdint.h>

#include <vector>

#include "Fields.h"
#include "LineOut.h"

namespace dspdump {

struct FieldNotes {
    int nDepth = -1;                           // --tree: nesting depth to indent by
    const modca::FieldInfo *lpInfo = nullptr;  // null: the field says nothing
    size_t cchRoom = 256;  // the most characters either form below takes
    // Not 0: lpInfo says the same as for the last notes with this key.
    uint64_t nInfoKey = 0;
};

// Makes the notes of one field after another. A formatter maps its fonts
// and objects anew on every page, mostly with the same bytes: a Map field
// like the one before it is not interpreted again.
class NotesMaker {
  public:
    FieldNotes Make(uint32_t dwID, const uint8_t *lpb, size_t cb, int nDepth);

  private:
    // What the field says; null for a type that says nothing.
    const modca::FieldInfo *lpInfoOf(uint32_t dwID, const uint8_t *lpb, size_t cb);

    modca::FieldInfo info_;  // of the latest field, its storage reused
    // The latest Map field and what it says, reused while its bytes repeat.
    uint32_t dwMapID_ = 0;
    std::vector<uint8_t> abMap_;
    modca::FieldInfo mapInfo_;
    uint64_t nMapKey_ = 0;  // changes with mapInfo_, so notes of it can be reused
    size_t cchMapRoom_ = 0;
};

// What was written from the last keyed notes, copied while the key repeats.
class NotesMemo {
  public:
    template <class Put>
    Cursor Write(const FieldNotes &notes, Cursor cursor, Put put) {
        if (notes.nInfoKey != 0 && notes.nInfoKey == nKey_)
            return cursor.Chars(s_.data(), s_.size());
        const char *lpchStart = cursor.lpch();
        cursor = put(*notes.lpInfo, cursor);
        if (notes.nInfoKey != 0) {
            s_.assign(lpchStart, size_t(cursor.lpch() - lpchStart));
            nKey_ = notes.nInfoKey;
        }
        return cursor;
    }

  private:
    uint64_t nKey_ = 0;
    std::string s_;
};

// The room for the notes of info.
size_t cchFnNotesRoom(const modca::FieldInfo &info);

// The decoded names and text for the listing, separated by blanks; nothing
// when the field says nothing worth showing.
Cursor FnPutNotesText(const modca::FieldInfo &info, Cursor cursor);

// The same as JSON members, each starting with ','.
Cursor FnPutNotesJson(const modca::FieldInfo &info, Cursor cursor);

}  // namespace dspdump

#endif
