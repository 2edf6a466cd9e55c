#include "Report.h"

#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <map>

#include "FieldNames.h"
#include "TextPage.h"
#include "vokDSPsr.h"

namespace dspdump {
using namespace modca;
namespace {

constexpr uint32_t cbListedData = 16;  // data bytes a listing line shows
constexpr size_t cchNumber = Cursor::cchMaxNumber;

void vFnPutJsonString(const std::string &s) {
    putchar('"');
    for (unsigned char c : s) {
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            printf("\\u%04X", c);
        else
            putchar(c);
    }
    putchar('"');
}

// Columns that depend on a field's identifier alone, formatted once for each
// identifier met and copied after that in one fixed-size store. A slot of
// cchSlot + 8 bytes, a cache line for the listing's 56 characters.
template <size_t cchSlot>
class IdColumns {
  public:
    // format(name, cursor) writes the columns and returns the cursor after.
    template <class Format>
    Cursor Put(uint32_t dwID, Cursor cursor, Format format) {
        Slot &slot = aSlots_[(dwID ^ dwID >> 8) & 0xFF];
        if (slot.cch != 0 && slot.dwID == dwID) return cursor.Block(slot.ach, slot.cch);
        const char *lpchStart = cursor.lpch();
        cursor = format(FnFieldName(dwID), cursor);
        const size_t cch = size_t(cursor.lpch() - lpchStart);
        if (cch > cchSlot) return cursor;  // too long to keep: formatted each time
        memcpy(slot.ach, lpchStart, cch);
        slot.cch = uint32_t(cch);
        slot.dwID = dwID;
        return cursor;
    }

  private:
    struct alignas(64) Slot {
        uint32_t dwID = 0;
        uint32_t cch = 0;  // 0: empty
        char ach[cchSlot];
    };
    Slot aSlots_[256];
};

// Characters a field's identifier columns and numbers take at most (names
// are far shorter), and its notes.
size_t cchFnFieldRoom(const FieldNotes *lpNotes) {
    size_t cch = 4 * cchNumber + 320;
    if (lpNotes != nullptr)
        cch += 2 * size_t(lpNotes->nDepth > 0 ? lpNotes->nDepth : 0) + lpNotes->cchRoom;
    return cch;
}

// The notes shown with each field: those the structure layer attached, or,
// for an output without that layer, those made here.
class ShownNotes {
  public:
    explicit ShownNotes(const Options &options) : fMakes_(fFnReportMakesNotes(options)) {}
    const FieldNotes *lpOf(const FieldView &field, FieldNotes *lpMade) {
        if (!fMakes_) return field.lpNotes;
        *lpMade = maker_.Make(field.dwID, field.lpbData, field.cbData, -1);
        return lpMade;
    }

  private:
    const bool fMakes_;
    NotesMaker maker_;
};

class ListingReport : public Report {
  public:
    ListingReport(const TextDecoder &text, const Options &options)
        : Report(text, options), notes_(options) {}

    void Field(const FieldView &field) override {
        FieldNotes made;
        ListField(field, notes_.lpOf(field, &made));
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        if (nRecords_ == 1) {
            out_.Flush();
            printf("%8s %-12s %2s %3s %6s  %s\n", "record", szFnOffsetHeading(), "cc",
                   "trc", "length", "data");
        }
        Cursor cursor = out_.Reserve(
            5 * cchNumber + 16 +
            (record.lpField ? cchFnFieldRoom(record.lpField->lpNotes) : record.cbData));
        cursor = PutOffset(cursor.Dec(record.nRecord, 8).Char(' '), record.ibOffset);
        cursor.Char(' ').HexByte(record.bCC).Char(' ');
        cursor.Dec(record.bTRC, 3).Char(' ').Dec(record.cbData, 6).Spaces(2);
        if (record.lpField != nullptr) {
            cursor =
                PutField(*record.lpField, record.lpField->lpNotes, cursor.Lit("field "));
        } else {
            for (uint16_t i = 0; i < record.cbData; ++i)
                cursor.Char(text_.cFnShow(record.lpbData[i]));
        }
        out_.Commit(cursor.Char('\n')).Emit();
    }

  private:
    const char *szFnOffsetHeading() const {
        return options_.fHex ? "offset(hex)" : "offset(dec)";
    }

