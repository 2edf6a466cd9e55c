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
    explicit Parts(LineOut *lpOut) : out_(*lpOut) {}
    LineOut &Next() {
        if (fAny_) out_.Char(' ');
        fAny_ = true;
        return out_;
    }

  private:
    LineOut &out_;
    bool fAny_ = false;
};

void PutFont(const modca::FontMapping &font, LineOut *lpOut) {
    if (font.nLocalId >= 0) lpOut->Dec(uint64_t(font.nLocalId)).Char('=');
    if (!font.sCodedFont.empty())
        lpOut->Str(font.sCodedFont);
    else
        lpOut->Str(font.sCharacterSet).Char('/').Str(font.sCodePage);
}

// Names in triplets that the text line shows besides a field's own name:
// those of fields that neither map fonts nor tag.
void PutTripletNames(const FieldInfo &info, Parts *lpParts) {
    if (!info.fonts.empty() || !info.sTagName.empty()) return;
    for (const modca::Triplet &t : info.triplets)
        if (t.bId == modca::bFullyQualifiedName && !t.sValue.empty())
            lpParts->Next().Str(szFnFqnName(t.nType)).Char('=').Str(t.sValue);
}

void PutFontsJson(const std::vector<modca::FontMapping> &fonts, LineOut *lpOut) {
    lpOut->Lit(",\"fonts\":[");
    for (const modca::FontMapping &font : fonts) {
        if (&font != &fonts.front()) lpOut->Char(',');
        lpOut->Lit("{\"localId\":");
        if (font.nLocalId < 0) lpOut->Char('-');
        lpOut->Dec(uint64_t(font.nLocalId < 0 ? -int64_t{font.nLocalId} : font.nLocalId));
        if (!font.sCodedFont.empty())
            lpOut->Lit(",\"codedFont\":").JsonStr(font.sCodedFont);
        lpOut->Lit(",\"characterSet\":").JsonStr(font.sCharacterSet);
        lpOut->Lit(",\"codePage\":").JsonStr(font.sCodePage).Char('}');
    }
    lpOut->Char(']');
}

void PutTripletsJson(const std::vector<modca::Triplet> &triplets, LineOut *lpOut) {
    lpOut->Lit(",\"triplets\":[");
    for (const modca::Triplet &t : triplets) {
        if (&t != &triplets.front()) lpOut->Char(',');
        lpOut->Lit("{\"id\":\"").Hex(t.bId, 2).Char('"');
        if (t.nType >= 0) lpOut->Lit(",\"type\":\"").Hex(t.nType & 0xFF, 2).Char('"');
        if (!t.sValue.empty()) lpOut->Lit(",\"value\":").JsonStr(t.sValue);
        lpOut->Char('}');
    }
    lpOut->Char(']');
}

}  // namespace

void vFnPutNotesText(const FieldInfo &info, LineOut *lpOut) {
    Parts parts(lpOut);
    if (!info.sObjectName.empty()) parts.Next().Str(info.sObjectName);
    if (!info.sTagName.empty() || !info.sTagValue.empty())
        parts.Next().Str(info.sTagName).Char('=').Str(info.sTagValue);
    for (const modca::FontMapping &font : info.fonts) PutFont(font, &parts.Next());
    PutTripletNames(info, &parts);
    if (!info.sComment.empty()) parts.Next().Char('"').Str(info.sComment).Char('"');
    if (info.fMalformed) parts.Next().Lit("(malformed triplets)");
}

void vFnPutNotesJson(const FieldNotes &notes, LineOut *lpOut) {
    if (notes.nDepth >= 0) lpOut->Lit(",\"depth\":").Dec(uint64_t(notes.nDepth));
    if (notes.lpInfo == nullptr) return;
    const FieldInfo &info = *notes.lpInfo;
    if (!info.sObjectName.empty())
        lpOut->Lit(",\"objectName\":").JsonStr(info.sObjectName);
    if (!info.sTagName.empty() || !info.sTagValue.empty()) {
        lpOut->Lit(",\"tag\":{\"name\":").JsonStr(info.sTagName);
        lpOut->Lit(",\"value\":").JsonStr(info.sTagValue).Char('}');
    }
    if (!info.fonts.empty()) PutFontsJson(info.fonts, lpOut);
    if (!info.sComment.empty()) lpOut->Lit(",\"comment\":").JsonStr(info.sComment);
    if (!info.triplets.empty()) PutTripletsJson(info.triplets, lpOut);
    if (info.fMalformed) lpOut->Lit(",\"malformedTriplets\":true");
}

}  // namespace dspdump
