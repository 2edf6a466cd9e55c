#include "FieldNotes.h"

#include <algorithm>

namespace dspdump {
namespace {

using modca::FieldInfo;

const char *szFnFqnName(int nType) {
    switch (nType) {
        case modca::nFqnResourceReference:
            return "resource";
        case modca::nFqnCodePage:
            return "codepage";
        case modca::nFqnCharacterSet:
            return "charset";
        case modca::nFqnCodedFont:
            return "font";
        case modca::nFqnObjectInternal:
            return "object";
        case modca::nFqnObjectExternal:
            return "external";
        default:
            return "name";
    }
}

// Writes the parts of the listing's notes, a blank between two.
class Parts {
  public:
    explicit Parts(Cursor cursor) : cursor_(cursor) {}
    Cursor &Next() {
        if (fAny_) cursor_.Char(' ');
        fAny_ = true;
        return cursor_;
    }
    Cursor End() const { return cursor_; }

  private:
    Cursor cursor_;
    bool fAny_ = false;
};

void PutFont(const modca::FontMapping &font, Cursor &cursor) {
    if (font.nLocalId >= 0) cursor.Dec(uint64_t(font.nLocalId)).Char('=');
    if (!font.sCodedFont.empty())
        cursor.Str(font.sCodedFont);
    else
        cursor.Str(font.sCharacterSet).Char('/').Str(font.sCodePage);
}

// Names in triplets that the text line shows besides a field's own name:
// those of fields that neither map fonts nor tag.
void PutTripletNames(const FieldInfo &info, Parts &parts) {
    if (!info.fonts.empty() || !info.sTagName.empty()) return;
    for (const modca::Triplet &t : info.triplets)
        if (t.bId == modca::bFullyQualifiedName && !t.sValue.empty())
            parts.Next().Str(szFnFqnName(t.nType)).Char('=').Str(t.sValue);
}

Cursor FnPutFontsJson(const std::vector<modca::FontMapping> &fonts, Cursor cursor) {
    cursor.Lit(",\"fonts\":[");
    for (const modca::FontMapping &font : fonts) {
        if (&font != &fonts.front()) cursor.Char(',');
        cursor.Lit("{\"localId\":");
        if (font.nLocalId < 0) cursor.Char('-');
        cursor.Dec(uint64_t(font.nLocalId < 0 ? -int64_t{font.nLocalId} : font.nLocalId));
        if (!font.sCodedFont.empty())
            cursor.Lit(",\"codedFont\":").JsonStr(font.sCodedFont);
        cursor.Lit(",\"characterSet\":").JsonStr(font.sCharacterSet);
        cursor.Lit(",\"codePage\":").JsonStr(font.sCodePage).Char('}');
    }
    return cursor.Char(']');
}

Cursor FnPutTripletsJson(const std::vector<modca::Triplet> &triplets, Cursor cursor) {
    cursor.Lit(",\"triplets\":[");
    for (const modca::Triplet &t : triplets) {
        if (&t != &triplets.front()) cursor.Char(',');
        cursor.Lit("{\"id\":\"").HexByte(t.bId).Char('"');
        if (t.nType >= 0) cursor.Lit(",\"type\":\"").HexByte(uint8_t(t.nType)).Char('"');
        if (!t.sValue.empty()) cursor.Lit(",\"value\":").JsonStr(t.sValue);
        cursor.Char('}');
    }
    return cursor.Char(']');
}

}  // namespace

// Each string may double as JSON; the rest is bounded per member, font and
// triplet.
size_t cchFnNotesRoom(const FieldInfo &info) {
    size_t cch = 256;
    cch += 2 * (info.sObjectName.size() + info.sTagName.size() + info.sTagValue.size() +
                info.sComment.size());
    for (const modca::FontMapping &font : info.fonts)
        cch += 128 + 2 * (font.sCodedFont.size() + font.sCharacterSet.size() +
                          font.sCodePage.size());
    for (const modca::Triplet &t : info.triplets) cch += 64 + 2 * t.sValue.size();
    return cch;
}

Cursor FnPutNotesText(const FieldInfo &info, Cursor cursor) {
    Parts parts(cursor);
    if (!info.sObjectName.empty()) parts.Next().Str(info.sObjectName);
    if (!info.sTagName.empty() || !info.sTagValue.empty())
        parts.Next().Str(info.sTagName).Char('=').Str(info.sTagValue);
    for (const modca::FontMapping &font : info.fonts) PutFont(font, parts.Next());
    PutTripletNames(info, parts);
    if (!info.sComment.empty()) parts.Next().Char('"').Str(info.sComment).Char('"');
    if (info.fMalformed) parts.Next().Lit("(malformed triplets)");
    return parts.End();
}

Cursor FnPutNotesJson(const FieldInfo &info, Cursor cursor) {
    if (!info.sObjectName.empty())
        cursor.Lit(",\"objectName\":").JsonStr(info.sObjectName);
    if (!info.sTagName.empty() || !info.sTagValue.empty()) {
        cursor.Lit(",\"tag\":{\"name\":").JsonStr(info.sTagName);
        cursor.Lit(",\"value\":").JsonStr(info.sTagValue).Char('}');
    }
    if (!info.fonts.empty()) cursor = FnPutFontsJson(info.fonts, cursor);
    if (!info.sComment.empty()) cursor.Lit(",\"comment\":").JsonStr(info.sComment);
    if (!info.triplets.empty()) cursor = FnPutTripletsJson(info.triplets, cursor);
    if (info.fMalformed) cursor.Lit(",\"malformedTriplets\":true");
    return cursor;
}

FieldNotes NotesMaker::Make(uint32_t dwID, const uint8_t *lpb, size_t cb, int nDepth) {
    FieldNotes notes;
    notes.nDepth = nDepth;
    notes.lpInfo = lpInfoOf(dwID, lpb, cb);
    if (notes.lpInfo == &mapInfo_) {
        notes.nInfoKey = nMapKey_;
        notes.cchRoom = cchMapRoom_;
    } else if (notes.lpInfo != nullptr) {
        notes.cchRoom = cchFnNotesRoom(info_);
    }
    return notes;
}

const FieldInfo *NotesMaker::lpInfoOf(uint32_t dwID, const uint8_t *lpb, size_t cb) {
    if (!modca::fFnInterpreted(dwID)) return nullptr;
    if ((dwID >> 8) != 0xD3AB) {
        modca::FnInterpretField(dwID, lpb, cb, &info_);
        return &info_;
    }
    if (dwID != dwMapID_ || cb != abMap_.size() ||
        !std::equal(lpb, lpb + cb, abMap_.begin())) {
        modca::FnInterpretField(dwID, lpb, cb, &mapInfo_);
        dwMapID_ = dwID;
        abMap_.assign(lpb, lpb + cb);
        ++nMapKey_;
        cchMapRoom_ = cchFnNotesRoom(mapInfo_);
    }
    return &mapInfo_;
}

}  // namespace dspdump
