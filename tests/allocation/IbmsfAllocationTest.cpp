// Structured-field reader allocations: checks that a reader costs exactly one zero-filled
// allocation, none per field, and that a failed one leaves nothing behind.
#include <gtest/gtest.h>

#include "AllocationHooks.h"
#include "SfReading.h"

using namespace vokdsp_test;

namespace {

const Bytes abStream = Concat(
    {SfBytes({0xD3A8A8}), SfBytes({0xD3EE9B, Bytes(5000, 0x41)}), SfBytes({0xD3A9A8})});

TEST(SfAllocation, FailedAllocationMakesNoReadAndStoresNothing) {
    MemorySource source(abStream);
    uint32_t dwStatus = 0x1234;
    FailAllocationAfter(0);
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 16, &MemorySource::Read, source.Context(), &dwStatus);
    FailAllocationAfter(-1);
    EXPECT_EQ(lpRec, nullptr);
    EXPECT_EQ(dwStatus, 0x1234u);
    EXPECT_EQ(source.FillRequests() + source.ReleaseRequests(), 0);
}

TEST(SfAllocation, FailedAllocationOpensNoFile) {
    TempFile file(abStream);
    uint32_t dwStatus = 0x1234;
    ResetAllocationCount();
    FailAllocationAfter(0);
    SFREC *lpRec = lpibmsfFnCreate(file.Path(), 16, nullptr, nullptr, &dwStatus);
    FailAllocationAfter(-1);
    const int nSeen = AllocationCount();  // fopen would allocate its stream
    EXPECT_EQ(lpRec, nullptr);
    EXPECT_EQ(dwStatus, 0x1234u);
    EXPECT_EQ(nSeen, 1);  // the failed one
}

TEST(SfAllocation, OneAllocationPerReaderAndNonePerField) {
    MemorySource source(abStream, {100});
    uint32_t dwStatus = 0;
    ResetAllocationCount();
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 8192, &MemorySource::Read, source.Context(), &dwStatus);
    const int nAtCreate = AllocationCount();
    int nFields = 0;
    while (fFnGetNextIBMSF(lpRec, &dwStatus) != 0) ++nFields;
    fFnDestroyIBMSF(lpRec);
    const int nSeen = AllocationCount();
    ASSERT_NE(lpRec, nullptr);
    EXPECT_EQ(nFields, 3);
    EXPECT_EQ(nAtCreate, 1);
    EXPECT_EQ(nSeen, 1);
}

}  // namespace
