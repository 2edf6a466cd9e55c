// Allocation failure: this process replaces malloc so that a chosen
// allocation made by the library fails, and checks every failure path
// releases what it took (leaks show under the sanitizer and valgrind runs).
#include <gtest/gtest.h>
#include <string.h>

#include "AllocationHooks.h"
#include "LineReading.h"

using namespace vokdsp_test;

namespace {

struct CreateOutcome {
    int32_t fResult;
    uint32_t dwStatus;
    LINEREC *lpRec;
    void *lpWork;
};

CreateOutcome CreateFailingAllocation(MemorySource &source, int nAllowed,
                                      uint32_t dwStatusBefore = 0x1234) {
    LineDesc desc(1, 80);
    JobRecord job;
    memset(job.ab, 0xAB, sizeof job.ab);
    CreateOutcome out{0, dwStatusBefore, nullptr, nullptr};
    FailAllocationAfter(nAllowed);
    out.fResult = fFnVOK32XX_CreateIndirect(job.ab, desc.ab, &out.lpRec, source.Context(),
                                            &MemorySource::Read, &out.dwStatus);
    FailAllocationAfter(-1);
    out.lpWork = job.WorkBuffer();
    if (out.fResult == 1) fFnVOK32XX_Destroy(out.lpRec, job.ab);
    return out;
}

TEST(LineAllocation, ControlBlockFailureMakesNoRequestAndStoresNothing) {
    MemorySource source(TextBytes("abcd"));
    const CreateOutcome out = CreateFailingAllocation(source, 0);
    EXPECT_EQ(out.fResult, 0);
    EXPECT_EQ(out.dwStatus, DSP_ERR_NOMEM);
    EXPECT_EQ(out.lpRec, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(out.lpWork), uintptr_t{0xABABABABABABABAB});
    EXPECT_EQ(source.FillRequests() + source.ReleaseRequests(), 0);
}

TEST(LineAllocation, WorkingBufferFailureReleasesOnceAndFreesTheReader) {
    MemorySource source(TextBytes("abcd"));
    const CreateOutcome out = CreateFailingAllocation(source, 1);
    EXPECT_EQ(out.fResult, 0);
    EXPECT_EQ(out.dwStatus, DSP_ERR_NOMEM);
    EXPECT_EQ(out.lpWork, nullptr);  // stored even though it failed
    EXPECT_EQ(source.FillRequests(), 1);
    EXPECT_EQ(source.ReleaseRequests(), 1);
}

TEST(LineAllocation, WorkingBufferFailureKeepsTheCallbacksCode) {
    MemorySource source(TextBytes("abcd"));
    source.FailOnRequest(1, 0x77);
    const CreateOutcome out = CreateFailingAllocation(source, 1);
    EXPECT_EQ(out.fResult, 0);
    EXPECT_EQ(out.dwStatus, 0x77u);
    EXPECT_EQ(source.ReleaseRequests(), 1);
}

TEST(LineAllocation, OneReaderAllocationPlusWorkingBufferAndNonePerRecord) {
    Bytes abInput(133 * 5000, 'x');
    MemorySource source(abInput, {1000});
    LineDesc desc(0x0111, 133);
    JobRecord job;
    LINEREC *lpRec = nullptr;
    uint32_t dwStatus = 0;
    ResetAllocationCount();
    ASSERT_EQ(fFnVOK32XX_CreateIndirect(job.ab, desc.ab, &lpRec, source.Context(),
                                        &MemorySource::Read, &dwStatus),
              1);
    EXPECT_EQ(AllocationCount(), 2);
    int nRecords = 0;
    while (cFnVOK32XX_GetNext(lpRec, &dwStatus) != 0) ++nRecords;
    EXPECT_EQ(nRecords, 5000);
    EXPECT_EQ(AllocationCount(), 2);
    fFnVOK32XX_Destroy(lpRec, job.ab);
}

}  // namespace
