#include "AllocationHooks.h"

#include <stddef.h>

// glibc's own allocator entry points, which the replacements below pass on to.
extern "C" void *__libc_malloc(size_t cb);
extern "C" void *__libc_calloc(size_t n, size_t cb);

namespace {

int nFailAfter = -1;
int nAllocations = 0;

// Counts the request; true when it is the one chosen to fail.
bool fFnFailThisOne() {
    ++nAllocations;
    if (nFailAfter == 0) {
        nFailAfter = -1;
        return true;
    }
    if (nFailAfter > 0) --nFailAfter;
    return false;
}

}  // namespace

extern "C" void *malloc(size_t cb) {
    return fFnFailThisOne() ? nullptr : __libc_malloc(cb);
}

extern "C" void *calloc(size_t n, size_t cb) {
    return fFnFailThisOne() ? nullptr : __libc_calloc(n, cb);
}

namespace vokdsp_test {

int AllocationCount() { return nAllocations; }
void ResetAllocationCount() { nAllocations = 0; }
void FailAllocationAfter(int nAllowed) { nFailAfter = nAllowed; }

}  // namespace vokdsp_test
