#include "FieldNotes.h"

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
    explicit Parts(Cursor *lpCursor) : cursor_(*lpCursor) {}
    Cursor &Next() {
        if (fAny_) cursor_.Char(' ');
        fAny_ = true;
        return cursor_;
    }

  private:
    Cursor &cursor_;
    bool fAny_ = false;
};

void PutFont(const modca::FontMapping &font, Cursor *lpCursor) {
    if (font.nLocalId >= 0) lpCursor->Dec(uint64_t(font.nLocalId)).Char('=');
    if (!font.sCodedFont.empty())
        lpCursor->Str(font.sCodedFont);
    else
        lpCursor->Str(font.sCharacterSet).Char('/').Str(font.sCodePage);
}

// Names in triplets that the text line shows besides a field's own name:
// those of fields that neither map fonts nor tag.
void PutTripletNames(const FieldInfo &info, Parts *lpParts) {
    if (!info.fonts.empty() || !info.sTagName.empty()) return;
    for (const modca::Triplet &t : info.triplets)
        if (t.bId == modca::bFullyQualifiedName && !t.sValue.empty())
            lpParts->Next().Str(szFnFqnName(t.nType)).Char('=').Str(t.sValue);
}

void PutFontsJson(const std::vector<modca::FontMapping> &fonts, Cursor *lpCursor) {
    lpCursor->Lit(",\"fonts\":[");
    for (const modca::FontMapping &font : fonts) {
        if (&font != &fonts.front()) lpCursor->Char(',');
        lpCursor->Lit("{\"localId\":");
        if (font.nLocalId < 0) lpCursor->Char('-');
        lpCursor->Dec(
            uint64_t(font.nLocalId < 0 ? -int64_t{font.nLocalId} : font.nLocalId));
        if (!font.sCodedFont.empty())
            lpCursor->Lit(",\"codedFont\":").JsonStr(font.sCodedFont);
        lpCursor->Lit(",\"characterSet\":").JsonStr(font.sCharacterSet);
        lpCursor->Lit(",\"codePage\":").JsonStr(font.sCodePage).Char('}');
    }
    lpCursor->Char(']');
}

void PutTripletsJson(const std::vector<modca::Triplet> &triplets, Cursor *lpCursor) {
    lpCursor->Lit(",\"triplets\":[");
    for (const modca::Triplet &t : triplets) {
        if (&t != &triplets.front()) lpCursor->Char(',');
        lpCursor->Lit("{\"id\":\"").Hex(t.bId, 2).Char('"');
        if (t.nType >= 0) lpCursor->Lit(",\"type\":\"").Hex(t.nType & 0xFF, 2).Char('"');
        if (!t.sValue.empty()) lpCursor->Lit(",\"value\":").JsonStr(t.sValue);
        lpCursor->Char('}');
    }
    lpCursor->Char(']');
}

}  // namespace

// Each string may double as JSON; the rest is bounded per member, font and
// triplet.
size_t cchFnNotesRoom(const FieldNotes &notes) {
    size_t cch = 256;
    if (notes.lpInfo == nullptr) return cch;
    const FieldInfo &info = *notes.lpInfo;
    cch += 2 * (info.sObjectName.size() + info.sTagName.size() + info.sTagValue.size() +
                info.sComment.size());
    for (const modca::FontMapping &font : info.fonts)
        cch += 128 + 2 * (font.sCodedFont.size() + font.sCharacterSet.size() +
                          font.sCodePage.size());
    for (const modca::Triplet &t : info.triplets) cch += 64 + 2 * t.sValue.size();
    return cch;
}

void vFnPutNotesText(const FieldInfo &info, Cursor *lpCursor) {
    Parts parts(lpCursor);
    if (!info.sObjectName.empty()) parts.Next().Str(info.sObjectName);
    if (!info.sTagName.empty() || !info.sTagValue.empty())
        parts.Next().Str(info.sTagName).Char('=').Str(info.sTagValue);
    for (const modca::FontMapping &font : info.fonts) PutFont(font, &parts.Next());
    PutTripletNames(info, &parts);
    if (!info.sComment.empty()) parts.Next().Char('"').Str(info.sComment).Char('"');
    if (info.fMalformed) parts.Next().Lit("(malformed triplets)");
}

void vFnPutNotesJson(const FieldNotes &notes, Cursor *lpCursor) {
    Cursor &cursor = *lpCursor;
    if (notes.nDepth >= 0) cursor.Lit(",\"depth\":").Dec(uint64_t(notes.nDepth));
    if (notes.lpInfo == nullptr) return;
    const FieldInfo &info = *notes.lpInfo;
    if (!info.sObjectName.empty())
        cursor.Lit(",\"objectName\":").JsonStr(info.sObjectName);
    if (!info.sTagName.empty() || !info.sTagValue.empty()) {
        cursor.Lit(",\"tag\":{\"name\":").JsonStr(info.sTagName);
        cursor.Lit(",\"value\":").JsonStr(info.sTagValue).Char('}');
    }
    if (!info.fonts.empty()) PutFontsJson(info.fonts, lpCursor);
    if (!info.sComment.empty()) cursor.Lit(",\"comment\":").JsonStr(info.sComment);
    if (!info.triplets.empty()) PutTripletsJson(info.triplets, lpCursor);
    if (info.fMalformed) cursor.Lit(",\"malformedTriplets\":true");
}

}  // namespace dspdump