    void ListField(const FieldView &field, const FieldNotes *lpNotes) {
        Report::Field(field);
        if (nFields_ == 1 && nRecords_ == 0) {
            out_.Flush();
            printf("%-12s %6s  %-6s %-3s  %-40s %5s %5s %5s  %s\n", szFnOffsetHeading(),
                   "length", "id", "abr", "name", "flags", "seq", "data",
                   "first data bytes");
        }
        Cursor cursor = out_.Reserve(cchNumber + 2 + cchFnFieldRoom(lpNotes));
        cursor = PutField(field, lpNotes, PutOffset(cursor, field.ibOffset).Char(' '));
        out_.Commit(cursor.Char('\n')).Emit();
    }

    // "%06X %*s%-3s  %-*s    ": identifier, indent, abbreviation and name.
    Cursor PutNames(uint32_t dwID, int nIndent, Cursor cursor) {
        const auto format = [dwID, nIndent](const FieldName &name, Cursor to) {
            to.Hex(dwID, 6).Char(' ').Spaces(nIndent);
            to.StrLeft(name.szAbbreviation, 3).Spaces(2);
            return to.StrLeft(name.szName, nIndent < 40 ? 40 - nIndent : 0).Spaces(4);
        };
        if (nIndent == 0) return names_.Put(dwID, cursor, format);
        return format(FnFieldName(dwID), cursor);
    }

    Cursor PutField(const FieldView &field, const FieldNotes *lpNotes, Cursor cursor) {
        const int nIndent = lpNotes && lpNotes->nDepth > 0 ? 2 * lpNotes->nDepth : 0;
        cursor = PutNames(field.dwID, nIndent, cursor.Dec(field.cbLength, 6).Lit("  "));
        const uint32_t cbShown =
            field.cbData < cbListedData ? field.cbData : cbListedData;
        if ((field.bFlags | field.wSeq) == 0)  // as in most fields
            cursor.Lit("00     0 ");
        else
            cursor.HexByte(field.bFlags).Char(' ').Dec(field.wSeq, 5).Char(' ');
        cursor.Dec(field.cbData, 5).Lit("  ").HexBytes(field.lpbData, cbShown);
        if (lpNotes == nullptr || lpNotes->lpInfo == nullptr) return cursor;
        // The notes after the data column, or nothing when there are none.
        Cursor notes = cursor;
        notes.Spaces(int(2 * (cbListedData - cbShown)) + 2);
        const char *lpchNotes = notes.lpch();
        notes = memo_.Write(*lpNotes, notes, FnPutNotesText);
        return notes.lpch() != lpchNotes ? notes : cursor;
    }

    IdColumns<56> names_;  // identifier, abbreviation, a name of up to 40
    NotesMemo memo_;
    ShownNotes notes_;
};

class JsonReport : public Report {
  public:
    JsonReport(const TextDecoder &text, const Options &options)
        : Report(text, options), notes_(options) {}

    void Field(const FieldView &field) override {
        Report::Field(field);
        FieldNotes made;
        const FieldNotes *lpNotes = notes_.lpOf(field, &made);
        Cursor cursor = out_.Reserve(cchNumber + 16 + cchFnMembersRoom(field, lpNotes));
        cursor = PutFieldMembers(
            field, lpNotes,
            offsets_.PutBare(cursor.Lit("{\"offset\":"), field.ibOffset).Char(','));
        out_.Commit(cursor.Lit("}\n")).Emit();
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        const size_t cchData = 2 * size_t{record.cbData};  // hex, or text escaped
        Cursor cursor = out_.Reserve(
            4 * cchNumber + 80 + cchData +
            (record.lpField ? cchFnMembersRoom(*record.lpField, record.lpField->lpNotes)
                            : cchData));
        cursor.Lit("{\"record\":").Dec(record.nRecord).Lit(",\"offset\":");
        offsets_.PutBare(cursor, record.ibOffset).Lit(",\"cc\":\"").HexByte(record.bCC);
        cursor.Lit("\",\"trc\":").Dec(record.bTRC).Lit(",\"length\":").Dec(record.cbData);
        if (record.lpField != nullptr) {
            cursor = PutFieldMembers(*record.lpField, record.lpField->lpNotes,
                                     cursor.Lit(",\"field\":{"));
            cursor.Lit("},");
        } else {
            cursor.Lit(",\"text\":\"");
            for (uint16_t i = 0; i < record.cbData; ++i) {
                const char c = text_.cFnShow(record.lpbData[i]);
                if (c == '"' || c == '\\') cursor.Char('\\');
                cursor.Char(c);
            }
            cursor.Lit("\",");
        }
        cursor.Lit("\"data\":\"").HexBytes(record.lpbData, record.cbData);
        out_.Commit(cursor.Lit("\"}\n")).Emit();
    }

