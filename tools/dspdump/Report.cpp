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

void vFnPutHex(const uint8_t *lpb, uint32_t cb) {
    static const char szDigits[] = "0123456789ABCDEF";
    char ach[512];
    uint32_t ich = 0;
    for (uint32_t i = 0; i < cb; ++i) {
        ach[ich++] = szDigits[lpb[i] >> 4];
        ach[ich++] = szDigits[lpb[i] & 0x0F];
        if (ich == sizeof ach) {
            fwrite(ach, 1, ich, stdout);
            ich = 0;
        }
    }
    fwrite(ach, 1, ich, stdout);
}

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

class ListingReport : public Report {
  public:
    using Report::Report;

    void Field(const FieldView &field) override {
        Report::Field(field);
        if (nFields_ == 1 && nRecords_ == 0)
            printf("%-12s %6s  %-6s %-3s  %-40s %5s %5s %5s  %s\n", szFnOffsetHeading(),
                   "length", "id", "abr", "name", "flags", "seq", "data",
                   "first data bytes");
        printf("%s ", sFnOffset(field.ibOffset).c_str());
        PrintField(field);
        putchar('\n');
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        if (nRecords_ == 1)
            printf("%8s %-12s %2s %3s %6s  %s\n", "record", szFnOffsetHeading(), "cc",
                   "trc", "length", "data");
        printf("%8" PRIu64 " %s %02X %3u %6u  ", record.nRecord,
               sFnOffset(record.ibOffset).c_str(), record.bCC, record.bTRC,
               record.cbData);
        if (record.lpField != nullptr) {
            printf("field ");
            PrintField(*record.lpField);
        } else {
            for (uint16_t i = 0; i < record.cbData; ++i)
                putchar(text_.cFnShow(record.lpbData[i]));
        }
        putchar('\n');
    }

  private:
    const char *szFnOffsetHeading() const {
        return options_.fHex ? "offset(hex)" : "offset(dec)";
    }

    void PrintField(const FieldView &field) {
        const FieldName &name = FnFieldName(field.dwID);
        const FieldNotes *lpNotes = field.lpNotes;
        const int nIndent = lpNotes && lpNotes->nDepth > 0 ? 2 * lpNotes->nDepth : 0;
        printf("%6u  %06X %*s%-3s  %-*s    %02X %5u %5u  ", field.cbLength, field.dwID,
               nIndent, "", name.szAbbreviation, nIndent < 40 ? 40 - nIndent : 0,
               name.szName, field.bFlags, field.wSeq, field.cbData);
        const uint32_t cbShown =
            field.cbData < cbListedData ? field.cbData : cbListedData;
        vFnPutHex(field.lpbData, cbShown);
        if (lpNotes && !lpNotes->sText.empty())
            printf("%*s  %s", int(2 * (cbListedData - cbShown)), "",
                   lpNotes->sText.c_str());
    }
};

class JsonReport : public Report {
  public:
    using Report::Report;

    void Field(const FieldView &field) override {
        Report::Field(field);
        printf("{\"offset\":%" PRIu64 ",", field.ibOffset);
        PrintFieldMembers(field);
        puts("}");
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        printf("{\"record\":%" PRIu64 ",\"offset\":%" PRIu64
               ",\"cc\":\"%02X\",\"trc\":%u,\"length\":%u,",
               record.nRecord, record.ibOffset, record.bCC, record.bTRC, record.cbData);
        if (record.lpField != nullptr) {
            printf("\"field\":{");
            PrintFieldMembers(*record.lpField);
            printf("},");
        } else {
            printf("\"text\":\"");
            for (uint16_t i = 0; i < record.cbData; ++i) {
                const char c = text_.cFnShow(record.lpbData[i]);
                if (c == '"' || c == '\\') putchar('\\');
                putchar(c);
            }
            printf("\",");
        }
        printf("\"data\":\"");
        vFnPutHex(record.lpbData, record.cbData);
        puts("\"}");
    }

    void Error(const ErrorView &error) override {
        Report::Error(error);
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

  private:
    static void PrintFieldMembers(const FieldView &field) {
        const FieldName &name = FnFieldName(field.dwID);
        printf(
            "\"length\":%u,\"id\":\"%06X\",\"type\":\"%s\",\"name\":\"%s\",\"flags\":\"%"
            "02X\","
            "\"seq\":%u,\"dataLength\":%u,\"data\":\"",
            field.cbLength, field.dwID, name.szAbbreviation, name.szName, field.bFlags,
            field.wSeq, field.cbData);
        vFnPutHex(field.lpbData, field.cbData);
        putchar('"');
        if (field.lpNotes) fputs(field.lpNotes->sJson.c_str(), stdout);
    }
};

// Only the summary counts fields by identifier: the table grows with every
// distinct one, so the listing modes go without it.
class StatsReport : public Report {
  public:
    using Report::Report;

    void Field(const FieldView &field) override {
        Report::Field(field);
        ++mapFieldCounts_[field.dwID];
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        if (record.lpField != nullptr) ++mapFieldCounts_[record.lpField->dwID];
    }

    int Finish(uint64_t cbRead) override {
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

    std::map<uint32_t, uint64_t> mapFieldCounts_;
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

void Report::Field(const FieldView &) { ++nFields_; }

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
    fflush(stdout);
    if (vfnBeforeMessage_) vfnBeforeMessage_();
    fprintf(stderr, "dspdump: %s: %s\n", sInput_.c_str(), sError.c_str());
    if (nErrors_++ == 0) sFirstError_ = sError;
    cbSkipped_ += error.cbSkipped;
}

void Report::Note(uint64_t ibOffset, const std::string &sMessage) {
    fflush(stdout);
    if (vfnBeforeMessage_) vfnBeforeMessage_();
    fprintf(stderr, "dspdump: %s: %s: %s\n", sInput_.c_str(),
            sFnMessageOffset(ibOffset).c_str(), sMessage.c_str());
}

bool Report::OutputFailed() {
    if (nWriteErrno_ == 0 && ferror(stdout)) nWriteErrno_ = errno != 0 ? errno : EIO;
    return nWriteErrno_ != 0;
}

int Report::Finish(uint64_t) {
    if (fflush(stdout) != 0 && nWriteErrno_ == 0) nWriteErrno_ = errno;
    if (OutputFailed()) {
        if (nWriteErrno_ == EPIPE) return 1;  // a closed pipe, where SIGPIPE is ignored
        if (vfnBeforeMessage_) vfnBeforeMessage_();
        fprintf(stderr, "dspdump: cannot write the output: %s\n", strerror(nWriteErrno_));
        return 1;
    }
    return nErrors_ == 0 ? 0 : 1;
}

std::unique_ptr<Report> FnMakeReport(const Options &options, const TextDecoder &text) {
    if (options.fStats) return std::make_unique<StatsReport>(text, options);
    if (options.fJson) return std::make_unique<JsonReport>(text, options);
    return std::make_unique<ListingReport>(text, options);
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
