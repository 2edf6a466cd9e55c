// This process's malloc and calloc, which count every request and can fail a
// chosen one. Only the allocation suites link it.
#ifndef VOKDSP_TESTS_ALLOCATIONHOOKS_H
#define VOKDSP_TESTS_ALLOCATIONHOOKS_H

namespace vokdsp_test {

// Requests made since the last reset, failed ones included.
int AllocationCount();
void ResetAllocationCount();
// The next nAllowed requests succeed, the one after fails; -1: none fails.
void FailAllocationAfter(int nAllowed);

}  // namespace vokdsp_test

#endif