    void Error(const ErrorView &error) override {
        Report::Error(error);
        vFnPutJsonError(error);
    }

  private:
    static size_t cchFnMembersRoom(const FieldView &field, const FieldNotes *lpNotes) {
        return cchFnFieldRoom(lpNotes) + 2 * size_t{field.cbData};
    }

    Cursor PutFieldMembers(const FieldView &field, const FieldNotes *lpNotes,
                           Cursor cursor) {
        cursor.Lit("\"length\":").Dec(field.cbLength);
        cursor =
            members_.Put(field.dwID, cursor, [&field](const FieldName &name, Cursor to) {
                to.Lit(",\"id\":\"").Hex(field.dwID, 6);
                to.Lit("\",\"type\":\"").Str(name.szAbbreviation).Lit("\",\"name\":\"");
                return to.Str(name.szName).Lit("\",\"flags\":\"");
            });
        if ((field.bFlags | field.wSeq) == 0)
            cursor.Lit("00\",\"seq\":0");
        else
            cursor.HexByte(field.bFlags).Lit("\",\"seq\":").Dec(field.wSeq);
        cursor.Lit(",\"dataLength\":").Dec(field.cbData).Lit(",\"data\":\"");
        cursor.HexBytes(field.lpbData, field.cbData).Char('"');
        if (lpNotes == nullptr) return cursor;
        if (lpNotes->nDepth >= 0)
            cursor.Lit(",\"depth\":").Dec(uint64_t(lpNotes->nDepth));
        if (lpNotes->lpInfo == nullptr) return cursor;
        return memo_.Write(*lpNotes, cursor, FnPutNotesJson);
    }

    IdColumns<120> members_;
    NotesMemo memo_;
    ShownNotes notes_;
};

// Only the summary counts fields by identifier: the table grows with every
// distinct one, so the listing modes go without it.
class StatsReport : public Report {
  public:
    StatsReport(const TextDecoder &text, const Options &options) : Report(text, options) {
        fIdsOnly_ = true;
    }

    void Field(const FieldView &field) override { FieldIds(&field.dwID, 1); }
    void FieldIds(const uint32_t *lpdwIDs, size_t c) override {
        Report::FieldIds(lpdwIDs, c);
        for (size_t i = 0; i < c; ++i) Count(lpdwIDs[i]);
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        if (record.lpField != nullptr) Count(record.lpField->dwID);
    }

    int Finish(uint64_t cbRead) override {
        EvictAll();
        if (options_.fJson)
            PrintJson(cbRead);
        else
            PrintText(cbRead);
        return Report::Finish(cbRead);
    }

  private:
    void PrintText(uint64_t cbRead) const {
        printf("input: %s\nbytes read: %" PRIu64 "\n", sInput_.c_str(), cbRead);
        if (nRecords_ != 0) printf("records: %" PRIu64 "\n", nRecords_);
        printf("structured fields: %" PRIu64 "\n", nFields_);
        printf("documents: %" PRIu64 "\npages: %" PRIu64 "\n", nFnCount(dwBeginDocument),
               nFnPages());
        for (const auto &[dwID, nCount] : mapFieldCounts_) {
            const FieldName &name = FnFieldName(dwID);
            printf("  %06X %-3s  %-40s %10" PRIu64 "\n", dwID, name.szAbbreviation,
                   name.szName, nCount);
        }
        if (fFnTextLines(options_)) printf("lines cut: %" PRIu64 "\n", nLinesCut_);
        if (cbSkipped_ != 0) printf("bytes skipped: %" PRIu64 "\n", cbSkipped_);
        printf("errors: %" PRIu64 "\n", nErrors_);
        if (nErrors_ != 0) printf("first error: %s\n", sFirstError_.c_str());
    }

