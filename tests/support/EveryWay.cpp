// The fixture every table row goes through: the stream read in 4096-byte
// blocks and a byte at a time, the two runs compared with GoogleTest. Apart
// from the other support files, which the fuzz targets share without it.
#include <gtest/gtest.h>

#include <numeric>

#include "LineReading.h"
#include "SfReading.h"

namespace vokdsp_test {

LineRun ReadLinesEveryWay(const Bytes &abInput, uint16_t wFormat, uint16_t cbMaxRecord,
                          uint32_t dwBefore) {
    LineRun runs[2];
    const uint16_t acbBlock[2] = {4096, 1};
    for (int i = 0; i < 2; ++i) {
        MemorySource source(abInput, {acbBlock[i]});
        LineReader reader(source, wFormat, cbMaxRecord);
        EXPECT_TRUE(reader.Created());
        if (!reader.Created()) return {};
        reader.Status() = dwBefore;
        for (LineRecord r; runs[i].records.size() < 100000;) {
            runs[i].records.push_back(r = reader.Next());
            if (r.cbResult == 0 || r.thrown) break;
        }
        runs[i].dwWord = reader.Status();
    }
    EXPECT_EQ(runs[1].records, runs[0].records) << "a byte at a time";
    EXPECT_EQ(runs[1].dwWord, runs[0].dwWord) << "a byte at a time";
    return runs[0];
}

SfRun ReadFieldsEveryWay(const Bytes &abInput, uint16_t cbCapacity,
                         std::vector<uint16_t> acbFirst, size_t cbSnapshot,
                         uint32_t dwBefore) {
    SfRun runs[2];
    for (uint16_t cbRest : {4096, 1}) {
        SfRun &run = runs[cbRest == 1];
        std::vector<uint16_t> acbPlan = acbFirst;
        for (size_t cb = std::accumulate(acbFirst.begin(), acbFirst.end(), size_t{0});
             cb < abInput.size(); cb += cbRest)
            acbPlan.push_back(cbRest);
        MemorySource source(abInput, acbPlan);
        SfReader reader(source, cbCapacity);
        EXPECT_TRUE(reader.Created());
        if (!reader.Created()) return {};
        reader.LimitSnapshot(cbSnapshot);
        reader.Status() = dwBefore;
        for (SfField f; run.fields.size() < 100000;) {
            const bool fZeroBefore =
                !run.fields.empty() && run.fields.back().iResult == 0;
            run.fields.push_back(f = reader.Next());
            if (f.iResult == 0 && fZeroBefore && run.fields.end()[-2].dwPos == f.dwPos)
                break;
        }
        run.dwWord = reader.Status();
    }
    EXPECT_EQ(runs[1].fields, runs[0].fields) << "a byte at a time";
    EXPECT_EQ(runs[1].dwWord, runs[0].dwWord) << "a byte at a time";
    return runs[0];
}

}  // namespace vokdsp_test
