// Structured-field calls given null arguments or null status words, and a
// callback that claims more than a block.
#include <gtest/gtest.h>

#include "SfReading.h"

using namespace vokdsp_test;

namespace {

// ---- Null arguments and scratch status words ------------------------------

TEST(SfNullArguments, GetNextWithNullHandle) {
    uint32_t dwStatus = 0x1234;
    EXPECT_EQ(fFnGetNextIBMSF(nullptr, &dwStatus), 0);
    EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    EXPECT_EQ(fFnGetNextIBMSF(nullptr, nullptr), 0);
}

TEST(SfNullArguments, DestroyWithNullHandle) { EXPECT_EQ(fFnDestroyIBMSF(nullptr), 1); }

TEST(SfNullArguments, RecordInfoWithNullArguments) {
    MemorySource source(Field(dwBDT));
    SfReader reader(source, 8);
    ASSERT_TRUE(reader.Created());
    uint32_t dwPos = 77, dwLen = 77, dwStatus = 0;
    for (int iNull = 0; iNull < 3; ++iNull) {  // each pointer null in turn
        dwStatus = 0x1234;
        EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(iNull == 0 ? nullptr : reader.Handle(),
                                               iNull == 1 ? nullptr : &dwPos,
                                               iNull == 2 ? nullptr : &dwLen, &dwStatus),
                  0);
        EXPECT_EQ(dwStatus, DSP_ERR_BAD_ARG);
    }
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(reader.Handle(), nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(dwPos + dwLen, 154u);
    dwStatus = 0x1234;
    EXPECT_EQ(fFnGetIBMSFCurrentRecordInfo(reader.Handle(), &dwPos, &dwLen, &dwStatus),
              1);
    EXPECT_EQ(dwStatus, 0x1234u);  // untouched on success
}

TEST(SfNullArguments, NullStatusPointersAreReplacedByScratchWords) {
    MemorySource refused(Field(0xD3FFFF));
    EXPECT_EQ(
        lpibmsfFnCreate(nullptr, 8, &MemorySource::Read, refused.Context(), nullptr),
        nullptr);

    MemorySource source(Concat({Field(dwBDT), HexBytes("00"), Field(dwEDT, 20)}),
                        {9, 4096});
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 8, &MemorySource::Read, source.Context(), nullptr);
    ASSERT_NE(lpRec, nullptr);
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 8);
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 0);  // no introducer
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 0);  // too long
    EXPECT_EQ(fFnGetNextIBMSF(lpRec, nullptr), 0);  // end
    EXPECT_EQ(fFnDestroyIBMSF(lpRec), 1);
}

// ---- A callback that claims more than a block ------------------------------

TEST(SfOverReport, CountAboveABlockIsTakenAsABlock) {
    // Two full blocks, so that every claim is 4096 + 100.
    const Bytes abInput = Concat({Field(dwBDT), Field(dwPTX, 4000, 0x41),
                                  Field(dwPTX, 8192 - 9 - 4009 - 9, 0x42)});
    ASSERT_EQ(abInput.size(), 8192u);
    MemorySource plain(abInput);
    SfReader expected(plain, 8192);
    MemorySource over(abInput);
    over.OverReport(100);
    SfReader reader(over, 8192);
    ASSERT_TRUE(expected.Created());
    ASSERT_TRUE(reader.Created());
    const std::vector<SfField> aExpected = expected.ReadAll();
    EXPECT_EQ(aExpected.size(), 3u);
    EXPECT_EQ(reader.ReadAll(), aExpected);
}

}  // namespace