    void PrintJson(uint64_t cbRead) const {
        printf("{\"input\":");
        vFnPutJsonString(sInputRaw_);
        printf(",\"bytesRead\":%" PRIu64 ",\"records\":%" PRIu64
               ",\"structuredFields\":%" PRIu64 ",\"documents\":%" PRIu64
               ",\"pages\":%" PRIu64 ",\"linesCut\":%" PRIu64 ",\"bytesSkipped\":%" PRIu64
               ",\"fields\":[",
               cbRead, nRecords_, nFields_, nFnCount(dwBeginDocument), nFnPages(),
               nLinesCut_, cbSkipped_);
        const char *szSeparator = "";
        for (const auto &[dwID, nCount] : mapFieldCounts_) {
            const FieldName &name = FnFieldName(dwID);
            printf("%s{\"id\":\"%06X\",\"type\":\"%s\",\"name\":\"%s\",\"count\":%" PRIu64
                   "}",
                   szSeparator, dwID, name.szAbbreviation, name.szName, nCount);
            szSeparator = ",";
        }
        printf("],\"errors\":%" PRIu64, nErrors_);
        if (nErrors_ != 0) {
            printf(",\"firstError\":");
            vFnPutJsonString(sFirstError_);
        }
        puts("}");
    }

    uint64_t nFnPages() const { return nFnCount(dwBeginPage) + nPages_; }

    uint64_t nFnCount(uint32_t dwID) const {
        auto it = mapFieldCounts_.find(dwID);
        return it == mapFieldCounts_.end() ? 0 : it->second;
    }

    // Counts in a small table by identifier; a slot's count goes to the map
    // when another identifier takes the slot, and all of them before the
    // summary is printed.
    struct CountSlot {
        uint32_t dwID;
        uint64_t nCount;
    };

    void Count(uint32_t dwID) {
        CountSlot &slot = aSlots_[(dwID ^ dwID >> 8) & 0xFF];
        if (slot.dwID != dwID) Evict(&slot, dwID);
        ++slot.nCount;
    }

    __attribute__((noinline)) void Evict(CountSlot *lpSlot, uint32_t dwID) {
        if (lpSlot->nCount != 0) mapFieldCounts_[lpSlot->dwID] += lpSlot->nCount;
        *lpSlot = {dwID, 0};
    }

    void EvictAll() {
        for (CountSlot &slot : aSlots_) Evict(&slot, 0);
    }

