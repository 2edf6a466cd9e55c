#include "Report.h"

#include <iconv.h>
#include <inttypes.h>
#include <stdio.h>

#include "FieldNames.h"
#include "vokDSPsr.h"

namespace dspdump {
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

class ListingReport : public Report {
  public:
    using Report::Report;

    void Field(const FieldView &field) override {
        Report::Field(field);
        if (nFields_ == 1 && nRecords_ == 0)
            printf("%-12s %6s  %-6s %-3s  %-40s %5s %5s %5s  %s\n", "offset", "length",
                   "id", "abr", "name", "flags", "seq", "data", "first data bytes");
        printf("%012" PRIu64 " ", field.ibOffset);
        PrintField(field);
        putchar('\n');
    }

    void Record(const RecordView &record) override {
        Report::Record(record);
        if (nRecords_ == 1)
            printf("%8s %-12s %2s %3s %6s  %s\n", "record", "offset", "cc", "trc",
                   "length", "data");
        printf("%8" PRIu64 " %012" PRIu64 " %02X %3u %6u  ", record.nRecord,
               record.ibOffset, record.bCC, record.bTRC, record.cbData);
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
    void PrintField(const FieldView &field) {
        const FieldName &name = FnFieldName(field.dwID);
        printf("%6u  %06X %-3s  %-40s    %02X %5u %5u  ", field.cbLength, field.dwID,
               name.szAbbreviation, name.szName, field.bFlags, field.wSeq, field.cbData);
        vFnPutHex(field.lpbData,
                  field.cbData < cbListedData ? field.cbData : cbListedData);
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
    }
};

class StatsReport : public Report {
  public:
    using Report::Report;

    int Finish(const std::string &sInput, uint64_t cbRead) override {
        printf("input: %s\nbytes read: %" PRIu64 "\n", sInput.c_str(), cbRead);
        if (nRecords_ != 0) printf("records: %" PRIu64 "\n", nRecords_);
        printf("structured fields: %" PRIu64 "\n", nFields_);
        printf("documents: %" PRIu64 "\npages: %" PRIu64 "\n", nFnCount(dwBeginDocument),
               nFnCount(dwBeginPage));
        for (const auto &[dwID, nCount] : mapFieldCounts_) {
            const FieldName &name = FnFieldName(dwID);
            printf("  %06X %-3s  %-40s %10" PRIu64 "\n", dwID, name.szAbbreviation,
                   name.szName, nCount);
        }
        printf("errors: %" PRIu64 "\n", nErrors_);
        if (nErrors_ != 0) printf("first error: %s\n", sFirstError_.c_str());
        return Report::Finish(sInput, cbRead);
    }

  private:
    uint64_t nFnCount(uint32_t dwID) const {
        auto it = mapFieldCounts_.find(dwID);
        return it == mapFieldCounts_.end() ? 0 : it->second;
    }
};

}  // namespace

bool TextDecoder::fFnInit(bool fEbcdic, const std::string &sCodepage) {
    for (int b = 0; b < 256; ++b) acShown_[b] = (b >= 0x20 && b < 0x7F) ? char(b) : '.';
    if (!fEbcdic) return true;
    iconv_t cd = iconv_open("ASCII", sCodepage.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    for (int b = 0; b < 256; ++b) {
        char chIn = static_cast<char>(b), chOut = 0;
        char *lpIn = &chIn, *lpOut = &chOut;
        size_t cbIn = 1, cbOut = 1;
        const bool fOk =
            iconv(cd, &lpIn, &cbIn, &lpOut, &cbOut) != size_t(-1) && cbOut == 0;
        acShown_[b] = (fOk && chOut >= 0x20 && chOut < 0x7F) ? chOut : '.';
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return true;
}

void Report::Field(const FieldView &field) {
    ++nFields_;
    ++mapFieldCounts_[field.dwID];
}

void Report::Record(const RecordView &record) {
    ++nRecords_;
    if (record.lpField != nullptr) Report::Field(*record.lpField);
}

void Report::Error(uint64_t ibOffset, const char *szCode, const std::string &sDetail) {
    std::string sError = std::string(szCode) + " at offset " + std::to_string(ibOffset);
    if (!sDetail.empty()) sError += ": " + sDetail;
    fflush(stdout);
    fprintf(stderr, "dspdump: %s\n", sError.c_str());
    if (nErrors_++ == 0) sFirstError_ = sError;
}

int Report::Finish(const std::string &, uint64_t) {
    fflush(stdout);
    return nErrors_ == 0 ? 0 : 1;
}

std::unique_ptr<Report> FnMakeReport(Output output, const TextDecoder &text) {
    switch (output) {
        case Output::Json:
            return std::make_unique<JsonReport>(text);
        case Output::Stats:
            return std::make_unique<StatsReport>(text);
        default:
            return std::make_unique<ListingReport>(text);
    }
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
