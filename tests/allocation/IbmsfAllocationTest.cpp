// Structured-field reader allocations: this process replaces calloc and
// malloc (forwarding to glibc's own) to count them and to fail a chosen one,
// and checks that a reader costs exactly one zero-filled allocation, none per
// field, and that a failed one leaves nothing behind.
#include <gtest/gtest.h>
#include <stddef.h>

#include "SfReading.h"

extern "C" void *__libc_calloc(size_t n, size_t cb);
extern "C" void *__libc_malloc(size_t cb);

namespace {

bool fFailNextCalloc = false;
int nCallocs = 0;
int nMallocs = 0;

}  // namespace

extern "C" void *calloc(size_t n, size_t cb) {
    ++nCallocs;
    if (fFailNextCalloc) {
        fFailNextCalloc = false;
        return nullptr;
    }
    return __libc_calloc(n, cb);
}

extern "C" void *malloc(size_t cb) {
    ++nMallocs;
    return __libc_malloc(cb);
}

using namespace vokdsp_test;

namespace {

const Bytes abStream = Concat(
    {SfBytes({0xD3A8A8}), SfBytes({0xD3EE9B, Bytes(5000, 0x41)}), SfBytes({0xD3A9A8})});

TEST(SfAllocation, FailedAllocationMakesNoReadAndStoresNothing) {
    MemorySource source(abStream);
    uint32_t dwStatus = 0x1234;
    fFailNextCalloc = true;
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 16, &MemorySource::Read, source.Context(), &dwStatus);
    fFailNextCalloc = false;
    EXPECT_EQ(lpRec, nullptr);
    EXPECT_EQ(dwStatus, 0x1234u);
    EXPECT_EQ(source.FillRequests() + source.ReleaseRequests(), 0);
}

TEST(SfAllocation, FailedAllocationOpensNoFile) {
    TempFile file(abStream);
    uint32_t dwStatus = 0x1234;
    nMallocs = 0;
    fFailNextCalloc = true;
    SFREC *lpRec = lpibmsfFnCreate(file.Path(), 16, nullptr, nullptr, &dwStatus);
    fFailNextCalloc = false;
    const int nMallocsSeen = nMallocs;  // fopen would allocate its stream
    EXPECT_EQ(lpRec, nullptr);
    EXPECT_EQ(dwStatus, 0x1234u);
    EXPECT_EQ(nMallocsSeen, 0);
}

TEST(SfAllocation, OneAllocationPerReaderAndNonePerField) {
    MemorySource source(abStream, {100});
    uint32_t dwStatus = 0;
    nCallocs = 0;
    nMallocs = 0;
    SFREC *lpRec =
        lpibmsfFnCreate(nullptr, 8192, &MemorySource::Read, source.Context(), &dwStatus);
    const int nCallocsAtCreate = nCallocs;
    int nFields = 0;
    while (fFnGetNextIBMSF(lpRec, &dwStatus) != 0) ++nFields;
    fFnDestroyIBMSF(lpRec);
    const int nCallocsSeen = nCallocs;
    const int nMallocsSeen = nMallocs;
    ASSERT_NE(lpRec, nullptr);
    EXPECT_EQ(nFields, 3);
    EXPECT_EQ(nCallocsAtCreate, 1);
    EXPECT_EQ(nCallocsSeen, 1);
    EXPECT_EQ(nMallocsSeen, 0);
}

}  // namespace