    std::map<uint32_t, uint64_t> mapFieldCounts_;
    CountSlot aSlots_[256] = {};
};

}  // namespace

bool TextDecoder::fFnInit(bool fEbcdic, const std::string &sCodepage) {
    for (int b = 0; b < 256; ++b) acShown_[b] = (b >= 0x20 && b < 0x7F) ? char(b) : '.';
    if (!fEbcdic) return true;
    modca::CodePages::Table table;
    if (!modca::CodePages::fFnUtf8Table(sCodepage, &table)) return false;
    for (int b = 0; b < 256; ++b) {
        const std::string &s = table[b];
        acShown_[b] = (s.size() == 1 && s[0] >= 0x20 && s[0] < 0x7F) ? s[0] : '.';
    }
    return true;
}

void Report::SetInput(const std::string &sName, std::function<void()> vfnBeforeMessage) {
    sInputRaw_ = sName;
    sInput_ = sFnEscaped(sName);
    vfnBeforeMessage_ = std::move(vfnBeforeMessage);
}

void Report::Record(const RecordView &record) {
    ++nRecords_;
    if (record.fNewPage) ++nPages_;
    if (record.lpField != nullptr) ++nFields_;
}

std::string Report::sFnOffset(uint64_t ib) const {
    char sz[32];
    snprintf(sz, sizeof sz, options_.fHex ? "%012" PRIX64 : "%012" PRIu64, ib);
    return sz;
}

std::string Report::sFnMessageOffset(uint64_t ib) const {
    char sz[40];
    snprintf(sz, sizeof sz, options_.fHex ? "offset 0x%" PRIX64 : "offset %" PRIu64, ib);
    return sz;
}

// One style: dspdump: INPUT: offset N: message (STATUS)
void Report::Error(const ErrorView &error) {
    std::string sError = sFnMessageOffset(error.ibOffset) + ": " + error.sMessage;
    if (error.szStatus != nullptr) sError += std::string(" (") + error.szStatus + ")";
    FlushOutput();
    if (vfnBeforeMessage_) vfnBeforeMessage_();
    fprintf(stderr, "dspdump: %s: %s\n", sInput_.c_str(), sError.c_str());
    if (nErrors_++ == 0) sFirstError_ = sError;
    cbSkipped_ += error.cbSkipped;
}

void Report::Note(uint64_t ibOffset, const std::string &sMessage) {
    FlushOutput();
    if (vfnBeforeMessage_) vfnBeforeMessage_();
    fprintf(stderr, "dspdump: %s: %s: %s\n", sInput_.c_str(),
            sFnMessageOffset(ibOffset).c_str(), sMessage.c_str());
}

void Report::FlushOutput() {
    out_.Flush();
    fflush(stdout);
}

int Report::Finish(uint64_t) {
    out_.Flush();
    if (fflush(stdout) != 0 && nWriteErrno_ == 0) nWriteErrno_ = errno;
    if (OutputFailed()) {
        if (nWriteErrno_ == EPIPE) return 1;  // a closed pipe, where SIGPIPE is ignored
        if (vfnBeforeMessage_) vfnBeforeMessage_();
        fprintf(stderr, "dspdump: cannot write the output: %s\n", strerror(nWriteErrno_));
        return 1;
    }
    return nErrors_ == 0 ? 0 : 1;
}

bool fFnReportMakesNotes(const Options &options) {
    return !options.fStats && options.mode != Mode::LineData &&
           options.structure == Structure::None && options.nFirstPage == 0 &&
           options.typeIds.empty() && !options.fOffset;
}

std::unique_ptr<Report> FnMakeReport(const Options &options, const TextDecoder &text) {
    if (options.fStats) return std::make_unique<StatsReport>(text, options);
    if (options.fJson) return std::make_unique<JsonReport>(text, options);
    return std::make_unique<ListingReport>(text, options);
}

void vFnPutJsonError(const ErrorView &error) {
    printf("{\"error\":");
    vFnPutJsonString(error.sMessage);
    if (error.szStatus != nullptr) printf(",\"status\":\"%s\"", error.szStatus);
    printf(",\"offset\":%" PRIu64, error.ibOffset);
    if (error.cbSkipped != 0) printf(",\"skipped\":%" PRIu64, error.cbSkipped);
    if (!error.sDetail.empty()) {
        printf(",\"detail\":");
        vFnPutJsonString(error.sDetail);
    }
    puts("}");
}

std::string sFnJsonText(const std::string &s) {
    std::string sQuoted = "\"";
    for (unsigned char c : s) {
        char sz[8];
        if (c < 0x20) {
            snprintf(sz, sizeof sz, "\\u%04X", c);
            sQuoted += sz;
            continue;
        }
        if (c == '"' || c == '\\') sQuoted += '\\';
        sQuoted += static_cast<char>(c);
    }
    return sQuoted + '"';
}

std::string sFnEscaped(const std::string &sText) {
    std::string s;
    for (unsigned char c : sText) {
        char sz[8];
        if (c == '\n')
            s += "\\n";
        else if (c == '\t')
            s += "\\t";
        else if (c == '\r')
            s += "\\r";
        else if (c < 0x20 || c == 0x7F) {
            snprintf(sz, sizeof sz, "\\x%02X", c);
            s += sz;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s;
}

const char *szFnStatusName(uint32_t dwStatus) {
    switch (dwStatus) {
        case DSP_OK:
            return "DSP_OK";
        case DSP_ERR_NOMEM:
            return "DSP_ERR_NOMEM";
        case DSP_ERR_RECORD_TOO_LONG:
            return "DSP_ERR_RECORD_TOO_LONG";
        case DSP_ERR_NOT_SF:
            return "DSP_ERR_NOT_SF";
        case DSP_ERR_UNKNOWN_SF_ID:
            return "DSP_ERR_UNKNOWN_SF_ID";
        case DSP_ERR_BAD_ARG:
            return "DSP_ERR_BAD_ARG";
        case DSP_ERR_BAD_FORMAT:
            return "DSP_ERR_BAD_FORMAT";
        case DSP_ERR_BAD_RECORD:
            return "DSP_ERR_BAD_RECORD";
        default:
            return "unknown status";
    }
}

}  // namespace dspdump
